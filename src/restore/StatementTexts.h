#pragma once

#include "restore/BackupContents.h"
#include "restore/RestorePlan.h"
#include "restore/RestoreRequest.h"

#include <QString>

namespace restore {

// Pure builders of everything the program sends to the server, each taking what it uses. The
// literal pieces, doubled blanks included, are what SQL Server has always been sent, so they stay
// byte for byte.
QString buildConnectionString(const RestoreRequest& request);

QString connectionTestStatement();
// Set 1 is named by no clause, as the file list has always been read.
QString fileListStatement(const QString& path, int backupSet);
// Every set of a backup file, one row each.
QString backupHeadersStatement(const QString& path);
// The files and folders in one of the server's folders: "subdirectory", "file" 1 for a file.
QString serverFolderStatement(const QString& folder);
// What lies at a path of the server's own disk: one row with "File Exists" and
// "File is a Directory".
QString fileExistStatement(const QString& serverPath);

// The create names every file the full backup's restore will make, at its target.
QString createStatement(const RestoreRequest& request, const BackupContents& contents);
// Step 0 restores the plan's full backup, each later step its set; only the last step recovers
// and, for a log, stops at the plan's stop point.
QString restoreStatement(const RestoreRequest& request, const BackupContents& contents,
                         const RestorePlan& plan, qsizetype step);
QString attachStatement(const RestoreRequest& request);
// The data file alone, the server making a new log: SQL Server 2000's procedure, or the create
// that replaced it from 2005 on.
QString attachRebuildingLogStatement(const RestoreRequest& request, bool newerThan2000);
QString dropStatement(const QString& databaseName);
// The database's state as text ("ONLINE", "RESTORING", ...), one row, column "Status".
QString databaseStateStatement(const QString& databaseName);
// The physical names of the database's files, column "filename"; none when it does not exist.
QString databaseFilesStatement(const QString& databaseName);

// The hop's edition as text and number ("Express Edition (64-bit)", 4) and its version.
QString serverEditionStatement();
// A backup that leaves the database's own backup chain alone, with checksums a restore can
// verify; compressed where the server has it.
QString copyOnlyBackupStatement(const QString& databaseName, const QString& path, bool compressed);
// Deletes a backup file through the server, which sees the share; any other file is left alone.
QString deleteBackupFileStatement(const QString& path);

// Quoting for values placed inside N'...' and names placed inside [...].
QString quoteStringLiteral(const QString& value);
QString quoteBracketName(const QString& name);
// The value as N'...' and the name as [...], quoted.
QString unicodeLiteral(const QString& value);
QString bracketedName(const QString& name);

} // namespace restore
