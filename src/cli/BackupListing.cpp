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

QString planRefusalText(const restore::PlanRefusal& refusal) {
    using Reason = restore::PlanRefusal::Reason;
    const QStringList& d = refusal.data;
    switch (refusal.reason) {
    case Reason::TwoCouldComeNext:
        return QStringLiteral("日志链分叉：%1 和 %2 都从 LSN %3 接续，请移除不需要的一个 / the log "
                              "chain forks: %1 and %2 both continue from LSN %3; remove the one "
                              "not wanted")
            .arg(d.value(0), d.value(1), d.value(2));
    case Reason::HistoryForks:
        return QStringLiteral("数据库的历史在 LSN %1 分叉：%2 在 %3 之中开始了新的历史（数据库曾被"
                              "恢复到该时间点），%3 所在的日志链的末尾不是数据库最新的状态；请用 "
                              "--until 选择分叉之前的时间点 / the database's history forks at LSN "
                              "%1: %2 begins a new history within %3 (the database was restored to "
                              "that point), so the end of %3's chain is not the database's latest "
                              "state; choose a time before the fork with --until")
            .arg(d.value(0), d.value(1), d.value(2));
    case Reason::ChainBreaks:
        return QStringLiteral("日志链中断：缺少包含 LSN %1 的日志备份，最多可恢复到 %2 / the log "
                              "chain breaks: no log backup holds LSN %1; the latest point the "
                              "files reach is %2")
            .arg(d.value(0), d.value(1));
    case Reason::AfterTheLastLog:
        return QStringLiteral("%1 晚于最后一个日志备份的结束时间 %2 / %1 is after the end of the "
                              "last log backup, %2")
            .arg(d.value(0), d.value(1));
    case Reason::SeveralDatabases:
        return QStringLiteral("备份文件中有多个数据库的备份，请用 --database 选择一个 / the files "
                              "hold backups of several databases, choose one with --database: ") +
               d.value(0);
    case Reason::NoSuchDatabase:
        return QStringLiteral("备份文件中没有数据库 %1 的备份 / the files hold no backup of "
                              "database %1; they hold: %2")
            .arg(d.value(0), d.value(1));
    case Reason::NoFullBackup:
        return QStringLiteral("备份文件中没有完整数据库备份 / the files hold no full database "
                              "backup");
    case Reason::BeforeTheFirstFull:
        return QStringLiteral("%1 早于完整备份完成的时间 %2 / %1 is before the first full backup "
                              "finished, at %2")
            .arg(d.value(0), d.value(1));
    }
    Q_UNREACHABLE();
    return {};
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
