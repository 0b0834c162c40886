#pragma once

#include "catalogue.hpp"
#include "drives.hpp"
#include "edition.hpp"
#include "faults.hpp"
#include "response.hpp"
#include "server_version.hpp"
#include "sql_parser.hpp"

namespace standin {

struct Context {
    Catalogue& catalogue;
    const Faults& faults;
    Response& r;
    const ServerVersion& version; // of the server playing
    Edition edition;
    const Drives& drives;
    bool drop_midway = false; // a drop fault armed for a long statement
};

// Runs one parsed statement, applying faults, and writes its whole answer
// (ending in a final DONE) into the response. Leaves r.broken() set when the
// connection must be closed.
void run_statement(const sql::Statement& s, Context& c);

// Handlers, one per statement kind.
void run_getdate(const sql::GetDate& s, Context& c);
void run_select(const sql::SelectDatabases& s, Context& c);
void run_set(const sql::SetOption& s, Context& c);
void run_create(const sql::CreateDatabase& s, Context& c);
void run_attach(const sql::AttachDb& s, Context& c);
void run_detach(const sql::DetachDb& s, Context& c);
void run_drop(const sql::DropDatabase& s, Context& c);
void run_filelist(const sql::FileList& s, Context& c);
void run_restore(const sql::RestoreDatabase& s, Context& c);
void run_backup(const sql::BackupDatabase& s, Context& c);
void run_headeronly(const sql::HeaderOnly& s, Context& c);
void run_restore_log(const sql::RestoreDatabase& s, Context& c);
void run_restore_history(const sql::SelectRestoreHistory& s, Context& c);
void run_dirtree(const sql::DirTree& s, Context& c);
void run_fileexist(const sql::FileExist& s, Context& c);
void run_database_state(const sql::DatabaseState& s, Context& c);
void run_database_files(const sql::DatabaseFiles& s, Context& c);
void run_server_properties(const sql::ServerProperties& s, Context& c);
void run_delete_file(const sql::DeleteFile& s, Context& c);
// The data file alone, with a new log beside it (attach_rebuild_log.cpp).
void run_attach_rebuilding_log(const std::string& name, const std::string& path, bool procedure,
                               Context& c);
void run_create_rebuilding_log(const sql::CreateDatabase& s, Context& c);

// False, once 1827 is written, when data files of `data_bytes` (logs not counted) are more than
// the edition lets one database hold.
bool within_licensed_size(std::uint64_t data_bytes, Context& c);

// A datetime column value for a moment given in milliseconds since 1970, in local time.
void write_local_datetime(ByteWriter& w, std::int64_t unix_ms);

} // namespace standin
