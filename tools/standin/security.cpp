#include "security.hpp"

#include "file_formats.hpp"
#include "messages.hpp"
#include "sql_lexer.hpp"
#include "tokens.hpp"

#include <algorithm>
#include <cctype>
#include <functional>
#include <optional>
#include <vector>

namespace standin {

namespace {

using sql::Tok;
using sql::Token;

std::string upper(std::string s) {
    for (char& ch : s)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

// Walks the tokens of one batch; every match moves on, every miss leaves the position.
class Cursor {
public:
    explicit Cursor(std::vector<Token> t) : t_(std::move(t)) {}

    // Blank-separated words, numbers and single punctuation marks, in any letter case.
    bool seq(std::string_view pattern) {
        const std::size_t start = pos_;
        std::size_t i = 0;
        while (i < pattern.size()) {
            const std::size_t j = std::min(pattern.find(' ', i), pattern.size());
            const std::string want = upper(std::string(pattern.substr(i, j - i)));
            const Token& t = t_[pos_];
            if ((t.kind != Tok::Word && t.kind != Tok::Number && t.kind != Tok::Punct) ||
                upper(t.text) != want) {
                pos_ = start;
                return false;
            }
            ++pos_;
            i = j + 1;
        }
        return true;
    }
    std::optional<std::string> name() {
        const Token& t = t_[pos_];
        if ((t.kind != Tok::Name && t.kind != Tok::Word) || t.text.empty() || t.text[0] == '@')
            return std::nullopt;
        ++pos_;
        return t.text;
    }
    std::optional<std::string> string() {
        if (t_[pos_].kind != Tok::String)
            return std::nullopt;
        return t_[pos_++].text;
    }
    // 0x… as the lexer splits it: the number 0, then a word starting with x.
    std::optional<std::string> hex() {
        const Token& zero = t_[pos_];
        if (zero.kind != Tok::Number || zero.text != "0" || t_[pos_ + 1].kind != Tok::Word)
            return std::nullopt;
        const std::string& word = t_[pos_ + 1].text;
        if (word.size() < 2 || (word[0] != 'x' && word[0] != 'X'))
            return std::nullopt;
        auto bytes = sid_from_hex(word.substr(1));
        if (bytes)
            pos_ += 2;
        return bytes;
    }
    std::optional<std::string> name_or_string() {
        auto s = string();
        return s ? s : name();
    }
    bool at(Tok kind) const { return t_[pos_].kind == kind; }
    const Token& cur() const { return t_[pos_]; }
    void next() {
        if (t_[pos_].kind != Tok::End)
            ++pos_;
    }
    bool end() {
        seq(";");
        return t_[pos_].kind == Tok::End;
    }

private:
    std::vector<Token> t_;
    std::size_t pos_ = 0;
};

struct LoginRow {
    std::string name;
    std::string sid;
    bool named = false; // given with --login
};

// What the server answers, before the final DONE or DONEPROC.
struct Refusal {
    int number = 0;
    std::string text;
};

class Security {
public:
    explicit Security(SecurityContext& c) : c_(c) {}

    bool run(std::string_view batch);

private:
    std::vector<LoginRow> logins() const {
        std::vector<LoginRow> all{{"sa", std::string(1, '\x01'), true}};
        for (const auto& [name, password] : c_.named_logins)
            if (!same_name(name, "sa"))
                all.push_back({name, sid_of_named_login(name), true});
        for (const Login& l : c_.catalogue.logins())
            all.push_back({l.name, l.sid, false});
        return all;
    }
    std::optional<LoginRow> login_named(std::string_view name) const {
        for (const LoginRow& l : logins())
            if (same_name(l.name, name))
                return l;
        return std::nullopt;
    }
    bool sid_is_login(const std::string& sid) const {
        const auto all = logins();
        return std::any_of(all.begin(), all.end(), [&](const LoginRow& l) { return l.sid == sid; });
    }
    bool later() const { return c_.version.major > 8; }

    bool select(Cursor& k);
    bool exec(Cursor& k);
    bool create_login(Cursor& k);
    bool alter_authorization(Cursor& k);
    std::optional<Refusal> in_database(Database& db, Cursor& k);
    std::optional<Refusal> add_login(const std::string& name, const std::string& password,
                                     std::optional<std::string> sid);
    std::optional<Refusal> drop_login(const std::string& name);
    std::optional<Refusal> add_user(Database& db, const std::string& login,
                                    const std::string& user);
    std::optional<Refusal> map_user(Database& db, const std::string& user, const std::string& login,
                                    bool alter);
    std::optional<Refusal> change_owner(Database& db, const std::string& login);
    void keep(Database& db);
    void answer_proc(const std::optional<Refusal>& refusal);
    void answer_statement(const std::optional<Refusal>& refusal);

    SecurityContext& c_;
};

std::vector<DbUser>& users_of(Database& db) {
    if (db.users.empty())
        db.users = default_users();
    return db.users;
}

void Security::answer_proc(const std::optional<Refusal>& refusal) {
    if (refusal)
        c_.r.error(refusal->number, refusal->text);
    c_.r.return_status(refusal ? 1 : 0);
    c_.r.done_proc(refusal ? done::kError : done::kFinal);
}

void Security::answer_statement(const std::optional<Refusal>& refusal) {
    if (refusal)
        c_.r.error(refusal->number, refusal->text);
    c_.r.done(refusal ? done::kError : done::kFinal);
}

// The catalogue and the primary data file, so that a detach and attach keeps the users.
void Security::keep(Database& db) {
    c_.catalogue.save();
    for (const DbFile& f : db.files) {
        if (f.type != 'D')
            continue;
        DataHeader h;
        if (read_data_header(f.path, h) == HeaderRead::Ok) {
            h.users = db.users;
            rewrite_data_header(f.path, h);
        }
        return;
    }
}

std::optional<Refusal> Security::add_login(const std::string& name, const std::string& password,
                                           std::optional<std::string> sid) {
    if (login_named(name))
        return Refusal{15025, later() ? "The server principal " + msg::q(name) + " already exists."
                                      : "The login " + msg::q(name) + " already exists."};
    if (sid && sid->size() != 16)
        return Refusal{15419, "Supplied parameter sid should be binary(16)."};
    if (!sid)
        sid = sid_of_named_login(name);
    if (sid_is_login(*sid))
        return Refusal{15433, "Supplied parameter sid is in use."};
    c_.catalogue.logins().push_back({name, *sid, password});
    c_.catalogue.save();
    return std::nullopt;
}

std::optional<Refusal> Security::drop_login(const std::string& name) {
    auto& kept = c_.catalogue.logins();
    const auto it = std::find_if(kept.begin(), kept.end(),
                                 [&](const Login& l) { return same_name(l.name, name); });
    if (it == kept.end())
        return Refusal{15007,
                       msg::q(name) + " is not a valid login or you do not have permission."};
    for (const Database& d : c_.catalogue.all()) {
        if (d.owner_sid == it->sid)
            return Refusal{15174, "Login " + msg::q(name) +
                                      " owns one or more database(s). Change the owner of the "
                                      "database(s) before dropping the login."};
        // SQL Server 2000 keeps no orphans of its own making; later versions do.
        for (const DbUser& u : d.users)
            if (!later() && u.sid == it->sid)
                return Refusal{15175, "Login " + msg::q(name) +
                                          " is aliased or mapped to a user in one or more "
                                          "database(s). Drop the user or alias before dropping "
                                          "the login."};
    }
    kept.erase(it);
    c_.catalogue.save();
    return std::nullopt;
}

std::optional<Refusal> Security::add_user(Database& db, const std::string& login,
                                          const std::string& user) {
    const auto l = login_named(login);
    if (!l)
        return Refusal{15007,
                       msg::q(login) + " is not a valid login or you do not have permission."};
    auto& users = users_of(db);
    int uid = 4;
    for (const DbUser& u : users) {
        if (same_name(u.name, user))
            return Refusal{15023, "User or role " + msg::q(user) +
                                      " already exists in the current database."};
        if (u.sid == l->sid)
            return Refusal{15063, "The login already has an account under a different user name."};
        uid = std::max(uid, u.uid);
    }
    users.push_back({uid + 1, user, l->sid});
    keep(db);
    return std::nullopt;
}

std::optional<Refusal> Security::map_user(Database& db, const std::string& user,
                                          const std::string& login, bool alter) {
    auto& users = users_of(db);
    const auto u = std::find_if(users.begin(), users.end(),
                                [&](const DbUser& x) { return same_name(x.name, user); });
    if (u == users.end() || u->uid <= 2)
        return alter ? Refusal{15151, "Cannot alter the user " + msg::q(user) +
                                          ", because it does not exist or you do not have "
                                          "permission."}
                     : Refusal{15291, "Terminating this procedure. The User name " + msg::q(user) +
                                          " is absent or invalid."};
    const auto l = login_named(login);
    if (!l)
        return alter ? Refusal{15151, "Cannot find the login " + msg::q(login) +
                                          ", because it does not exist or you do not have "
                                          "permission."}
                     : Refusal{15291, "Terminating this procedure. The Login name " +
                                          msg::q(login) + " is absent or invalid."};
    for (const DbUser& other : users)
        if (other.sid == l->sid && &other != &*u)
            return Refusal{15063, "The login already has an account under a different user name."};
    u->sid = l->sid;
    keep(db);
    return std::nullopt;
}

std::optional<Refusal> Security::change_owner(Database& db, const std::string& login) {
    const auto l = login_named(login);
    if (!l)
        return later() ? Refusal{15151, "Cannot find the principal " + msg::q(login) +
                                            ", because it does not exist or you do not have "
                                            "permission."}
                       : Refusal{15007, msg::q(login) +
                                            " is not a valid login or you do not have permission."};
    auto& users = users_of(db);
    for (const DbUser& u : users)
        if (u.uid != kDboUid && u.sid == l->sid)
            return Refusal{15110, later()
                                      ? "The proposed new database owner is already a user or "
                                        "aliased in the database."
                                      : "The proposed new database owner is already a user in the "
                                        "database."};
    users.front().sid = l->sid;
    db.owner_sid = l->sid == std::string(1, '\x01') ? std::string() : l->sid;
    keep(db);
    return std::nullopt;
}

// SELECTs of sysusers, syslogins and sysdatabases.sid, each in the one form the stand-in knows.
bool Security::select(Cursor& k) {
    ByteWriter& w = c_.r.out();
    std::lock_guard lock(c_.catalogue.mutex());
    if (k.seq("SELECT u . uid , u . name , u . sid , l . name AS samename FROM")) {
        const auto db_name = k.name();
        if (!db_name ||
            !k.seq(". . sysusers u LEFT JOIN master . . syslogins l ON l . name = u . name "
                   "COLLATE DATABASE_DEFAULT WHERE ( u . uid = 1 OR u . issqluser = 1 AND "
                   "DATALENGTH ( u . sid ) < = 16 ) AND u . sid < > 0 x00 AND NOT EXISTS ( "
                   "SELECT * FROM master . . syslogins s WHERE s . sid = u . sid )") ||
            !k.end())
            return false;
        Database* db = c_.catalogue.find(*db_name);
        if (!db) {
            c_.r.error(911, msg::no_such_db_entry(*db_name));
            c_.r.done(done::kError);
            return true;
        }
        c_.r.columns({{"uid", ColumnType::Int, 2, true},
                      {"name", ColumnType::NVarChar, 128, false},
                      {"sid", ColumnType::VarBinary, 85, true},
                      {"samename", ColumnType::NVarChar, 128, true}});
        std::uint32_t rows = 0;
        for (const DbUser& u : users_of(*db)) {
            if ((u.uid != kDboUid && u.sid.size() > 16) || u.sid.empty() ||
                u.sid == std::string(1, '\0') || sid_is_login(u.sid))
                continue;
            const auto same = login_named(u.name);
            write_row_start(w);
            write_int(w, 2, u.uid);
            write_nvarchar(w, u.name);
            write_char(w, u.sid);
            write_nvarchar(w, same ? std::optional(same->name) : std::nullopt);
            ++rows;
        }
        c_.r.done(done::kCount, rows);
        return true;
    }
    if (k.seq("SELECT u . name FROM")) {
        const auto db_name = k.name();
        std::optional<std::string> login;
        if (!db_name ||
            !k.seq(". . sysusers u JOIN master . . syslogins l ON l . sid = u . sid WHERE l . "
                   "name =") ||
            !(login = k.string()) || !k.end())
            return false;
        Database* db = c_.catalogue.find(*db_name);
        c_.r.columns({{"name", ColumnType::NVarChar, 128, false}});
        std::uint32_t rows = 0;
        const auto l = login_named(*login);
        for (const DbUser& u : db&& l ? users_of(*db) : std::vector<DbUser>{}) {
            if (u.sid == l->sid) {
                write_row_start(w);
                write_nvarchar(w, u.name);
                ++rows;
            }
        }
        c_.r.done(done::kCount, rows);
        return true;
    }
    // For tests and the operator: who is who.
    if (k.seq("SELECT name , sid FROM")) {
        std::vector<std::pair<std::string, std::string>> rows;
        if (k.seq("master . . syslogins") && k.end()) {
            for (const LoginRow& l : logins())
                rows.emplace_back(l.name, l.sid);
        } else if (const auto db_name = k.name(); db_name && k.seq(". . sysusers") && k.end()) {
            Database* db = c_.catalogue.find(*db_name);
            if (!db)
                return false;
            for (const DbUser& u : users_of(*db))
                rows.emplace_back(u.name, u.sid);
        } else {
            return false;
        }
        c_.r.columns(
            {{"name", ColumnType::NVarChar, 128, false}, {"sid", ColumnType::VarBinary, 85, true}});
        for (const auto& [name, sid] : rows) {
            write_row_start(w);
            write_nvarchar(w, name);
            write_char(w, sid);
        }
        c_.r.done(done::kCount, static_cast<std::uint32_t>(rows.size()));
        return true;
    }
    std::optional<std::string> db_name;
    if (k.seq("SELECT sid FROM master . . sysdatabases WHERE name =") && (db_name = k.string()) &&
        k.end()) {
        const Database* db = c_.catalogue.find(*db_name);
        c_.r.columns({{"sid", ColumnType::VarBinary, 85, true}});
        if (db) {
            write_row_start(w);
            write_char(w, db->owner_sid.empty() ? std::string(1, '\x01') : db->owner_sid);
        }
        c_.r.done(done::kCount, db ? 1 : 0);
        return true;
    }
    return false;
}

struct Arg {
    std::string param;                // upper case, without @; empty when given by position
    std::optional<std::string> value; // nullopt for NULL
    bool binary = false;
};

// EXEC [db..|db.dbo.|db.sys.]procedure arguments.
bool Security::exec(Cursor& k) {
    static const std::vector<std::pair<std::string, std::vector<std::string>>> procedures = {
        {"SP_ADDLOGIN", {"LOGINAME", "PASSWD", "DEFDB", "DEFLANGUAGE", "SID", "ENCRYPTOPT"}},
        {"SP_DROPLOGIN", {"LOGINAME"}},
        {"SP_GRANTDBACCESS", {"LOGINAME", "NAME_IN_DB"}},
        {"SP_ADDUSER", {"LOGINAME", "NAME_IN_DB", "GRPNAME"}},
        {"SP_CHANGE_USERS_LOGIN", {"ACTION", "USERNAMEPATTERN", "LOGINNAME", "PASSWORD"}},
        {"SP_CHANGEDBOWNER", {"LOGINAME", "MAP"}},
        {"SP_EXECUTESQL", {"STMT"}},
    };
    auto first = k.name();
    if (!first)
        return false;
    std::string database = "master";
    std::string schema;
    std::string procedure = *first;
    if (k.seq(".")) {
        database = *first;
        if (!k.seq(".")) {
            const auto s = k.name();
            if (!s || !k.seq("."))
                return false;
            schema = upper(*s);
        }
        const auto p = k.name();
        if (!p)
            return false;
        procedure = *p;
    }
    const auto known = std::find_if(procedures.begin(), procedures.end(),
                                    [&](const auto& p) { return p.first == upper(procedure); });
    if (known == procedures.end())
        return false;
    std::vector<Arg> args;
    while (!k.end()) {
        Arg a;
        if (k.at(Tok::Word) && k.cur().text[0] == '@') {
            a.param = upper(k.cur().text.substr(1));
            k.next();
            if (!k.seq("="))
                return false;
        }
        if (auto h = k.hex()) {
            a.value = *h;
            a.binary = true;
        } else if (k.seq("NULL")) {
        } else if (auto v = k.name_or_string()) {
            a.value = *v;
        } else {
            return false;
        }
        args.push_back(std::move(a));
        if (!k.seq(",") && !k.end())
            return false;
    }
    std::map<std::string, std::optional<std::string>> bound;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string param =
            args[i].param.empty() && i < known->second.size() ? known->second[i] : args[i].param;
        if (std::find(known->second.begin(), known->second.end(), param) == known->second.end()) {
            answer_proc(Refusal{8145, "@" + param + " is not a parameter for procedure " +
                                          procedure + "."});
            return true;
        }
        bound[param] = args[i].value;
    }
    const auto arg = [&](const std::string& p) {
        const auto it = bound.find(p);
        return it == bound.end() ? std::nullopt : it->second;
    };
    std::lock_guard lock(c_.catalogue.mutex());
    if (schema == "SYS" && !later()) {
        answer_proc(Refusal{2812, "Could not find stored procedure " +
                                      msg::q(database + ".sys." + procedure) + "."});
        return true;
    }
    Database* db = c_.catalogue.find(database);
    if (!db) {
        answer_proc(Refusal{911, msg::no_such_db_entry(database)});
        return true;
    }
    const std::string which = known->first;
    const auto login = arg("LOGINAME");
    if ((which == "SP_ADDLOGIN" || which == "SP_DROPLOGIN" || which == "SP_GRANTDBACCESS" ||
         which == "SP_ADDUSER" || which == "SP_CHANGEDBOWNER") &&
        !login) {
        answer_proc(Refusal{201, "Procedure '" + procedure +
                                     "' expects parameter '@loginame', which was not supplied."});
        return true;
    }
    if (which == "SP_ADDLOGIN") {
        answer_proc(add_login(*login, arg("PASSWD").value_or(""), arg("SID")));
    } else if (which == "SP_DROPLOGIN") {
        answer_proc(drop_login(*login));
    } else if (which == "SP_GRANTDBACCESS" || which == "SP_ADDUSER") {
        answer_proc(add_user(*db, *login, arg("NAME_IN_DB").value_or(*login)));
    } else if (which == "SP_CHANGEDBOWNER") {
        answer_proc(change_owner(*db, *login));
    } else if (which == "SP_CHANGE_USERS_LOGIN") {
        const auto user = arg("USERNAMEPATTERN");
        const auto to = arg("LOGINNAME");
        if (upper(arg("ACTION").value_or("")) != "UPDATE_ONE" || !user || !to) {
            answer_proc(Refusal{15600, "An invalid parameter or option was specified for "
                                       "procedure 'sys.sp_change_users_login'."});
            return true;
        }
        answer_proc(map_user(*db, *user, *to, false));
    } else {
        const auto statement = arg("STMT");
        Cursor inner(sql::tokenize(statement.value_or("")));
        std::optional<Refusal> refusal;
        if (!later() || !statement || !(refusal = in_database(*db, inner), inner.end())) {
            const Token& near = inner.cur();
            refusal = Refusal{170, msg::syntax(near.line, near.text)};
        }
        answer_proc(refusal);
    }
    return true;
}

// CREATE USER and ALTER USER … WITH LOGIN, run by sp_executesql in the database. A statement it
// does not know leaves the cursor short of the end.
std::optional<Refusal> Security::in_database(Database& db, Cursor& k) {
    if (k.seq("CREATE USER")) {
        const auto user = k.name();
        if (!user)
            return std::nullopt;
        std::optional<std::string> login = *user;
        if (k.seq("FOR LOGIN") || k.seq("FROM LOGIN"))
            login = k.name();
        if (k.seq("WITH DEFAULT_SCHEMA ="))
            k.name();
        if (!login || !k.end())
            return std::nullopt;
        return add_user(db, *login, *user);
    }
    if (k.seq("ALTER USER")) {
        const auto user = k.name();
        if (!user || !k.seq("WITH LOGIN ="))
            return std::nullopt;
        const auto login = k.name();
        if (!login || !k.end())
            return std::nullopt;
        return map_user(db, *user, *login, true);
    }
    return std::nullopt;
}

// CREATE LOGIN [name] WITH PASSWORD = N'…' [, SID = 0x…] [, CHECK_POLICY = OFF, …]
bool Security::create_login(Cursor& k) {
    if (!later() || !k.seq("CREATE LOGIN"))
        return false;
    const auto name = k.name();
    std::optional<std::string> password;
    if (!name || !k.seq("WITH PASSWORD =") || !(password = k.string()))
        return false;
    std::optional<std::string> sid;
    while (k.seq(",")) {
        if (k.seq("SID =")) {
            if (!(sid = k.hex()))
                return false;
        } else if (k.seq("CHECK_POLICY =") || k.seq("CHECK_EXPIRATION =") ||
                   k.seq("DEFAULT_DATABASE =") || k.seq("DEFAULT_LANGUAGE =")) {
            if (!k.name())
                return false;
        } else {
            return false;
        }
    }
    if (!k.end())
        return false;
    std::lock_guard lock(c_.catalogue.mutex());
    answer_statement(add_login(*name, *password, sid));
    return true;
}

// ALTER AUTHORIZATION ON DATABASE::[db] TO [login]
bool Security::alter_authorization(Cursor& k) {
    if (!later() || !k.seq("ALTER AUTHORIZATION ON DATABASE : :"))
        return false;
    const auto db_name = k.name();
    std::optional<std::string> login;
    if (!db_name || !k.seq("TO") || !(login = k.name()) || !k.end())
        return false;
    std::lock_guard lock(c_.catalogue.mutex());
    Database* db = c_.catalogue.find(*db_name);
    if (!db) {
        answer_statement(Refusal{15151, "Cannot find the database " + msg::q(*db_name) +
                                            ", because it does not exist or you do not have "
                                            "permission."});
        return true;
    }
    answer_statement(change_owner(*db, *login));
    return true;
}

bool Security::run(std::string_view batch) {
    const std::vector<Token> tokens = sql::tokenize(batch);
    const auto attempt = [&](bool (Security::*form)(Cursor&)) {
        Cursor k(tokens);
        return (this->*form)(k);
    };
    if (attempt(&Security::select) || attempt(&Security::create_login) ||
        attempt(&Security::alter_authorization))
        return true;
    Cursor k(tokens);
    return (k.seq("EXEC") || k.seq("EXECUTE")) && exec(k);
}

} // namespace

bool run_security_statement(std::string_view batch, SecurityContext& c) {
    return Security(c).run(batch);
}

} // namespace standin
