#include "statements.hpp"

#include "dbcc.hpp"
#include "file_formats.hpp"
#include "messages.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace standin {

namespace {

using Handler = void (*)(const sql::Statement&, Context&);

template <typename T, void (*F)(const T&, Context&)>
void adapt(const sql::Statement& s, Context& c) {
    F(std::get<T>(s), c);
}

// Indexed like the alternatives of sql::Statement.
constexpr std::array<Handler, std::variant_size_v<sql::Statement>> kHandlers = {
    adapt<sql::GetDate, run_getdate>,
    adapt<sql::SelectDatabases, run_select>,
    adapt<sql::FileList, run_filelist>,
    adapt<sql::CreateDatabase, run_create>,
    adapt<sql::RestoreDatabase, run_restore>,
    adapt<sql::BackupDatabase, run_backup>,
    adapt<sql::AttachDb, run_attach>,
    adapt<sql::DetachDb, run_detach>,
    adapt<sql::DropDatabase, run_drop>,
    adapt<sql::SetOption, run_set>,
    adapt<sql::HeaderOnly, run_headeronly>,
    adapt<sql::SelectRestoreHistory, run_restore_history>,
    adapt<sql::DirTree, run_dirtree>,
    adapt<sql::FileExist, run_fileexist>,
    adapt<sql::DatabaseState, run_database_state>,
    adapt<sql::DatabaseFiles, run_database_files>,
    adapt<sql::Maintenance, run_maintenance>,
    adapt<sql::ServerProperties, run_server_properties>,
    adapt<sql::DeleteFile, run_delete_file>,
};

bool is_procedure(const sql::Statement& s) {
    return std::holds_alternative<sql::AttachDb>(s) || std::holds_alternative<sql::DetachDb>(s) ||
           std::holds_alternative<sql::DirTree>(s) || std::holds_alternative<sql::FileExist>(s) ||
           std::holds_alternative<sql::DeleteFile>(s);
}

// Days since 1900-01-01 for a civil date (proleptic Gregorian).
std::int32_t days_since_1900(int y, int m, int d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int days_from_1970 = era * 146097 + doe - 719468;
    return days_from_1970 + 25567;
}

// The first 128 characters of a database or logical file name that is longer than that, which
// SQL Server refuses while parsing, before anything runs.
std::optional<std::string> overlong_name(const sql::Statement& s) {
    std::vector<std::string_view> names;
    std::visit(
        [&names](const auto& st) {
            if constexpr (requires { std::string_view(st.name); })
                names.push_back(st.name);
            if constexpr (requires { st.data; })
                for (const auto* files : {&st.data, &st.log})
                    for (const sql::FileDef& f : *files)
                        names.push_back(f.logical);
            if constexpr (requires { st.moves; })
                for (const sql::Move& m : st.moves)
                    names.push_back(m.logical);
        },
        s);
    for (std::string_view name : names) {
        std::size_t characters = 0;
        for (std::size_t i = 0; i < name.size(); ++i) {
            if ((static_cast<unsigned char>(name[i]) & 0xC0) == 0x80)
                continue; // a continuation byte of UTF-8
            if (++characters > 128)
                return std::string(name.substr(0, i));
        }
    }
    return std::nullopt;
}

} // namespace

void run_statement(const sql::Statement& s, Context& c) {
    if (const auto start = overlong_name(s)) {
        c.r.error(103, msg::identifier_too_long(*start), 15);
        c.r.done(done::kError);
        return;
    }
    const std::string_view kind = sql::kind_name(s);
    if (const Fault* f = c.faults.find(Fault::Action::Delay, kind)) {
        if (!c.r.wait_ms(f->delay_ms)) {
            c.r.done(done::kFinal);
            return;
        }
    }
    if (const Fault* f = c.faults.find(Fault::Action::Error, kind)) {
        c.r.error(f->number, f->text);
        if (is_procedure(s)) {
            c.r.return_status(1);
            c.r.done_proc(done::kError);
        } else {
            c.r.done(done::kError);
        }
        return;
    }
    if (c.faults.find(Fault::Action::Drop, kind)) {
        // Long statements drop after some progress; the rest before doing anything.
        if (kind != "restore" && kind != "backup") {
            c.r.drop();
            return;
        }
        c.drop_midway = true;
    }
    try {
        kHandlers[s.index()](s, c);
    } catch (const std::exception& e) {
        std::cerr << "standin: " << kind << " failed: " << e.what() << std::endl;
        c.r.error(50000, std::string("stand-in internal error: ") + e.what());
        c.r.done(done::kError);
    }
}

