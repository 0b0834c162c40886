#include "make_backup.hpp"

#include "copier.hpp"
#include "file_formats.hpp"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

namespace standin {

std::optional<std::uint64_t> parse_size(std::string_view s) {
    std::uint64_t v = 0;
    const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p == s.data())
        return std::nullopt;
    const std::string_view unit = s.substr(static_cast<std::size_t>(p - s.data()));
    int shift = 0;
    if (unit == "K" || unit == "k")
        shift = 10;
    else if (unit == "M" || unit == "m")
        shift = 20;
    else if (unit == "G" || unit == "g")
        shift = 30;
    else if (!unit.empty())
        return std::nullopt;
    if (v > (std::uint64_t{1} << (50 - shift)))
        return std::nullopt;
    return v << shift;
}

namespace {

std::optional<BackupEntry> parse_file(std::string_view arg) {
    // T:LOGICAL:SIZE[:PHYSICAL]; PHYSICAL may hold colons of its own.
    if (arg.size() < 2 || arg[1] != ':' || (arg[0] != 'D' && arg[0] != 'L' && arg[0] != 'F'))
        return std::nullopt;
    BackupEntry e;
    e.type = arg[0];
    arg.remove_prefix(2);
    const std::size_t c1 = arg.find(':');
    if (c1 == std::string_view::npos || c1 == 0)
        return std::nullopt;
    e.logical = std::string(arg.substr(0, c1));
    arg.remove_prefix(c1 + 1);
    const std::size_t c2 = arg.find(':');
    const auto size = parse_size(arg.substr(0, c2));
    if (!size)
        return std::nullopt;
    e.size = *size;
    const char* ext = e.type == 'D' ? ".mdf" : e.type == 'L' ? ".ldf" : "";
    e.physical = c2 == std::string_view::npos
                     ? "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\" + e.logical + ext
                     : std::string(arg.substr(c2 + 1));
    return e;
}

int usage() {
    std::cerr
        << "usage: standin make-backup OUT.bak [--append] --db NAME "
           "--file D:LOGICAL:SIZE[:PHYSICAL] --file L:LOGICAL:SIZE [--file F:LOGICAL:SIZE ...]\n"
           "       standin make-backup DIR --chain LOGS [--differential-after N] --db NAME "
           "--file ...\n"
           "       either with [--version 2000|2005|...|2022]: the server that made it\n"
           "       and [--user NAME:SIDHEX ...] [--owner SIDHEX]: the database's users\n"
           "       and [--sparse]: the contents left as holes, sizes declared, nothing written\n";
    return 2;
}

// Writes one set after the `sets` already on the device (none: the device is written afresh);
// a sparse set's contents are holes, so that any size costs no disk.
bool write_set(const std::string& out, const std::vector<BackupHeader>& sets, BackupHeader h,
               bool sparse) {
    const bool append = !sets.empty();
    const std::uint64_t base = append ? sets.back().end_offset : 0;
    const int fd =
        ::open(out.c_str(),
               append ? O_WRONLY | O_CLOEXEC : O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::cerr << "standin: cannot create " << out << ": " << std::strerror(errno) << "\n";
        return false;
    }
    const std::string head = backup_header_text(h);
    bool ok = ::pwrite(fd, head.data(), head.size(), static_cast<off_t>(base)) ==
              static_cast<ssize_t>(head.size());
    Copier copier(0, [](std::uint64_t, long) { return true; });
    std::uint64_t offset = base + head.size();
    for (std::size_t i = 0; ok && i < h.files.size(); ++i) {
        const std::uint64_t seed = sets.size() * 1000 + i + 1;
        ok = sparse || copier.generate(fd, offset, h.files[i].size, seed) == Copier::Result::Ok;
        offset += h.files[i].size;
    }
    if (ok && sparse)
        ok = ::ftruncate(fd, static_cast<off_t>(offset)) == 0;
    const int err = errno;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        std::cerr << "standin: writing " << out << " failed: " << std::strerror(err) << "\n";
        if (append ? ::truncate(out.c_str(), static_cast<off_t>(base)) != 0
                   : ::unlink(out.c_str()) != 0)
            std::cerr << "standin: " << out << " is left broken\n";
    }
    return ok;
}

