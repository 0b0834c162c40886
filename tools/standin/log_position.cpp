#include "log_position.hpp"

#include <chrono>

namespace standin {

std::int64_t now_seconds() {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

std::uint64_t current_lsn(const Database& d, std::int64_t now) {
    const std::uint64_t base = d.lsn < kFirstLsn ? kFirstLsn : d.lsn;
    if (d.state != "ONLINE" || now <= d.lsn_time)
        return base;
    return base + static_cast<std::uint64_t>(now - d.lsn_time) * kLsnPerSecond;
}

std::uint64_t log_change(Database& d, std::int64_t now) {
    const std::uint64_t at = current_lsn(d, now);
    d.lsn = at + 1;
    d.lsn_time = now;
    return at;
}

void start_log(Database& d, std::int64_t now) {
    d.lsn = kFirstLsn;
    d.lsn_time = now;
    d.log_start = kFirstLsn;
    d.full_checkpoint = 0;
    d.restored = false;
}

} // namespace standin
