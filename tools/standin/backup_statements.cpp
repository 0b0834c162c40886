#include "copier.hpp"
#include "file_formats.hpp"
#include "messages.hpp"
#include "statements.hpp"

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

constexpr std::uint64_t kPage = 8192;
constexpr std::uint64_t kUnlimitedMaxSize = 35184372080640ull;

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

std::uint64_t pages(std::uint64_t bytes) {
    return (bytes + kPage - 1) / kPage;
}

bool target_dir_ok(const std::string& path) {
    std::error_code ec;
    return !path.empty() && path[0] == '/' && fs::is_directory(fs::path(path).parent_path(), ec);
}

// STATS progress: "N percent <verb>." at every multiple of `step`, pushed
// out at once, each ending a result with DONE_MORE.
class Progress {
public:
    Progress(Response& r, int step, std::string verb, std::uint64_t total)
        : r_(r), step_(step), verb_(std::move(verb)), total_(total) {}
    void at(std::uint64_t done) {
        if (step_ <= 0)
            return;
        const std::uint64_t pct =
            total_ == 0 ? 100 : std::min<std::uint64_t>(100, done * 100 / total_);
        while (next_ <= static_cast<int>(pct))
            emit(next_), next_ += step_;
    }
    void finish() {
        at(total_);
        if (step_ > 0 && last_ != 100)
            emit(100);
    }
    int messages() const { return sent_; }

private:
    void emit(int p) {
        r_.info(3211, msg::percent(p, verb_));
        r_.done(done::kMore);
        r_.push();
        last_ = p;
        ++sent_;
    }
    Response& r_;
    int step_;
    std::string verb_;
    std::uint64_t total_;
    int next_ = step_;
    int last_ = 0;
    int sent_ = 0;
};

std::string seconds_and_rate(std::uint64_t total_pages, double secs) {
    secs = std::max(secs, 0.001);
    const double mb = static_cast<double>(total_pages * kPage) / 1048576.0;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%.3f seconds (%.3f MB/sec).", secs, mb / secs);
    return buf;
}

double seconds_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

const BackupEntry* entry_named(const BackupHeader& h, const std::string& logical) {
    for (const BackupEntry& e : h.files)
        if (same_name(e.logical, logical))
            return &e;
    return nullptr;
}

// The set at position `file` of the device, or nullptr once the error saying why is written.
const BackupHeader* find_set(const std::string& disk, int file, std::vector<BackupHeader>& sets,
                             Response& r) {
    switch (read_backup_device(disk, sets)) {
    case BackupRead::Missing:
        r.error(3201, msg::cannot_open_device(disk), 16, 2);
        return nullptr;
    case BackupRead::Malformed:
        r.error(3241, msg::media_malformed(disk));
        return nullptr;
    case BackupRead::Ok:
        break;
    }
    if (static_cast<std::size_t>(file) > sets.size()) {
        r.error(4038, msg::set_missing(file, disk));
        return nullptr;
    }
    return &sets[static_cast<std::size_t>(file) - 1];
}

void terminate_read(const char* statement, Response& r) {
    r.error(3013, msg::terminating(statement));
    r.done(done::kError);
}

} // namespace

void run_headeronly(const sql::HeaderOnly& s, Context& c) {
    std::vector<BackupHeader> sets;
    if (!find_set(s.disk, 1, sets, c.r))
        return terminate_read("RESTORE HEADERONLY", c.r);
    ByteWriter& w = c.r.out();
    write_columns(w, {{"BackupName", ColumnType::NVarChar, 128, true},
                      {"BackupDescription", ColumnType::NVarChar, 255, true},
                      {"BackupType", ColumnType::Int, 2, false},
                      {"Position", ColumnType::Int, 2, false},
                      {"DeviceType", ColumnType::Int, 1, false},
                      {"ServerName", ColumnType::NVarChar, 128, false},
                      {"DatabaseName", ColumnType::NVarChar, 128, false},
                      {"DatabaseVersion", ColumnType::Int, 4, false},
                      {"BackupSize", ColumnType::Numeric20, 0, false},
                      {"BackupStartDate", ColumnType::DateTime, 0, false},
                      {"BackupFinishDate", ColumnType::DateTime, 0, false},
                      {"MachineName", ColumnType::NVarChar, 128, false}});
    for (std::size_t i = 0; i < sets.size(); ++i) {
        const BackupHeader& h = sets[i];
        write_row_start(w);
        write_nvarchar(w, h.name.empty() ? std::nullopt : std::optional<std::string>(h.name));
        write_nvarchar(w, std::nullopt);
        write_int(w, 2, 1); // a full database backup
        write_int(w, 2, static_cast<std::int32_t>(i + 1));
        write_int(w, 1, 2); // disk
        write_nvarchar(w, std::string(kServerName));
        write_nvarchar(w, h.database);
        write_int(w, 4, 539); // the database version of SQL Server 2000
        write_numeric20(w, h.end_offset - h.set_offset);
        write_local_datetime(w, h.finished * 1000);
        write_local_datetime(w, h.finished * 1000);
        write_nvarchar(w, std::string(kServerName));
    }
    c.r.done(done::kCount, static_cast<std::uint32_t>(sets.size()));
}

