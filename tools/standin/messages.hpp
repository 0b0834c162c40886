#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// SQL Server message texts (sysmessages, us_english) for the numbers the stand-in sends: SQL
// Server 2000's, and later versions' for what only those say. Arguments are already-formatted
// UTF-8 strings.
namespace standin::msg {

inline std::string q(std::string_view s) {
    return "'" + std::string(s) + "'";
}

inline std::string login_failed(std::string_view user) {
    return "Login failed for user " + q(user) + ".";
}
inline std::string login_untrusted(std::string_view user) {
    return "Login failed for user " + q(user) +
           ". Reason: Not associated with a trusted SQL Server connection.";
}
inline std::string cannot_open_db(std::string_view db) {
    return "Cannot open database requested in login " + q(db) + ". Login fails.";
}
inline std::string syntax(int line, std::string_view near) {
    return "Line " + std::to_string(line) + ": Incorrect syntax near " + q(near) + ".";
}
inline std::string db_exists(std::string_view db) {
    return "Database " + q(db) + " already exists.";
}
inline std::string create_failed() {
    return "CREATE DATABASE failed. Some file names listed could not be created. Check previous "
           "errors.";
}
inline std::string allocating(double mb, std::string_view logical) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", mb);
    return "The CREATE DATABASE process is allocating " + std::string(buf) + " MB on disk " +
           q(logical) + ".";
}
inline std::string could_not_open_new(std::string_view db) {
    return "Could not open new database " + q(db) + ". CREATE DATABASE is aborted.";
}
inline std::string file_name_in_use(std::string_view logical) {
    return "The file named " + q(logical) + " is already in use. Choose another name.";
}
inline std::string file_in_use(std::string_view path, std::string_view db) {
    return "The file " + q(path) + " cannot be overwritten.  It is being used by database " +
           q(db) + ".";
}
inline std::string terminating(std::string_view statement) {
    return std::string(statement) + " is terminating abnormally.";
}
inline std::string exclusive_access() {
    return "Exclusive access could not be obtained because the database is in use.";
}
inline std::string other_database(std::string_view db) {
    return "The backup set holds a backup of a database other than the existing " + q(db) +
           " database.";
}
inline std::string restore_over_existing(std::string_view logical, std::string_view path) {
    return "File " + q(logical) + " cannot be restored over the existing " + q(path) +
           ". Reissue the RESTORE statement using WITH REPLACE to overwrite pre-existing files.";
}
inline std::string cannot_restore_to(std::string_view logical, std::string_view path) {
    return "File " + q(logical) + " cannot be restored to " + q(path) +
           ". Use WITH MOVE to identify a valid location for the file.";
}
inline std::string file_claimed(std::string_view path, std::string_view first, int first_id,
                                std::string_view second, int second_id) {
    return "File " + q(path) + " is claimed by " + q(first) + "(" + std::to_string(first_id) +
           ") and " + q(second) + "(" + std::to_string(second_id) +
           "). The WITH MOVE clause can be used to relocate one or more files.";
}
inline std::string identifier_too_long(std::string_view start) {
    return "The identifier that starts with " + q(start) + " is too long. Maximum length is 128.";
}
inline std::string cannot_open_device(std::string_view path) {
    return "Cannot open backup device " + q(path) +
           ". Device error or device off-line. See the SQL Server error log for more details.";
}
inline std::string read_failed(std::string_view path, long status) {
    return "Read on " + q(path) + " failed, status = " + std::to_string(status) +
           ". See the SQL Server error log for more details.";
}
inline std::string operator_aborted() {
    return "Operator aborted backup or restore. See the error messages returned to the console for "
           "more details.";
}
inline std::string percent(int p, std::string_view verb) {
    return std::to_string(p) + " percent " + std::string(verb) + ".";
}
inline std::string not_part_of(std::string_view logical, std::string_view db) {
    return "Logical file " + q(logical) + " is not part of database " + q(db) +
           ". Use RESTORE FILELISTONLY to list the logical file names.";
}
inline std::string media_malformed(std::string_view path) {
    return "The media family on device " + q(path) +
           " is incorrectly formed. SQL Server cannot process this media family.";
}
inline std::string processed_pages(std::uint64_t pages, std::string_view db,
                                   std::string_view logical, int set) {
    return "Processed " + std::to_string(pages) + " pages for database " + q(db) + ", file " +
           q(logical) + " on file " + std::to_string(set) + ".";
}
// FILE = n beyond the last set of a device. Number and text recalled from SQL Server 2000's
// sysmessages; not found in the documentation at hand, so assumed.
inline std::string set_missing(int set, std::string_view path) {
    return "Cannot find file ID " + std::to_string(set) + " on device " + q(path) + ".";
}
inline std::string device_activation(std::string_view path) {
    return "Device activation error. The physical file name " + q(path) + " may be incorrect.";
}
inline std::string os_error_create(std::string_view os_error, std::string_view path) {
    return "CREATE FILE encountered operating system error " + std::string(os_error) +
           " while attempting to open or create the physical file " + q(path) + ".";
}
inline std::string file_exists(std::string_view path) {
    return "Cannot create file " + q(path) + " because it already exists.";
}
inline std::string bad_header(std::string_view path) {
    return "The header for file " + q(path) +
           " is not a valid database file header. The PageAudit property is incorrect.";
}
inline std::string different_databases() {
    return "Cannot associate files with different databases.";
}
inline std::string no_such_db_entry(std::string_view db) {
    return "Could not locate entry in sysdatabases for database " + q(db) +
           ". No entry found with that name. Make sure that the name is entered correctly.";
}
inline std::string detach_missing(std::string_view db) {
    return "The database " + q(db) + " does not exist. Use sp_helpdb to show available databases.";
}
inline std::string drop_missing(std::string_view db) {
    return "Cannot drop the database " + q(db) +
           ", because it does not exist in the system catalog.";
}
inline std::string drop_system(std::string_view db) {
    return "Cannot drop the " + std::string(db) + " database because it is a system database.";
}
inline std::string drop_in_use(std::string_view db) {
    return "Cannot drop the database " + q(db) + " because it is currently in use.";
}

