#include "cli/BackupListing.h"

#include "restore/BackupFileList.h"
#include "restore/StatementTexts.h"

#include <algorithm>

namespace cli {

namespace {

using restore::StatementKind;

struct BackupSet {
    QString position;
    QString database;
    QString type;
    QString finished;
    QString size;
};

QList<BackupSet> readBackupSets(db::QueryClient& qry, const restore::RestoreRequest& request) {
    qry.close();
    qry.setConnectionString(restore::buildConnectionString(request));
    qry.setStatement(restore::buildStatement(StatementKind::BackupSets, request));
    qry.open();
    QList<BackupSet> sets;
    for (qry.first(); !qry.atEnd(); qry.next()) {
        sets.append({qry.fieldText(QStringLiteral("Position")),
                     qry.fieldText(QStringLiteral("DatabaseName")),
                     qry.fieldText(QStringLiteral("BackupType")),
                     qry.fieldText(QStringLiteral("BackupFinishDate")),
                     qry.fieldText(QStringLiteral("BackupSize"))});
    }
    return sets;
}

// SQL Server's numbers for the kinds of backup.
QString typeName(const QString& type) {
    if (type == u"1") {
        return QStringLiteral("数据库 database");
    }
    if (type == u"2") {
        return QStringLiteral("日志 log");
    }
    if (type == u"5") {
        return QStringLiteral("差异 differential");
    }
    return type;
}

QString shown(const QDateTime& when) {
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString setLine(const restore::BackupSetHeader& set) {
    return QStringLiteral("%1 备份集 set %2: %3, %4, 完成 finished %5, LSN %6 - %7")
        .arg(set.file, QString::number(set.position), set.databaseName,
             typeName(QString::number(set.type)), shown(set.finishDate), set.firstLsn, set.lastLsn);
}

} // namespace

void listSequenceSets(const QList<restore::BackupSetHeader>& sets, const restore::RestorePlan* plan,
                      QTextStream& out) {
    for (const restore::BackupSetHeader& set : sets) {
        const bool used =
            plan && std::any_of(plan->steps.begin(), plan->steps.end(),
                                [&set](const restore::BackupSetHeader& step) {
                                    return step.file == set.file && step.position == set.position;
                                });
        out << (used ? "* " : "  ") << setLine(set) << '\n';
    }
    out << Qt::flush;
}

void printPlan(const restore::RestorePlan& plan, const QString& prefix, QTextStream& out) {
    out << prefix << QStringLiteral("恢复计划 / restore plan:\n");
    for (qsizetype i = 0; i < plan.steps.size(); ++i) {
        out << prefix << "  " << i + 1 << ". " << setLine(plan.steps.at(i)) << '\n';
    }
    if (plan.stopAt) {
        out << prefix << QStringLiteral("  停止于 stop at %1\n").arg(shown(*plan.stopAt));
    }
    out << Qt::flush;
}

int countBackupSets(db::QueryClient& qry, const restore::RestoreRequest& request) {
    return static_cast<int>(readBackupSets(qry, request).size());
}

void listBackupSets(db::QueryClient& qry, const restore::RestoreRequest& request,
                    QTextStream& out) {
    for (const BackupSet& set : readBackupSets(qry, request)) {
        out << QStringLiteral(
                   "备份集 backup set %1: %2, 类型 type %3, 完成 finished %4, %5 字节 bytes\n")
                   .arg(set.position, set.database, typeName(set.type), set.finished, set.size);
        restore::RestoreRequest restoring = request;
        restoring.backupSet = set.position.toInt();
        qry.close();
        qry.setStatement(restore::buildStatement(StatementKind::FileList, restoring));
        qry.open();
        const QList<restore::BackupFile> rows = restore::readFileList(qry);
        const auto listNames = [&rows, &out] {
            for (const restore::BackupFile& row : rows) {
                out << "  " << row.type << ' ' << row.logicalName << '\n';
            }
        };
        // Without a new name there are no targets to show.
        if (request.databaseName.isEmpty()) {
            listNames();
            continue;
        }
        if (!restore::takeFileList(rows, restoring)) {
            listNames();
            out << QStringLiteral("  没有数据或日志文件，无法恢复 / no data or log file: cannot be "
                                  "restored\n");
            continue;
        }
        out << "  D " << restoring.dataLogicalName << " -> "
            << restore::targetDataFilePath(restoring) << '\n';
        out << "  L " << restoring.logLogicalName << " -> " << restore::targetLogFilePath(restoring)
            << '\n';
        const QList<restore::FileMove> moves = restore::otherFileMoves(restoring);
        for (qsizetype i = 0; i < moves.size(); ++i) {
            out << "  " << restoring.otherFiles[i].type << ' ' << moves[i].logicalName << " -> "
                << moves[i].target << '\n';
        }
    }
    out << Qt::flush;
}

} // namespace cli
