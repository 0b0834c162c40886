#include "principals.hpp"

#include "catalogue.hpp"
#include "file_formats.hpp"

#include <cctype>
#include <sstream>

namespace standin {

std::string sid_hex(const std::string& sid) {
    static const char digits[] = "0123456789ABCDEF";
    if (sid.empty())
        return "%";
    std::string out;
    for (unsigned char c : sid) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::optional<std::string> sid_from_hex(std::string_view hex) {
    if (hex == "%")
        return std::string();
    if (hex.empty() || hex.size() % 2 != 0 || hex.size() > 170)
        return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int v = 0;
        for (char c : hex.substr(i, 2)) {
            const int d = std::isdigit(static_cast<unsigned char>(c))
                              ? c - '0'
                              : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
            if (!std::isxdigit(static_cast<unsigned char>(c)))
                return std::nullopt;
            v = v * 16 + d;
        }
        out += static_cast<char>(v);
    }
    return out;
}

std::string user_line(const DbUser& u) {
    return "user " + std::to_string(u.uid) + ' ' + sid_hex(u.sid) + ' ' + encode_field(u.name) +
           "\n";
}

std::optional<DbUser> parse_user_fields(const std::string& fields) {
    std::istringstream in(fields);
    DbUser u;
    std::string sid, name;
    if (!(in >> u.uid >> sid >> name) || u.uid < 1 || u.uid > 16383)
        return std::nullopt;
    auto s = sid_from_hex(sid);
    auto n = decode_field(name);
    if (!s || !n || n->empty())
        return std::nullopt;
    u.sid = *s;
    u.name = *n;
    return u;
}

std::vector<DbUser> default_users() {
    return {{kDboUid, "dbo", std::string(1, '\x01')}, {2, "guest", std::string(1, '\0')}};
}

std::string sid_of_named_login(std::string_view name) {
    if (same_name(name, "sa"))
        return std::string(1, '\x01');
    std::uint64_t h = 14695981039346656037ull;
    std::string sid;
    for (int round = 0; round < 2; ++round) {
        for (char c : name) {
            h ^= static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(c)));
            h *= 1099511628211ull;
        }
        for (int i = 0; i < 8; ++i)
            sid += static_cast<char>(h >> (8 * i));
    }
    return sid;
}

} // namespace standin
