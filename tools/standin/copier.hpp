#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace standin {

// Streams bytes between files through one fixed buffer, so memory stays flat
// however large the files are. Optionally throttled to a byte rate.
class Copier {
public:
    // Called after every chunk with the bytes done so far overall; returning
    // false stops the copy. `pause_ms` asks the callee to wait that long.
    using Progress = std::function<bool(std::uint64_t done, long pause_ms)>;

    Copier(std::uint64_t rate, Progress progress);

    enum class Result { Ok, ReadFailed, WriteFailed, Stopped };
    Result copy(int in, std::uint64_t in_offset, int out, std::uint64_t out_offset,
                std::uint64_t n);
    // Writes generated filler instead of copying.
    Result generate(int out, std::uint64_t out_offset, std::uint64_t n, std::uint64_t seed);

private:
    bool step(std::size_t n);

    std::vector<std::uint8_t> buf_;
    std::uint64_t rate_;
    std::uint64_t done_ = 0;
    Progress progress_;
    std::int64_t started_ms_;
};

} // namespace standin
