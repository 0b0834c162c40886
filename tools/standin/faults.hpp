#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// Misbehaviour chosen on the command line, for tests of the client.
struct Fault {
    // Inconsistent: every consistency check reports errors; Unreadable: every RESTORE VERIFYONLY
    // finds its backup unreadable.
    enum class Action { Delay, Drop, Error, Rate, Inconsistent, Unreadable };
    Action action = Action::Delay;
    std::string kind;        // statement kind or "*"; unused for Rate
    long delay_ms = 0;       // Delay
    std::int32_t number = 0; // Error
    std::string text;        // Error
    std::uint64_t rate = 0;  // Rate: bytes per second
};

// Parses one --fault RULE; nullopt and a reason when it is not understood.
std::optional<Fault> parse_fault(std::string_view rule, std::string& why);

class Faults {
public:
    void add(Fault f) { faults_.push_back(std::move(f)); }
    const Fault* find(Fault::Action a, std::string_view kind) const;
    // Copy rate in bytes per second, 0 for unlimited.
    std::uint64_t rate() const;

private:
    std::vector<Fault> faults_;
};

} // namespace standin
