#pragma once

#include "maintenance.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace standin::sql {

struct GetDate {};

struct SelectDatabases {
    std::optional<std::string> name;
    bool level = false; // the cmptlevel column too
};

struct FileList {
    std::string disk;
    int file = 1; // the backup set, by position
};

struct HeaderOnly {
    std::string disk;
};

struct FileDef {
    std::string logical;
    std::string path;
    std::uint64_t size_mb = 1;
};

struct CreateDatabase {
    std::string name;
    std::vector<FileDef> data;
    std::vector<FileDef> log;
    bool rebuild_log = false; // FOR ATTACH_REBUILD_LOG: attaches the data file, makes a new log
};

struct Move {
    std::string logical;
    std::string target;
};

struct RestoreDatabase {
    std::string name;
    std::string disk;
    int file = 1;
    int stats = 0; // 0: no progress messages
    bool replace = false;
    bool recovery = true;
    std::vector<Move> moves;
    bool log = false;                   // RESTORE LOG: rolls a database being restored forward
    std::optional<std::string> stop_at; // STOPAT = '<date and time>', as written
};

enum class BackupKind { Database, Differential, Log };

struct BackupDatabase {
    std::string name;
    std::string disk;
    std::string set_name;
    int stats = 0;
    bool init = false; // INIT or FORMAT: the device is written afresh instead of appended to
    BackupKind kind = BackupKind::Database;
    bool copy_only = false;   // leaves the differential base and the log chain as they were
    bool checksum = false;    // the set carries checksums
    bool compression = false; // needs an edition that compresses
    std::string later_option; // the first option SQL Server 2000 does not know, as written
};

// SELECT * FROM msdb..restorehistory [WHERE destination_database_name = '...']
struct SelectRestoreHistory {
    std::optional<std::string> database;
};

struct AttachDb {
    std::string name;
    std::vector<std::string> files;
    bool single_file = false; // sp_attach_single_file_db: the data file alone, a new log made
};

struct DetachDb {
    std::string name;
};

struct DropDatabase {
    std::string name;
};

// EXEC master..xp_dirtree '<folder>', depth, file: the server's listing of one of its folders.
struct DirTree {
    std::string folder;
    int depth = 0; // 0: every level
    bool with_files = false;
};

// SET options (sent by some clients after login) are accepted and ignored.
struct SetOption {};

// exec master..xp_fileexist N'path': what lies at a path of the server's disk.
struct FileExist {
    std::string disk;
};

// SELECT CAST(DATABASEPROPERTYEX(N'name', 'Status') AS nvarchar(n)) [AS alias]
struct DatabaseState {
    std::string name;
    std::string column; // the alias, or empty
};

// SELECT filename FROM master..sysaltfiles WHERE dbid = DB_ID(N'name')
struct DatabaseFiles {
    std::string name;
};

// SELECT CAST(SERVERPROPERTY('Edition') AS nvarchar(128)) AS Edition, CAST(…) AS …, …
struct ServerProperties {
    struct Item {
        std::string property;
        bool integer = false;       // AS int; else a text of `length` characters
        std::uint16_t length = 128; // nvarchar(n), varchar(n), sysname
        std::string column;         // the alias, or empty
    };
    std::vector<Item> items;
};

// EXEC master.dbo.xp_delete_file 0, N'path': deletes a backup file.
struct DeleteFile {
    int file_type = 0; // 0 backups, 1 maintenance plan reports
    std::string disk;
};

using Statement = std::variant<GetDate, SelectDatabases, FileList, CreateDatabase, RestoreDatabase,
                               BackupDatabase, AttachDb, DetachDb, DropDatabase, SetOption,
                               HeaderOnly, SelectRestoreHistory, DirTree, FileExist, DatabaseState,
                               DatabaseFiles, Maintenance, ServerProperties, DeleteFile>;

struct SyntaxError {
    int line = 1;
    std::string near;
};

// One statement per batch, optionally ended by ';'.
std::variant<Statement, SyntaxError> parse(std::string_view batch);

// Short name of a statement kind, as used by --fault rules.
std::string_view kind_name(const Statement& s);

} // namespace standin::sql
