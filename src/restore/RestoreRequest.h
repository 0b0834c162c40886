#pragma once

#include <QList>
#include <QString>

namespace restore {

enum class AuthMode { Integrated, SqlLogin };
enum class SourceKind { Backup, DataFiles };

// One row of a backup's file list: "D" data, "L" log, "F" full-text catalog.
struct BackupFile {
    QString logicalName;
    QString type;
};

// The values of one press of the start button, built afresh from the window's fields.
struct RestoreRequest {
    QString serverName;
    AuthMode authMode = AuthMode::Integrated;
    QString userName;
    QString password;
    SourceKind sourceKind = SourceKind::Backup;
    QString sourcePath;
    QString databaseName;
    QString directory; // always ends with the platform's separator once validated
    QString logSourcePath;
    QString dataLogicalName; // read from the backup by the run
    QString logLogicalName;
    QList<BackupFile> otherFiles; // the file list's other rows, in list order
    int backupSet = 1;            // the set of the backup device that is restored
};

} // namespace restore
