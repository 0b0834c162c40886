#pragma once

#include "db/QueryClient.h"
#include "restore/RestorePlan.h"
#include "restore/RestoreRequest.h"

#include <QTextStream>

namespace cli {

// How many backup sets the request's backup device holds (RESTORE HEADERONLY).
int countBackupSets(db::QueryClient& qry, const restore::RestoreRequest& request);

// Prints every set of the device with its files and, when the request names the new database, the
// targets a restore of that set would use.
// Only reads: the server is left as it was. Failures raise db::QueryError.
void listBackupSets(db::QueryClient& qry, const restore::RestoreRequest& request, QTextStream& out);

// Prints every set read from the files given, with type and log positions, marking with "*" the
// sets the plan uses (none when there is no plan).
void listSequenceSets(const QList<restore::BackupSetHeader>& sets, const restore::RestorePlan* plan,
                      QTextStream& out);

// Why no plan restores the sets, in Chinese and English, naming the options that choose.
QString planRefusalText(const restore::PlanRefusal& refusal);

// Prints the plan's steps, each line starting with `prefix`.
void printPlan(const restore::RestorePlan& plan, const QString& prefix, QTextStream& out);

} // namespace cli
