#pragma once

#include "db/QueryClient.h"

#include <QList>
#include <QString>

#include <optional>

namespace restore {

// One row of a backup's file list: "D" data, "L" log, "F" full-text catalog.
struct BackupFile {
    QString logicalName;
    QString type;
};

// A file of a later set that no earlier set holds (added to the database since); the plan's step
// `step` restores it.
struct AddedFile {
    qsizetype step = 1;
    BackupFile file;
};

// What the backup holds, as the run reads it: the logical names of the new database's two files,
// the file list's other rows in list order, and the files later sets of a sequence add.
struct BackupContents {
    QString dataLogicalName;
    QString logLogicalName;
    QList<BackupFile> otherFiles;
    QList<AddedFile> addedFiles;
};

// Every row of the file-list result the client stands on. A null type reads as empty.
QList<BackupFile> readFileList(db::QueryClient& qry);

// The last data row and the last log row name the new database's two files; the other rows are
// kept in list order to be moved beside them. Nothing when either name is missing.
std::optional<BackupContents> contentsOf(const QList<BackupFile>& rows);

} // namespace restore
