#pragma once

#include "restore/BackupSetHeader.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace restore {

// The sets to restore in order: a full backup, perhaps a differential based on it, then the log
// backups that continue from there.
struct RestorePlan {
    QList<BackupSetHeader> steps;
    std::optional<QDateTime> stopAt; // set when the last log is rolled forward only up to it
};

// A set known only by where it is and what kind it is, as a plan needs it to send its statement.
BackupSetHeader plannedSet(const QString& file, int position, BackupSetType type);

// A restore of one set of one file: the full backup the window restores.
RestorePlan singleSetPlan(const QString& file, int position);

// Why no plan restores the sets, and what the reason names, in the order a text names them.
struct PlanRefusal {
    enum class Reason {
        TwoCouldComeNext,  // two sets, the log position both continue from
        HistoryForks,      // the position, the set that begins the new history, the one it is in
        ChainBreaks,       // the position no log holds, the latest point reached
        AfterTheLastLog,   // the time asked for, the last log's end
        SeveralDatabases,  // their names
        NoSuchDatabase,    // the name asked for, the names there are
        NoFullBackup,      // nothing
        BeforeTheFirstFull // the time asked for, when the first full backup finished
    };
    Reason reason;
    QStringList data;
};

// Chooses the newest full backup (finished by `until`) whose chain reaches `until`, or the end of
// its chain without it, through the newest differential based on it that helps, then the log
// backups that continue it. A differential or log joins only a full backup of the same database
// and history; each log begins where the step before it ended and finishes no earlier. Two
// backups that could both come next are refused, naming both. `database` chooses among several
// databases' sets; empty when none was named.
std::variant<RestorePlan, PlanRefusal> planRestore(const QList<BackupSetHeader>& sets,
                                                   const QString& database,
                                                   const std::optional<QDateTime>& until);

// Orders two log positions given as decimal text of any length.
int compareLsn(const QString& a, const QString& b);

} // namespace restore
