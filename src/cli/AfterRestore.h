#pragma once

#include "cli/CommandLine.h"
#include "db/QueryClient.h"
#include "restore/RestoreRun.h"
#include "restore/RestoreView.h"

#include <QTextStream>

namespace cli {

// What a successful run found and did after the restore, in English after the run's Chinese
// lines: the users report, the statements that would create missing logins, and what is left to
// do. False when something is left to do.
bool reportAfterRestore(const restore::RunOutcome& outcome, const restore::RestoreRequest& request,
                        const QString& serverVersion, QTextStream& out, QTextStream& err);

// --check and --finish once the database is restored, or on the database as it stands; it is kept
// whatever they find. Names on standard error what is left to do; false when something is.
bool checkAfterRestore(const CommandLine& commandLine, db::QueryClient& qry,
                       restore::RestoreView& view, const QString& databaseName, bool restored,
                       QTextStream& err);

} // namespace cli
