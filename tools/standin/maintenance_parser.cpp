#include "maintenance.hpp"

#include "token_cursor.hpp"

#include <charconv>

namespace standin::sql {

namespace {

// The token cursor with what these statements' parsing also needs, open to its functions.
class Cursor : public TokenCursor {
public:
    using TokenCursor::accept;
    using TokenCursor::accept_punct;
    using TokenCursor::cur;
    using TokenCursor::expect;
    using TokenCursor::expect_punct;
    using TokenCursor::fail;
    using TokenCursor::next;
    using TokenCursor::string;
    using TokenCursor::TokenCursor;

    std::string name_or_string() {
        if (cur().kind != Tok::String && cur().kind != Tok::Name && cur().kind != Tok::Word)
            fail();
        std::string s = cur().text;
        next();
        return s;
    }
    int number() {
        int v = 0;
        const std::string& s = cur().text;
        const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
        if (cur().kind != Tok::Number || ec != std::errc() || p != s.data() + s.size())
            fail();
        next();
        return v;
    }
    // master.. or master.dbo. before a procedure name
    void optional_master() {
        if (!keyword_is(cur(), "MASTER") || t_[pos_ + 1].kind != Tok::Punct)
            return;
        next();
        expect_punct('.');
        if (!accept_punct('.')) {
            expect("DBO");
            expect_punct('.');
        }
    }
};

VerifyOnly verify_only(Cursor& c) {
    VerifyOnly v;
    c.expect("FROM");
    c.expect("DISK");
    c.expect_punct('=');
    v.disk = c.string();
    if (!c.accept("WITH"))
        return v;
    do {
        const std::string word = c.cur().text;
        bool later = true;
        if (c.accept("FILE")) {
            later = false;
            c.expect_punct('=');
            v.file = c.number();
            if (v.file < 1 || v.file > 32767)
                c.fail();
        } else if (c.accept("MOVE")) {
            std::string logical = c.string();
            c.expect("TO");
            v.moves.emplace_back(std::move(logical), c.string());
        } else if (c.accept("CHECKSUM")) {
            v.checksum = true;
        } else if (c.accept("STATS")) {
            if (c.accept_punct('='))
                c.number();
        } else if (!c.accept("NO_CHECKSUM") && !c.accept("STOP_ON_ERROR") &&
                   !c.accept("CONTINUE_AFTER_ERROR")) {
            later = false;
            if (!c.accept("NOUNLOAD") && !c.accept("UNLOAD") && !c.accept("LOADHISTORY"))
                c.fail();
        }
        if (later && v.later_option.empty())
            v.later_option = word;
    } while (c.accept_punct(','));
    return v;
}

Dbcc dbcc(Cursor& c) {
    Dbcc d;
    if (c.accept("CHECKCATALOG"))
        d.command = Dbcc::Command::CheckCatalog;
    else if (c.accept("UPDATEUSAGE"))
        d.command = Dbcc::Command::UpdateUsage;
    else
        c.expect("CHECKDB");
    if (c.accept_punct('(')) {
        d.name = c.name_or_string();
        c.expect_punct(')');
    }
    if (c.accept("WITH")) {
        do {
            if (c.accept("DATA_PURITY"))
                d.data_purity = true;
            else if (c.accept("NO_INFOMSGS"))
                d.no_infomsgs = true;
            else if (!c.accept("ALL_ERRORMSGS"))
                c.fail();
        } while (c.accept_punct(','));
    }
    return d;
}

DatabaseOption alter_database(Cursor& c) {
    DatabaseOption o;
    c.expect("DATABASE");
    o.name = c.name_or_string();
    c.expect("SET");
    if (c.accept("COMPATIBILITY_LEVEL")) {
        c.expect_punct('=');
        o.level = c.number();
    } else {
        c.expect("PAGE_VERIFY");
        for (const char* option : {"CHECKSUM", "TORN_PAGE_DETECTION", "NONE"})
            if (c.accept(option))
                o.page_verify = option;
        if (o.page_verify.empty())
            c.fail();
    }
    return o;
}

DatabaseOption compatibility_procedure(Cursor& c) {
    DatabaseOption o;
    o.procedure = true;
    for (const char* parameter : {"@DBNAME", "@NEW_CMPTLEVEL"}) {
        if (c.accept(parameter))
            c.expect_punct('=');
        if (o.name.empty()) {
            o.name = c.name_or_string();
            c.expect_punct(',');
        } else {
            o.level = c.number();
        }
    }
    return o;
}

DatabaseSettings database_settings(Cursor& c) {
    c.expect("COMPATIBILITY_LEVEL");
    c.expect_punct(',');
    c.expect("PAGE_VERIFY_OPTION_DESC");
    c.expect("FROM");
    c.expect("SYS");
    c.expect_punct('.');
    c.expect("DATABASES");
    c.expect("WHERE");
    c.expect("NAME");
    c.expect_punct('=');
    return {c.string()};
}

bool second_is(const std::vector<Token>& tokens, std::string_view keyword) {
    return tokens.size() > 1 && keyword_is(tokens[1], keyword);
}

} // namespace

std::optional<std::variant<Maintenance, SyntaxError>>
parse_maintenance(const std::vector<Token>& tokens) {
    Cursor c(tokens);
    try {
        Maintenance m;
        if (c.accept("DBCC")) {
            m.statement = dbcc(c);
        } else if (keyword_is(c.cur(), "RESTORE") && second_is(tokens, "VERIFYONLY")) {
            c.next();
            c.next();
            m.statement = verify_only(c);
        } else if (c.accept("ALTER")) {
            m.statement = alter_database(c);
        } else if (c.accept("EXEC") || c.accept("EXECUTE")) {
            c.optional_master();
            if (!c.accept("SP_DBCMPTLEVEL"))
                return std::nullopt;
            m.statement = compatibility_procedure(c);
        } else if (keyword_is(c.cur(), "SELECT") && second_is(tokens, "COMPATIBILITY_LEVEL")) {
            c.next();
            m.statement = database_settings(c);
        } else {
            return std::nullopt;
        }
        c.accept_punct(';');
        if (!c.at_end())
            return c.error();
        return m;
    } catch (const Failed&) {
        return c.error();
    }
}

std::string_view maintenance_kind(const Maintenance& m) {
    struct Names {
        std::string_view operator()(const VerifyOnly&) const { return "verifyonly"; }
        std::string_view operator()(const Dbcc&) const { return "dbcc"; }
        std::string_view operator()(const DatabaseOption&) const { return "alter"; }
        std::string_view operator()(const DatabaseSettings&) const { return "select"; }
    };
    return std::visit(Names{}, m.statement);
}

} // namespace standin::sql
