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

// A backup restored after the full one when a sequence is restored.
enum class StepKind { Differential, Log };
struct SequenceStep {
    StepKind kind = StepKind::Log;
    QString file;
    int backupSet = 1;
};

// A file of a later set that no earlier set holds (added to the database since), read by the run;
// step i is the request's laterSteps[i - 1], which moves it into the target folder.
struct AddedFile {
    qsizetype step = 1;
    BackupFile file;
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
    // With later steps the full backup (sourcePath, backupSet) is restored WITH NORECOVERY, then
    // each step, the last one WITH RECOVERY and, for a log, STOPAT when stopAt is set
    // ("yyyy-MM-dd HH:mm:ss", the server's local time).
    QList<SequenceStep> laterSteps;
    QString stopAt;
    QList<AddedFile> addedFiles;
};

} // namespace restore
