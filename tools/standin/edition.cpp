#include "edition.hpp"

namespace standin {

namespace {

bool is_2008(const ServerVersion& v) {
    return v.major == 10 && v.minor == 0;
}

} // namespace

std::optional<Edition> edition_named(std::string_view name) {
    if (name == "Express")
        return Edition::Express;
    if (name == "Standard")
        return Edition::Standard;
    if (name == "Enterprise")
        return Edition::Enterprise;
    return std::nullopt;
}

std::string edition_text(Edition e, const ServerVersion& v) {
    const std::string name = e == Edition::Express    ? "Express Edition"
                             : e == Edition::Standard ? "Standard Edition"
                                                      : "Enterprise Edition";
    return &v == &sql2000() ? name : name + " (64-bit)";
}

int engine_edition(Edition e) {
    switch (e) {
    case Edition::Express:
        return 4;
    case Edition::Standard:
        return 2;
    case Edition::Enterprise:
        break;
    }
    return 3;
}

std::uint64_t size_cap_mb(Edition e, const ServerVersion& v) {
    if (e != Edition::Express)
        return 0;
    return v.major < 10 || is_2008(v) ? 4096 : 10240;
}

bool compresses_backups(Edition e, const ServerVersion& v) {
    if (v.major < 10 || e == Edition::Express)
        return false;
    return e == Edition::Enterprise || !is_2008(v);
}

} // namespace standin
