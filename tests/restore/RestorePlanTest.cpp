#include "restore/RestorePlan.h"

#include <gtest/gtest.h>

using namespace restore;

namespace {

const QDateTime Day = QDateTime(QDate(2026, 12, 1), QTime(0, 0), Qt::UTC);

QDateTime at(int minutes) {
    return Day.addSecs(minutes * 60);
}

BackupSetHeader set(const QString& file, BackupSetType type, int finished, qint64 first,
                    qint64 last, qint64 base = 0, const QString& database = "Shop") {
    BackupSetHeader h;
    h.file = file;
    h.type = type;
    h.databaseName = database;
    h.startDate = at(finished - 1);
    h.finishDate = at(finished);
    h.firstLsn = QString::number(first);
    h.lastLsn = QString::number(last);
    h.checkpointLsn = QString::number(first);
    h.databaseBackupLsn = QString::number(base);
    return h;
}

// The same set as made by a database created at `created`: another one than the others when it
// was dropped and made anew under the same name.
BackupSetHeader createdAt(BackupSetHeader h, const QString& created) {
    h.databaseCreationDate = created;
    return h;
}

// As SQL Server 2005 and later give it: the BindingID a restore changes, and the recovery forks the
// set begins and ends on.
BackupSetHeader onFork(BackupSetHeader h, const QString& binding, const QString& firstFork,
                       const QString& lastFork = {}, qint64 forkPoint = 0) {
    h.bindingId = binding;
    h.firstRecoveryForkId = firstFork;
    h.recoveryForkId = lastFork.isEmpty() ? firstFork : lastFork;
    h.forkPointLsn = forkPoint ? QString::number(forkPoint) : QString();
    return h;
}

constexpr auto Full = BackupSetType::Database;
constexpr auto Log = BackupSetType::Log;
constexpr auto Diff = BackupSetType::Differential;

// Full at 00:00, log at 01:00, differential at 01:30, logs at 02:00 and 03:00. The positions
// cross from four to five digits, as text they would sort the other way.
const QList<BackupSetHeader> Chain = {
    set("full", Full, 0, 900, 901),          set("log1", Log, 60, 500, 1200, 900),
    set("diff", Diff, 90, 1250, 1251, 900),  set("log2", Log, 120, 1200, 9000, 900),
    set("log3", Log, 180, 9000, 12000, 900),
};

QList<BackupSetHeader> without(QList<BackupSetHeader> sets, const QString& file) {
    sets.removeIf([&](const BackupSetHeader& s) { return s.file == file; });
    return sets;
}

// Restored in place to LSN 5000, within log2, after log3: then a full backup and logs of the new
// history, whose positions run over the old ones again.
const QList<BackupSetHeader> NewHistory = {set("full2", Full, 200, 5100, 5101, 900),
                                           set("new1", Log, 240, 5000, 6000, 900),
                                           set("new2", Log, 300, 6000, 13000, 900)};

// Restored in place to the end of log1, after log2: the new history's first log begins where
// log2 does.
const QList<BackupSetHeader> AtLog1sEnd = {
    set("full", Full, 0, 900, 901), set("log1", Log, 60, 500, 1200, 900),
    set("log2", Log, 120, 1200, 9000, 900), set("new1", Log, 200, 1200, 3000, 900)};

// The same, as SQL Server 2005 and later tell it.
QList<BackupSetHeader> atLog1sEndWithForks() {
    QList<BackupSetHeader> sets;
    for (const BackupSetHeader& h : AtLog1sEnd) {
        sets << (h.file == "new1" ? onFork(h, "B2", "a", "b", 1200) : onFork(h, "B1", "a"));
    }
    return sets;
}

struct Row {
    const char* name;
    QList<BackupSetHeader> sets;
    QString database;
    std::optional<int> until; // minutes after the day's start
    QStringList steps;        // the files chosen, in order; empty when refused
    QString refusalNames;     // what the refusal must name
    std::optional<PlanRefusal::Reason> reason = std::nullopt;
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

class PlanTable : public ::testing::TestWithParam<Row> {};

TEST_P(PlanTable, ChoosesTheChainOrRefusesWithTheReason) {
    const Row& row = GetParam();
    const std::optional<QDateTime> until = row.until ? std::optional(at(*row.until)) : std::nullopt;
    const auto result = planRestore(row.sets, row.database, until);
    if (row.steps.isEmpty()) {
        ASSERT_TRUE(std::holds_alternative<PlanRefusal>(result));
        const QString reason = std::get<PlanRefusal>(result).data.join(u' ');
        if (row.reason) {
            EXPECT_EQ(std::get<PlanRefusal>(result).reason, *row.reason);
        }
        for (const QString& part : row.refusalNames.split('|')) {
            EXPECT_TRUE(reason.contains(part))
                << reason.toStdString() << " lacks " << part.toStdString();
        }
        return;
    }
    ASSERT_TRUE(std::holds_alternative<RestorePlan>(result))
        << std::get<PlanRefusal>(result).data.join(u' ').toStdString();
    const RestorePlan& plan = std::get<RestorePlan>(result);
    QStringList files;
    for (const BackupSetHeader& step : plan.steps) {
        files.append(step.file);
    }
    EXPECT_EQ(files, row.steps);
    const bool stopsInALog = row.until && row.steps.last().startsWith("log");
    EXPECT_EQ(plan.stopAt, stopsInALog ? until : std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Chains, PlanTable,
    ::testing::Values(
        Row{"FullAlone", {set("full", Full, 0, 900, 901)}, {}, {}, {"full"}, {}},
        Row{"ToTheEndThroughTheDifferential", Chain, {}, {}, {"full", "diff", "log2", "log3"}, {}},
        Row{"UntilBetweenTwoLogs", Chain, {}, 150, {"full", "diff", "log2", "log3"}, {}},
        Row{"UntilBeforeTheDifferentialUsesTheLogs", Chain, {}, 70, {"full", "log1", "log2"}, {}},
        Row{"UntilAtALogsEnd", Chain, {}, 120, {"full", "diff", "log2"}, {}},
        Row{"DifferentialOfAnotherFullIsIgnored",
            {set("full", Full, 0, 900, 901), set("diff", Diff, 90, 1250, 1251, 700),
             set("log1", Log, 60, 500, 1200, 900)},
            {},
            {},
            {"full", "log1"},
            {}},
        Row{"NewestFullFinishedByUntil",
            {set("full", Full, 0, 900, 901), set("log1", Log, 60, 500, 1200, 900),
             set("full2", Full, 100, 1300, 1301, 900), set("log2", Log, 120, 1200, 9000, 900)},
            {},
            90,
            {"full", "log1", "log2"},
            {}},
        Row{"NewestFullWithoutUntil",
            {set("full", Full, 0, 900, 901), set("log1", Log, 60, 500, 1200, 900),
             set("full2", Full, 100, 1300, 1301, 900), set("log2", Log, 120, 1200, 9000, 900)},
            {},
            {},
            {"full2", "log2"},
            {}},
        Row{"MissingMiddleLog",
            without(without(Chain, "diff"), "log2"),
            {},
            {},
            {},
            "1200|2026-12-01 01:00:00"},
        Row{"UntilAfterTheLastLog", Chain, {}, 200, {}, "03:00:00|03:20:00"},
        Row{"UntilBeforeTheFullFinished",
            without(Chain, "full") << set("full", Full, 30, 900, 901),
            {},
            10,
            {},
            "00:30:00"},
        Row{"NoFullBackup",
            without(Chain, "full"),
            {},
            {},
            {},
            {},
            PlanRefusal::Reason::NoFullBackup},
        Row{"SeveralDatabasesNeedAChoice",
            QList<BackupSetHeader>(Chain) << set("other", Full, 0, 5, 6, 0, "Stock"),
            {},
            {},
            {},
            "Shop|Stock"},
        // A database dropped and made anew under the same name: its old logs hold the new full
        // backup's position (and one even finished after it), yet belong to another database.
        Row{"ADatabaseMadeAnewTakesNoLogOfTheOldOne",
            {createdAt(set("full", Full, 0, 900, 901), "A"),
             createdAt(set("log1", Log, 60, 500, 1200, 900), "A"),
             createdAt(set("log2", Log, 300, 1200, 9000, 900), "A"),
             createdAt(set("anew", Full, 150, 1500, 1501), "B"),
             createdAt(set("newlog", Log, 240, 1400, 3000, 1500), "B")},
            {},
            {},
            {"anew", "newlog"},
            {}},
        Row{"TheOldDatabasesLogsBeforeTheNewFullAreNotApplied",
            {createdAt(set("full", Full, 0, 900, 901), "A"),
             createdAt(set("log1", Log, 60, 500, 1200, 900), "A"),
             createdAt(set("log2", Log, 120, 1200, 9000, 900), "A"),
             createdAt(set("anew", Full, 150, 1500, 1501), "B")},
            {},
            {},
            {"anew"},
            {}},
        Row{"TheOldDatabaseAtATimeBeforeTheNewOne",
            {createdAt(set("full", Full, 0, 900, 901), "A"),
             createdAt(set("log1", Log, 60, 500, 1200, 900), "A"),
             createdAt(set("log2", Log, 120, 1200, 9000, 900), "A"),
             createdAt(set("anew", Full, 150, 1500, 1501), "B")},
            {},
            110,
            {"full", "log1", "log2"},
            {}},
        // Restored in place: the new history's full backup takes only its own logs.
        Row{"TheNewHistoryTakesNoLogOfTheOldOne",
            without(Chain, "diff") + NewHistory,
            {},
            {},
            {"full2", "new1", "new2"},
            {}},
        Row{"TheOldHistoryAtATimeBeforeTheRestore",
            without(Chain, "diff") + NewHistory,
            {},
            150,
            {"full", "log1", "log2", "log3"},
            {}},
        // Without a full backup of the new history, the end of the old one is not the latest state.
        Row{"TheEndOfALeftHistoryIsRefused",
            without(Chain, "diff") + without(NewHistory, "full2"),
            {},
            {},
            {},
            "5000|new1 备份集 set 1|log2 备份集 set 1"},
        Row{"ATimeOnlyTheNewHistoryReachesIsRefused",
            without(Chain, "diff") + without(NewHistory, "full2"),
            {},
            270,
            {},
            "5000|new1|log2"},
        Row{"TwoLogsThatCouldBothComeNextAreRefused",
            AtLog1sEnd,
            {},
            {},
            {},
            "log2 备份集 set 1|new1 备份集 set 1|1200"},
        Row{"TheForkIdsKeepTheOldHistoryUpToItsTime",
            atLog1sEndWithForks(),
            {},
            100,
            {"full", "log1", "log2"},
            {}},
        Row{"TheForkIdsTellTheEndOfTheOldHistoryIsNotTheLatest",
            atLog1sEndWithForks(),
            {},
            {},
            {},
            "1200|new1|log2"},
        Row{"ANewFullOnTheNewForkTakesTheLogThatCrossesToIt",
            {onFork(set("full", Full, 0, 900, 901), "B1", "a"),
             onFork(set("log1", Log, 60, 500, 1200, 900), "B1", "a"),
             onFork(set("log2", Log, 120, 1200, 9000, 900), "B1", "a"),
             onFork(set("full2", Full, 210, 1300, 1301, 900), "B2", "b"),
             onFork(set("new1", Log, 250, 1200, 3000, 900), "B2", "a", "b", 1200)},
            {},
            {},
            {"full2", "new1"},
            {}},
        // The newest full backup is cut off by a missing log; an older one and its differential
        // still reach the time.
        Row{"AnOlderFullReachesWhatTheNewestCannot",
            {set("full", Full, 0, 900, 901), set("log1", Log, 60, 500, 1200, 900),
             set("full2", Full, 100, 1300, 1301, 900), set("diff", Diff, 150, 2500, 2501, 900),
             set("log3", Log, 180, 2200, 4000, 900)},
            {},
            170,
            {"full", "diff", "log3"},
            {}},
        Row{"TheLatestPointIsTheFurthestAnyFullReaches",
            {set("full", Full, 0, 900, 901), set("log1", Log, 60, 500, 1200, 900),
             set("full2", Full, 100, 1300, 1301, 900), set("diff", Diff, 150, 2500, 2501, 900),
             set("log3", Log, 180, 2200, 4000, 900)},
            {},
            200,
            {},
            "03:00:00|03:20:00"},
        Row{"ACopyOfALogIsNoSecondCandidate",
            QList<BackupSetHeader>(Chain) << set("log2", Log, 120, 1200, 9000, 900),
            {},
            {},
            {"full", "diff", "log2", "log3"},
            {}},
        Row{"TheChosenDatabasesChainOnly",
            QList<BackupSetHeader>(Chain) << set("other", Full, 200, 5, 6, 0, "Stock")
                                          << set("olog", Log, 210, 5, 99, 5, "Stock"),
            "shop",
            {},
            {"full", "diff", "log2", "log3"},
            {}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
