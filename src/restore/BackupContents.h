#pragma once

#include "db/QueryClient.h"
#include "restore/RestoreRequest.h"

#include <QList>

namespace restore {

// Where one file of the backup is restored to, and by which step: 0 for the full backup, i for
// the request's laterSteps[i - 1].
struct FileMove {
    QString logicalName;
    QString type;
    QString target;
    qsizetype step = 0;
};

// Every row of the file-list result the client stands on. A null type reads as empty.
QList<BackupFile> readFileList(db::QueryClient& qry);

// The last data row and the last log row name the new database's two files; the other rows are
// kept in list order to be moved beside them. False when either name is missing.
bool takeFileList(const QList<BackupFile>& rows, RestoreRequest& request);

// Targets of the other rows, then of the later steps' added files, in the target folder: database
// name, "_", logical name, each with what Windows forbids in a file name made "_", then ".NDF" for
// data or ".LDF" for log. A path already taken, the two main targets included, gets "_2", "_3"...
// before the extension.
QList<FileMove> otherFileMoves(const RestoreRequest& request);

} // namespace restore
