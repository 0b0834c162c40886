#include "restore/RestorePlan.h"

#include "restore/ServerTime.h"

#include <QStringList>

#include <algorithm>
#include <set>
#include <vector>

namespace restore {

namespace {

// As the listing names a set.
QString named(const BackupSetHeader& set) {
    return QStringLiteral("%1 备份集 set %2").arg(set.file, QString::number(set.position));
}

bool isType(const BackupSetHeader& set, BackupSetType type) {
    return set.type == type;
}

bool finishedBy(const BackupSetHeader& set, const std::optional<QDateTime>& until) {
    return !until || set.finishDate <= *until;
}

// By finish date, then by log position.
bool newerThan(const BackupSetHeader& a, const BackupSetHeader& b) {
    if (a.finishDate != b.finishDate) {
        return a.finishDate > b.finishDate;
    }
    return compareLsn(a.lastLsn, b.lastLsn) > 0;
}

// An id that only later servers give tells sets apart only when both give it.
bool differs(const QString& a, const QString& b) {
    return !a.isEmpty() && !b.isEmpty() && a.compare(b, Qt::CaseInsensitive) != 0;
}

// Made by one database: not by another one later made under its name, nor by another server's.
bool sameIncarnation(const BackupSetHeader& a, const BackupSetHeader& b) {
    return a.databaseCreationDate == b.databaseCreationDate &&
           a.serverName.compare(b.serverName, Qt::CaseInsensitive) == 0 &&
           a.machineName.compare(b.machineName, Qt::CaseInsensitive) == 0 &&
           !differs(a.familyGuid, b.familyGuid);
}

// And between the same two restores of it: a restore gives the database a new BindingID.
bool sameHistory(const BackupSetHeader& a, const BackupSetHeader& b) {
    return sameIncarnation(a, b) && !differs(a.bindingId, b.bindingId);
}

// One backup given twice: the same file named twice, or a copy of it.
bool sameBackup(const BackupSetHeader& a, const BackupSetHeader& b) {
    return a.type == b.type && sameHistory(a, b) && a.startDate == b.startDate &&
           a.finishDate == b.finishDate && compareLsn(a.firstLsn, b.firstLsn) == 0 &&
           compareLsn(a.lastLsn, b.lastLsn) == 0 &&
           compareLsn(a.checkpointLsn, b.checkpointLsn) == 0 &&
           !differs(a.backupSetGuid, b.backupSetGuid);
}

bool holds(const BackupSetHeader& log, const QString& lsn) {
    return compareLsn(log.firstLsn, lsn) <= 0 && compareLsn(lsn, log.lastLsn) < 0;
}

bool crossesFork(const BackupSetHeader& log) {
    return differs(log.firstRecoveryForkId, log.recoveryForkId) && !log.forkPointLsn.isEmpty();
}

// Whether `log` goes on with the recovery fork `step` ended on (SQL Server 2005 and later): a log
// that crosses to a new fork is on the old one up to its fork point and on the new one after it.
bool onForkOf(const BackupSetHeader& step, const BackupSetHeader& log) {
    if (!crossesFork(log)) {
        return !differs(step.recoveryForkId, log.firstRecoveryForkId);
    }
    const bool beforeTheFork = compareLsn(step.lastLsn, log.forkPointLsn) <= 0;
    return !differs(step.recoveryForkId,
                    beforeTheFork ? log.firstRecoveryForkId : log.recoveryForkId);
}

// The log backup to restore after `step`: of the same database and history, beginning where
// `step` ended (a log exactly there; a full or differential backup lies within it), ending after
// it and finished no earlier. Dates hold whole seconds, so one finished in the same second counts.
bool continues(const BackupSetHeader& step, const BackupSetHeader& log) {
    if (!isType(log, BackupSetType::Log) || log.copyOnly || !sameHistory(step, log) ||
        log.finishDate < step.finishDate || !onForkOf(step, log)) {
        return false;
    }
    if (isType(step, BackupSetType::Log)) {
        return compareLsn(log.firstLsn, step.lastLsn) == 0 && holds(log, step.lastLsn);
    }
    return holds(log, step.lastLsn);
}

bool basedOn(const BackupSetHeader& differential, const BackupSetHeader& full) {
    return isType(differential, BackupSetType::Differential) && sameHistory(full, differential) &&
           compareLsn(differential.databaseBackupLsn, full.checkpointLsn) == 0 &&
           !differs(differential.differentialBaseGuid, full.backupSetGuid) &&
           differential.finishDate >= full.finishDate;
}

// The log backups by where they begin, so that a chain of thousands is followed quickly.
class LogIndex {
public:
    explicit LogIndex(const QList<BackupSetHeader>& sets) {
        for (const BackupSetHeader& set : sets) {
            if (isType(set, BackupSetType::Log) && !set.copyOnly) {
                logs_.push_back(&set);
                if (crossesFork(set)) {
                    crossing_.push_back(&set);
                }
            }
        }
        std::stable_sort(logs_.begin(), logs_.end(), byStart);
    }

