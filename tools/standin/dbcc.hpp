#pragma once

#include "catalogue.hpp"
#include "server_version.hpp"
#include "statements.hpp"

namespace standin {

// RESTORE VERIFYONLY, DBCC CHECKDB / CHECKCATALOG / UPDATEUSAGE, the compatibility level and page
// verification, and their reads.
void run_maintenance(const sql::Maintenance& s, Context& c);

// What a database made on `server` from files or a backup that `made_by` wrote starts with: a
// SQL Server 2000 database keeps torn-page detection and, upgraded, stale usage counts.
void inherit_upkeep(Database& d, const ServerVersion& server, const ServerVersion& made_by);

} // namespace standin
