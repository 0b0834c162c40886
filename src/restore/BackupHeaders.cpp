#include "restore/BackupHeaders.h"

#include "restore/ServerVersion.h"
#include "restore/StatementTexts.h"

#include <QDate>
#include <QTime>

namespace restore {

namespace {

// "yyyy-MM-dd HH:mm:ss" or "yyyy-MM-dd HH:mm" read as it stands: no time zone applies, so an hour
// that this machine's clock skips or repeats is as good as any other.
QDateTime wallClockTime(const QString& text) {
    const QStringList parts = text.split(u' ');
    if (parts.size() != 2) {
        return {};
    }
    const QDate date = QDate::fromString(parts[0], QStringLiteral("yyyy-MM-dd"));
    QTime time = QTime::fromString(parts[1], QStringLiteral("HH:mm:ss"));
    if (!time.isValid()) {
        time = QTime::fromString(parts[1], QStringLiteral("HH:mm"));
    }
    if (!date.isValid() || !time.isValid()) {
        return {};
    }
    return QDateTime(date, time, Qt::UTC);
}

} // namespace

QList<BackupSetHeader> readBackupHeaders(db::QueryClient& qry, const RestoreRequest& request,
                                         const QString& file) {
    RestoreRequest reading = request;
    reading.sourcePath = file;
    qry.close();
    qry.setConnectionString(buildConnectionString(reading));
    qry.setStatement(buildStatement(StatementKind::BackupSets, reading));
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
        set.type = field("BackupType").toInt();
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
        if (laterColumns) {
            set.familyGuid = field("FamilyGUID");
            set.bindingId = field("BindingID");
            set.firstRecoveryForkId = field("FirstRecoveryForkID");
            set.recoveryForkId = field("RecoveryForkID");
            set.forkPointLsn = field("ForkPointLSN");
            set.differentialBaseGuid = field("DifferentialBaseGUID");
            set.backupSetGuid = field("BackupSetGUID");
            set.copyOnly = field("IsCopyOnly") == u"1";
        }
        sets.append(set);
    }
    qry.close();
    return sets;
}

QStringList readServerFolder(db::QueryClient& qry, const RestoreRequest& request,
                             const QString& folder) {
    qry.close();
    qry.setConnectionString(buildConnectionString(request));
    qry.setStatement("EXEC master..xp_dirtree N'" + quoteStringLiteral(folder) + "', 1, 1");
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

QDateTime serverDateTime(const QString& text) {
    return wallClockTime(text.left(19).replace(u'T', u' '));
}

std::optional<QDateTime> parseWallClockTime(const QString& text) {
    const QDateTime when = wallClockTime(text);
    return when.isValid() ? std::optional(when) : std::nullopt;
}

void takePlan(const RestorePlan& plan, RestoreRequest& request) {
    const BackupSetHeader& full = plan.steps.first();
    request.sourcePath = full.file;
    request.backupSet = full.position;
    request.laterSteps.clear();
    for (qsizetype i = 1; i < plan.steps.size(); ++i) {
        const BackupSetHeader& step = plan.steps.at(i);
        request.laterSteps.append({step.type == static_cast<int>(BackupSetType::Differential)
                                       ? StepKind::Differential
                                       : StepKind::Log,
                                   step.file, step.position});
    }
    request.stopAt =
        plan.stopAt ? plan.stopAt->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

} // namespace restore
