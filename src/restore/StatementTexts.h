#pragma once

#include "restore/RestoreRequest.h"

#include <QString>

namespace restore {

enum class StatementKind {
    ConnectionTest,
    FileList,
    Create,
    Restore,
    Attach,
    Drop,
    // The database's state as text ("ONLINE", "RESTORING", ...), one row, column "Status".
    DatabaseState,
    // The physical names of the database's files, column "filename"; none when it does not exist.
    DatabaseFiles
};

// Pure builders of everything the run sends to the server. The literal pieces, doubled blanks
// included, are what SQL Server has always been sent, so they stay byte for byte.
QString buildConnectionString(const RestoreRequest& request);
QString buildStatement(StatementKind kind, const RestoreRequest& request);
// Asks the server what lies at a path of its own disk: one row with "File Exists" and
// "File is a Directory".
QString buildFileExistStatement(const QString& serverPath);
// Every set of a backup file, one row each.
QString backupHeadersStatement(const QString& path);
// The files and folders in one of the server's folders: "subdirectory", "file" 1 for a file.
QString serverFolderStatement(const QString& folder);

// The statements of a restore sequence: step 0 restores the full backup, step i the request's
// laterSteps[i - 1].
QString buildSequenceStatement(const RestoreRequest& request, qsizetype step);

QString targetDataFilePath(const RestoreRequest& request);
QString targetLogFilePath(const RestoreRequest& request);
QString logSourcePath(const QString& sourcePath);

// The text with what a Windows file name cannot hold (\ / : * ? " < > | and control characters)
// made "_", so that a name becomes one file name in the target folder.
QString fileNamePart(const QString& name);

// Quoting for values placed inside N'...' and names placed inside [...].
QString quoteStringLiteral(const QString& value);
QString quoteBracketName(const QString& name);

} // namespace restore
