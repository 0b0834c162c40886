#pragma once

#include "bytes.hpp"
#include "server_version.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace standin {

struct Login7 {
    std::uint32_t tds_version = 0;
    std::uint32_t packet_size = 0;
    bool integrated = false;
    std::string user;
    std::string password;
    std::string app;
    std::string database;
};

// Checks that a PRELOGIN payload has a well-formed option table.
bool prelogin_is_valid(const Bytes& payload);
// The server's answer: its version, encryption not supported.
Bytes prelogin_reply(const ServerVersion& v);

// The TDS version to speak: the highest both the client asked for and the server knows.
std::uint32_t agreed_tds(std::uint32_t asked, const ServerVersion& v);

// Parses LOGIN7; nullopt and a reason when any field points outside the payload.
std::optional<Login7> parse_login7(const Bytes& payload, std::string& why);

std::string deobfuscate_password(const std::uint8_t* p, std::size_t nbytes);

// Packet size the server agrees to for a client request.
std::uint32_t agreed_packet_size(std::uint32_t requested);

} // namespace standin
