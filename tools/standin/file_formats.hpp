#pragma once

#include "principals.hpp"
#include "server_version.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace standin {

// Text fields in our headers are percent-encoded so names may hold blanks,
// line breaks and any UTF-8.
std::string encode_field(const std::string& s);
std::optional<std::string> decode_field(const std::string& s);

// Data/log file: a 4096-byte text header, then the file's content.
constexpr std::size_t kDataHeaderSize = 4096;

struct DataHeader {
    std::string database;
    std::string logical;
    char type = 'D';
    std::uint64_t size = 0; // content bytes after the header
    // The server version whose format the file has, and the database's compatibility level.
    // Files written before versions were kept are SQL Server 2000's.
    const ServerVersion* format = &sql2000();
    int level = 80;
    // Set by a detach; a file copied from a database that is online was not shut down cleanly,
    // so no server rebuilds its log.
    bool shut_down_cleanly = false;
    std::vector<DbUser> users{}; // the primary file's: the database's sysusers; empty for defaults
};

std::string data_header_text(const DataHeader& h);
enum class HeaderRead { Ok, Missing, NotData };
// Replaces the header of an existing file, leaving its content; false when it cannot.
bool rewrite_data_header(const std::string& path, const DataHeader& h);
HeaderRead read_data_header(const std::string& path, DataHeader& out);

// Backup device: one or more backup sets one after another, each a text header (database, file
// list) followed by each file's content in list order.
struct BackupEntry {
    char type = 'D';
    std::string logical;
    std::string physical;
    std::string filegroup; // empty for log files
    std::uint64_t size = 0;
};

// SQL Server's numbers for the kinds of backup set.
namespace set_type {
constexpr int kDatabase = 1;
constexpr int kLog = 2;
constexpr int kDifferential = 5;
} // namespace set_type

struct BackupHeader {
    std::string database;
    std::string name;          // BACKUP ... WITH NAME; may be empty
    std::int64_t finished = 0; // seconds since 1970
    // Sets written before these were kept read as full backups started when they finished, with
    // log positions of 0.
    int type = set_type::kDatabase;
    std::int64_t started = 0;
    std::uint64_t first_lsn = 0;
    std::uint64_t last_lsn = 0;
    std::uint64_t checkpoint_lsn = 0;
    std::uint64_t database_backup_lsn = 0; // the full backup a differential or log builds on
    // The database's identity (see Database): its creation, family, the recovery forks the set
    // begins and ends on and, when they differ, where the second began. Zero throughout for sets
    // written without one (make-backup, older stand-ins).
    std::int64_t created_ms = 0;
    std::uint64_t family = 0;
    std::uint64_t first_fork = 0;
    std::uint64_t fork = 0;
    std::uint64_t fork_point = 0;
    std::vector<BackupEntry> files;
    // The server that wrote the set and the database's compatibility level; sets written before
    // versions were kept are SQL Server 2000's.
    const ServerVersion* made_by = &sql2000();
    int level = 80;
    // BACKUP … WITH COPY_ONLY, CHECKSUM, COMPRESSION
    bool copy_only = false;
    bool checksums = false;
    bool compressed = false;
    std::vector<DbUser> users{};      // empty for sets written before users were kept: the defaults
    std::uint64_t set_offset = 0;     // where the set starts in the device
    std::uint64_t content_offset = 0; // set by read_backup_device
    std::uint64_t end_offset = 0;     // where the next set would start
};

std::string backup_header_text(const BackupHeader& h);
enum class BackupRead { Ok, Missing, Malformed };
// Reads every set's header, in position order; Malformed unless the sets fill the file exactly.
BackupRead read_backup_device(const std::string& path, std::vector<BackupHeader>& sets);

// Deterministic filler for generated file contents.
void fill_pattern(std::uint8_t* buf, std::size_t n, std::uint64_t seed);

} // namespace standin
