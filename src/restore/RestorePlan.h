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

// Chooses the newest full backup (finished by `until`), the newest differential based on it,
// then the log chain up to `until`, or to its end without it. `database` chooses among several
// databases' sets; empty when none was named.
std::variant<RestorePlan, PlanRefusal> planRestore(const QList<BackupSetHeader>& sets,
                                                   const QString& database,
                                                   const std::optional<QDateTime>& until);

// Orders two log positions given as decimal text of any length.
int compareLsn(const QString& a, const QString& b);

} // namespace restore
