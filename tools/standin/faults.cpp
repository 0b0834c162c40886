#include "faults.hpp"

#include <algorithm>
#include <charconv>

namespace standin {

namespace {

constexpr std::string_view kKinds[] = {
    "getdate",    "select", "filelist", "headeronly", "create",  "restore",
    "attach",     "backup", "detach",   "drop",       "dirtree", "fileexist",
    "verifyonly", "dbcc",   "alter",    "deletefile", "*"};

template <typename T> bool number(std::string_view s, T& out) {
    const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size() && !s.empty();
}

// Splits at most `max` fields; the last keeps any further colons.
std::vector<std::string_view> fields(std::string_view s, std::size_t max) {
    std::vector<std::string_view> out;
    while (out.size() + 1 < max) {
        const std::size_t c = s.find(':');
        if (c == std::string_view::npos)
            break;
        out.push_back(s.substr(0, c));
        s.remove_prefix(c + 1);
    }
    out.push_back(s);
    return out;
}

} // namespace

std::optional<Fault> parse_fault(std::string_view rule, std::string& why) {
    const auto f = fields(rule, 4);
    Fault out;
    const std::string_view action = f[0];
    auto kind_ok = [&](std::string_view k) {
        if (std::find(std::begin(kKinds), std::end(kKinds), k) != std::end(kKinds))
            return true;
        why = "unknown statement kind '" + std::string(k) + "'";
        return false;
    };
    if (action == "delay" && f.size() == 3) {
        out.action = Fault::Action::Delay;
        if (!kind_ok(f[1]))
            return std::nullopt;
        out.kind = f[1];
        if (!number(f[2], out.delay_ms) || out.delay_ms < 0) {
            why = "delay needs milliseconds";
            return std::nullopt;
        }
        return out;
    }
    if (action == "drop" && f.size() == 2) {
        out.action = Fault::Action::Drop;
        if (!kind_ok(f[1]))
            return std::nullopt;
        out.kind = f[1];
        return out;
    }
    if (action == "error" && f.size() == 4) {
        out.action = Fault::Action::Error;
        if (!kind_ok(f[1]))
            return std::nullopt;
        out.kind = f[1];
        if (!number(f[2], out.number) || out.number <= 0) {
            why = "error needs a positive message number";
            return std::nullopt;
        }
        out.text = f[3];
        return out;
    }
    if (action == "rate" && f.size() == 2) {
        out.action = Fault::Action::Rate;
        if (!number(f[1], out.rate) || out.rate == 0) {
            why = "rate needs bytes per second above 0";
            return std::nullopt;
        }
        return out;
    }
    if ((action == "inconsistent" || action == "unreadable") && f.size() == 1) {
        out.action =
            action == "inconsistent" ? Fault::Action::Inconsistent : Fault::Action::Unreadable;
        out.kind = "*";
        return out;
    }
    why = "expected delay:KIND:MS, drop:KIND, error:KIND:NUMBER:TEXT, rate:BYTES_PER_SEC, "
          "inconsistent or "
          "unreadable";
    return std::nullopt;
}

const Fault* Faults::find(Fault::Action a, std::string_view kind) const {
    for (const Fault& f : faults_)
        if (f.action == a && (f.kind == kind || f.kind == "*"))
            return &f;
    return nullptr;
}

std::uint64_t Faults::rate() const {
    for (const Fault& f : faults_)
        if (f.action == Fault::Action::Rate)
            return f.rate;
    return 0;
}

} // namespace standin
