#pragma once

#include "principals.hpp"

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

struct DbFile {
    char type = 'D';
    std::string logical;
    std::string path;
};

struct Database {
    std::string name;
    std::string state = "ONLINE"; // or RESTORING after an unfinished restore
    std::vector<DbFile> files;
    // Log position: where the log stood at lsn_time (seconds since 1970); see log_position.hpp.
    std::uint64_t lsn = 0;
    std::int64_t lsn_time = 0;
    std::uint64_t log_start = 0;       // where the next log backup begins
    std::uint64_t full_checkpoint = 0; // of the last full backup taken or restored; 0: none
    bool restored = false;             // made by a restore sequence rather than created
    int level = 80;                    // compatibility level (sysdatabases.cmptlevel)
    // What an upgrade from SQL Server 2000 leaves: torn-page detection instead of checksums, and
    // space usage counts that DBCC UPDATEUSAGE corrects.
    std::string page_verify = "CHECKSUM";
    bool usage_stale = false;
    // Which database this is, as its backups carry it: created (ms since 1970) and family stay
    // from its creation on, also through restores of its backups; a restore brought online starts
    // a new recovery fork at fork_point. log_fork is the fork where the next log backup begins.
    // Zero throughout for databases restored from sets that carry no identity.
    std::int64_t created_ms = 0;
    std::uint64_t family = 0;
    std::uint64_t fork = 0;
    std::uint64_t log_fork = 0;
    std::uint64_t fork_point = 0;
    // sysusers as its backups and data files carry it; empty for the defaults (dbo is sa).
    std::vector<DbUser> users{};
    std::string owner_sid{}; // sysdatabases.sid; empty for sa's
};

// One row of msdb..restorehistory.
struct RestoreHistory {
    std::int64_t date = 0; // seconds since 1970
    std::string database;
    char type = 'D'; // D database, I differential, L log
    bool recovery = true;
    std::int64_t stop_at = 0; // 0: no STOPAT
};

// Names compare case-insensitively (ASCII), as under a _CI_ collation.
bool same_name(std::string_view a, std::string_view b);
// Absolute, lexically normal form with symlinked directories resolved; used
// to tell whether two spellings name the same file.
std::string normal_path(const std::string& path);

// The set of databases, kept in ROOT/catalogue.txt. Callers hold mutex()
// around every read-check-change sequence.
class Catalogue {
public:
    // Throws std::runtime_error when the stored catalogue cannot be read. The system databases
    // have the server's compatibility level.
    Catalogue(std::string root, int system_level);

    std::mutex& mutex() { return m_; }
    const std::string& root() const { return root_; }
    const std::vector<Database>& all() const { return dbs_; }
    Database* find(std::string_view name);
    const Database* owner_of(const std::string& path) const;
    void put(Database d);
    void erase(std::string_view name);
    // Throws std::runtime_error when the file cannot be written.
    void save() const;

    const std::vector<RestoreHistory>& history() const { return history_; }
    void add_history(RestoreHistory h) { history_.push_back(std::move(h)); }

    std::vector<Login>& logins() { return logins_; }

    static bool is_system(std::string_view name);

    // Databases a restore is writing right now.
    bool busy(std::string_view name) const;
    void set_busy(const std::string& name, bool on);

private:
    void load();

    std::string root_;
    std::mutex m_;
    std::vector<Database> dbs_;
    std::vector<RestoreHistory> history_;
    std::vector<Login> logins_;
    std::set<std::string> busy_;
};

} // namespace standin
