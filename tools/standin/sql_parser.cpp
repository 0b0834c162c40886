#include "sql_parser.hpp"

#include "sql_lexer.hpp"
#include "token_cursor.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace standin::sql {

namespace {

// Recursive descent over the token list.
class Parser : public TokenCursor {
public:
    using TokenCursor::TokenCursor;

    Statement statement();
    void optional_semicolon() { accept_punct(';'); }

private:
    // FROM or TO, then DISK = '<path>': where a backup is read or written.
    std::string disk(std::string_view direction) {
        expect(direction);
        expect("DISK");
        expect_punct('=');
        return string();
    }
    std::string name() {
        if ((cur().kind != Tok::Name && cur().kind != Tok::Word) || cur().text.empty())
            fail();
        std::string s = cur().text;
        next();
        return s;
    }
    std::string name_or_string() { return cur().kind == Tok::String ? string() : name(); }
    std::uint64_t number() {
        if (cur().kind != Tok::Number)
            fail();
        std::uint64_t v = 0;
        const std::string& s = cur().text;
        const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
        if (ec != std::errc() || p != s.data() + s.size())
            fail();
        next();
        return v;
    }
    // FILE = n names a backup set by its position, 1 to 32767.
    int backup_set() {
        expect_punct('=');
        const std::uint64_t v = number();
        if (v < 1 || v > 32767)
            fail();
        return static_cast<int>(v);
    }
    // STATS [= n]: progress every n percent, 10 by default.
    int stats_step() {
        int step = 10;
        if (accept_punct('='))
            step = small_number();
        if (step < 1 || step > 100)
            fail();
        return step;
    }
    int small_number() {
        const std::uint64_t v = number();
        if (v > 1000000)
            fail();
        return static_cast<int>(v);
    }

    // The flag of the BACKUP option at hand that SQL Server 2000 lacks; nullptr for any other.
    bool* later_backup_option(BackupDatabase& b) const {
        if (keyword_is(cur(), "COPY_ONLY"))
            return &b.copy_only;
        if (keyword_is(cur(), "CHECKSUM"))
            return &b.checksum;
        if (keyword_is(cur(), "COMPRESSION"))
            return &b.compression;
        return nullptr;
    }

    Statement select();
    Statement restore();
    Statement create();
    FileDef file_def();
    Statement backup();
    Statement exec();
    Statement drop();
    void sysdatabases();
    void master_table(std::string_view table);
    Statement database_state();
    Statement server_properties();
    Statement database_files();
    Statement restore_history();

