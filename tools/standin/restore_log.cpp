#include "backup_steps.hpp"
#include "log_position.hpp"
#include "messages.hpp"
#include "statements.hpp"

#include <cstdio>
#include <ctime>

namespace standin {

namespace {

// 'YYYY-MM-DD HH:MM[:SS[.mmm]]' (or with a T) in the server's local time, as seconds since 1970.
std::optional<std::int64_t> parse_local_time(const std::string& text) {
    std::tm tm{};
    char sep = 0;
    int consumed = 0;
    const int fields = std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d%n", &tm.tm_year, &tm.tm_mon,
                                   &tm.tm_mday, &sep, &tm.tm_hour, &tm.tm_min, &consumed);
    if (fields != 6 || (sep != ' ' && sep != 'T'))
        return std::nullopt;
    std::string rest = text.substr(static_cast<std::size_t>(consumed));
    if (!rest.empty()) {
        int more = 0;
        if (std::sscanf(rest.c_str(), ":%2d%n", &tm.tm_sec, &more) != 1)
            return std::nullopt;
        rest = rest.substr(static_cast<std::size_t>(more));
        if (!rest.empty() && rest.find_first_not_of("0123456789", 1) != std::string::npos)
            return std::nullopt;
    }
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1))
        return std::nullopt;
    return static_cast<std::int64_t>(t);
}

// The log position reached at `when`, between where the set starts and ends.
std::uint64_t position_at(const BackupHeader& h, std::int64_t when) {
    if (when <= h.started || h.finished <= h.started)
        return h.first_lsn;
    const auto span = static_cast<std::uint64_t>(h.finished - h.started);
    const auto part = static_cast<std::uint64_t>(when - h.started);
    return h.first_lsn + (h.last_lsn - h.first_lsn) * part / span;
}

} // namespace

void run_restore_log(const sql::RestoreDatabase& s, Context& c) {
    const auto started = std::chrono::steady_clock::now();
    auto abort = [&]() {
        c.r.error(3013, msg::terminating("RESTORE LOG"));
        c.r.done(done::kError);
    };
    std::optional<std::int64_t> stop_at;
    if (s.stop_at && !(stop_at = parse_local_time(*s.stop_at))) {
        c.r.error(241, msg::bad_datetime());
        c.r.done(done::kError);
        return;
    }
    std::vector<BackupHeader> sets;
    const BackupHeader* set = find_set(s.disk, s.file, sets, c.version, SetUse::Restore, c.r);
    if (!set)
        return abort();
    const BackupHeader& h = *set;
    if (h.type != set_type::kLog) {
        c.r.error(3135, msg::wrong_set_kind(s.disk, "BACKUP DATABASE"));
        return abort();
    }
    std::lock_guard lock(c.catalogue.mutex());
    Database* db = c.catalogue.find(s.name);
    if (db && c.catalogue.busy(s.name)) {
        c.r.error(3101, msg::exclusive_access());
        return abort();
    }
    if (!ready_to_roll_forward(db, c.r))
        return abort();
    // A log crossing to a new recovery fork is on the old one up to its fork point.
    const bool crosses = h.first_fork != h.fork;
    const auto fork_at = [&](std::uint64_t lsn) {
        return crosses && lsn > h.fork_point ? h.fork : h.first_fork;
    };
    if (!same_incarnation(*db, h) || db->fork != fork_at(db->lsn)) {
        c.r.error(4330, msg::inconsistent_recovery_path());
        return abort();
    }
    if (h.first_lsn > db->lsn) {
        c.r.error(4305, msg::log_too_late(h.first_lsn, db->lsn));
        return abort();
    }
    if (h.last_lsn <= db->lsn) {
        c.r.error(4326, msg::log_too_early(h.last_lsn, db->lsn));
        return abort();
    }
    if (c.drop_midway) {
        c.r.drop();
        return;
    }
    // A stop point past this log's end rolls all of it forward and waits for the next log.
    const bool stops_here = !stop_at || *stop_at <= h.finished;
    db->lsn = stop_at && stops_here ? position_at(h, *stop_at) : h.last_lsn;
    db->lsn_time = now_seconds();
    db->fork = fork_at(db->lsn);
    // The next log backup begins where the restore left the log.
    db->log_start = db->lsn;
    db->log_fork = db->fork;
    const bool recovered = s.recovery && stops_here;
    if (recovered) {
        db->state = "ONLINE";
        start_fork(*db);
    }
    c.catalogue.add_history({db->lsn_time, db->name, 'L', recovered, stop_at.value_or(0)});
    c.catalogue.save();

    Progress progress(c.r, s.stats, std::string(c.version.restored), 0);
    progress.finish();
    for (const BackupEntry& e : h.files)
        c.r.info(4035, msg::processed_pages(0, s.name, e.logical, s.file));
    if (s.recovery && !stops_here)
        c.r.info(4327, msg::left_loading());
    // An older database is upgraded when it is recovered, not before.
    if (recovered)
        report_upgrade(c.r, s.name, h.made_by->database_version, c.version.database_version);
    c.r.info(3014, "RESTORE LOG successfully processed 0 pages in " +
                       seconds_and_rate(0, seconds_since(started)));
    c.r.done(done::kFinal);
}

void run_restore_history(const sql::SelectRestoreHistory& s, Context& c) {
    ByteWriter& w = c.r.out();
    c.r.columns({{"restore_history_id", ColumnType::Int, 4, false},
                 {"restore_date", ColumnType::DateTime, 0, false},
                 {"destination_database_name", ColumnType::NVarChar, 128, false},
                 {"restore_type", ColumnType::Char, 1, false},
                 {"recovery", ColumnType::Int, 1, false},
                 {"stop_at", ColumnType::DateTime, 0, true}});
    std::uint32_t rows = 0;
    std::lock_guard lock(c.catalogue.mutex());
    const std::vector<RestoreHistory>& history = c.catalogue.history();
    for (std::size_t i = 0; i < history.size(); ++i) {
        const RestoreHistory& h = history[i];
        if (s.database && !same_name(*s.database, h.database))
            continue;
        write_row_start(w);
        write_int(w, 4, static_cast<std::int32_t>(i + 1));
        write_local_datetime(w, h.date * 1000);
        write_nvarchar(w, h.database);
        write_char(w, std::string(1, h.type));
        write_int(w, 1, h.recovery ? 1 : 0);
        if (h.stop_at != 0)
            write_local_datetime(w, h.stop_at * 1000);
        else
            write_null_fixed(w);
        ++rows;
    }
    c.r.done(done::kCount, rows);
}

} // namespace standin
