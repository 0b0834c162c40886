#pragma once

#include "restore/ServerVersion.h"

#include <QDateTime>
#include <QString>

namespace restore {

// SQL Server's numbers for the kinds of backup set.
enum class BackupSetType { Database = 1, Log = 2, Differential = 5 };

// One row of RESTORE HEADERONLY and the file it came from. Dates are the server's local time,
// held without a zone; log positions are the server's decimal numbers as text.
struct BackupSetHeader {
    QString file;
    int position = 1;
    BackupSetType type = BackupSetType::Database;
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
    ServerVersion madeBy;  // the SQL Server that wrote the set
    QString size;          // bytes, as the server's decimal text
    // SQL Server 2005 and later; a SQL Server 2000 set never has them.
    bool hasBackupChecksums = false;
};

} // namespace restore
