#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// A row of a database's sysusers. SIDs are raw bytes: sa's is 0x01, guest's 0x00, a SQL login's
// 16 bytes.
struct DbUser {
    int uid = 0;
    std::string name;
    std::string sid;
};

// A login added by sp_addlogin or CREATE LOGIN; those given with --login are not kept here.
struct Login {
    std::string name;
    std::string sid;
    std::string password;
};

constexpr int kDboUid = 1;

// Upper-case hex without 0x; "%" for no bytes, so that it stays one field.
std::string sid_hex(const std::string& sid);
std::optional<std::string> sid_from_hex(std::string_view hex);

// "user UID SIDHEX NAME", the line that keeps a user in the catalogue, a backup set and a data
// file; nullopt when `fields` (what follows "user ") is not one.
std::string user_line(const DbUser& u);
std::optional<DbUser> parse_user_fields(const std::string& fields);

// A database made before users were kept, or by CREATE DATABASE here: dbo is sa, and guest.
std::vector<DbUser> default_users();

// The SID the server gives a login of --login (sa's is 0x01): the same for a name every time, so
// that a restart keeps it.
std::string sid_of_named_login(std::string_view name);

} // namespace standin
