#pragma once

#include "restore/RestoreRun.h"

#include <QTextStream>

namespace cli {

// What a successful run found and did after the restore, in English after the run's Chinese
// lines: the users report, the statements that would create missing logins, and what is left to
// do. False when something is left to do.
bool reportAfterRestore(const restore::RunOutcome& outcome, const restore::RestoreRequest& request,
                        const QString& serverVersion, QTextStream& out, QTextStream& err);

} // namespace cli
