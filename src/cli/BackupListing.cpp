#include "cli/BackupListing.h"

#include "restore/BackupContents.h"
#include "restore/BackupHeaders.h"
#include "restore/ServerTime.h"
#include "restore/StatementTexts.h"
#include "restore/TargetPaths.h"

#include <algorithm>
#include <optional>

namespace cli {

namespace {

// SQL Server's numbers for the kinds of backup.
QString typeName(restore::BackupSetType type) {
    switch (type) {
    case restore::BackupSetType::Database:
        return QStringLiteral("数据库 database");
    case restore::BackupSetType::Log:
        return QStringLiteral("日志 log");
    case restore::BackupSetType::Differential:
        return QStringLiteral("差异 differential");
    }
    return QString::number(static_cast<int>(type));
}

QString setLine(const restore::BackupSetHeader& set) {
    return QStringLiteral("%1 备份集 set %2: %3, %4, 完成 finished %5, LSN %6 - %7")
        .arg(set.file, QString::number(set.position), set.databaseName, typeName(set.type),
             restore::serverTimeText(set.finishDate), set.firstLsn, set.lastLsn);
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
        out << prefix
            << QStringLiteral("  停止于 stop at %1\n").arg(restore::serverTimeText(*plan.stopAt));
    }
    out << Qt::flush;
}

int countBackupSets(db::QueryClient& qry, const restore::RestoreRequest& request) {
    return static_cast<int>(restore::readBackupHeaders(qry, request.sourcePath).size());
}

void listBackupSets(db::QueryClient& qry, const restore::RestoreRequest& request,
                    QTextStream& out) {
    for (const restore::BackupSetHeader& set :
         restore::readBackupHeaders(qry, request.sourcePath)) {
        out << QStringLiteral(
                   "备份集 backup set %1: %2, 类型 type %3, 完成 finished %4, %5 字节 bytes\n")
                   .arg(QString::number(set.position), set.databaseName, typeName(set.type),
                        restore::serverTimeText(set.finishDate), set.size);
        qry.close();
        qry.setStatement(restore::fileListStatement(request.sourcePath, set.position));
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
        const std::optional<restore::BackupContents> contents = restore::contentsOf(rows);
        if (!contents) {
            listNames();
            out << QStringLiteral("  没有数据或日志文件，无法恢复 / no data or log file: cannot be "
                                  "restored\n");
            continue;
        }
        out << "  D " << contents->dataLogicalName << " -> " << restore::targetDataFilePath(request)
            << '\n';
        out << "  L " << contents->logLogicalName << " -> " << restore::targetLogFilePath(request)
            << '\n';
        for (const restore::FileMove& move : restore::otherFileMoves(request, *contents)) {
            out << "  " << move.type << ' ' << move.logicalName << " -> " << move.target << '\n';
        }
    }
    out << Qt::flush;
}

} // namespace cli