    // The logs that could follow `step`.
    QList<const BackupSetHeader*> after(const BackupSetHeader& step) const {
        const auto end = std::upper_bound(logs_.begin(), logs_.end(), step.lastLsn, startsAfter);
        auto begin = logs_.begin();
        if (isType(step, BackupSetType::Log)) {
            begin = std::lower_bound(logs_.begin(), end, step.lastLsn, startsBefore);
        }
        QList<const BackupSetHeader*> next;
        for (auto it = begin; it != end; ++it) {
            const bool again = std::any_of(next.begin(), next.end(), [&](const auto* chosen) {
                return sameBackup(*chosen, **it);
            });
            if (continues(step, **it) && !again) {
                next.append(*it);
            }
        }
        return next;
    }

    // Whether logs of `step`'s history begin after it ended: a gap, not the end of the chain.
    bool beginsLater(const BackupSetHeader& step) const {
        const auto later = std::upper_bound(logs_.begin(), logs_.end(), step.lastLsn, startsAfter);
        return std::any_of(later, logs_.end(), [&](const BackupSetHeader* log) {
            return sameHistory(step, *log) && log->finishDate >= step.finishDate;
        });
    }

    // A later log that begins within `log` (not at its end) or crosses to a new recovery fork
    // there: the database was restored in place to that point and went on with a new history, so
    // the one `log` goes on with was left. SQL Server 2000 shows this only in the log positions,
    // assuming (not documented) that its first log backup after such a restore begins where the
    // restore left the log.
    const BackupSetHeader* forkWithin(const BackupSetHeader& log) const {
        const auto forksThere = [&](const BackupSetHeader* other) {
            return other != &log && sameIncarnation(log, *other) &&
                   other->finishDate > log.finishDate && !sameBackup(log, *other) &&
                   (holds(log, other->firstLsn) ||
                    (crossesFork(*other) && holds(log, other->forkPointLsn) &&
                     !differs(log.recoveryForkId, other->firstRecoveryForkId)));
        };
        const auto from = std::lower_bound(logs_.begin(), logs_.end(), log.firstLsn, startsBefore);
        const auto to = std::lower_bound(logs_.begin(), logs_.end(), log.lastLsn, startsBefore);
        if (const auto it = std::find_if(from, to, forksThere); it != to) {
            return *it;
        }
        const auto it = std::find_if(crossing_.begin(), crossing_.end(), forksThere);
        return it != crossing_.end() ? *it : nullptr;
    }

private:
    static bool byStart(const BackupSetHeader* a, const BackupSetHeader* b) {
        return compareLsn(a->firstLsn, b->firstLsn) < 0;
    }
    static bool startsBefore(const BackupSetHeader* log, const QString& lsn) {
        return compareLsn(log->firstLsn, lsn) < 0;
    }
    static bool startsAfter(const QString& lsn, const BackupSetHeader* log) {
        return compareLsn(lsn, log->firstLsn) < 0;
    }