inline std::string log_too_late(std::uint64_t begins, std::uint64_t includes) {
    return "The log in this backup set begins at LSN " + std::to_string(begins) +
           ", which is too late to apply to the database. An earlier log backup that includes "
           "LSN " +
           std::to_string(includes) + " can be restored.";
}
// 4326: SQL Server 2000's wording not found; this is the later versions' text (assumed).
inline std::string log_too_early(std::uint64_t ends, std::uint64_t includes) {
    return "The log in this backup set terminates at LSN " + std::to_string(ends) +
           ", which is too early to apply to the database. A more recent log backup that includes "
           "LSN " +
           std::to_string(includes) + " can be restored.";
}
inline std::string nothing_to_roll_forward() {
    return "The log or differential backup cannot be restored because no files are ready to "
           "rollforward.";
}
// 4330, in the wording of SQL Server 2005 and later. SQL Server 2000 knew no recovery forks and
// its answer to a log of another history is not documented: assumed to be this one.
inline std::string inconsistent_recovery_path() {
    return "This backup set cannot be applied because it is on a recovery path that is "
           "inconsistent with the database. The recovery path is the sequence of data and log "
           "backups that have brought the database to a particular recovery point. Find a "
           "compatible backup to restore, or restore the rest of the database to match a recovery "
           "point within this backup set, which will restore the database to a different point in "
           "time. For more information about recovery paths, see SQL Server Books Online.";
}
// 4306: assumed wording.
inline std::string preceding_recovered() {
    return "The preceding restore operation did not specify WITH NORECOVERY or WITH STANDBY. "
           "Restart the restore sequence, specifying WITH NORECOVERY or WITH STANDBY for all but "
           "the final step.";
}
// 3136, in the wording of SQL Server 2005 and later.
inline std::string differential_base_mismatch() {
    return "This differential backup cannot be restored because the database has not been "
           "restored to the correct earlier state.";
}
inline std::string no_current_backup() {
    return "BACKUP LOG cannot be performed because there is no current database backup.";
}
// 3035: assumed wording.
inline std::string no_base_for_differential(std::string_view db) {
    return "Cannot perform a differential backup for database " + q(db) +
           ", because a current database backup does not exist. Perform a full database backup "
           "by reissuing BACKUP DATABASE, omitting the WITH DIFFERENTIAL option.";
}
// 3135: assumed number and wording, for a set of the wrong kind.
inline std::string wrong_set_kind(std::string_view disk, std::string_view made_by) {
    return "The backup set in file " + q(disk) + " was created by " + std::string(made_by) +
           " and cannot be used for this restore operation.";
}
// 4327: assumed number and wording, for a STOPAT beyond the end of the log restored.
inline std::string left_loading() {
    return "This log file contains records logged before the designated point-in-time. The "
           "database is being left in load state so you can apply another log file.";
}
// 3169, in the wording of SQL Server 2005 and later.
inline std::string incompatible_backup(std::string_view backup, std::string_view server) {
    return "The database was backed up on a server running version " + std::string(backup) +
           ". That version is incompatible with this server, which is running version " +
           std::string(server) +
           ". Either restore the database on a server that supports the backup, or use a backup "
           "that is compatible with this server.";
}
inline std::string converting(std::string_view db, int from, int to) {
    return "Converting database " + q(db) + " from version " + std::to_string(from) +
           " to the current version " + std::to_string(to) + ".";
}
inline std::string upgrade_step(std::string_view db, int from, int to) {
    return "Database " + q(db) + " running the upgrade step from version " + std::to_string(from) +
           " to version " + std::to_string(to) + ".";
}
inline std::string newer_database(std::string_view db, int version, int supported) {
    return "The database " + q(db) + " cannot be opened because it is version " +
           std::to_string(version) + ". This server supports version " + std::to_string(supported) +
           " and earlier. A downgrade path is not supported.";
}
inline std::string unsupported_old_database(std::string_view db, int version) {
    return "Database " + q(db) + " cannot be upgraded because its non-release version (" +
           std::to_string(version) +
           ") is not supported by this version of SQL Server. You cannot open a database that is "
           "incompatible with this version of sqlservr.exe. You must re-create the database.";
}
inline std::string bad_datetime() {
    return "Syntax error converting datetime from character string.";
}

inline std::string over_licensed_size(std::uint64_t cap_mb) {
    return "CREATE DATABASE or ALTER DATABASE failed because the resulting cumulative database "
           "size would exceed your licensed limit of " +
           std::to_string(cap_mb) + " MB per database.";
}
inline std::string compression_unsupported(std::string_view statement, std::string_view edition) {
    return std::string(statement) + " WITH COMPRESSION is not supported on " +
           std::string(edition) + ".";
}
inline std::string not_an_int(std::string_view value) {
    return "Conversion failed when converting the nvarchar value " + q(value) +
           " to data type int.";
}
inline std::string no_such_procedure(std::string_view procedure) {
    return "Could not find stored procedure " + q(procedure) + ".";
}

} // namespace standin::msg
