#include "backup_steps.hpp"
#include "dbcc.hpp"
#include "file_formats.hpp"
#include "log_position.hpp"
#include "messages.hpp"
#include "statements.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace standin {

namespace {

bool parent_dir_exists(const std::string& path) {
    if (path.empty() || path[0] != '/')
        return false;
    std::error_code ec;
    return fs::is_directory(fs::path(path).parent_path(), ec);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The Windows-style text SQL Server puts into 5123 for an errno.
std::string os_error(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return "3(The system cannot find the path specified.)";
    case EACCES:
    case EPERM:
    case EROFS:
        return "5(Access is denied.)";
    case ENOSPC:
        return "112(There is not enough space on the disk.)";
    default:
        return std::to_string(err) + "(" + std::strerror(err) + ")";
    }
}

// Creates a file exclusively with our header and `mb` MiB of (sparse) content.
int create_data_file(const std::string& path, const DataHeader& h) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno;
    const std::string head = data_header_text(h);
    int err = 0;
    if (::write(fd, head.data(), head.size()) != static_cast<ssize_t>(head.size()) ||
        ::ftruncate(fd, static_cast<off_t>(kDataHeaderSize + h.size)) != 0)
        err = errno ? errno : EIO;
    ::close(fd);
    if (err)
        ::unlink(path.c_str());
    return err;
}

void proc_failed(Context& c) {
    c.r.return_status(1);
    c.r.done_proc(done::kError);
}

} // namespace

void run_create(const sql::CreateDatabase& s, Context& c) {
    if (s.rebuild_log)
        return run_create_rebuilding_log(s, c);
    std::lock_guard lock(c.catalogue.mutex());
    if (c.catalogue.find(s.name)) {
        c.r.error(1801, msg::db_exists(s.name));
        c.r.done(done::kError);
        return;
    }
    std::vector<std::pair<char, sql::FileDef>> files;
    for (const sql::FileDef& f : s.data)
        files.emplace_back('D', f);
    if (files.empty()) {
        const fs::path dir = fs::path(c.catalogue.root()) / "data";
        fs::create_directories(dir);
        files.emplace_back('D', sql::FileDef{s.name, (dir / (s.name + ".mdf")).string(), 1});
    }
    for (const sql::FileDef& f : s.log)
        files.emplace_back('L', f);
    if (s.log.empty()) {
        const fs::path dir = fs::path(files.front().second.path).parent_path();
        files.emplace_back(
            'L', sql::FileDef{s.name + "_log", (dir / (s.name + "_log.LDF")).string(), 1});
    }

    auto fail = [&](std::int32_t number, const std::string& text) {
        c.r.error(number, text);
        c.r.error(1802, msg::create_failed());
        c.r.done(done::kError);
    };
    std::uint64_t data_bytes = 0;
    for (const auto& [type, f] : files)
        data_bytes += type == 'D' ? f.size_mb << 20 : 0;
    if (!within_licensed_size(data_bytes, c)) {
        c.r.done(done::kError);
        return;
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        const sql::FileDef& f = files[i].second;
        for (std::size_t k = 0; k < i; ++k)
            if (same_name(files[k].second.logical, f.logical)) {
                c.r.error(1828, msg::file_name_in_use(f.logical));
                c.r.done(done::kError);
                return;
            }
        if (!parent_dir_exists(f.path))
            return fail(5123, msg::os_error_create(os_error(ENOENT), f.path));
        if (exists(f.path))
            return fail(5170, msg::file_exists(f.path));
    }

    Database db{s.name, "ONLINE", {}};
    db.level = c.version.compatibility_level;
    inherit_upkeep(db, c.version, c.version);
    for (const auto& [type, f] : files) {
        const int err = create_data_file(
            f.path, {s.name, f.logical, type, f.size_mb << 20, &c.version, db.level});
        if (err) {
            for (const DbFile& made : db.files)
                ::unlink(made.path.c_str());
            return fail(err == EEXIST ? 5170 : 5123,
                        err == EEXIST ? msg::file_exists(f.path)
                                      : msg::os_error_create(os_error(err), f.path));
        }
        db.files.push_back({type, f.logical, f.path});
    }
    start_log(db, now_seconds());
    c.catalogue.put(db);
    c.catalogue.save();
    for (const auto& [type, f] : files)
        c.r.info(1805, msg::allocating(static_cast<double>(f.size_mb), f.logical));
    c.r.done(done::kFinal);
}

