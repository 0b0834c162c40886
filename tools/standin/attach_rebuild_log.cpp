// Attaching a data file without its log: sp_attach_single_file_db (every version) and CREATE
// DATABASE … FOR ATTACH_REBUILD_LOG (2005 on). The server makes a new log only for a database that
// was shut down cleanly; otherwise it refuses and changes nothing.

#include "backup_steps.hpp"
#include "file_formats.hpp"
#include "log_position.hpp"
#include "messages.hpp"
#include "statements.hpp"

#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace standin {

namespace {

// Number assumed; text as SQL Server 2005 prints it where it cannot rebuild a log.
constexpr std::int32_t kActivation = 5105;

std::string activation_failure(const std::string& path) {
    return "File activation failure. The physical file name \"" + path + "\" may be incorrect.";
}

std::string not_cleanly_shut_down() {
    return "The log cannot be rebuilt because the database was not cleanly shut down.";
}

std::string new_log_created(const std::string& path) {
    return "New log file " + msg::q(path) + " was created.";
}

bool write_log_file(const std::string& path, const DataHeader& h) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const std::string head = data_header_text(h);
    const bool ok = ::write(fd, head.data(), head.size()) == static_cast<ssize_t>(head.size()) &&
                    ::ftruncate(fd, static_cast<off_t>(kDataHeaderSize + h.size)) == 0;
    ::close(fd);
    if (!ok)
        ::unlink(path.c_str());
    return ok;
}

} // namespace

void run_attach_rebuilding_log(const std::string& name, const std::string& path, bool procedure,
                               Context& c) {
    const auto finish = [&](bool ok) {
        if (procedure) {
            c.r.return_status(ok ? 0 : 1);
            c.r.done_proc(ok ? done::kFinal : done::kError);
        } else {
            c.r.done(ok ? done::kFinal : done::kError);
        }
    };
    const auto fail = [&](std::int32_t number, const std::string& text) {
        c.r.error(number, text);
        c.r.error(1813, msg::could_not_open_new(name));
        finish(false);
    };
    std::lock_guard lock(c.catalogue.mutex());
    if (c.catalogue.find(name)) {
        c.r.error(1801, msg::db_exists(name));
        return finish(false);
    }
    DataHeader h;
    switch (read_data_header(path, h)) {
    case HeaderRead::Missing:
        return fail(5105, msg::device_activation(path));
    case HeaderRead::NotData:
        return fail(5172, msg::bad_header(path));
    case HeaderRead::Ok:
        break;
    }
    if (h.type != 'D' || c.catalogue.owner_of(path))
        return fail(5105, msg::device_activation(path));
    if (h.format->database_version > c.version.database_version)
        return fail(
            948, msg::newer_database(name, h.format->database_version, c.version.database_version));
    if (!can_open(c.version, *h.format))
        return fail(950, msg::unsupported_old_database(name, h.format->database_version));
    const std::string log = (fs::path(path).parent_path() / (name + "_log.LDF")).string();
    if (!h.shut_down_cleanly) {
        if (c.version.major == 8)
            return fail(5105, msg::device_activation(log));
        c.r.info(kActivation, activation_failure(log));
        c.r.info(kActivation, not_cleanly_shut_down());
        c.r.error(1813, msg::could_not_open_new(name));
        return finish(false);
    }
    if (fs::exists(fs::symlink_status(log)))
        return fail(5170, msg::file_exists(log));

    Database db{name, "ONLINE", {}};
    db.level = level_on(c.version, h.level);
    const ServerVersion* made_by = h.format;
    DataHeader data = h;
    data.format = &c.version;
    data.level = db.level;
    data.shut_down_cleanly = false;
    DataHeader made{h.database, h.database + "_log", 'L', 1 << 20, &c.version, db.level};
    if (!write_log_file(log, made))
        return fail(5123, msg::os_error_create("5(Access is denied.)", log));
    if (!rewrite_data_header(path, data)) {
        ::unlink(log.c_str());
        return fail(5105, msg::device_activation(path));
    }
    db.files.push_back({'D', h.logical, path});
    db.files.push_back({'L', made.logical, log});
    c.r.info(kActivation, new_log_created(log));
    if (made_by != &c.version)
        report_upgrade(c.r, name, made_by->database_version, c.version.database_version);
    start_log(db, now_seconds());
    c.catalogue.put(db);
    c.catalogue.save();
    finish(true);
}

void run_create_rebuilding_log(const sql::CreateDatabase& s, Context& c) {
    // SQL Server 2000 knows CREATE DATABASE … FOR ATTACH only.
    if (c.version.major == 8 || s.data.size() != 1 || !s.log.empty()) {
        c.r.error(170, msg::syntax(1, "ATTACH_REBUILD_LOG"), 15);
        c.r.done(done::kError);
        return;
    }
    run_attach_rebuilding_log(s.name, s.data.front().path, false, c);
}

} // namespace standin
