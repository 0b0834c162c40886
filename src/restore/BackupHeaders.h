#pragma once

#include "db/QueryClient.h"
#include "restore/BackupSetHeader.h"

#include <QList>
#include <QStringList>

namespace restore {

// Every set of one backup file (RESTORE HEADERONLY), on the connection `qry` is set to. The one
// reader of backup headers.
QList<BackupSetHeader> readBackupHeaders(db::QueryClient& qry, const QString& file);

// The files in one of the server's folders (master..xp_dirtree), as paths in the folder's form,
// by name; the folder ends with its separator.
QStringList readServerFolder(db::QueryClient& qry, const QString& folder);

} // namespace restore