void run_attach(const sql::AttachDb& s, Context& c) {
    if (s.single_file)
        return run_attach_rebuilding_log(s.name, s.files.front(), true, c);
    std::lock_guard lock(c.catalogue.mutex());
    if (c.catalogue.find(s.name)) {
        c.r.error(1801, msg::db_exists(s.name));
        return proc_failed(c);
    }
    auto fail = [&](std::int32_t number, const std::string& text) {
        c.r.error(number, text);
        c.r.error(1813, msg::could_not_open_new(s.name));
        proc_failed(c);
    };
    Database db{s.name, "ONLINE", {}};
    const ServerVersion* format = nullptr;
    std::vector<DataHeader> headers;
    std::string origin;
    for (const std::string& path : s.files) {
        DataHeader h;
        switch (read_data_header(path, h)) {
        case HeaderRead::Missing:
            return fail(5105, msg::device_activation(path));
        case HeaderRead::NotData:
            return fail(5172, msg::bad_header(path));
        case HeaderRead::Ok:
            break;
        }
        if (c.catalogue.owner_of(path))
            return fail(5105, msg::device_activation(path));
        for (const DbFile& f : db.files)
            if (normal_path(f.path) == normal_path(path) || same_name(f.logical, h.logical))
                return fail(1828, msg::file_name_in_use(h.logical));
        if (db.files.empty())
            origin = h.database;
        else if (h.database != origin) {
            c.r.error(5173, msg::different_databases());
            return proc_failed(c);
        }
        if (db.files.empty())
            db.users = h.users;
        db.files.push_back({h.type, h.logical, path});
        format = h.format;
        db.level = level_on(c.version, h.level);
        headers.push_back(h);
    }
    if (format && format->database_version > c.version.database_version)
        return fail(
            948, msg::newer_database(s.name, format->database_version, c.version.database_version));
    if (format && !can_open(c.version, *format))
        return fail(950, msg::unsupported_old_database(s.name, format->database_version));
    // Once attached, the files have this server's format and the database's level, and are open.
    for (std::size_t i = 0; i < headers.size(); ++i) {
        if (headers[i].format == &c.version && headers[i].level == db.level &&
            !headers[i].shut_down_cleanly)
            continue;
        headers[i].format = &c.version;
        headers[i].level = db.level;
        headers[i].shut_down_cleanly = false;
        if (!rewrite_data_header(db.files[i].path, headers[i]))
            return fail(5105, msg::device_activation(db.files[i].path));
    }
    inherit_upkeep(db, c.version, format ? *format : sql2000());
    if (format)
        report_upgrade(c.r, s.name, format->database_version, c.version.database_version);
    start_log(db, now_seconds());
    c.catalogue.put(db);
    c.catalogue.save();
    c.r.return_status(0);
    c.r.done_proc(done::kFinal);
}

void run_detach(const sql::DetachDb& s, Context& c) {
    std::lock_guard lock(c.catalogue.mutex());
    if (Catalogue::is_system(s.name)) {
        c.r.error(7940, "System databases master, model, msdb, and tempdb cannot be detached.");
        return proc_failed(c);
    }
    const Database* db = c.catalogue.find(s.name);
    if (!db) {
        c.r.error(15010, msg::detach_missing(s.name));
        return proc_failed(c);
    }
    if (c.catalogue.busy(s.name)) {
        c.r.error(3703, "Cannot detach the database " + msg::q(db->name) +
                            " because it is currently in use.");
        return proc_failed(c);
    }
    // A detached database was shut down cleanly: a server may rebuild its log.
    for (const DbFile& f : db->files) {
        DataHeader h;
        if (read_data_header(f.path, h) == HeaderRead::Ok && !h.shut_down_cleanly) {
            h.shut_down_cleanly = true;
            rewrite_data_header(f.path, h);
        }
    }
    c.catalogue.erase(s.name);
    c.catalogue.save();
    c.r.return_status(0);
    c.r.done_proc(done::kFinal);
}

void run_drop(const sql::DropDatabase& s, Context& c) {
    std::lock_guard lock(c.catalogue.mutex());
    if (Catalogue::is_system(s.name)) {
        c.r.error(3708, msg::drop_system(s.name));
        c.r.done(done::kError);
        return;
    }
    const Database* db = c.catalogue.find(s.name);
    if (!db) {
        c.r.error(3701, msg::drop_missing(s.name), 11);
        c.r.done(done::kError);
        return;
    }
    if (c.catalogue.busy(s.name)) {
        c.r.error(3702, msg::drop_in_use(db->name));
        c.r.done(done::kError);
        return;
    }
    for (const DbFile& f : db->files)
        ::unlink(f.path.c_str());
    c.catalogue.erase(s.name);
    c.catalogue.save();
    c.r.done(done::kFinal);
}

} // namespace standin