    std::vector<const BackupSetHeader*> logs_;
    std::vector<const BackupSetHeader*> crossing_;
};

// One way from a full backup (and perhaps a differential) along the logs, and how it ended.
struct Walk {
    enum class End {
        Reached,   // the time asked for
        ChainEnds, // no later log of its history
        Gap,       // later logs, but none that continues it
        TwoNext,   // two different logs could both come next
        Forked,    // it goes on with a history the database left
        Joined,    // it met the way of a full backup tried before, which ended no better
    };
    QList<const BackupSetHeader*> steps;
    End end = End::Reached;
    const BackupSetHeader* rivals[2] = {nullptr, nullptr};
    QString at; // the log position where two rivals part
};

// `walked` holds the logs that ways tried before went through: a way that meets one would end as
// that one did, so a year of log backups is followed once, not once for each full backup.
Walk walk(QList<const BackupSetHeader*> start, const LogIndex& logs,
          const std::optional<QDateTime>& until, std::set<const BackupSetHeader*>& walked) {
    Walk result;
    result.steps = std::move(start);
    while (!until || result.steps.last()->finishDate < *until) {
        const BackupSetHeader& step = *result.steps.last();
        const QList<const BackupSetHeader*> next = logs.after(step);
        if (next.size() == 1) {
            if (!walked.insert(next.first()).second) {
                result.end = Walk::End::Joined;
                return result;
            }
            result.steps.append(next.first());
            continue;
        }
        if (next.size() > 1) {
            result.end = Walk::End::TwoNext;
            result.rivals[0] = next[0];
            result.rivals[1] = next[1];
            result.at = step.lastLsn;
            return result;
        }
        result.end = logs.beginsLater(step) ? Walk::End::Gap : Walk::End::ChainEnds;
        break;
    }
    if (result.end == Walk::End::Reached) {
        // What the database was at the time asked for, even on a history it later left.
        return result;
    }
    for (const BackupSetHeader* step : result.steps) {
        if (!isType(*step, BackupSetType::Log)) {
            continue;
        }
        if (const BackupSetHeader* fork = logs.forkWithin(*step)) {
            result.end = Walk::End::Forked;
            result.rivals[0] = step;
            result.rivals[1] = fork;
            result.at = crossesFork(*fork) ? fork->forkPointLsn : fork->firstLsn;
            break;
        }
    }
    return result;
}

PlanRefusal refusal(const Walk& walk, const std::optional<QDateTime>& until) {
    const BackupSetHeader& last = *walk.steps.last();
    const QString end = serverTimeText(last.finishDate);
    switch (walk.end) {
    case Walk::End::TwoNext:
        return PlanRefusal{PlanRefusal::Reason::TwoCouldComeNext,
                           {named(*walk.rivals[0]), named(*walk.rivals[1]), walk.at}};
    case Walk::End::Forked:
        return PlanRefusal{PlanRefusal::Reason::HistoryForks,
                           {walk.at, named(*walk.rivals[1]), named(*walk.rivals[0])}};
    case Walk::End::Gap:
        return PlanRefusal{PlanRefusal::Reason::ChainBreaks, {last.lastLsn, end}};
    case Walk::End::Reached:
    case Walk::End::ChainEnds:
    case Walk::End::Joined:
        break;
    }
    return PlanRefusal{PlanRefusal::Reason::AfterTheLastLog,
                       {serverTimeText(until.value_or(last.finishDate)), end}};
}

RestorePlan planOf(const Walk& walk, const std::optional<QDateTime>& until) {
    RestorePlan plan;
    for (const BackupSetHeader* step : walk.steps) {
        plan.steps.append(*step);
    }
    if (until && isType(plan.steps.last(), BackupSetType::Log)) {
        plan.stopAt = until;
    }
    return plan;
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
        return PlanRefusal{PlanRefusal::Reason::SeveralDatabases,
                           {names.join(QStringLiteral(", "))}};
    }
    if (chosen.isEmpty()) {
        return PlanRefusal{PlanRefusal::Reason::NoSuchDatabase,
                           {database, names.join(QStringLiteral(", "))}};
    }
    return std::nullopt;
}

// The sets that pass `keep`, newest first, each backup once.
QList<const BackupSetHeader*> newestFirst(const QList<BackupSetHeader>& sets, auto keep) {
    QList<const BackupSetHeader*> kept;
    for (const BackupSetHeader& set : sets) {
        if (!keep(set) || std::any_of(kept.begin(), kept.end(), [&](const auto* chosen) {
                return sameBackup(*chosen, set);
            })) {
            continue;
        }
        kept.append(&set);
    }
    std::stable_sort(kept.begin(), kept.end(),
                     [](const auto* a, const auto* b) { return newerThan(*a, *b); });
    return kept;
}

} // namespace

BackupSetHeader plannedSet(const QString& file, int position, BackupSetType type) {
    BackupSetHeader set;
    set.file = file;
    set.position = position;
    set.type = type;
    return set;
}

RestorePlan singleSetPlan(const QString& file, int position) {
    return {{plannedSet(file, position, BackupSetType::Database)}, std::nullopt};
}

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
    const QList<const BackupSetHeader*> fulls = newestFirst(
        own, [&](const BackupSetHeader& set) { return isFull(set) && finishedBy(set, until); });
    if (fulls.isEmpty()) {
        const BackupSetHeader* earliest = nullptr;
        for (const BackupSetHeader& set : own) {
            if (isFull(set) && (!earliest || set.finishDate < earliest->finishDate)) {
                earliest = &set;
            }
        }
        if (!earliest) {
            return PlanRefusal{PlanRefusal::Reason::NoFullBackup, {}};
        }
        return PlanRefusal{PlanRefusal::Reason::BeforeTheFirstFull,
                           {serverTimeText(*until), serverTimeText(earliest->finishDate)}};
    }

    // The newest full backup first, through its newest differential first; an older one is used
    // when a newer one cannot reach the time asked for (or, without one, the chain's end).
    const LogIndex logs(own);
    std::set<const BackupSetHeader*> walked;
    std::optional<Walk> furthest;
    for (const BackupSetHeader* full : fulls) {
        QList<QList<const BackupSetHeader*>> starts;
        for (const BackupSetHeader* differential : newestFirst(own, [&](const auto& set) {
                 return basedOn(set, *full) && finishedBy(set, until);
             })) {
            starts.append(QList<const BackupSetHeader*>{full, differential});
        }
        starts.append(QList<const BackupSetHeader*>{full});
        for (const QList<const BackupSetHeader*>& start : starts) {
            Walk tried = walk(start, logs, until, walked);
            if (tried.end == Walk::End::Joined) {
                continue;
            }
            if (tried.end == (until ? Walk::End::Reached : Walk::End::ChainEnds)) {
                return planOf(tried, until);
            }
            if (tried.end == Walk::End::TwoNext) {
                return refusal(tried, until);
            }
            if (!furthest || newerThan(*tried.steps.last(), *furthest->steps.last())) {
                furthest = std::move(tried);
            }
        }
    }
    return refusal(*furthest, until);
}

} // namespace restore
