// RESTORE HEADERONLY and FILELISTONLY, with the columns of the server version playing.
#include "backup_steps.hpp"
#include "messages.hpp"
#include "statements.hpp"

#include <functional>

namespace standin {

namespace {

constexpr std::uint64_t kUnlimitedMaxSize = 35184372080640ull;

void terminate_read(const char* statement, Response& r) {
    r.error(3013, msg::terminating(statement));
    r.done(done::kError);
}

// A stable uniqueidentifier for what `seed` names, so the same set always shows the same one.
void write_guid_of(ByteWriter& w, const std::string& seed) {
    std::uint8_t g[16];
    fill_pattern(g, sizeof g, std::hash<std::string>{}(seed));
    write_guid(w, g);
}

// Sets without an identity take their ids from the database's name, as they always did.
std::string id_seed(const BackupHeader& h, std::uint64_t id) {
    return id != 0 ? std::to_string(id) : h.database;
}

std::string set_guid_seed(const BackupHeader& h, std::uint64_t checkpoint) {
    return "set " + id_seed(h, h.family) + " " + std::to_string(checkpoint);
}

// A set without an identity reads as made by a database created at the start of 2000.
constexpr std::int64_t kUnknownCreationMs = 946684800000;

const char* type_description(int type) {
    switch (type) {
    case set_type::kLog:
        return "Transaction Log";
    case set_type::kDifferential:
        return "Database Differential";
    default:
        return "Database";
    }
}

// SQL Server 2000 left out the two uniqueidentifier columns BindingID and RecoveryForkID here.
std::vector<Column> header_columns(const ServerVersion& v) {
    const bool later = &v != &sql2000();
    const ColumnType lsn = later ? ColumnType::Numeric25 : ColumnType::Numeric20;
    std::vector<Column> cols = {{"BackupName", ColumnType::NVarChar, 128, true},
                                {"BackupDescription", ColumnType::NVarChar, 255, true},
                                {"BackupType", ColumnType::Int, 2, false},
                                {"ExpirationDate", ColumnType::DateTime, 0, true},
                                {"Compressed", ColumnType::Int, 1, false},
                                {"Position", ColumnType::Int, 2, false},
                                {"DeviceType", ColumnType::Int, 1, false},
                                {"UserName", ColumnType::NVarChar, 128, false},
                                {"ServerName", ColumnType::NVarChar, 128, false},
                                {"DatabaseName", ColumnType::NVarChar, 128, false},
                                {"DatabaseVersion", ColumnType::Int, 4, false},
                                {"DatabaseCreationDate", ColumnType::DateTime, 0, false},
                                {"BackupSize", ColumnType::Numeric20, 0, false},
                                {"FirstLSN", lsn, 0, false},
                                {"LastLSN", lsn, 0, false},
                                {"CheckpointLSN", lsn, 0, false},
                                {"DatabaseBackupLSN", lsn, 0, false},
                                {"BackupStartDate", ColumnType::DateTime, 0, false},
                                {"BackupFinishDate", ColumnType::DateTime, 0, false},
                                {"SortOrder", ColumnType::Int, 2, false},
                                {"CodePage", ColumnType::Int, 2, false},
                                {"UnicodeLocaleId", ColumnType::Int, 4, false},
                                {"UnicodeComparisonStyle", ColumnType::Int, 4, false},
                                {"CompatibilityLevel", ColumnType::Int, 1, false},
                                {"SoftwareVendorId", ColumnType::Int, 4, false},
                                {"SoftwareVersionMajor", ColumnType::Int, 4, false},
                                {"SoftwareVersionMinor", ColumnType::Int, 4, false},
                                {"SoftwareVersionBuild", ColumnType::Int, 4, false},
                                {"MachineName", ColumnType::NVarChar, 128, false},
                                {"Flags", ColumnType::Int, 4, false}};
    if (later)
        cols.insert(cols.end(), {{"BindingID", ColumnType::Guid, 0, false},
                                 {"RecoveryForkID", ColumnType::Guid, 0, false}});
    cols.push_back({"Collation", ColumnType::NVarChar, 128, false});
    if (!later)
        return cols;
    cols.push_back({"FamilyGUID", ColumnType::Guid, 0, false});
    for (const char* bit :
         {"HasBulkLoggedData", "IsSnapshot", "IsReadOnly", "IsSingleUser", "HasBackupChecksums",
          "IsDamaged", "BeginsLogChain", "HasIncompleteMetaData", "IsForceOffline", "IsCopyOnly"})
        cols.push_back({bit, ColumnType::Bit, 0, false});
    cols.insert(cols.end(), {{"FirstRecoveryForkID", ColumnType::Guid, 0, false},
                             {"ForkPointLSN", ColumnType::Numeric25, 0, true},
                             {"RecoveryModel", ColumnType::NVarChar, 60, false},
                             {"DifferentialBaseLSN", ColumnType::Numeric25, 0, true},
                             {"DifferentialBaseGUID", ColumnType::Guid, 0, true},
                             {"BackupTypeDescription", ColumnType::NVarChar, 60, false},
                             {"BackupSetGUID", ColumnType::Guid, 0, true}});
    if (v.major >= 10)
        cols.push_back({"CompressedBackupSize", ColumnType::Int, 8, false});
    if (v.major >= 11)
        cols.push_back({"Containment", ColumnType::Int, 1, false});
    return cols;
}

void write_header_row(ByteWriter& w, const ServerVersion& v, const BackupHeader& h, int position) {
    const bool later = &v != &sql2000();
    const std::uint64_t size = h.end_offset - h.set_offset;
    const bool differential = h.type == set_type::kDifferential;
    write_row_start(w);
    write_nvarchar(w, h.name.empty() ? std::nullopt : std::optional<std::string>(h.name));
    write_nvarchar(w, std::nullopt);
    write_int(w, 2, h.type);
    write_null_fixed(w);
    write_int(w, 1, h.compressed ? 1 : 0);
    write_int(w, 2, position);
    write_int(w, 1, 2); // disk
    write_nvarchar(w, std::string("sa"));
    write_nvarchar(w, std::string(kServerName));
    write_nvarchar(w, h.database);
    write_int(w, 4, h.made_by->database_version);
    write_local_datetime(w, h.created_ms != 0 ? h.created_ms : kUnknownCreationMs);
    write_numeric(w, size);
    write_numeric(w, h.first_lsn);
    write_numeric(w, h.last_lsn);
    write_numeric(w, h.checkpoint_lsn);
    write_numeric(w, h.database_backup_lsn);
    write_local_datetime(w, h.started * 1000);
    write_local_datetime(w, h.finished * 1000);
    write_int(w, 2, 52);   // Chinese_PRC_CI_AS's sort order
    write_int(w, 2, 936);  // its code page
    write_int(w, 4, 2052); // and locale
    write_int(w, 4, 196609);
    write_int(w, 1, h.level);
    write_int(w, 4, 4608); // Microsoft
    write_int(w, 4, h.made_by->major);
    write_int(w, 4, h.made_by->minor);
    write_int(w, 4, h.made_by->build);
    write_nvarchar(w, std::string(kServerName));
    write_int(w, 4, 0);
    // A restore gives the database a new BindingID and recovery fork at once here.
    if (later) {
        write_guid_of(w, "binding " + id_seed(h, h.fork));
        write_guid_of(w, "fork " + id_seed(h, h.fork));
    }
    write_nvarchar(w, std::string("Chinese_PRC_CI_AS"));
    if (!later)
        return;
    write_guid_of(w, "family " + id_seed(h, h.family));
    // HasBulkLoggedData, IsSnapshot, IsReadOnly, IsSingleUser, HasBackupChecksums, IsDamaged,
    // BeginsLogChain, HasIncompleteMetaData, IsForceOffline, IsCopyOnly
    for (bool bit :
         {false, false, false, false, h.checksums, false, false, false, false, h.copy_only})
        write_bit(w, bit);
    write_guid_of(w, "fork " + id_seed(h, h.first_fork));
    if (h.first_fork != h.fork)
        write_numeric(w, h.fork_point);
    else
        write_null_fixed(w);
    write_nvarchar(w, std::string("FULL"));
    if (differential) {
        write_numeric(w, h.database_backup_lsn);
        write_guid_of(w, set_guid_seed(h, h.database_backup_lsn));
    } else {
        write_null_fixed(w);
        write_null_fixed(w);
    }
    write_nvarchar(w, std::string(type_description(h.type)));
    write_guid_of(w, set_guid_seed(h, h.checkpoint_lsn));
    // The stand-in compresses nothing: a compressed set takes as many bytes as any other.
    if (v.major >= 10)
        write_int(w, 8, static_cast<std::int64_t>(size));
    if (v.major >= 11)
        write_int(w, 1, 0);
}

std::vector<Column> file_columns(const ServerVersion& v) {
    std::vector<Column> cols = {{"LogicalName", ColumnType::NVarChar, 128, false},
                                {"PhysicalName", ColumnType::NVarChar, 260, false},
                                {"Type", ColumnType::Char, 1, false},
                                {"FileGroupName", ColumnType::NVarChar, 128, true},
                                {"Size", ColumnType::Numeric20, 0, false},
                                {"MaxSize", ColumnType::Numeric20, 0, false}};
    if (&v == &sql2000())
        return cols;
    cols.insert(cols.end(), {{"FileId", ColumnType::Int, 8, false},
                             {"CreateLSN", ColumnType::Numeric25, 0, false},
                             {"DropLSN", ColumnType::Numeric25, 0, true},
                             {"UniqueId", ColumnType::Guid, 0, false},
                             {"ReadOnlyLSN", ColumnType::Numeric25, 0, true},
                             {"ReadWriteLSN", ColumnType::Numeric25, 0, true},
                             {"BackupSizeInBytes", ColumnType::Int, 8, false},
                             {"SourceBlockSize", ColumnType::Int, 4, false},
                             {"FileGroupId", ColumnType::Int, 4, false},
                             {"LogGroupGUID", ColumnType::Guid, 0, true},
                             {"DifferentialBaseLSN", ColumnType::Numeric25, 0, true},
                             {"DifferentialBaseGUID", ColumnType::Guid, 0, true},
                             {"IsReadOnly", ColumnType::Bit, 0, false},
                             {"IsPresent", ColumnType::Bit, 0, false}});
    if (v.major >= 10)
        cols.push_back({"TDEThumbprint", ColumnType::VarBinary, 32, true});
    return cols;
}

void write_file_row(ByteWriter& w, const ServerVersion& v, const BackupHeader& h,
                    const BackupEntry& e, int file_id) {
    write_row_start(w);
    write_nvarchar(w, e.logical);
    write_nvarchar(w, e.physical);
    write_char(w, std::string(1, e.type));
    write_nvarchar(w, e.filegroup.empty() ? std::nullopt : std::optional<std::string>(e.filegroup));
    write_numeric(w, e.size);
    write_numeric(w, kUnlimitedMaxSize);
    if (&v == &sql2000())
        return;
    write_int(w, 8, file_id);
    write_numeric(w, 0);
    write_null_fixed(w);
    write_guid_of(w, "file " + h.database + " " + e.logical);
    write_null_fixed(w);
    write_null_fixed(w);
    write_int(w, 8, static_cast<std::int64_t>(e.size));
    write_int(w, 4, 512);
    write_int(w, 4, e.type == 'L' ? 0 : 1);
    write_null_fixed(w);
    if (h.type == set_type::kDifferential) {
        write_numeric(w, h.database_backup_lsn);
        write_guid_of(w, set_guid_seed(h, h.database_backup_lsn));
    } else {
        write_null_fixed(w);
        write_null_fixed(w);
    }
    write_bit(w, false);
    write_bit(w, true);
    if (v.major >= 10)
        write_null_varlength(w);
}

} // namespace

void run_headeronly(const sql::HeaderOnly& s, Context& c) {
    std::vector<BackupHeader> sets;
    if (!find_set(s.disk, 1, sets, c.version, SetUse::Header, c.r))
        return terminate_read("RESTORE HEADERONLY", c.r);
    c.r.columns(header_columns(c.version));
    for (std::size_t i = 0; i < sets.size(); ++i)
        write_header_row(c.r.out(), c.version, sets[i], static_cast<int>(i + 1));
    c.r.done(done::kCount, static_cast<std::uint32_t>(sets.size()));
}

void run_filelist(const sql::FileList& s, Context& c) {
    std::vector<BackupHeader> sets;
    const BackupHeader* set = find_set(s.disk, s.file, sets, c.version, SetUse::FileList, c.r);
    if (!set)
        return terminate_read("RESTORE FILELIST", c.r);
    c.r.columns(file_columns(c.version));
    for (std::size_t i = 0; i < set->files.size(); ++i)
        write_file_row(c.r.out(), c.version, *set, set->files[i], static_cast<int>(i + 1));
    c.r.done(done::kCount, static_cast<std::uint32_t>(set->files.size()));
}

} // namespace standin
