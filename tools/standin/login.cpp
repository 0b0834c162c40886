#include "login.hpp"

#include "tokens.hpp"
#include "utf.hpp"

#include <algorithm>

namespace standin {

bool prelogin_is_valid(const Bytes& p) {
    std::size_t i = 0;
    while (i < p.size() && p[i] != 0xFF) {
        if (i + 5 > p.size())
            return false;
        const std::size_t off = read_u16be(&p[i + 1]);
        const std::size_t len = read_u16be(&p[i + 3]);
        if (off + len > p.size())
            return false;
        i += 5;
    }
    return i < p.size() && i > 0;
}

Bytes prelogin_reply(const ServerVersion& v) {
    // VERSION, ENCRYPTION, INSTOPT, THREADID (empty), terminator, then data.
    Bytes reply{0x00, 0x00, 0x15, 0x00, 0x06, 0x01, 0x00, 0x1B, 0x00, 0x01,
                0x02, 0x00, 0x1C, 0x00, 0x01, 0x03, 0x00, 0x1D, 0x00, 0x00,
                0xFF, 0x08, 0x00, 0x07, 0xF7, 0x00, 0x00, 0x02, 0x00};
    reply[21] = v.major;
    reply[22] = v.minor;
    reply[23] = static_cast<std::uint8_t>(v.build >> 8);
    reply[24] = static_cast<std::uint8_t>(v.build & 0xFF);
    return reply;
}

std::uint32_t agreed_tds(std::uint32_t asked, const ServerVersion& v) {
    // Older requests (7.0, 7.1 RTM) get 7.1 SP1, as SQL Server 2000 SP4 answers them.
    constexpr std::uint32_t kKnown[] = {0x74000004, 0x730B0003, 0x730A0003, 0x72090002};
    for (std::uint32_t t : kKnown)
        if (t <= asked && t <= v.tds)
            return t;
    return kTds71;
}

std::string deobfuscate_password(const std::uint8_t* p, std::size_t nbytes) {
    Bytes plain(p, p + nbytes);
    for (std::uint8_t& b : plain) {
        const std::uint8_t x = b ^ 0xA5;
        b = static_cast<std::uint8_t>(((x << 4) | (x >> 4)) & 0xFF);
    }
    return utf16le_to_utf8(plain.data(), plain.size());
}

std::uint32_t agreed_packet_size(std::uint32_t requested) {
    if (requested == 0)
        return 4096;
    return std::clamp<std::uint32_t>(requested, 512, 32767);
}

std::optional<Login7> parse_login7(const Bytes& p, std::string& why) {
    constexpr std::size_t kFixed = 86;
    if (p.size() < kFixed) {
        why = "LOGIN7 of " + std::to_string(p.size()) + " bytes is shorter than its fixed part";
        return std::nullopt;
    }
    if (read_u32le(&p[0]) != p.size()) {
        why = "LOGIN7 length field " + std::to_string(read_u32le(&p[0])) + " does not match " +
              std::to_string(p.size()) + " bytes received";
        return std::nullopt;
    }
    // Offsets are checked one by one: a lying length must not read past the buffer.
    auto field = [&](std::size_t at, bool units, const char* name,
                     std::pair<std::size_t, std::size_t>& out) {
        const std::size_t off = read_u16le(&p[at]);
        const std::size_t n = read_u16le(&p[at + 2]) * (units ? 2u : 1u);
        if (n > 0 && off + n > p.size()) {
            why = std::string("LOGIN7 field ") + name + " points outside the message";
            return false;
        }
        out = {off, n};
        return true;
    };
    std::pair<std::size_t, std::size_t> user, pass, app, db, sspi;
    if (!field(40, true, "UserName", user) || !field(44, true, "Password", pass) ||
        !field(48, true, "AppName", app) || !field(68, true, "Database", db) ||
        !field(78, false, "SSPI", sspi))
        return std::nullopt;

    Login7 l;
    l.tds_version = read_u32le(&p[4]);
    l.packet_size = read_u32le(&p[8]);
    l.integrated = (p[25] & 0x80) != 0;
    auto text = [&](const std::pair<std::size_t, std::size_t>& f) {
        return f.second ? utf16le_to_utf8(&p[f.first], f.second) : std::string();
    };
    l.user = text(user);
    l.app = text(app);
    l.database = text(db);
    l.password = pass.second ? deobfuscate_password(&p[pass.first], pass.second) : std::string();
    return l;
}

} // namespace standin
