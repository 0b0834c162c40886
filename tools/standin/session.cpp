#include "session.hpp"

#include "login.hpp"
#include "messages.hpp"
#include "response.hpp"
#include "security.hpp"
#include "sql_parser.hpp"
#include "statements.hpp"
#include "tokens.hpp"
#include "utf.hpp"

#include <iostream>

namespace standin {

namespace {

// ALL_HEADERS only exists from TDS 7.2, but a client may still send it.
std::size_t all_headers_length(const Bytes& p) {
    if (p.size() < 22)
        return 0;
    const std::uint32_t total = read_u32le(&p[0]);
    const std::uint32_t first = read_u32le(&p[4]);
    const std::uint16_t type = read_u16le(&p[8]);
    if (total < 22 || total > p.size() || first < 6 || first > total - 4 || type < 1 || type > 3)
        return 0;
    return total;
}

} // namespace

Session::Session(int fd, int id, ServerState& server)
    : id_(id), server_(server), wire_(fd, static_cast<std::uint16_t>(51 + id % 30000)) {}

void Session::log(const std::string& what) const {
    std::cerr << "standin: connection " << id_ << ": " << what << std::endl;
}

void Session::run() {
    using Handler = bool (Session::*)(const Message&);
    static const std::map<std::uint8_t, Handler> handlers = {
        {packet::kPrelogin, &Session::on_prelogin},   {packet::kLogin7, &Session::on_login},
        {packet::kBatch, &Session::on_batch},         {packet::kRpc, &Session::on_rpc},
        {packet::kAttention, &Session::on_attention},
    };
    Message m;
    std::string why;
    for (;;) {
        switch (wire_.read_message(m, why)) {
        case Wire::Read::Closed:
            return;
        case Wire::Read::Bad:
            log("closing: " + why);
            return;
        case Wire::Read::Ok:
            break;
        }
        const auto h = handlers.find(m.type);
        if (h == handlers.end()) {
            log("closing: unsupported packet type " + std::to_string(m.type));
            return;
        }
        if (!(this->*(h->second))(m))
            return;
    }
}

bool Session::on_prelogin(const Message& m) {
    if (prelogin_seen_ || logged_in_) {
        log("closing: PRELOGIN sent twice");
        return false;
    }
    if (!prelogin_is_valid(m.payload)) {
        log("closing: malformed PRELOGIN");
        return false;
    }
    prelogin_seen_ = true;
    return wire_.send(prelogin_reply(server_.version), true);
}

bool Session::refuse_login(std::uint32_t tds, std::int32_t number, std::uint8_t cls,
                           const std::string& text, const std::string& also_user) {
    ByteWriter w;
    write_message(w, tds, true, number, 1, cls, text);
    if (!also_user.empty())
        write_message(w, tds, true, 18456, 1, 14, msg::login_failed(also_user));
    write_done(w, tds, token::kDone, done::kError, 0);
    wire_.send(w.bytes(), true);
    log("login refused: " + text);
    // A client left waiting after a refusal would hang, so the server hangs up.
    return false;
}

bool Session::on_login(const Message& m) {
    if (logged_in_) {
        log("closing: LOGIN7 after login");
        return false;
    }
    std::string why;
    const auto login = parse_login7(m.payload, why);
    if (!login) {
        log("closing: " + why);
        return false;
    }
    // A refusal is read in the layout the client asked for, as no LOGINACK says otherwise.
    const std::uint32_t tds = agreed_tds(login->tds_version, server_.version);
    if (login->integrated)
        return refuse_login(tds, 18452, 14,
                            msg::login_untrusted(login->user.empty() ? "(null)" : login->user), {});
    const auto it = server_.logins.find(login->user);
    if (it == server_.logins.end() || it->second != login->password)
        return refuse_login(tds, 18456, 14, msg::login_failed(login->user), {});

    std::string db = login->database.empty() ? "master" : login->database;
    {
        std::lock_guard lock(server_.catalogue.mutex());
        const Database* d = server_.catalogue.find(db);
        if (!d)
            return refuse_login(tds, 4060, 11, msg::cannot_open_db(db), login->user);
        db = d->name;
    }
    const std::uint32_t size = agreed_packet_size(login->packet_size);
    const std::string size_text = std::to_string(size);
    ByteWriter w;
    write_env_string(w, 1, db, "master");
    write_message(w, tds, false, 5701, 2, 0, "Changed database context to '" + db + "'.");
    write_env_collation(w);
    write_env_string(w, 2, "us_english", "");
    write_message(w, tds, false, 5703, 1, 0, "Changed language setting to us_english.");
    write_login_ack(w, server_.version, tds);
    write_env_string(w, 4, size_text, size_text);
    write_done(w, tds, token::kDone, done::kFinal, 0);
    if (!wire_.send(w.bytes(), true))
        return false;
    wire_.set_packet_size(size);
    tds_ = tds;
    logged_in_ = true;
    return true;
}

bool Session::on_batch(const Message& m) {
    if (!logged_in_) {
        log("closing: SQL batch before login");
        return false;
    }
    Response r(wire_, server_.stopping, tds_);
    if (m.ignore) {
        r.done(done::kFinal);
        return r.finish();
    }
    const std::size_t skip = all_headers_length(m.payload);
    if ((m.payload.size() - skip) % 2 != 0) {
        log("closing: SQL batch with an odd number of bytes");
        return false;
    }
    const std::string sql = utf16le_to_utf8(m.payload.data() + skip, m.payload.size() - skip);
    server_.log.append(sql);

    SecurityContext security{server_.catalogue, r, server_.version, server_.logins};
    auto parsed = sql::parse(sql);
    if (run_security_statement(sql, security)) {
        // Logins and users: answered in full.
    } else if (auto* e = std::get_if<sql::SyntaxError>(&parsed)) {
        const auto line = static_cast<std::uint16_t>(std::min(e->line, 65535));
        r.error(170, msg::syntax(e->line, e->near), 15, 1, line);
        r.done(done::kError);
    } else {
        auto& statement = std::get<sql::Statement>(parsed);
        server_.drives.map(statement);
        Context c{server_.catalogue, server_.faults,  r,
                  server_.version,   server_.edition, server_.drives};
        run_statement(statement, c);
    }
    if (r.broken()) {
        log("closing in the middle of a statement");
        return false;
    }
    if (!r.finish())
        return false;
    if (r.attention()) {
        server_.log.append_attention();
        ByteWriter ack;
        write_done(ack, tds_, token::kDone, done::kAttention, 0);
        return wire_.send(ack.bytes(), true);
    }
    return true;
}

bool Session::on_rpc(const Message&) {
    if (!logged_in_) {
        log("closing: RPC before login");
        return false;
    }
    Response r(wire_, server_.stopping, tds_);
    r.error(50000, "RPC requests are not supported by the stand-in; send a SQL batch.");
    r.done(done::kError);
    return r.finish();
}

bool Session::on_attention(const Message&) {
    // No response is open any more: acknowledge at once.
    server_.log.append_attention();
    ByteWriter ack;
    write_done(ack, tds_, token::kDone, done::kAttention, 0);
    return wire_.send(ack.bytes(), true);
}

} // namespace standin
