#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace standin {

using Bytes = std::vector<std::uint8_t>;

// Appends integers in the byte orders TDS mixes: little-endian in tokens,
// big-endian in packet headers and a few PRELOGIN/LOGINACK fields.
class ByteWriter {
public:
    void u8(std::uint8_t v) { buf_.push_back(v); }
    void u16le(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v & 0xFF));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void u16be(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v >> 8));
        u8(static_cast<std::uint8_t>(v & 0xFF));
    }
    void u32le(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            u8(static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF));
    }
    void u32be(std::uint32_t v) {
        for (int i = 3; i >= 0; --i)
            u8(static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF));
    }
    void raw(const std::uint8_t* p, std::size_t n) { buf_.insert(buf_.end(), p, p + n); }
    void raw(const Bytes& b) { raw(b.data(), b.size()); }
    // Writes UTF-8 text as UTF-16LE and returns the number of code units.
    std::size_t utf16(std::string_view utf8);
    void patch_u16le(std::size_t pos, std::uint16_t v) {
        buf_[pos] = static_cast<std::uint8_t>(v & 0xFF);
        buf_[pos + 1] = static_cast<std::uint8_t>(v >> 8);
    }

    std::size_t size() const { return buf_.size(); }
    Bytes& bytes() { return buf_; }
    const Bytes& bytes() const { return buf_; }
    void clear() { buf_.clear(); }

private:
    Bytes buf_;
};

inline std::uint16_t read_u16le(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint16_t read_u16be(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
inline std::uint32_t read_u32le(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

} // namespace standin