    bool rebuilding_log_ = false;
};

Statement Parser::statement() {
    if (accept("SELECT"))
        return select();
    if (accept("RESTORE"))
        return restore();
    if (accept("CREATE"))
        return create();
    if (accept("BACKUP"))
        return backup();
    if (accept("EXEC") || accept("EXECUTE"))
        return exec();
    if (accept("DROP"))
        return drop();
    if (accept("SET")) {
        while (!at_end())
            next();
        return SetOption{};
    }
    fail();
}

void Parser::sysdatabases() {
    master_table("SYSDATABASES");
}

// master..TABLE or master.dbo.TABLE
void Parser::master_table(std::string_view table) {
    expect("MASTER");
    expect_punct('.');
    if (!accept_punct('.')) {
        expect("DBO");
        expect_punct('.');
    }
    expect(table);
}

// Only the 'Status' property, cast to text.
Statement Parser::database_state() {
    expect("DATABASEPROPERTYEX");
    expect_punct('(');
    DatabaseState s;
    s.name = string();
    expect_punct(',');
    std::string property = string();
    for (char& ch : property)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (property != "STATUS")
        fail();
    expect_punct(')');
    expect("AS");
    expect("NVARCHAR");
    expect_punct('(');
    number();
    expect_punct(')');
    expect_punct(')');
    if (accept("AS"))
        s.column = name();
    return s;
}

// CAST(SERVERPROPERTY('…') AS type) [AS alias], one or more, the first CAST ( already read.
Statement Parser::server_properties() {
    ServerProperties s;
    do {
        if (!s.items.empty()) {
            expect("CAST");
            expect_punct('(');
        }
        expect("SERVERPROPERTY");
        expect_punct('(');
        ServerProperties::Item item;
        item.property = string();
        expect_punct(')');
        expect("AS");
        if (accept("INT")) {
            item.integer = true;
        } else if (accept("NVARCHAR") || accept("VARCHAR")) {
            expect_punct('(');
            const std::uint64_t length = number();
            if (length < 1 || length > 4000)
                fail();
            item.length = static_cast<std::uint16_t>(length);
            expect_punct(')');
        } else {
            expect("SYSNAME");
        }
        expect_punct(')');
        if (accept("AS"))
            item.column = name();
        s.items.push_back(std::move(item));
    } while (accept_punct(','));
    return s;
}

Statement Parser::database_files() {
    expect("FROM");
    master_table("SYSALTFILES");
    expect("WHERE");
    expect("DBID");
    expect_punct('=');
    expect("DB_ID");
    expect_punct('(');
    DatabaseFiles s{string()};
    expect_punct(')');
    return s;
}

Statement Parser::select() {
    if (accept_punct('*'))
        return restore_history();
    if (accept("CAST")) {
        expect_punct('(');
        return keyword_is(cur(), "SERVERPROPERTY") ? server_properties() : database_state();
    }
    if (accept("FILENAME"))
        return database_files();
    if (accept("GETDATE")) {
        expect_punct('(');
        expect_punct(')');
        return GetDate{};
    }
    expect("NAME");
    SelectDatabases s;
    if (accept_punct(',')) {
        expect("CMPTLEVEL");
        s.level = true;
    }
    expect("FROM");
    sysdatabases();
    if (accept("WHERE")) {
        expect("NAME");
        expect_punct('=');
        s.name = string();
    }
    return s;
}

Statement Parser::restore_history() {
    expect("FROM");
    expect("MSDB");
    expect_punct('.');
    if (!accept_punct('.')) {
        expect("DBO");
        expect_punct('.');
    }
    expect("RESTOREHISTORY");
    SelectRestoreHistory s;
    if (accept("WHERE")) {
        expect("DESTINATION_DATABASE_NAME");
        expect_punct('=');
        s.database = string();
    }
    return s;
}

Statement Parser::restore() {
    if (accept("HEADERONLY")) {
        HeaderOnly h;
        h.disk = disk("FROM");
        if (accept("WITH"))
            expect("NOUNLOAD");
        return h;
    }
    if (accept("FILELISTONLY")) {
        FileList f;
        f.disk = disk("FROM");
        if (accept("WITH")) {
            do {
                if (accept("FILE")) {
                    f.file = backup_set();
                } else if (!accept("NOUNLOAD")) {
                    fail();
                }
            } while (accept_punct(','));
        }
        return f;
    }
    RestoreDatabase r;
    r.log = accept("LOG");
    if (!r.log)
        expect("DATABASE");
    r.name = name();
    r.disk = disk("FROM");
    if (accept("WITH")) {
        do {
            if (accept("FILE")) {
                r.file = backup_set();
            } else if (accept("STATS")) {
                r.stats = stats_step();
            } else if (accept("REPLACE")) {
                r.replace = true;
            } else if (accept("RECOVERY")) {
                r.recovery = true;
            } else if (accept("NORECOVERY")) {
                r.recovery = false;
            } else if (accept("STOPAT")) {
                expect_punct('=');
                r.stop_at = string();
            } else if (accept("MOVE")) {
                Move m;
                m.logical = string();
                expect("TO");
                m.target = string();
                r.moves.push_back(std::move(m));
            } else if (!accept("NOUNLOAD") && !accept("UNLOAD")) {
                fail();
            }
        } while (accept_punct(','));
    }
    return r;
}

FileDef Parser::file_def() {
    FileDef f;
    bool have_name = false;
    bool have_file = false;
    expect_punct('(');
    do {
        if (accept("NAME")) {
            expect_punct('=');
            f.logical = name_or_string();
            have_name = true;
        } else if (accept("FILENAME")) {
            expect_punct('=');
            f.path = string();
            have_file = true;
        } else if (accept("SIZE")) {
            expect_punct('=');
            f.size_mb = number();
            accept("MB");
        } else if (accept("MAXSIZE")) {
            expect_punct('=');
            if (!accept("UNLIMITED")) {
                number();
                accept("MB");
            }
        } else if (accept("FILEGROWTH")) {
            expect_punct('=');
            number();
            if (!accept_punct('%'))
                accept("MB");
        } else {
            fail();
        }
    } while (accept_punct(','));
    expect_punct(')');
    if ((!have_name && !rebuilding_log_) || !have_file)
        fail();
    if (f.size_mb == 0 || f.size_mb > 1024 * 1024)
        fail();
    return f;
}

Statement Parser::create() {
    expect("DATABASE");
    CreateDatabase c;
    c.name = name();
    // Files attached with a new log are named by their path alone.
    rebuilding_log_ =
        std::any_of(t_.begin() + static_cast<std::ptrdiff_t>(pos_), t_.end(),
                    [](const Token& t) { return keyword_is(t, "ATTACH_REBUILD_LOG"); });
    if (accept("ON")) {
        accept("PRIMARY");
        do
            c.data.push_back(file_def());
        while (accept_punct(','));
        if (accept("LOG")) {
            expect("ON");
            do
                c.log.push_back(file_def());
            while (accept_punct(','));
        }
    }
    if (accept("FOR")) {
        expect("ATTACH_REBUILD_LOG");
        if (c.data.empty())
            fail();
        c.rebuild_log = true;
    }
    return c;
}

Statement Parser::backup() {
    BackupDatabase b;
    if (accept("LOG"))
        b.kind = BackupKind::Log;
    else
        expect("DATABASE");
    b.name = name();
    b.disk = disk("TO");
    if (accept("WITH")) {
        do {
            if (accept("STATS")) {
                b.stats = stats_step();
            } else if (accept("NAME")) {
                expect_punct('=');
                b.set_name = string();
            } else if (accept("DESCRIPTION")) {
                expect_punct('=');
                string();
            } else if (accept("INIT") || accept("FORMAT")) {
                b.init = true;
            } else if (b.kind == BackupKind::Database && accept("DIFFERENTIAL")) {
                b.kind = BackupKind::Differential;
            } else if (bool* option = later_backup_option(b)) {
                if (b.later_option.empty())
                    b.later_option = cur().text;
                *option = true;
                next();
            } else if (!accept("NOINIT") && !accept("NOUNLOAD") && !accept("SKIP")) {
                fail();
            }
        } while (accept_punct(','));
    }
    return b;
}

Statement Parser::exec() {
    // Optional master.dbo. / master.. prefix before the procedure name.
    if (keyword_is(cur(), "MASTER") && t_[pos_ + 1].kind == Tok::Punct &&
        t_[pos_ + 1].text == ".") {
        next();
        next();
        if (!accept_punct('.')) {
            expect("DBO");
            expect_punct('.');
        }
    }
    if (accept("XP_DIRTREE")) {
        DirTree d;
        d.folder = string();
        if (accept_punct(',')) {
            d.depth = small_number();
            if (accept_punct(','))
                d.with_files = number() != 0;
        }
        return d;
    }
    if (accept("XP_DELETE_FILE")) {
        DeleteFile d;
        d.file_type = small_number();
        expect_punct(',');
        d.disk = string();
        return d;
    }
    const bool single_file = keyword_is(cur(), "SP_ATTACH_SINGLE_FILE_DB");
    const bool attach = single_file || keyword_is(cur(), "SP_ATTACH_DB");
    const bool detach = keyword_is(cur(), "SP_DETACH_DB");
    const bool file_exist = keyword_is(cur(), "XP_FILEEXIST");
    if (!attach && !detach && !file_exist)
        fail();
    next();
    std::vector<std::string> args;
    if (!at_end() && !(cur().kind == Tok::Punct && cur().text == ";")) {
        do {
            // Named arguments (@dbname = ...) are taken in their written order.
            if (cur().kind == Tok::Word && cur().text[0] == '@') {
                next();
                expect_punct('=');
            }
            args.push_back(name_or_string());
        } while (accept_punct(','));
    }
    if (args.empty())
        fail();
    if (detach) {
        if (args.size() > 3)
            fail();
        return DetachDb{args[0]};
    }
    if (file_exist) {
        if (args.size() > 1)
            fail();
        return FileExist{args[0]};
    }
    if (args.size() < 2 || args.size() > (single_file ? 2 : 17))
        fail();
    AttachDb a;
    a.name = args[0];
    a.files.assign(args.begin() + 1, args.end());
    a.single_file = single_file;
    return a;
}

Statement Parser::drop() {
    expect("DATABASE");
    return DropDatabase{name()};
}

} // namespace

