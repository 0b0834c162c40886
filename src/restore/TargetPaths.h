#pragma once

#include "restore/BackupContents.h"
#include "restore/RestoreRequest.h"

#include <QList>
#include <QString>

namespace restore {

// Where one file of the backup is restored to, and by which step of the plan: 0 for the full
// backup.
struct FileMove {
    QString logicalName;
    QString type;
    QString target;
    qsizetype step = 0;
};

QString targetDataFilePath(const RestoreRequest& request);
QString targetLogFilePath(const RestoreRequest& request);

// Targets of the other rows, then of the later steps' added files, in the target folder: database
// name, "_", logical name, each with what Windows forbids in a file name made "_", then ".NDF" for
// data or ".LDF" for log. A path already taken, the two main targets included, gets "_2", "_3"...
// before the extension.
QList<FileMove> otherFileMoves(const RestoreRequest& request, const BackupContents& contents);

// The log file beside a data file, by the "_Data.mdf" naming convention.
QString logSourcePath(const QString& sourcePath);

// The text with what a Windows file name cannot hold (\ / : * ? " < > | and control characters)
// made "_", so that a name becomes one file name in the target folder.
QString fileNamePart(const QString& name);

} // namespace restore
