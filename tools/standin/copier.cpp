#include "copier.hpp"

#include "file_formats.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <sys/stat.h>
#include <unistd.h>

namespace standin {

namespace {

constexpr std::size_t kChunk = 1 << 20;

std::int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool write_all(int fd, const std::uint8_t* p, std::size_t n, std::uint64_t off) {
    while (n > 0) {
        const ssize_t put = ::pwrite(fd, p, n, static_cast<off_t>(off));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        p += put;
        n -= static_cast<std::size_t>(put);
        off += static_cast<std::uint64_t>(put);
    }
    return true;
}

// How many of the `n` bytes at `off` are a hole in the file (sparse, or past its data); 0 when
// data comes first or the file system cannot tell.
std::uint64_t hole_at(int fd, std::uint64_t off, std::uint64_t n) {
    const off_t data = ::lseek(fd, static_cast<off_t>(off), SEEK_DATA);
    if (data < 0)
        return errno == ENXIO ? n : 0;
    return std::min<std::uint64_t>(n, static_cast<std::uint64_t>(data) - off);
}

// How many bytes of data follow `off` before the next hole; all when the file system cannot tell.
std::uint64_t data_at(int fd, std::uint64_t off) {
    const off_t hole = ::lseek(fd, static_cast<off_t>(off), SEEK_HOLE);
    return hole > static_cast<off_t>(off) ? static_cast<std::uint64_t>(hole) - off : UINT64_MAX;
}

// Makes the file at least `size` bytes long, leaving a hole where nothing was written.
bool extend(int fd, std::uint64_t size) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    return static_cast<std::uint64_t>(st.st_size) >= size ||
           ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

} // namespace

Copier::Copier(std::uint64_t rate, Progress progress)
    : rate_(rate), progress_(std::move(progress)), started_ms_(now_ms()) {
    // A throttled copy moves small chunks so progress stays smooth.
    std::size_t chunk = kChunk;
    if (rate_ > 0)
        chunk = static_cast<std::size_t>(std::clamp<std::uint64_t>(rate_ / 10, 4096, kChunk));
    buf_.resize(chunk);
}

bool Copier::step(std::size_t n) {
    done_ += n;
    long pause = 0;
    if (rate_ > 0) {
        const auto due = static_cast<std::int64_t>(done_ * 1000 / rate_);
        pause = static_cast<long>(std::max<std::int64_t>(0, due - (now_ms() - started_ms_)));
    }
    return progress_(done_, pause);
}

Copier::Result Copier::copy(int in, std::uint64_t in_off, int out, std::uint64_t out_off,
                            std::uint64_t n) {
    while (n > 0) {
        // A hole stays a hole: a database of any declared size costs no disk to copy.
        if (const std::uint64_t hole = hole_at(in, in_off, n); hole > 0) {
            in_off += hole;
            out_off += hole;
            n -= hole;
            if (!extend(out, out_off))
                return Result::WriteFailed;
            if (!step(static_cast<std::size_t>(hole)))
                return Result::Stopped;
            continue;
        }
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>({n, buf_.size(), data_at(in, in_off)}));
        const ssize_t got = ::pread(in, buf_.data(), want, static_cast<off_t>(in_off));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return Result::ReadFailed;
        const auto g = static_cast<std::size_t>(got);
        if (!write_all(out, buf_.data(), g, out_off))
            return Result::WriteFailed;
        in_off += g;
        out_off += g;
        n -= g;
        if (!step(g))
            return Result::Stopped;
    }
    return Result::Ok;
}

Copier::Result Copier::generate(int out, std::uint64_t out_off, std::uint64_t n,
                                std::uint64_t seed) {
    fill_pattern(buf_.data(), buf_.size(), seed);
    std::uint64_t block = 0;
    while (n > 0) {
        const std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(n, buf_.size()));
        // Stamp the block number so equal blocks cannot hide a misplaced copy.
        for (int i = 0; i < 8 && static_cast<std::size_t>(i) < len; ++i)
            buf_[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(block >> (8 * i));
        if (!write_all(out, buf_.data(), len, out_off))
            return Result::WriteFailed;
        out_off += len;
        n -= len;
        ++block;
        if (!step(len))
            return Result::Stopped;
    }
    return Result::Ok;
}

} // namespace standin
