#pragma once

#include "cli/CommandLine.h"
#include "restore/HopRun.h"

#include <QString>
#include <QTextStream>

#include <optional>

namespace cli {

// The hop's connection and share from --via, --via-user, --share and --via-dir; the password from
// QUARN_SQL_VIA_PASSWORD or a prompt. A reason when there is none.
std::variant<restore::HopRequest, QString> hopRequest(const CommandLine& commandLine);

// The stages the run will take, numbered as their lines are, before the first of them.
void printHopPlan(const restore::HopPlan& plan, const CommandLine& commandLine,
                  const QString& databaseName, QTextStream& out);
// "第 3/6 步 …" as a stage begins; the checks before them have no number.
QString hopStageLine(restore::HopStage stage);

QString hopRefusalText(const restore::HopRefusal& refusal);
// Where a run that did not succeed ended, what its clean-up removed and what may remain.
QString hopEndText(const restore::HopOutcome& outcome, bool cancelled);

// What the clean-up removed, and what this run made that may remain.
QString hopCleanUpText(const restore::HopOutcome& outcome);

// Names --via to an operator whose server cannot restore a SQL Server 2000 backup.
QString viaHint();

} // namespace cli
