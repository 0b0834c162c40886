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
    h.type = static_cast<int>(type);
    h.databaseName = database;
    h.startDate = at(finished - 1);
    h.finishDate = at(finished);
    h.firstLsn = QString::number(first);
    h.lastLsn = QString::number(last);
    h.checkpointLsn = QString::number(first);
    h.databaseBackupLsn = QString::number(base);
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

struct Row {
    const char* name;
    QList<BackupSetHeader> sets;
    QString database;
    std::optional<int> until; // minutes after the day's start
    QStringList steps;        // the files chosen, in order; empty when refused
    QString refusalNames;     // what the refusal must name
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
        const QString reason = std::get<PlanRefusal>(result).reason;
        for (const QString& part : row.refusalNames.split('|')) {
            EXPECT_TRUE(reason.contains(part))
                << reason.toStdString() << " lacks " << part.toStdString();
        }
        return;
    }
    ASSERT_TRUE(std::holds_alternative<RestorePlan>(result))
        << std::get<PlanRefusal>(result).reason.toStdString();
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
            "LSN 1200|2026-12-01 01:00:00"},
        Row{"UntilAfterTheLastLog", Chain, {}, 200, {}, "03:00:00|03:20:00"},
        Row{"UntilBeforeTheFullFinished",
            without(Chain, "full") << set("full", Full, 30, 900, 901),
            {},
            10,
            {},
            "00:30:00"},
        Row{"NoFullBackup", without(Chain, "full"), {}, {}, {}, "full database backup"},
        Row{"SeveralDatabasesNeedAChoice",
            QList<BackupSetHeader>(Chain) << set("other", Full, 0, 5, 6, 0, "Stock"),
            {},
            {},
            {},
            "Shop|Stock"},
        Row{"TheChosenDatabasesChainOnly",
            QList<BackupSetHeader>(Chain) << set("other", Full, 200, 5, 6, 0, "Stock")
                                          << set("olog", Log, 210, 5, 99, 5, "Stock"),
            "shop",
            {},
            {"full", "diff", "log2", "log3"},
            {}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
