#include "restore/RestorePlan.h"

#include <QStringList>

#include <algorithm>

namespace restore {

namespace {

const QString DateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString shown(const QDateTime& when) {
    return when.toString(DateFormat);
}

bool isType(const BackupSetHeader& set, BackupSetType type) {
    return set.type == static_cast<int>(type);
}

bool finishedBy(const BackupSetHeader& set, const std::optional<QDateTime>& until) {
    return !until || set.finishDate <= *until;
}

// The newest of the sets that pass `keep`, by finish date and then by log position.
const BackupSetHeader* newest(const QList<BackupSetHeader>& sets, auto keep) {
    const BackupSetHeader* best = nullptr;
    for (const BackupSetHeader& set : sets) {
        if (!keep(set)) {
            continue;
        }
        if (!best || set.finishDate > best->finishDate ||
            (set.finishDate == best->finishDate && compareLsn(set.lastLsn, best->lastLsn) > 0)) {
            best = &set;
        }
    }
    return best;
}

std::optional<PlanRefusal> chooseDatabase(const QList<BackupSetHeader>& sets,
                                          const QString& database, QList<BackupSetHeader>& chosen) {
    QStringList names;
    for (const BackupSetHeader& set : sets) {
        if (!names.contains(set.databaseName, Qt::CaseInsensitive)) {
            names.append(set.databaseName);
        }
        if (database.isEmpty() || set.databaseName.compare(database, Qt::CaseInsensitive) == 0) {
            chosen.append(set);
        }
    }
    if (database.isEmpty() && names.size() > 1) {
        return PlanRefusal{
            QStringLiteral("备份文件中有多个数据库的备份，请用 --database 选择一个 / "
                           "the files hold backups of several databases, choose "
                           "one with --database: ") +
            names.join(QStringLiteral(", "))};
    }
    if (chosen.isEmpty()) {
        return PlanRefusal{QStringLiteral("备份文件中没有数据库 %1 的备份 / the files hold no "
                                          "backup of database %1; they hold: %2")
                               .arg(database, names.join(QStringLiteral(", ")))};
    }
    return std::nullopt;
}

} // namespace

int compareLsn(const QString& a, const QString& b) {
    const auto digits = [](const QString& lsn) {
        QStringView view = QStringView(lsn).trimmed();
        while (view.startsWith(u'0')) {
            view = view.sliced(1);
        }
        return view;
    };
    const QStringView x = digits(a);
    const QStringView y = digits(b);
    if (x.size() != y.size()) {
        return x.size() < y.size() ? -1 : 1;
    }
    return x.compare(y);
}

std::variant<RestorePlan, PlanRefusal> planRestore(const QList<BackupSetHeader>& sets,
                                                   const QString& database,
                                                   const std::optional<QDateTime>& until) {
    QList<BackupSetHeader> own;
    if (const auto refusal = chooseDatabase(sets, database, own)) {
        return *refusal;
    }
    const auto isFull = [](const BackupSetHeader& set) {
        return isType(set, BackupSetType::Database);
    };
    const BackupSetHeader* full = newest(
        own, [&](const BackupSetHeader& set) { return isFull(set) && finishedBy(set, until); });
    if (!full) {
        const BackupSetHeader* earliest = nullptr;
        for (const BackupSetHeader& set : own) {
            if (isFull(set) && (!earliest || set.finishDate < earliest->finishDate)) {
                earliest = &set;
            }
        }
        if (!earliest) {
            return PlanRefusal{QStringLiteral("备份文件中没有完整数据库备份 / the files hold no "
                                              "full database backup")};
        }
        return PlanRefusal{QStringLiteral("%1 早于完整备份完成的时间 %2 / %1 is before the first "
                                          "full backup finished, at %2")
                               .arg(shown(*until), shown(earliest->finishDate))};
    }
    RestorePlan plan;
    plan.steps.append(*full);
    if (const BackupSetHeader* differential = newest(own, [&](const BackupSetHeader& set) {
            return isType(set, BackupSetType::Differential) &&
                   compareLsn(set.databaseBackupLsn, full->checkpointLsn) == 0 &&
                   finishedBy(set, until);
        })) {
        plan.steps.append(*differential);
    }

    QList<const BackupSetHeader*> logs;
    for (const BackupSetHeader& set : own) {
        if (isType(set, BackupSetType::Log)) {
            logs.append(&set);
        }
    }
    // Each log backup must begin at or before the position restored so far and end after it.
    while (!until || plan.steps.last().finishDate < *until) {
        const QString reached = plan.steps.last().lastLsn;
        const auto next = std::find_if(logs.begin(), logs.end(), [&](const BackupSetHeader* log) {
            return compareLsn(log->firstLsn, reached) <= 0 && compareLsn(reached, log->lastLsn) < 0;
        });
        if (next != logs.end()) {
            plan.steps.append(**next);
            continue;
        }
        const bool laterLogs =
            std::any_of(logs.begin(), logs.end(), [&](const BackupSetHeader* log) {
                return compareLsn(log->firstLsn, reached) > 0;
            });
        const QString end = shown(plan.steps.last().finishDate);
        if (laterLogs) {
            return PlanRefusal{
                QStringLiteral("日志链中断：缺少包含 LSN %1 的日志备份，最多可恢复到 %2 / "
                               "the log chain breaks: no log backup holds LSN %1; "
                               "the latest point the files reach is %2")
                    .arg(reached, end)};
        }
        if (until) {
            return PlanRefusal{QStringLiteral("%1 晚于最后一个日志备份的结束时间 %2 / %1 is after "
                                              "the end of the last log backup, %2")
                                   .arg(shown(*until), end)};
        }
        break;
    }
    if (until && isType(plan.steps.last(), BackupSetType::Log)) {
        plan.stopAt = until;
    }
    return plan;
}

} // namespace restore
