#pragma once

#include "catalogue.hpp"
#include "response.hpp"
#include "server_version.hpp"

#include <map>
#include <string>
#include <string_view>

namespace standin {

struct SecurityContext {
    Catalogue& catalogue;
    Response& r;
    const ServerVersion& version;
    const std::map<std::string, std::string>& named_logins; // --login: name -> password
};

// Logins, database users and owners: sp_addlogin, sp_droplogin, CREATE LOGIN, sp_grantdbaccess,
// sp_adduser, sp_change_users_login 'Update_One', sp_changedbowner, ALTER AUTHORIZATION, CREATE
// and ALTER USER through [db].sys.sp_executesql, and the reads of sysusers, syslogins and
// sysdatabases.sid. Answers the batch and returns true when it is one of these; false leaves it
// to the other statements.
bool run_security_statement(std::string_view batch, SecurityContext& c);

} // namespace standin
