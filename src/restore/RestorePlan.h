#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>
#include <variant>

namespace restore {

// SQL Server's numbers for the kinds of backup set.
enum class BackupSetType { Database = 1, Log = 2, Differential = 5 };

// One row of RESTORE HEADERONLY and the file it came from. Dates are the server's local time,
// held without a zone; log positions are the server's decimal numbers as text.
struct BackupSetHeader {
    QString file;
    int position = 1;
    int type = 0;
    QString databaseName;
    QDateTime startDate;
    QDateTime finishDate;
    QString firstLsn;
    QString lastLsn;
    QString checkpointLsn;
    QString databaseBackupLsn;
    // Which database made the set, as every version says it: its creation date as the server's
    // text (a database dropped and made anew under the same name has another one), and the
    // server and machine it lived on.
    QString databaseCreationDate;
    QString serverName;
    QString machineName;
    // SQL Server 2005 and later only, empty before. FamilyGUID stays with a database from its
    // creation on; BindingID changes when the database is restored; the recovery fork ids name
    // the history a set begins and ends on, ForkPointLSN where a log backup crosses from one to
    // the other.
    QString familyGuid;
    QString bindingId;
    QString firstRecoveryForkId;
    QString recoveryForkId;
    QString forkPointLsn;
    QString differentialBaseGuid;
    QString backupSetGuid;
    bool copyOnly = false; // a copy-only backup, which takes no part in the log chain
};

// The sets to restore in order: a full backup, perhaps a differential based on it, then the log
// backups that continue from there.
struct RestorePlan {
    QList<BackupSetHeader> steps;
    std::optional<QDateTime> stopAt; // set when the last log is rolled forward only up to it
};

struct PlanRefusal {
    QString reason;
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
