#include "backup_steps.hpp"
#include "copier.hpp"
#include "dbcc.hpp"
#include "file_formats.hpp"
#include "log_position.hpp"
#include "messages.hpp"
#include "statements.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace standin {

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }

private:
    int fd_;
};

bool target_dir_ok(const std::string& path) {
    std::error_code ec;
    return !path.empty() && path[0] == '/' && fs::is_directory(fs::path(path).parent_path(), ec);
}

const BackupEntry* entry_named(const BackupHeader& h, const std::string& logical) {
    for (const BackupEntry& e : h.files)
        if (same_name(e.logical, logical))
            return &e;
    return nullptr;
}

} // namespace

void run_restore(const sql::RestoreDatabase& s, Context& c) {
    if (s.log)
        return run_restore_log(s, c);
    const auto started = std::chrono::steady_clock::now();
    auto abort = [&]() {
        c.r.error(3013, msg::terminating("RESTORE DATABASE"));
        c.r.done(done::kError);
    };
    std::vector<BackupHeader> sets;
    const BackupHeader* set = find_set(s.disk, s.file, sets, c.version, SetUse::Restore, c.r);
    if (!set)
        return abort();
    const BackupHeader& h = *set;
    std::uint64_t data_bytes = 0;
    for (const BackupEntry& e : h.files)
        data_bytes += e.type == 'L' ? 0 : e.size;
    if (!within_licensed_size(data_bytes, c))
        return abort();

    const bool differential = h.type == set_type::kDifferential;
    Database target{s.name, "RESTORING", {}};
    target.level = level_on(c.version, h.level);
    inherit_upkeep(target, c.version, *h.made_by);
    target.users = h.users; // the restorer, sa here, owns it; dbo stays the backup's
    {
        std::lock_guard lock(c.catalogue.mutex());
        if (h.type == set_type::kLog) {
            c.r.error(3135, msg::wrong_set_kind(s.disk, "BACKUP LOG"));
            return abort();
        }
        for (const sql::Move& m : s.moves)
            if (!entry_named(h, m.logical)) {
                c.r.error(3234, msg::not_part_of(m.logical, s.name));
                return abort();
            }
        const Database* existing = c.catalogue.find(s.name);
        if (Catalogue::is_system(s.name) || c.catalogue.busy(s.name)) {
            c.r.error(3101, msg::exclusive_access());
            return abort();
        }
        if (differential) {
            // Only a database left loading by the full backup it was taken from can take it.
            if (!ready_to_roll_forward(existing, c.r))
                return abort();
            if (existing->full_checkpoint != h.database_backup_lsn ||
                !same_incarnation(*existing, h)) {
                c.r.error(3136, msg::differential_base_mismatch());
                return abort();
            }
            target = *existing;
            target.files.clear();
        } else if (existing && !s.replace && !same_name(existing->name, h.database)) {
            c.r.error(3154, msg::other_database(existing->name));
            return abort();
        }
        bool bad = false;
        for (const BackupEntry& e : h.files) {
            std::string path = e.physical;
            if (differential)
                for (const DbFile& f : existing->files)
                    if (same_name(f.logical, e.logical))
                        path = f.path;
            for (const sql::Move& m : s.moves)
                if (same_name(m.logical, e.logical))
                    path = m.target;
            const Database* owner = c.catalogue.owner_of(path);
            if (!target_dir_ok(path)) {
                c.r.error(5105, msg::device_activation(path));
                c.r.error(3156, msg::cannot_restore_to(e.logical, path));
                bad = true;
            } else if (owner && !same_name(owner->name, s.name)) {
                c.r.error(1834, msg::file_in_use(path, owner->name));
                c.r.error(3156, msg::cannot_restore_to(e.logical, path));
                bad = true;
            } else if (!s.replace && !owner && fs::exists(path)) {
                c.r.error(3142, msg::restore_over_existing(e.logical, path));
                bad = true;
            }
            // Two files copied onto one path would leave only the last of them.
            for (std::size_t k = 0; k < target.files.size(); ++k)
                if (normal_path(target.files[k].path) == normal_path(path)) {
                    c.r.error(3176, msg::file_claimed(path, target.files[k].logical, int(k) + 1,
                                                      e.logical, int(target.files.size()) + 1));
                    bad = true;
                }
            target.files.push_back({e.type, e.logical, path});
        }
        if (bad)
            return abort();
        // From here the database exists as RESTORING until the copy ends.
        c.catalogue.put(target);
        c.catalogue.save();
        c.catalogue.set_busy(s.name, true);
    }
    auto release = [&](const char* state) {
        std::lock_guard lock(c.catalogue.mutex());
        target.state = state;
        c.catalogue.put(target);
        c.catalogue.save();
        c.catalogue.set_busy(s.name, false);
    };

    std::uint64_t total = 0;
    for (const BackupEntry& e : h.files)
        total += e.size;
    Progress progress(c.r, s.stats, std::string(c.version.restored), total);
    bool dropped = false;
    Copier copier(c.faults.rate(), [&](std::uint64_t done, long pause_ms) {
        progress.at(done);
        if (c.drop_midway && (progress.messages() > 0 || s.stats == 0)) {
            dropped = true;
            return false;
        }
        return pause_ms > 0 ? c.r.wait_ms(pause_ms) : !c.r.cancelled();
    });

    const Fd in(::open(s.disk.c_str(), O_RDONLY | O_CLOEXEC));
    std::uint64_t offset = h.content_offset;
    for (std::size_t i = 0; i < h.files.size(); ++i) {
        const BackupEntry& e = h.files[i];
        const std::string& path = target.files[i].path;
        const Fd out(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        const std::string head =
            data_header_text({s.name, e.logical, e.type, e.size, &c.version, target.level, false,
                              i == 0 ? target.users : std::vector<DbUser>{}});
        if (!out.ok() ||
            ::pwrite(out.get(), head.data(), head.size(), 0) != static_cast<ssize_t>(head.size())) {
            c.r.error(5105, msg::device_activation(path));
            c.r.error(3156, msg::cannot_restore_to(e.logical, path));
            release("RESTORING");
            return abort();
        }
        const Copier::Result res =
            in.ok() ? copier.copy(in.get(), offset, out.get(), kDataHeaderSize, e.size)
                    : Copier::Result::ReadFailed;
        if (res != Copier::Result::Ok) {
            release("RESTORING");
            if (dropped) {
                c.r.drop();
                return;
            }
            if (res == Copier::Result::ReadFailed)
                c.r.error(3203, msg::read_failed(s.disk, 38));
            else if (res == Copier::Result::WriteFailed)
                c.r.error(5105, msg::device_activation(path));
            else
                c.r.error(3204, msg::operator_aborted());
            return abort();
        }
        offset += e.size;
    }
    if (c.drop_midway) {
        // Nothing big enough to stop in the middle of: drop at the end instead.
        release("RESTORING");
        c.r.drop();
        return;
    }
    progress.finish();
    target.lsn = h.last_lsn;
    target.lsn_time = now_seconds();
    target.log_start = h.last_lsn;
    if (!differential)
        target.full_checkpoint = h.checkpoint_lsn;
    target.restored = true;
    if (!differential) {
        target.created_ms = h.created_ms;
        target.family = h.family;
    }
    target.fork = h.fork;
    target.log_fork = h.fork;
    target.fork_point = h.fork_point;
    if (s.recovery)
        start_fork(target);
    {
        std::lock_guard lock(c.catalogue.mutex());
        c.catalogue.add_history({target.lsn_time, s.name, differential ? 'I' : 'D', s.recovery, 0});
    }
    release(s.recovery ? "ONLINE" : "RESTORING");
    std::uint64_t all_pages = 0;
    for (const BackupEntry& e : h.files) {
        c.r.info(4035, msg::processed_pages(pages(e.size), s.name, e.logical, s.file));
        all_pages += pages(e.size);
    }
    // An older database is upgraded when it is recovered, not before.
    if (s.recovery)
        report_upgrade(c.r, s.name, h.made_by->database_version, c.version.database_version);
    c.r.info(3014, "RESTORE DATABASE successfully processed " + std::to_string(all_pages) +
                       " pages in " + seconds_and_rate(all_pages, seconds_since(started)));
    c.r.done(done::kFinal);
}

void run_backup(const sql::BackupDatabase& s, Context& c) {
    const auto started = std::chrono::steady_clock::now();
    const bool log = s.kind == sql::BackupKind::Log;
    const char* statement = log ? "BACKUP LOG" : "BACKUP DATABASE";
    auto abort = [&]() {
        c.r.error(3013, msg::terminating(statement));
        c.r.done(done::kError);
    };
    if (&c.version == &sql2000() && !s.later_option.empty()) {
        c.r.error(170, msg::syntax(1, s.later_option), 15);
        c.r.done(done::kError);
        return;
    }
    if (s.compression && !compresses_backups(c.edition, c.version)) {
        c.r.error(1844,
                  msg::compression_unsupported(statement, edition_text(c.edition, c.version)));
        return abort();
    }
    BackupHeader h;
    h.copy_only = s.copy_only;
    h.checksums = s.checksum;
    h.compressed = s.compression;
    std::vector<std::string> sources;
    Database after; // the database's log position once the backup is taken
    {
        std::lock_guard lock(c.catalogue.mutex());
        const Database* db = c.catalogue.find(s.name);
        if (!db) {
            c.r.error(911, msg::no_such_db_entry(s.name));
            return abort();
        }
        if (c.catalogue.busy(s.name) || db->state != "ONLINE") {
            c.r.error(3101, msg::exclusive_access());
            return abort();
        }
        if (db->full_checkpoint == 0 && s.kind != sql::BackupKind::Database) {
            if (log)
                c.r.error(4214, msg::no_current_backup());
            else
                c.r.error(3035, msg::no_base_for_differential(db->name));
            return abort();
        }
        h.database = db->name;
        h.created_ms = db->created_ms;
        h.family = db->family;
        h.fork = db->fork;
        h.first_fork = log ? db->log_fork : db->fork;
        h.fork_point = h.first_fork != h.fork ? db->fork_point : 0;
        h.made_by = &c.version;
        h.level = db->level;
        h.users = db->users;
        for (const DbFile& f : db->files) {
            DataHeader dh;
            if (read_data_header(f.path, dh) != HeaderRead::Ok) {
                c.r.error(3201, msg::cannot_open_device(f.path), 16, 2);
                return abort();
            }
            // A log backup holds no file contents here, only the list.
            h.files.push_back(
                {f.type, f.logical, f.path, f.type == 'D' ? "PRIMARY" : "", log ? 0 : dh.size});
            sources.push_back(f.path);
        }
        after = *db;
        h.started = now_seconds();
        const std::uint64_t at = log_change(after, h.started);
        h.last_lsn = after.lsn;
        if (log) {
            h.type = set_type::kLog;
            h.first_lsn = db->log_start;
            h.checkpoint_lsn = db->full_checkpoint;
            h.database_backup_lsn = db->full_checkpoint;
            if (!s.copy_only) {
                after.log_start = h.last_lsn;
                after.log_fork = db->fork;
            }
        } else {
            h.type = s.kind == sql::BackupKind::Differential ? set_type::kDifferential
                                                             : set_type::kDatabase;
            h.first_lsn = at;
            h.checkpoint_lsn = at;
            h.database_backup_lsn = db->full_checkpoint;
            // A copy-only backup is no base for the differentials after it.
            if (h.type == set_type::kDatabase && !s.copy_only)
                after.full_checkpoint = at;
        }
    }
    if (!target_dir_ok(s.disk)) {
        c.r.error(3201, msg::cannot_open_device(s.disk), 16, 2);
        return abort();
    }
    h.name = s.set_name;
    h.finished = now_seconds();
    // Without INIT or FORMAT the set goes after those already on the device.
    std::vector<BackupHeader> sets;
    const BackupRead existing = s.init ? BackupRead::Missing : read_backup_device(s.disk, sets);
    // Media a later server wrote cannot take this server's set after its own.
    const bool foreign = std::any_of(sets.begin(), sets.end(), [&](const BackupHeader& set) {
        return written_later(set, c.version);
    });
    if (existing == BackupRead::Malformed || (existing == BackupRead::Ok && foreign)) {
        c.r.error(3241, msg::media_malformed(s.disk));
        return abort();
    }
    const bool append = existing == BackupRead::Ok;
    const std::uint64_t base = append ? sets.back().end_offset : 0;
    const int position = append ? static_cast<int>(sets.size()) + 1 : 1;
    // A new device is written beside the target and renamed, and an appended set is cut off again
    // on failure, so a broken backup never looks whole.
    const std::string partial = s.disk + ".partial";
    const Fd out(append ? ::open(s.disk.c_str(), O_WRONLY | O_CLOEXEC)
                        : ::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    auto undo = [&]() {
        if (!append)
            ::unlink(partial.c_str());
        else if (::ftruncate(out.get(), static_cast<off_t>(base)) != 0)
            std::cerr << "standin: cannot cut " << s.disk << " back to its earlier sets\n";
    };
    const std::string head = backup_header_text(h);
    if (!out.ok() || ::pwrite(out.get(), head.data(), head.size(), static_cast<off_t>(base)) !=
                         static_cast<ssize_t>(head.size())) {
        c.r.error(3201, msg::cannot_open_device(s.disk), 16, 2);
        if (out.ok())
            undo();
        return abort();
    }
    std::uint64_t total = 0;
    for (const BackupEntry& e : h.files)
        total += e.size;
    Progress progress(c.r, s.stats, std::string(c.version.backed_up), total);
    bool dropped = false;
    Copier copier(0, [&](std::uint64_t done, long) {
        progress.at(done);
        if (c.drop_midway) {
            dropped = true;
            return false;
        }
        return !c.r.cancelled();
    });
    std::uint64_t offset = base + head.size();
    for (std::size_t i = 0; i < h.files.size(); ++i) {
        const Fd in(::open(sources[i].c_str(), O_RDONLY | O_CLOEXEC));
        const Copier::Result res =
            in.ok() ? copier.copy(in.get(), kDataHeaderSize, out.get(), offset, h.files[i].size)
                    : Copier::Result::ReadFailed;
        if (res != Copier::Result::Ok) {
            undo();
            if (dropped) {
                c.r.drop();
                return;
            }
            if (res == Copier::Result::Stopped)
                c.r.error(3204, msg::operator_aborted());
            else
                c.r.error(3203, msg::read_failed(sources[i], 38));
            return abort();
        }
        offset += h.files[i].size;
    }
    if (c.drop_midway || (!append && ::rename(partial.c_str(), s.disk.c_str()) != 0)) {
        undo();
        if (c.drop_midway) {
            c.r.drop();
            return;
        }
        c.r.error(3201, msg::cannot_open_device(s.disk), 16, 2);
        return abort();
    }
    progress.finish();
    std::uint64_t all_pages = 0;
    for (const BackupEntry& e : h.files) {
        c.r.info(4035, msg::processed_pages(pages(e.size), h.database, e.logical, position));
        all_pages += pages(e.size);
    }
    {
        std::lock_guard lock(c.catalogue.mutex());
        if (Database* db = c.catalogue.find(s.name)) {
            db->lsn = after.lsn;
            db->lsn_time = after.lsn_time;
            db->log_start = after.log_start;
            db->log_fork = after.log_fork;
            db->full_checkpoint = after.full_checkpoint;
            c.catalogue.save();
        }
    }
    c.r.info(3014, std::string(statement) + " successfully processed " + std::to_string(all_pages) +
                       " pages in " + seconds_and_rate(all_pages, seconds_since(started)));
    c.r.done(done::kFinal);
}

} // namespace standin