std::variant<Statement, SyntaxError> parse(std::string_view batch) {
    std::vector<Token> toks = tokenize(batch);
    if (auto maintenance = parse_maintenance(toks)) {
        if (auto* error = std::get_if<SyntaxError>(&*maintenance))
            return *error;
        return std::get<Maintenance>(std::move(*maintenance));
    }
    Parser p(std::move(toks));
    try {
        Statement s = p.statement();
        p.optional_semicolon();
        if (!p.at_end())
            return p.error();
        return s;
    } catch (const Failed&) {
        return p.error();
    }
}

std::string_view kind_name(const Statement& s) {
    struct Names {
        std::string_view operator()(const GetDate&) const { return "getdate"; }
        std::string_view operator()(const SelectDatabases&) const { return "select"; }
        std::string_view operator()(const FileList&) const { return "filelist"; }
        std::string_view operator()(const CreateDatabase& c) const {
            return c.rebuild_log ? "attach" : "create";
        }
        std::string_view operator()(const RestoreDatabase&) const { return "restore"; }
        std::string_view operator()(const BackupDatabase&) const { return "backup"; }
        std::string_view operator()(const AttachDb&) const { return "attach"; }
        std::string_view operator()(const DetachDb&) const { return "detach"; }
        std::string_view operator()(const DropDatabase&) const { return "drop"; }
        std::string_view operator()(const SetOption&) const { return "set"; }
        std::string_view operator()(const HeaderOnly&) const { return "headeronly"; }
        std::string_view operator()(const SelectRestoreHistory&) const { return "select"; }
        std::string_view operator()(const DirTree&) const { return "dirtree"; }
        std::string_view operator()(const FileExist&) const { return "fileexist"; }
        std::string_view operator()(const DatabaseState&) const { return "select"; }
        std::string_view operator()(const DatabaseFiles&) const { return "select"; }
        std::string_view operator()(const Maintenance& m) const { return maintenance_kind(m); }
        std::string_view operator()(const ServerProperties&) const { return "select"; }
        std::string_view operator()(const DeleteFile&) const { return "deletefile"; }
    };
    return std::visit(Names{}, s);
}

} // namespace standin::sql