void write_local_datetime(ByteWriter& w, std::int64_t unix_ms) {
    const std::time_t t = static_cast<std::time_t>(unix_ms / 1000);
    std::tm tm{};
    localtime_r(&t, &tm);
    const std::int32_t days = days_since_1900(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    const long long msec =
        (tm.tm_hour * 3600LL + tm.tm_min * 60 + tm.tm_sec) * 1000 + unix_ms % 1000;
    write_datetime(w, days, static_cast<std::uint32_t>((msec * 300 + 500) / 1000));
}

bool within_licensed_size(std::uint64_t data_bytes, Context& c) {
    const std::uint64_t cap_mb = size_cap_mb(c.edition, c.version);
    if (cap_mb == 0 || data_bytes <= cap_mb << 20)
        return true;
    c.r.error(1827, msg::over_licensed_size(cap_mb));
    return false;
}

void run_getdate(const sql::GetDate&, Context& c) {
    using namespace std::chrono;
    ByteWriter& w = c.r.out();
    c.r.columns({{"", ColumnType::DateTime, 0, true}});
    write_row_start(w);
    write_local_datetime(
        w, duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
    c.r.done(done::kCount, 1);
}

void run_select(const sql::SelectDatabases& s, Context& c) {
    ByteWriter& w = c.r.out();
    std::vector<Column> columns = {{"name", ColumnType::NVarChar, 128, false}};
    if (s.level)
        columns.push_back({"cmptlevel", ColumnType::Int, 1, false});
    c.r.columns(columns);
    std::uint32_t rows = 0;
    std::lock_guard lock(c.catalogue.mutex());
    for (const Database& d : c.catalogue.all()) {
        if (s.name && !same_name(*s.name, d.name))
            continue;
        write_row_start(w);
        write_nvarchar(w, d.name);
        if (s.level)
            write_int(w, 1, d.level);
        ++rows;
    }
    c.r.done(done::kCount, rows);
}

void run_fileexist(const sql::FileExist& s, Context& c) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(s.disk, ec);
    const bool parent = fs::is_directory(fs::path(s.disk).parent_path(), ec);
    ByteWriter& w = c.r.out();
    c.r.columns({{"File Exists", ColumnType::Int, 4, false},
                 {"File is a Directory", ColumnType::Int, 4, false},
                 {"Parent Directory Exists", ColumnType::Int, 4, false}});
    write_row_start(w);
    write_int(w, 4, fs::exists(status) && !fs::is_directory(status));
    write_int(w, 4, fs::is_directory(status));
    write_int(w, 4, parent);
    c.r.done_in_proc(done::kCount | done::kMore, 1);
    c.r.return_status(0);
    c.r.done_proc(done::kFinal);
}

// As the server's procedure, a file that is no backup, or none at all, is left without a word.
void run_delete_file(const sql::DeleteFile& s, Context& c) {
    if (&c.version == &sql2000()) {
        c.r.error(2812, msg::no_such_procedure("master.dbo.xp_delete_file"));
        c.r.done(done::kError);
        return;
    }
    std::vector<BackupHeader> sets;
    if (s.file_type == 0 && read_backup_device(s.disk, sets) == BackupRead::Ok)
        ::unlink(s.disk.c_str());
    c.r.return_status(0);
    c.r.done_proc(done::kFinal);
}

// The properties the stand-in knows; NULL for any other, as SERVERPROPERTY answers.
std::optional<std::string> server_property(const std::string& name, const Context& c) {
    if (same_name(name, "Edition"))
        return edition_text(c.edition, c.version);
    if (same_name(name, "EngineEdition"))
        return std::to_string(engine_edition(c.edition));
    if (same_name(name, "ProductVersion"))
        return std::string(c.version.product);
    return std::nullopt;
}

void run_server_properties(const sql::ServerProperties& s, Context& c) {
    std::vector<Column> columns;
    std::vector<std::optional<std::string>> values;
    for (const sql::ServerProperties::Item& item : s.items) {
        std::optional<std::string> value = server_property(item.property, c);
        if (item.integer && value && value->find_first_not_of("0123456789") != std::string::npos) {
            c.r.error(245, msg::not_an_int(*value));
            c.r.done(done::kError);
            return;
        }
        if (item.integer) {
            columns.push_back({item.column, ColumnType::Int, 4, true});
        } else {
            columns.push_back({item.column, ColumnType::NVarChar, item.length, true});
            if (value && value->size() > item.length)
                value->resize(item.length);
        }
        values.push_back(std::move(value));
    }
    ByteWriter& w = c.r.out();
    c.r.columns(columns);
    write_row_start(w);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!s.items[i].integer)
            write_nvarchar(w, values[i]);
        else if (values[i])
            write_int(w, 4, std::stoll(*values[i]));
        else
            write_null_fixed(w);
    }
    c.r.done(done::kCount, 1);
}

// NULL for a database that does not exist, as on a real server.
void run_database_state(const sql::DatabaseState& s, Context& c) {
    ByteWriter& w = c.r.out();
    c.r.columns({{s.column, ColumnType::NVarChar, 128, true}});
    std::lock_guard lock(c.catalogue.mutex());
    const Database* db = c.catalogue.find(s.name);
    write_row_start(w);
    write_nvarchar(w, db ? std::optional<std::string>(db->state) : std::nullopt);
    c.r.done(done::kCount, 1);
}

// The paths as the client named them; SQL Server 2000's column is nchar(260), so blank-padded.
void run_database_files(const sql::DatabaseFiles& s, Context& c) {
    ByteWriter& w = c.r.out();
    c.r.columns({{"filename", ColumnType::NVarChar, 260, false}});
    std::lock_guard lock(c.catalogue.mutex());
    // master's files lie in the root folder, where a server's own databases go by default.
    std::vector<std::string> paths;
    if (same_name(s.name, "master")) {
        paths = {c.catalogue.root() + "/master.mdf", c.catalogue.root() + "/mastlog.ldf"};
    } else if (const Database* db = c.catalogue.find(s.name)) {
        for (const DbFile& f : db->files)
            paths.push_back(f.path);
    }
    for (const std::string& path : paths) {
        std::string name = c.drives.windows(path);
        if (c.version.major == 8)
            name.resize(std::max<std::size_t>(name.size(), 260), ' ');
        write_row_start(w);
        write_nvarchar(w, name);
    }
    c.r.done(done::kCount, static_cast<std::uint32_t>(paths.size()));
}

void run_set(const sql::SetOption&, Context& c) {
    c.r.done(done::kFinal);
}

} // namespace standin