// A full backup, hourly log backups after it up to an hour ago, and optionally a differential
// after log N, as separate files in DIR, with log positions that chain up.
int write_chain(const std::string& dir, BackupHeader full, int logs, int differential_after,
                bool sparse) {
    constexpr std::int64_t kHour = 3600;
    constexpr std::uint64_t kLsnPerHour = 360000000;
    const std::string stem = dir + "/" + full.database;
    full.started = static_cast<std::int64_t>(std::time(nullptr)) - (logs + 1) * kHour;
    full.finished = full.started + 60;
    full.first_lsn = 1000000001000001ull;
    full.checkpoint_lsn = full.first_lsn;
    full.last_lsn = full.first_lsn + 1;
    if (!write_set(stem + "_full.bak", {}, full, sparse))
        return 1;
    BackupHeader log = full;
    log.type = set_type::kLog;
    log.database_backup_lsn = full.checkpoint_lsn;
    for (BackupEntry& e : log.files)
        e.size = 0;
    log.last_lsn = full.first_lsn;
    log.finished = full.finished;
    for (int i = 1; i <= logs; ++i) {
        log.first_lsn = log.last_lsn;
        log.started = log.finished;
        log.finished = full.finished + i * kHour;
        log.last_lsn = full.last_lsn + static_cast<std::uint64_t>(i) * kLsnPerHour;
        char name[32];
        std::snprintf(name, sizeof name, "_log_%04d.trn", i);
        if (!write_set(stem + name, {}, log, sparse))
            return 1;
        if (i == differential_after) {
            BackupHeader diff = full;
            diff.type = set_type::kDifferential;
            diff.started = log.finished + 60;
            diff.finished = diff.started + 60;
            diff.first_lsn = log.last_lsn + kLsnPerHour / 60;
            diff.checkpoint_lsn = diff.first_lsn;
            diff.last_lsn = diff.first_lsn + 1;
            diff.database_backup_lsn = full.checkpoint_lsn;
            if (!write_set(stem + "_diff.bak", {}, diff, sparse))
                return 1;
        }
    }
    return 0;
}

} // namespace

// --user NAME:SIDHEX adds a SQL user; --owner SIDHEX makes dbo that login's.
bool add_user(BackupHeader& h, const std::string& argument) {
    const std::size_t colon = argument.find(':');
    const auto sid =
        colon == std::string::npos ? std::nullopt : sid_from_hex(argument.substr(colon + 1));
    if (!sid || sid->empty() || colon == 0)
        return false;
    if (h.users.empty())
        h.users = default_users();
    const std::string name = argument.substr(0, colon);
    if (name == "dbo") {
        h.users.front().sid = *sid;
        return true;
    }
    h.users.push_back({h.users.back().uid < 5 ? 5 : h.users.back().uid + 1, name, *sid});
    return true;
}

int make_backup_main(int argc, char** argv) {
    if (argc < 1)
        return usage();
    const std::string out = argv[0];
    BackupHeader h;
    bool append = false;
    bool sparse = false;
    int chain = -1;
    int differential_after = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--append" || a == "--sparse") {
            (a == "--append" ? append : sparse) = true;
            continue;
        }
        if (i + 1 >= argc)
            return usage();
        if (a == "--db") {
            h.database = argv[++i];
        } else if (a == "--version") {
            h.made_by = version_named(argv[++i]);
            if (!h.made_by)
                return usage();
            h.level = h.made_by->compatibility_level;
        } else if (a == "--chain" || a == "--differential-after") {
            const std::string_view v = argv[++i];
            int n = 0;
            const auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
            if (ec != std::errc() || p != v.data() + v.size() || n < 0 || n > 100000)
                return usage();
            (a == "--chain" ? chain : differential_after) = n;
        } else if (a == "--user" || a == "--owner") {
            if (!add_user(h, a == "--owner" ? "dbo:" + std::string(argv[++i]) : argv[++i]))
                return usage();
        } else if (a == "--file") {
            auto e = parse_file(argv[++i]);
            if (!e) {
                std::cerr << "standin: bad --file '" << argv[i] << "'\n";
                return usage();
            }
            h.files.push_back(*e);
        } else {
            return usage();
        }
    }
    bool primary_set = false;
    for (BackupEntry& e : h.files)
        if (e.type == 'D' && !primary_set) {
            e.filegroup = "PRIMARY";
            primary_set = true;
        }
    if (h.database.empty() || h.files.empty() || (chain >= 0 && append))
        return usage();
    if (chain >= 0)
        return write_chain(out, h, chain, differential_after, sparse);

    h.finished = static_cast<std::int64_t>(std::time(nullptr));
    h.started = h.finished;

    // --append adds a set after those already on the device; each set's content differs.
    std::vector<BackupHeader> sets;
    if (append && read_backup_device(out, sets) != BackupRead::Ok) {
        std::cerr << "standin: " << out << " is no backup device to append to\n";
        return 1;
    }
    return write_set(out, sets, h, sparse) ? 0 : 1;
}

} // namespace standin
