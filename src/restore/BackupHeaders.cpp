#include "restore/BackupHeaders.h"

#include "restore/ServerTime.h"
#include "restore/StatementTexts.h"

namespace restore {

QList<BackupSetHeader> readBackupHeaders(db::QueryClient& qry, const QString& file) {
    qry.close();
    qry.setStatement(backupHeadersStatement(file));
    qry.open();
    // SQL Server 2000 answers without the ids that later servers add.
    const std::optional<ServerVersion> server = parseServerVersion(qry.serverVersion());
    const bool laterColumns = server && server->isNewerThan2000();
    QList<BackupSetHeader> sets;
    for (qry.first(); !qry.atEnd(); qry.next()) {
        const auto field = [&qry](const char* column) {
            return qry.fieldText(QString::fromLatin1(column));
        };
        BackupSetHeader set;
        set.file = file;
        set.position = field("Position").toInt();
        set.type = static_cast<BackupSetType>(field("BackupType").toInt());
        set.databaseName = field("DatabaseName");
        set.startDate = serverDateTime(field("BackupStartDate"));
        set.finishDate = serverDateTime(field("BackupFinishDate"));
        set.firstLsn = field("FirstLSN");
        set.lastLsn = field("LastLSN");
        set.checkpointLsn = field("CheckpointLSN");
        set.databaseBackupLsn = field("DatabaseBackupLSN");
        set.databaseCreationDate = field("DatabaseCreationDate");
        set.serverName = field("ServerName");
        set.machineName = field("MachineName");
        set.madeBy = {field("SoftwareVersionMajor").toInt(), field("SoftwareVersionMinor").toInt(),
                      field("SoftwareVersionBuild").toInt()};
        set.size = field("BackupSize");
        if (laterColumns) {
            set.familyGuid = field("FamilyGUID");
            set.bindingId = field("BindingID");
            set.firstRecoveryForkId = field("FirstRecoveryForkID");
            set.recoveryForkId = field("RecoveryForkID");
            set.forkPointLsn = field("ForkPointLSN");
            set.differentialBaseGuid = field("DifferentialBaseGUID");
            set.backupSetGuid = field("BackupSetGUID");
            set.copyOnly = field("IsCopyOnly") == u"1";
            set.hasBackupChecksums = field("HasBackupChecksums") == u"1";
        }
        sets.append(set);
    }
    qry.close();
    return sets;
}

QStringList readServerFolder(db::QueryClient& qry, const QString& folder) {
    qry.close();
    qry.setStatement(serverFolderStatement(folder));
    qry.open();
    QStringList files;
    for (qry.first(); !qry.atEnd(); qry.next()) {
        if (qry.fieldText(QStringLiteral("file")) == u"1") {
            files.append(folder + qry.fieldText(QStringLiteral("subdirectory")));
        }
    }
    qry.close();
    files.sort(Qt::CaseInsensitive);
    return files;
}

} // namespace restore
