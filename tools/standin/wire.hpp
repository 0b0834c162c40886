#pragma once

#include "bytes.hpp"

#include <cstddef>
#include <cstdint>
#include <string>

namespace standin {

namespace packet {
constexpr std::uint8_t kBatch = 0x01;
constexpr std::uint8_t kLegacyLogin = 0x02;
constexpr std::uint8_t kRpc = 0x03;
constexpr std::uint8_t kReply = 0x04;
constexpr std::uint8_t kAttention = 0x06;
constexpr std::uint8_t kLogin7 = 0x10;
constexpr std::uint8_t kSspi = 0x11;
constexpr std::uint8_t kPrelogin = 0x12;

constexpr std::uint8_t kEom = 0x01;
constexpr std::uint8_t kIgnore = 0x02;
} // namespace packet

struct Message {
    std::uint8_t type = 0;
    bool ignore = false;
    Bytes payload;
};

// Packet framing on one client socket: reassembles requests, splits replies.
class Wire {
public:
    static constexpr std::size_t kMaxMessage = 16u << 20;

    Wire(int fd, std::uint16_t spid) : fd_(fd), spid_(spid) {}

    enum class Read { Ok, Closed, Bad };
    // On Bad, `why` says what was wrong with the input.
    Read read_message(Message& m, std::string& why);

    // Sends payload as packets of at most the agreed size; EOM only if `last`.
    bool send(const Bytes& payload, bool last);
    void set_packet_size(std::size_t n) { packet_size_ = n; }

    enum class Poll { Idle, Attention, Closed, Bad };
    // Looks for a packet without blocking; used between steps of long work.
    Poll poll();

private:
    bool read_exact(std::uint8_t* p, std::size_t n);
    bool write_all(const std::uint8_t* p, std::size_t n);

    int fd_;
    std::uint16_t spid_;
    std::size_t packet_size_ = 4096;
    std::uint8_t packet_id_ = 1;
};

} // namespace standin
