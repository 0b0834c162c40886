#pragma once

#include "restore/RestoreRequest.h"

#include <QString>

namespace restore {

enum class StatementKind { ConnectionTest, FileList, Create, Restore, Attach, BackupSets };

// Pure builders of everything the run sends to the server. The literal pieces, doubled blanks
// included, are what SQL Server has always been sent, so they stay byte for byte.
QString buildConnectionString(const RestoreRequest& request);
QString buildStatement(StatementKind kind, const RestoreRequest& request);

// The statements of a restore sequence: step 0 restores the full backup, step i the request's
// laterSteps[i - 1].
QString buildSequenceStatement(const RestoreRequest& request, qsizetype step);

QString targetDataFilePath(const RestoreRequest& request);
QString targetLogFilePath(const RestoreRequest& request);
QString logSourcePath(const QString& sourcePath);

// Quoting for values placed inside N'...' and names placed inside [...].
QString quoteStringLiteral(const QString& value);
QString quoteBracketName(const QString& name);

} // namespace restore
