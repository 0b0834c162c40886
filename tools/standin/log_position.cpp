#include "log_position.hpp"

#include <chrono>
#include <random>

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

namespace {

// Never zero, which stands for sets that carry no identity, and at most 19 digits, as files hold
// numbers.
std::uint64_t new_id() {
    thread_local std::mt19937_64 ids{std::random_device{}()};
    std::uint64_t id = 0;
    while (id == 0)
        id = ids() >> 2;
    return id;
}

} // namespace

std::int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void start_log(Database& d, std::int64_t now) {
    d.lsn = kFirstLsn;
    d.lsn_time = now;
    d.log_start = kFirstLsn;
    d.full_checkpoint = 0;
    d.restored = false;
    d.created_ms = now_ms();
    d.family = new_id();
    d.fork = new_id();
    d.log_fork = d.fork;
    d.fork_point = 0;
}

void start_fork(Database& d) {
    d.fork = new_id();
    d.fork_point = d.lsn;
}

} // namespace standin
