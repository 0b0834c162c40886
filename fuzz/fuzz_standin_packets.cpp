// Everything a client sends to the stand-in up to its login: packets, PRELOGIN and LOGIN7.
#include "FuzzCheck.h"

#include "login.hpp"
#include "utf.hpp"
#include "wire.hpp"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

using fuzz::require;
using namespace standin;

namespace {

// Socket buffers hold this much without a reader, so no write below can block.
constexpr std::size_t MaxStream = 16 * 1024;
constexpr std::size_t MaxReply = 4 * 1024;

struct SocketPair {
    int fds[2] = {-1, -1};
    SocketPair() { require(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0, "socketpair"); }
    ~SocketPair() {
        for (int fd : fds) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    void closeWriter() {
        ::close(fds[1]);
        fds[1] = -1;
    }
};

Bytes utf16le(const std::string& utf8) {
    Bytes out;
    for (char16_t unit : utf8_to_utf16(utf8)) {
        out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return out;
}

// Text from the wire is valid UTF-8, so it survives the way back to UTF-16 and again.
void checkText(const std::string& text) {
    const Bytes units = utf16le(text);
    require(utf16le_to_utf8(units.data(), units.size()) == text, "decoded text round-trips");
}

// The client's scrambling of the password: nibbles swapped, then XOR 0xA5.
void checkPassword(const std::string& password) {
    Bytes scrambled = utf16le(password);
    for (std::uint8_t& b : scrambled) {
        b = static_cast<std::uint8_t>(((b << 4) | (b >> 4)) ^ 0xA5);
    }
    require(deobfuscate_password(scrambled.data(), scrambled.size()) == password,
            "the password scrambling is undone exactly");
}

void checkLogin(const Bytes& payload) {
    std::string why;
    const auto login = parse_login7(payload, why);
    if (!login) {
        require(!why.empty(), "a refused LOGIN7 says why");
        return;
    }
    require(login->integrated == ((payload[25] & 0x80) != 0), "integrated security bit");
    for (const std::string* text :
         {&login->user, &login->password, &login->app, &login->database}) {
        checkText(*text);
    }
    checkPassword(login->password);
    const std::uint32_t agreed = agreed_packet_size(login->packet_size);
    require(agreed >= 512 && agreed <= 32767, "the agreed packet size is one TDS allows");
}

// A reply split at the agreed packet size reads back as the same message.
void checkReplyFraming(const Bytes& payload, std::uint32_t requestedSize) {
    SocketPair pair;
    Wire server(pair.fds[0], 51);
    Wire client(pair.fds[1], 51);
    server.set_packet_size(agreed_packet_size(requestedSize));
    require(server.send(payload, true), "send a reply");
    Message m;
    std::string why;
    require(client.read_message(m, why) == Wire::Read::Ok, "a reply reads back");
    require(m.type == packet::kReply && m.payload == payload, "a reply reads back unchanged");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > MaxStream) {
        return 0;
    }
    const Bytes input(data, data + size);
    // The parsers straight on the input find their own bugs sooner than through the framing.
    prelogin_is_valid(input);
    checkLogin(input);

    SocketPair pair;
    require(::write(pair.fds[1], data, size) == static_cast<ssize_t>(size), "write the input");
    pair.closeWriter();
    Wire wire(pair.fds[0], 51);
    Message m;
    std::string why;
    for (;;) {
        const Wire::Read read = wire.read_message(m, why);
        if (read == Wire::Read::Bad) {
            require(!why.empty(), "a bad stream says why");
        }
        if (read != Wire::Read::Ok) {
            break;
        }
        if (m.type == packet::kPrelogin) {
            prelogin_is_valid(m.payload);
        } else if (m.type == packet::kLogin7) {
            checkLogin(m.payload);
        }
    }

    const std::uint32_t requested = size >= 4 ? read_u32le(data) : 0;
    checkReplyFraming(Bytes(data, data + std::min(size, MaxReply)), requested);
    return 0;
}
