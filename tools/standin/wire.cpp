#include "wire.hpp"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace standin {

bool Wire::read_exact(std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        const ssize_t got = ::recv(fd_, p, n, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        p += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

bool Wire::write_all(const std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        const ssize_t put = ::send(fd_, p, n, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        p += put;
        n -= static_cast<std::size_t>(put);
    }
    return true;
}

Wire::Read Wire::read_message(Message& m, std::string& why) {
    m.payload.clear();
    m.ignore = false;
    bool first = true;
    for (;;) {
        std::uint8_t h[8];
        if (!read_exact(h, 1))
            return first ? Read::Closed : (why = "connection closed inside a message", Read::Bad);
        if (!read_exact(h + 1, 7)) {
            why = "connection closed inside a packet header";
            return Read::Bad;
        }
        const std::size_t len = read_u16be(h + 2);
        if (len < 8) {
            why = "packet length " + std::to_string(len) + " is shorter than its header";
            return Read::Bad;
        }
        if (first) {
            m.type = h[0];
        } else if (h[0] != m.type) {
            why = "packet type changed inside a message";
            return Read::Bad;
        }
        if (m.payload.size() + (len - 8) > kMaxMessage) {
            why = "message larger than " + std::to_string(kMaxMessage) + " bytes";
            return Read::Bad;
        }
        const std::size_t at = m.payload.size();
        m.payload.resize(at + len - 8);
        if (!read_exact(m.payload.data() + at, len - 8)) {
            why = "connection closed inside a packet (" + std::to_string(len) + " bytes announced)";
            return Read::Bad;
        }
        first = false;
        if (h[1] & packet::kIgnore)
            m.ignore = true;
        if (h[1] & packet::kEom)
            return Read::Ok;
    }
}

bool Wire::send(const Bytes& payload, bool last) {
    const std::size_t chunk = packet_size_ - 8;
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(chunk, payload.size() - at);
        const bool eom = last && at + n == payload.size();
        std::uint8_t h[8] = {packet::kReply,
                             static_cast<std::uint8_t>(eom ? packet::kEom : 0),
                             static_cast<std::uint8_t>((n + 8) >> 8),
                             static_cast<std::uint8_t>((n + 8) & 0xFF),
                             static_cast<std::uint8_t>(spid_ >> 8),
                             static_cast<std::uint8_t>(spid_ & 0xFF),
                             packet_id_++,
                             0};
        if (!write_all(h, 8) || !write_all(payload.data() + at, n))
            return false;
        at += n;
    } while (at < payload.size());
    return true;
}

Wire::Poll Wire::poll() {
    pollfd p{fd_, POLLIN, 0};
    const int r = ::poll(&p, 1, 0);
    if (r <= 0)
        return Poll::Idle;
    if (p.revents & (POLLERR | POLLNVAL))
        return Poll::Closed;
    Message m;
    std::string why;
    switch (read_message(m, why)) {
    case Read::Closed:
        return Poll::Closed;
    case Read::Bad:
        return Poll::Bad;
    case Read::Ok:
        break;
    }
    return m.type == packet::kAttention ? Poll::Attention : Poll::Bad;
}

} // namespace standin
