#pragma once

#include "db/QueryClient.h"
#include "restore/RestorePlan.h"
#include "restore/RestoreRequest.h"

#include <optional>

namespace restore {

// Every set of one backup file (RESTORE HEADERONLY), read over the request's connection.
QList<BackupSetHeader> readBackupHeaders(db::QueryClient& qry, const RestoreRequest& request,
                                         const QString& file);

// The files in one of the server's folders (master..xp_dirtree), as paths in the folder's form,
// by name; the folder ends with its separator.
QStringList readServerFolder(db::QueryClient& qry, const RestoreRequest& request,
                             const QString& folder);

// The server's datetime text ("2026-12-08 10:41:00.000") as a date without a zone; invalid when
// it is none.
QDateTime serverDateTime(const QString& text);

// A time of the server's clock as typed, 'YYYY-MM-DD HH:MM[:SS]', held like serverDateTime()'s
// dates: as a wall-clock time to which no time zone of this machine applies.
std::optional<QDateTime> parseWallClockTime(const QString& text);

// Puts a plan into the request: the full backup as its source, the rest as later steps.
void takePlan(const RestorePlan& plan, RestoreRequest& request);

} // namespace restore
