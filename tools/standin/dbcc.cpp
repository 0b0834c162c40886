#include "dbcc.hpp"

#include "backup_steps.hpp"
#include "messages.hpp"

#include <algorithm>
#include <string>

namespace standin {

namespace {

using msg::q;

// Texts of SQL Server's messages; those the documentation at hand lacks are assumed (see the
// README's tables).
std::string set_valid(const ServerVersion& v, int file) {
    if (&v == &sql2000())
        return "The backup set is valid.";
    return "The backup set on file " + std::to_string(file) + " is valid.";
}
std::string read_failed(const std::string& disk) {
    return "Read on \"" + disk + "\" failed: 23(Data error (cyclic redundancy check).)";
}
std::string no_checksums() {
    return "RESTORE WITH CHECKSUM cannot be specified because the backup set does not contain "
           "checksum information.";
}
std::string dbcc_results(std::string_view db) {
    return "DBCC results for " + q(db) + ".";
}
std::string checkdb_found(int errors, std::string_view db) {
    return "CHECKDB found 0 allocation errors and " + std::to_string(errors) +
           " consistency errors in database " + q(db) + ".";
}
std::string dbcc_completed() {
    return "DBCC execution completed. If DBCC printed error messages, contact your system "
           "administrator.";
}
std::string out_of_range() {
    return "Page (1:153), slot 4 in object ID 2073058421, index ID 0, partition ID "
           "72057594038321152, alloc unit ID 72057594042318848 (type \"In-row data\"). Column "
           "\"Price\" value is out of range for data type \"float\". Update column to a legal "
           "value.";
}
std::string catalog_mismatch() {
    return "Check Catalog Msg 3853, State 1: Attribute (object_id=2073058421) of row "
           "(object_id=2073058421,column_id=3) in sys.columns does not have a matching row "
           "(object_id=2073058421) in sys.objects.";
}
std::string catalog_mismatch_2000() {
    return "Table error: Object ID 2073058421 (object 'Goods') does not match between "
           "'sysobjects' and 'syscolumns'.";
}
std::string incorrect_dbcc() {
    return "Incorrect DBCC statement. Check the documentation for the correct DBCC syntax and "
           "options.";
}
std::string no_such_database(std::string_view db) {
    return "Could not find database " + q(db) +
           ". The database either does not exist, or was dropped before a statement tried to "
           "use it. Verify if the database exists by querying the sys.databases catalog view.";
}
std::string usage_updated(std::string_view table) {
    return "DBCC UPDATEUSAGE: Usage counts updated for table " + q(table) + " (index " + q(table) +
           ", partition 1):";
}
std::string valid_levels(const std::vector<int>& levels) {
    std::string text = "Valid values of the database compatibility level are ";
    for (std::size_t i = 0; i < levels.size(); ++i)
        text += std::to_string(levels[i]) + (i + 2 < levels.size()    ? ", "
                                             : i + 2 == levels.size() ? ", or "
                                                                      : ".");
    return text;
}
std::string cannot_alter(std::string_view db) {
    return "User does not have permission to alter database " + q(db) +
           ", the database does not exist, or the database is not in a state that allows "
           "access checks.";
}

void syntax_error(Context& c, std::string_view near) {
    c.r.error(170, msg::syntax(1, near), 15);
    c.r.done(done::kError);
}

void run_verify(const sql::VerifyOnly& s, Context& c) {
    // SQL Server 2000 knows neither MOVE nor the checksum options here.
    if (&c.version == &sql2000() && !s.later_option.empty())
        return syntax_error(c, s.later_option);
    auto abort = [&]() {
        c.r.error(3013, msg::terminating("VERIFY DATABASE"));
        c.r.done(done::kError);
    };
    std::vector<BackupHeader> sets;
    const BackupHeader* set = find_set(s.disk, s.file, sets, c.version, SetUse::Restore, c.r);
    if (!set)
        return abort();
    for (const auto& move : s.moves) {
        const std::string& logical = move.first;
        if (std::none_of(set->files.begin(), set->files.end(),
                         [&](const BackupEntry& e) { return same_name(e.logical, logical); })) {
            c.r.error(3234, msg::not_part_of(logical, set->database));
            return abort();
        }
    }
    // Only a set taken WITH CHECKSUM carries checksums to check.
    if (s.checksum && !set->checksums) {
        c.r.error(3187, no_checksums());
        return abort();
    }
    if (c.faults.find(Fault::Action::Unreadable, "verifyonly")) {
        c.r.error(3203, read_failed(s.disk));
        return abort();
    }
    c.r.info(3262, set_valid(c.version, s.file));
    c.r.done(done::kFinal);
}

// Checks the database; with the inconsistent fault it has a value out of its column's range,
// seen by a later server's data purity check, and a catalog row without its object, which
// SQL Server 2000's CHECKDB never looks at and its CHECKCATALOG words in its own way.
void run_check(const sql::Dbcc& s, const Database& db, Context& c) {
    const bool later = &c.version != &sql2000();
    const bool inconsistent = c.faults.find(Fault::Action::Inconsistent, "dbcc") != nullptr;
    auto info = [&](std::int32_t number, const std::string& text) {
        if (!s.no_infomsgs)
            c.r.info(number, text);
    };
    int errors = 0;
    if (s.command == sql::Dbcc::Command::CheckDb) {
        info(2536, dbcc_results(db.name));
        if (inconsistent && later) {
            // A database from SQL Server 2000 has its column values checked only when asked.
            if (s.data_purity || db.level > 80) {
                c.r.error(2570, out_of_range(), 16, 2);
                ++errors;
            }
            c.r.error(8992, catalog_mismatch());
            ++errors;
        }
        info(8989, checkdb_found(errors, db.name));
    } else if (inconsistent) {
        if (later)
            c.r.error(8992, catalog_mismatch());
        else
            c.r.error(2513, catalog_mismatch_2000());
        ++errors;
    }
    info(2528, dbcc_completed());
    c.r.done(errors ? done::kError : done::kFinal);
}

void run_dbcc(const sql::Dbcc& s, Context& c) {
    if (s.data_purity && &c.version == &sql2000()) {
        c.r.error(2526, incorrect_dbcc());
        c.r.done(done::kError);
        return;
    }
    std::lock_guard lock(c.catalogue.mutex());
    Database* db = c.catalogue.find(s.name);
    if (!db) {
        c.r.error(2520, no_such_database(s.name));
        c.r.done(done::kError);
        return;
    }
    if (s.command != sql::Dbcc::Command::UpdateUsage)
        return run_check(s, *db, c);
    if (db->usage_stale) {
        c.r.info(2501, usage_updated("sysobjects"));
        c.r.info(2501, "        RSVD pages (In-row Data): changed from (6) to (4) pages.");
        db->usage_stale = false;
        c.catalogue.save();
    }
    if (!s.no_infomsgs)
        c.r.info(2528, dbcc_completed());
    c.r.done(done::kFinal);
}

void run_option(const sql::DatabaseOption& s, Context& c) {
    auto fail = [&](std::int32_t number, const std::string& text) {
        c.r.error(number, text);
        if (s.procedure) {
            c.r.return_status(1);
            c.r.done_proc(done::kError);
        } else {
            c.r.done(done::kError);
        }
    };
    // ALTER DATABASE … SET COMPATIBILITY_LEVEL came with SQL Server 2008, PAGE_VERIFY with 2005.
    if (!s.procedure && s.level && c.version.major < 10)
        return syntax_error(c, "COMPATIBILITY_LEVEL");
    if (!s.procedure && !s.level && &c.version == &sql2000())
        return syntax_error(c, "PAGE_VERIFY");
    std::lock_guard lock(c.catalogue.mutex());
    Database* db = c.catalogue.find(s.name);
    if (!db)
        return s.procedure ? fail(15010, msg::detach_missing(s.name))
                           : fail(5011, cannot_alter(s.name));
    if (s.level) {
        const std::vector<int> levels = levels_of(c.version);
        if (std::find(levels.begin(), levels.end(), *s.level) == levels.end())
            return fail(15048, valid_levels(levels));
        db->level = *s.level;
    } else {
        db->page_verify = s.page_verify;
    }
    c.catalogue.save();
    if (s.procedure) {
        c.r.return_status(0);
        c.r.done_proc(done::kFinal);
    } else {
        c.r.done(done::kFinal);
    }
}

void run_settings(const sql::DatabaseSettings& s, Context& c) {
    if (&c.version == &sql2000()) {
        c.r.error(208, "Invalid object name 'sys.databases'.");
        c.r.done(done::kError);
        return;
    }
    ByteWriter& w = c.r.out();
    c.r.columns({{"compatibility_level", ColumnType::Int, 1, false},
                 {"page_verify_option_desc", ColumnType::NVarChar, 60, true}});
    std::lock_guard lock(c.catalogue.mutex());
    std::uint32_t rows = 0;
    if (const Database* db = c.catalogue.find(s.name)) {
        write_row_start(w);
        write_int(w, 1, db->level);
        write_nvarchar(w, db->page_verify);
        ++rows;
    }
    c.r.done(done::kCount, rows);
}

} // namespace

void run_maintenance(const sql::Maintenance& s, Context& c) {
    std::visit(
        [&c](const auto& statement) {
            using T = std::decay_t<decltype(statement)>;
            if constexpr (std::is_same_v<T, sql::VerifyOnly>)
                run_verify(statement, c);
            else if constexpr (std::is_same_v<T, sql::Dbcc>)
                run_dbcc(statement, c);
            else if constexpr (std::is_same_v<T, sql::DatabaseOption>)
                run_option(statement, c);
            else
                run_settings(statement, c);
        },
        s.statement);
}

void inherit_upkeep(Database& d, const ServerVersion& server, const ServerVersion& made_by) {
    const bool from2000 = &made_by == &sql2000();
    d.page_verify = from2000 ? "TORN_PAGE_DETECTION" : "CHECKSUM";
    d.usage_stale = from2000 && &server != &sql2000();
}

} // namespace standin
