#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

// What an operator runs on a database after bringing it over: backup verification, consistency
// checks and the upgrade's leftovers (compatibility level, page verification, usage counts).
namespace standin::sql {

struct Token;
struct SyntaxError;

// RESTORE VERIFYONLY FROM DISK = '…' [WITH FILE = n, MOVE '…' TO '…', CHECKSUM | NO_CHECKSUM, …]
struct VerifyOnly {
    std::string disk;
    int file = 1;
    std::vector<std::pair<std::string, std::string>> moves; // logical name, target
    bool checksum = false;
    std::string later_option; // the first option SQL Server 2000 does not know, as written
};

// DBCC CHECKDB | CHECKCATALOG | UPDATEUSAGE [('name')] [WITH DATA_PURITY, NO_INFOMSGS, …]
struct Dbcc {
    enum class Command { CheckDb, CheckCatalog, UpdateUsage };
    Command command = Command::CheckDb;
    std::string name = "master"; // the connection's database when none is named
    bool data_purity = false;
    bool no_infomsgs = false;
};

// ALTER DATABASE [name] SET COMPATIBILITY_LEVEL = n | PAGE_VERIFY option, or
// EXEC sp_dbcmptlevel 'name', n
struct DatabaseOption {
    std::string name;
    std::optional<int> level;
    std::string page_verify; // empty unless set
    bool procedure = false;  // sp_dbcmptlevel
};

// SELECT compatibility_level, page_verify_option_desc FROM sys.databases WHERE name = N'…'
struct DatabaseSettings {
    std::string name;
};

struct Maintenance {
    std::variant<VerifyOnly, Dbcc, DatabaseOption, DatabaseSettings> statement;
};

// The statement when the batch is one of these; nullopt when it is none (the general parser's).
std::optional<std::variant<Maintenance, SyntaxError>>
parse_maintenance(const std::vector<Token>& tokens);

std::string_view maintenance_kind(const Maintenance& m);

} // namespace standin::sql
