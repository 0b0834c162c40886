#include "restore/BackupHeaders.h"

#include "restore/StatementTexts.h"

namespace restore {

QList<BackupSetHeader> readBackupHeaders(db::QueryClient& qry, const RestoreRequest& request,
                                         const QString& file) {
    RestoreRequest reading = request;
    reading.sourcePath = file;
    qry.close();
    qry.setConnectionString(buildConnectionString(reading));
    qry.setStatement(buildStatement(StatementKind::BackupSets, reading));
    qry.open();
    QList<BackupSetHeader> sets;
    for (qry.first(); !qry.atEnd(); qry.next()) {
        const auto field = [&qry](const char* column) {
            return qry.fieldText(QString::fromLatin1(column));
        };
        sets.append({file, field("Position").toInt(), field("BackupType").toInt(),
                     field("DatabaseName"), serverDateTime(field("BackupStartDate")),
                     serverDateTime(field("BackupFinishDate")), field("FirstLSN"), field("LastLSN"),
                     field("CheckpointLSN"), field("DatabaseBackupLSN")});
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
    QString seconds = text.left(19);
    seconds.replace(u'T', u' ');
    QDateTime when = QDateTime::fromString(seconds, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    when.setTimeSpec(Qt::UTC);
    return when;
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