void run_filelist(const sql::FileList& s, Context& c) {
    std::vector<BackupHeader> sets;
    const BackupHeader* set = find_set(s.disk, s.file, sets, c.r);
    if (!set)
        return terminate_read("RESTORE FILELIST", c.r);
    const BackupHeader& h = *set;
    ByteWriter& w = c.r.out();
    write_columns(w, {{"LogicalName", ColumnType::NVarChar, 128, false},
                      {"PhysicalName", ColumnType::NVarChar, 260, false},
                      {"Type", ColumnType::Char, 1, false},
                      {"FileGroupName", ColumnType::NVarChar, 128, true},
                      {"Size", ColumnType::Numeric20, 0, false},
                      {"MaxSize", ColumnType::Numeric20, 0, false}});
    for (const BackupEntry& e : h.files) {
        write_row_start(w);
        write_nvarchar(w, e.logical);
        write_nvarchar(w, e.physical);
        write_char(w, std::string(1, e.type));
        write_nvarchar(w, e.filegroup.empty() ? std::nullopt
                                              : std::optional<std::string>(e.filegroup));
        write_numeric20(w, e.size);
        write_numeric20(w, kUnlimitedMaxSize);
    }
    c.r.done(done::kCount, static_cast<std::uint32_t>(h.files.size()));
}

void run_restore(const sql::RestoreDatabase& s, Context& c) {
    const auto started = std::chrono::steady_clock::now();
    auto abort = [&]() {
        c.r.error(3013, msg::terminating("RESTORE DATABASE"));
        c.r.done(done::kError);
    };
    std::vector<BackupHeader> sets;
    const BackupHeader* set = find_set(s.disk, s.file, sets, c.r);
    if (!set)
        return abort();
    const BackupHeader& h = *set;

    Database target{s.name, "RESTORING", {}};
    {
        std::lock_guard lock(c.catalogue.mutex());
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
        if (existing && !s.replace && !same_name(existing->name, h.database)) {
            c.r.error(3154, msg::other_database(existing->name));
            return abort();
        }
        bool bad = false;
        for (const BackupEntry& e : h.files) {
            std::string path = e.physical;
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
    Progress progress(c.r, s.stats, "restored", total);
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
        const std::string head = data_header_text({s.name, e.logical, e.type, e.size});
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
    release(s.recovery ? "ONLINE" : "RESTORING");
    std::uint64_t all_pages = 0;
    for (const BackupEntry& e : h.files) {
        c.r.info(4035, msg::processed_pages(pages(e.size), s.name, e.logical, s.file));
        all_pages += pages(e.size);
    }
    c.r.info(3014, "RESTORE DATABASE successfully processed " + std::to_string(all_pages) +
                       " pages in " + seconds_and_rate(all_pages, seconds_since(started)));
    c.r.done(done::kFinal);
}

void run_backup(const sql::BackupDatabase& s, Context& c) {
    const auto started = std::chrono::steady_clock::now();
    auto abort = [&]() {
        c.r.error(3013, msg::terminating("BACKUP DATABASE"));
        c.r.done(done::kError);
    };
    BackupHeader h;
    std::vector<std::string> sources;
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
        h.database = db->name;
        for (const DbFile& f : db->files) {
            DataHeader dh;
            if (read_data_header(f.path, dh) != HeaderRead::Ok) {
                c.r.error(3201, msg::cannot_open_device(f.path), 16, 2);
                return abort();
            }
            h.files.push_back({f.type, f.logical, f.path, f.type == 'D' ? "PRIMARY" : "", dh.size});
            sources.push_back(f.path);
        }
    }
    if (!target_dir_ok(s.disk)) {
        c.r.error(3201, msg::cannot_open_device(s.disk), 16, 2);
        return abort();
    }
    h.name = s.set_name;
    h.finished = std::chrono::duration_cast<std::chrono::seconds>(
                     std::chrono::system_clock::now().time_since_epoch())
                     .count();
    // Without INIT or FORMAT the set goes after those already on the device.
    std::vector<BackupHeader> sets;
    const BackupRead existing = s.init ? BackupRead::Missing : read_backup_device(s.disk, sets);
    if (existing == BackupRead::Malformed) {
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
    Progress progress(c.r, s.stats, "backed up", total);
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
    c.r.info(3014, "BACKUP DATABASE successfully processed " + std::to_string(all_pages) +
                       " pages in " + seconds_and_rate(all_pages, seconds_since(started)));
    c.r.done(done::kFinal);
}

} // namespace standin
