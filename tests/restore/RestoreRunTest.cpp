#include "restore/RestoreRun.h"
#include "FakeQueryClient.h"
#include "RecordingView.h"
#include "platform/ServerPath.h"
#include "restore/AfterRestoreChecks.h"
#include "restore/StatementTexts.h"
#include "restore/TargetPaths.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <deque>

using namespace restore;

namespace {

const QString Connect = QStringLiteral("尝试连接到MSSQL数据库... ...");
const QString Create = QStringLiteral("正在创建新的数据库...");
const QString Restore = QStringLiteral("正在恢复数据库...");
const QString Attach = QStringLiteral("正在附加数据库...");
const QString Drop = QStringLiteral("正在删除未完成恢复的数据库...");
const QString Ok = QStringLiteral(" OK！");

RestoreRequest request(SourceKind kind) {
    RestoreRequest r;
    r.serverName = "(local)";
    r.authMode = AuthMode::SqlLogin;
    r.userName = "sa";
    r.sourceKind = kind;
    r.sourcePath = kind == SourceKind::Backup ? "/bak/Shop.bak" : "/old/Shop_Data.mdf";
    r.logSourcePath = logSourcePath(r.sourcePath);
    r.databaseName = "NewDB";
    r.directory = "/data/";
    return r;
}

// A RESTORE HEADERONLY row of a full backup with every column the reader takes, the version
// "major.minor.build" of the server that made it.
FakeQueryClient::Row headerRow(int position, const QString& version) {
    FakeQueryClient::Row row;
    for (const char* column : {"BACKUPTYPE",       "DATABASENAME",      "BACKUPSTARTDATE",
                               "BACKUPFINISHDATE", "FIRSTLSN",          "LASTLSN",
                               "CHECKPOINTLSN",    "DATABASEBACKUPLSN", "DATABASECREATIONDATE",
                               "SERVERNAME",       "MACHINENAME",       "BACKUPSIZE",
                               "FAMILYGUID",       "BINDINGID",         "FIRSTRECOVERYFORKID",
                               "RECOVERYFORKID",   "FORKPOINTLSN",      "DIFFERENTIALBASEGUID",
                               "BACKUPSETGUID",    "ISCOPYONLY",        "HASBACKUPCHECKSUMS"}) {
        row.insert(column, QString());
    }
    const QStringList parts = version.split('.');
    row.insert("BACKUPTYPE", "1");
    row.insert("POSITION", QString::number(position));
    row.insert("SOFTWAREVERSIONMAJOR", parts[0]);
    row.insert("SOFTWAREVERSIONMINOR", parts[1]);
    row.insert("SOFTWAREVERSIONBUILD", parts[2]);
    return row;
}

FakeQueryClient::Row fileRow(const QString& logical, const QString& type) {
    return {{"LOGICALNAME", logical}, {"TYPE", type}};
}

std::vector<FakeQueryClient::Row> shopFileList() {
    return {fileRow("Shop_Data", "D"), fileRow("Shop_Log", "L")};
}

// Sent after every successful restore or attach.
const QString UsersRead = databaseUsersStatement("NewDB");
const QString StateRead = QStringLiteral("SELECT CAST(DATABASEPROPERTYEX(N'NewDB'");
const QString FilesRead = QStringLiteral("SELECT filename FROM master..sysaltfiles");

// The database of that name holds these files, and is in this state.
void answerAsTheServer(FakeQueryClient& qry, const QString& state = QStringLiteral("ONLINE"),
                       const QStringList& files = {"/data/NewDB_Data.MDF", "/data/NewDB_Log.LDF"}) {
    qry.answers[StateRead] = {{{"STATUS", state}}};
    std::vector<FakeQueryClient::Row> rows;
    for (const QString& file : files) {
        rows.push_back({{"FILENAME", file}});
    }
    qry.answers[FilesRead] = rows;
}

const BackupContents ShopContents{"Shop_Data", "Shop_Log", {}, {}};

// The full backup of request(), then `later`.
RestorePlan planWith(const QList<BackupSetHeader>& later) {
    RestorePlan plan = singleSetPlan(request(SourceKind::Backup).sourcePath, 1);
    plan.steps += later;
    return plan;
}

// The full backup, then one log up to a stop point.
RestorePlan sequencePlan() {
    RestorePlan plan = planWith({plannedSet("/bak/log.trn", 1, BackupSetType::Log)});
    plan.stopAt = QDateTime(QDate(2026, 12, 8), QTime(10, 41), Qt::UTC);
    return plan;
}

QString restoreOf(const RestoreRequest& r) {
    return restoreStatement(r, ShopContents, singleSetPlan(r.sourcePath, r.backupSet), 0);
}

} // namespace

TEST(RestoreRun, BackupSendsTheFourStatementsInOrderAndWidensAfterTheNotice) {
    FakeQueryClient qry;
    qry.rows = shopFileList();
    RecordingView view;
    RestoreRequest r = request(SourceKind::Backup);

    EXPECT_TRUE(RestoreRun(qry, view).run(r).succeeded());

    const QStringList expectedCalls = {
        "close",
        "connect:" + buildConnectionString(r),
        "open:SELECT GETDATE()",
        "close",
        "open:" + fileListStatement(r.sourcePath, r.backupSet),
        "close",
        "execute:" + createStatement(r, ShopContents),
        "close",
        "execute:" + restoreOf(r),
        "close",
        "open:" + UsersRead,
    };
    EXPECT_EQ(qry.calls, expectedCalls) << qry.calls.join("\n").toStdString();
    EXPECT_EQ(view.lines, QStringList({Connect + Ok, Create + Ok, Restore + Ok}));
    ASSERT_EQ(view.notices.size(), 1u);
    EXPECT_EQ(view.notices[0].first, "恭喜您，数据库已成功恢复了！！！");
    EXPECT_EQ(view.notices[0].second, NoticeKind::Information);
    EXPECT_EQ(view.events, QStringList({"notice", "width"}));
    EXPECT_EQ(view.outerWidth, WidenedWindowWidth);
    // Every line and every mark is shown at once, since no events run during a statement.
    EXPECT_EQ(view.repaints, 6);
    EXPECT_EQ(view.homeKeys, 6);
}

// One line a step, the logs counted; after a failing step only the check and the drop of the new
// database are sent.
TEST(RestoreRun, SequenceShowsEachStepAndStopsAtAFailingOne) {
    const QString log = QStringLiteral("正在恢复日志备份 %1/2...");
    const QStringList done = {Connect + Ok,    Create + Ok,
                              Restore + Ok,    QStringLiteral("正在恢复差异备份...") + Ok,
                              log.arg(1) + Ok, log.arg(2) + Ok};
    for (const int failAt : {-1, 8}) {
        FakeQueryClient qry;
        qry.rows = shopFileList();
        qry.messages = {{3211, "50 percent restored."}};
        qry.failAtStatement = failAt;
        answerAsTheServer(qry);
        RecordingView view;
        RestoreRequest r = request(SourceKind::Backup);
        const RestorePlan plan =
            planWith({plannedSet("/bak/diff.bak", 1, BackupSetType::Differential),
                      plannedSet("/bak/log.trn", 1, BackupSetType::Log),
                      plannedSet("/bak/log.trn", 2, BackupSetType::Log)});

        EXPECT_EQ(RestoreRun(qry, view).run(r, plan).succeeded(), failAt < 0);

        if (failAt < 0) {
            EXPECT_EQ(view.lines, done) << view.lines.join("|").toStdString();
            EXPECT_EQ(qry.sent.mid(6),
                      QStringList({restoreStatement(r, ShopContents, plan, 0),
                                   restoreStatement(r, ShopContents, plan, 1),
                                   restoreStatement(r, ShopContents, plan, 2),
                                   restoreStatement(r, ShopContents, plan, 3),
                                   databaseStateStatement(r.databaseName), UsersRead}));
        } else {
            EXPECT_EQ(view.lines, done.mid(0, 4)
                                      << log.arg(1)
                                      << QStringLiteral("正在删除未完成恢复的数据库...") + Ok)
                << view.lines.join("|").toStdString();
            EXPECT_EQ(qry.sent.mid(failAt + 1), QStringList({databaseFilesStatement(r.databaseName),
                                                             "DROP DATABASE [NewDB]"}));
        }
    }
}

// Only a server newer than SQL Server 2000 is asked for the version of the set restored, and one
// that cannot upgrade it ends the run before anything is made.
TEST(RestoreRun, ANewerServerRefusesABackupItCannotUpgradeBeforeTheCreate) {
    const auto set = [](int position, const QString& version, const QString& logical,
                        const QString& type) {
        FakeQueryClient::Row row = headerRow(position, version);
        row.insert(fileRow(logical, type));
        return row;
    };
    const struct {
        QString server;
        QString backup; // of set 1; set 2 is a SQL Server 2008 one
        int restoredSet;
        QString refusal; // empty when the restore goes ahead
    } rows[] = {
        {"08.00.2039", "10.0.1600", 1, {}},
        {"10.50.6000", "8.0.2039", 1, {}},
        {"11.00.7001", "8.0.2039", 1,
         "服务器 SQL Server 2012 (11.0.7001) 不能恢复 SQL Server 2000 (8.0.2039) 的备份，"
         "未做任何更改。请先将它恢复到能升级它的版本"},
        {"11.00.7001", "8.0.2039", 2, {}},
        {"10.00.5500", "10.50.6000", 1,
         "服务器 SQL Server 2008 (10.0.5500) 不能恢复 SQL Server 2008 R2 (10.50.6000) 的备份，"
         "未做任何更改。"},
    };
    for (const auto& row : rows) {
        FakeQueryClient qry;
        qry.version = row.server;
        qry.rows = {set(1, row.backup, "Shop_Data", "D"), set(2, "10.0.1600", "Shop_Log", "L")};
        RecordingView view;
        RestoreRequest r = request(SourceKind::Backup);
        r.backupSet = row.restoredSet;
        const std::string context = (row.server + " restoring set " +
                                     QString::number(row.restoredSet) + " made by " + row.backup)
                                        .toStdString();

        EXPECT_EQ(RestoreRun(qry, view).run(r).succeeded(), row.refusal.isEmpty()) << context;

        const QString headers = backupHeadersStatement(r.sourcePath);
        EXPECT_EQ(qry.sent.contains(headers), !row.server.startsWith("08")) << context;
        ASSERT_EQ(view.notices.size(), 1u) << context;
        if (row.refusal.isEmpty()) {
            EXPECT_EQ(qry.sent.size(), qry.sent.contains(headers) ? 6 : 5) << context;
            continue;
        }
        EXPECT_EQ(qry.sent, QStringList({"SELECT GETDATE()", headers})) << context;
        EXPECT_EQ(view.lines, QStringList{Connect + Ok}) << context;
        EXPECT_TRUE(
            view.notices[0].first.startsWith("恢复过程出错,具体错误信息是:\r\r" + row.refusal))
            << view.notices[0].first.toStdString();
    }
}

TEST(RestoreRun, DataFilesAttachTheFileAndItsLog) {
    FakeQueryClient qry;
    RecordingView view;
    RestoreRequest r = request(SourceKind::DataFiles);

    EXPECT_TRUE(RestoreRun(qry, view).run(r).succeeded());

    EXPECT_EQ(qry.sent, QStringList({"SELECT GETDATE()",
                                     "exec sp_attach_db N'NewDB' , N'/old/Shop_Data.mdf', "
                                     "N'/old/Shop_Log.LDF'",
                                     UsersRead}));
    EXPECT_EQ(view.lines, QStringList({Connect + Ok, Attach + Ok}));
    ASSERT_EQ(view.notices.size(), 1u);
    EXPECT_EQ(view.notices[0].second, NoticeKind::Information);
    EXPECT_EQ(view.outerWidth, WidenedWindowWidth);
}

// A newer server upgrades attached files for good, so it is asked first; 否 ends the run without a
// notice or a change. A log only the server can see is looked for there before the attach.
TEST(RestoreRun, AttachSendsWhatEachServerNeedsAndAsksBeforeAnUpgrade) {
    const QString Attach2000 =
        "exec sp_attach_db N'NewDB' , N'/old/Shop_Data.mdf', N'/old/Shop_Log.LDF'";
    const struct {
        const char* name;
        QString version;
        bool rebuildLog;
        std::deque<bool> answers;
        QStringList sent; // after the connection test
        RunOutcome::Kind kind;
        bool asked;
    } rows[] = {
        {"2000", "8.00.2039", false, {}, {Attach2000}, RunOutcome::Kind::Succeeded, false},
        {"2008, 否", "10.00.5500", false, {false}, {}, RunOutcome::Kind::Refused, true},
        {"2008, 是", "10.00.5500", false, {true}, {Attach2000}, RunOutcome::Kind::Succeeded, true},
        {"2000, new log",
         "8.00.2039",
         true,
         {},
         {"exec sp_attach_single_file_db N'NewDB' , N'/old/Shop_Data.mdf'"},
         RunOutcome::Kind::Succeeded,
         false},
        {"2008, new log",
         "10.00.5500",
         true,
         {true},
         {"CREATE DATABASE [NewDB] ON (FILENAME = N'/old/Shop_Data.mdf') FOR ATTACH_REBUILD_LOG"},
         RunOutcome::Kind::Succeeded,
         true},
    };
    for (const auto& row : rows) {
        FakeQueryClient qry;
        qry.version = row.version;
        RecordingView view;
        view.answers = row.answers;
        RestoreRequest r = request(SourceKind::DataFiles);
        r.rebuildLog = row.rebuildLog;

        const RunOutcome outcome = RestoreRun(qry, view).run(r);

        EXPECT_EQ(outcome.kind, row.kind) << row.name;
        EXPECT_EQ(outcome.upgradeDeclined, row.kind == RunOutcome::Kind::Refused) << row.name;
        const bool succeeded = row.kind == RunOutcome::Kind::Succeeded;
        EXPECT_EQ(qry.sent, QStringList{"SELECT GETDATE()"} + row.sent +
                                (succeeded ? QStringList{UsersRead} : QStringList{}))
            << row.name << ": " << qry.sent.join("|").toStdString();
        ASSERT_EQ(view.notices.size(), std::size_t(row.asked) + std::size_t(succeeded)) << row.name;
        if (row.asked) {
            EXPECT_EQ(view.notices[0].second, NoticeKind::Question) << row.name;
            EXPECT_TRUE(view.notices[0].first.startsWith("服务器 SQL Server 2008 (10.0.5500) "))
                << view.notices[0].first.toStdString();
            EXPECT_TRUE(view.notices[0].first.contains("SQL Server 2000 再也不能打开它们"));
        }
        EXPECT_EQ(view.lines.size(), succeeded ? 2 : 1) << row.name;
    }
}

TEST(RestoreRun, ALogOnlyTheServerSeesIsLookedForThereBeforeTheAttach) {
    FakeQueryClient qry;
    qry.version = "10.00.5500";
    qry.rows = {{{"FILE EXISTS", "0"}, {"FILE IS A DIRECTORY", "0"}}};
    RecordingView view;
    view.answers = {true};
    RestoreRequest r = request(SourceKind::DataFiles);
    r.sourcePath = R"(D:\old\Shop_Data.mdf)";
    r.logSourcePath = logSourcePath(r.sourcePath);
    if (!platform::isServerOnlyPath(r.sourcePath)) {
        GTEST_SKIP() << "a Windows path is this machine's own here";
    }

    const RunOutcome outcome = RestoreRun(qry, view).run(r);

    EXPECT_EQ(outcome.kind, RunOutcome::Kind::Refused);
    ASSERT_TRUE(outcome.refusal.has_value());
    EXPECT_EQ(outcome.refusal->reason, Refusal::Reason::NoLogFile);
    EXPECT_EQ(qry.sent, QStringList({"SELECT GETDATE()",
                                     R"(exec master..xp_fileexist N'D:\old\Shop_Log.LDF')"}));
    ASSERT_EQ(view.notices.size(), 1u);
    EXPECT_EQ(view.notices[0].first, "在相同目录中，找不到日志文件:" + r.logSourcePath);
    EXPECT_EQ(view.notices[0].second, NoticeKind::Error);
}

// A failure anywhere ends the run with one error notice carrying the client's text; only the
// database this run created is dropped after it, and the width stays.
TEST(RestoreRun, FailureAtEachStatementStopsThereWithOneNotice) {
    const struct {
        SourceKind kind;
        int failAt;
        QStringList lines;
    } rows[] = {
        {SourceKind::Backup, 0, {Connect}},
        {SourceKind::Backup, 1, {Connect + Ok}},
        {SourceKind::Backup, 2, {Connect + Ok, Create}},
        {SourceKind::Backup, 3, {Connect + Ok, Create + Ok, Restore, Drop + Ok}},
        {SourceKind::DataFiles, 0, {Connect}},
        {SourceKind::DataFiles, 1, {Connect + Ok, Attach}},
    };
    for (const auto& row : rows) {
        FakeQueryClient qry;
        qry.rows = shopFileList();
        qry.messages = {{3211, "40 percent restored."}}; // the restore line still reads as before
        qry.failAtStatement = row.failAt;
        qry.failure = "Login failed for user 'sa'";
        answerAsTheServer(qry);
        RecordingView view;
        RestoreRequest r = request(row.kind);

        const RunOutcome outcome = RestoreRun(qry, view).run(r);

        const std::string where =
            "kind " + std::to_string(int(row.kind)) + " failing at " + std::to_string(row.failAt);
        // Until the create or the attach is sent nothing changes: a refusal, not a failure.
        EXPECT_EQ(outcome.kind,
                  row.lines.size() > 1 ? RunOutcome::Kind::Failed : RunOutcome::Kind::Refused)
            << where;
        EXPECT_EQ(outcome.whileConnecting, row.failAt == 0) << where;
        EXPECT_EQ(outcome.message, "Login failed for user 'sa'") << where;
        const bool drops = row.lines.last() == Drop + Ok;
        EXPECT_EQ(qry.sent.size(), row.failAt + (drops ? 3 : 1)) << where;
        EXPECT_EQ(qry.sent.last() == "DROP DATABASE [NewDB]", drops) << where;
        EXPECT_EQ(view.lines, row.lines) << where << ": " << view.lines.join("|").toStdString();
        ASSERT_EQ(view.notices.size(), 1u) << where;
        EXPECT_EQ(view.notices[0].first,
                  "恢复过程出错,具体错误信息是:\r\rLogin failed for user 'sa'");
        EXPECT_EQ(view.notices[0].second, NoticeKind::Error);
        EXPECT_EQ(view.outerWidth, 279) << where;
    }
}

// Every statement reports the same messages: only the restore's 3211 reports show, each as its
// first whole number, and the line reads as before once the statement has completed.
TEST(RestoreRun, RestoreLineShowsEachReportedPercentWhileTheStatementRuns) {
    FakeQueryClient qry;
    qry.rows = shopFileList();
    qry.messages = {{1805, "The CREATE DATABASE process is allocating 1.00 MB on disk 'Shop'."},
                    {3211, "10 percent restored."},
                    {3211, "已处理百分之 40。"},
                    {3211, "percent restored."},
                    {4035, "Processed 264 pages for database 'NewDB', file 'Shop' on file 1."}};
    RecordingView view;
    RestoreRequest r = request(SourceKind::Backup);

    EXPECT_TRUE(RestoreRun(qry, view).run(r).succeeded());

    EXPECT_EQ(view.painted, QStringList({Connect, Connect + Ok, Create, Create + Ok, Restore,
                                         Restore + " 10%", Restore + " 40%", Restore + Ok}))
        << view.painted.join("|").toStdString();
    EXPECT_EQ(view.lines, QStringList({Connect + Ok, Create + Ok, Restore + Ok}));
}

// The drop goes out on the connection that created the database, after a cancel too; a lost
// connection or a refused drop leaves the line saying so, and the restore's notice stands.
TEST(RestoreRun, AFailedOrCancelledRestoreDropsTheDatabaseItCreated) {
    using Failure = FakeQueryClient::Failure;
    const struct {
        Failure failure;
        bool dropRefused;
        QString dropLine;
        CreatedDatabase left;
    } rows[] = {
        {Failure::Error, false, Drop + Ok, CreatedDatabase::Dropped},
        {Failure::Cancel, false, Drop + Ok, CreatedDatabase::Dropped},
        {Failure::Error, true, Drop + " Restore failed", CreatedDatabase::MayRemain},
        {Failure::ConnectionLost, false, Drop + " 连接已断开，数据库 NewDB 可能仍然存在。",
         CreatedDatabase::MayRemain},
    };
    for (const auto& row : rows) {
        FakeQueryClient qry;
        qry.rows = shopFileList();
        qry.failAtStatement = 3;
        qry.failureKind = row.failure;
        qry.alsoFailAt = row.dropRefused ? 5 : -1;
        qry.failure = "Restore failed";
        answerAsTheServer(qry);
        RecordingView view;
        RestoreRequest r = request(SourceKind::Backup);
        RestoreRun run(qry, view);

        if (row.failure == Failure::Cancel) {
            EXPECT_THROW(run.run(r).succeeded(), FakeQueryClient::Cancelled);
            EXPECT_TRUE(view.notices.empty());
        } else {
            EXPECT_FALSE(run.run(r).succeeded());
            ASSERT_EQ(view.notices.size(), 1u);
            EXPECT_EQ(view.notices[0].first, "恢复过程出错,具体错误信息是:\r\rRestore failed");
        }
        const std::string where = view.lines.join("|").toStdString();
        EXPECT_EQ(view.lines, QStringList({Connect + Ok, Create + Ok, Restore, row.dropLine}))
            << where;
        EXPECT_EQ(qry.sent.last(),
                  row.failure == Failure::ConnectionLost ? restoreOf(r) : "DROP DATABASE [NewDB]")
            << where;
        EXPECT_EQ(run.createdDatabase(), row.left) << where;
    }
}

// A server restart between runs kills the kept connection: only the connection test is sent again.
TEST(RestoreRun, OnlyTheConnectionTestIsRepeatedAfterLosingTheKeptConnection) {
    const struct {
        int failAt;
        bool succeeds;
        qsizetype sent;
    } rows[] = {{0, true, 6}, {1, false, 2}, {2, false, 3}};
    for (const auto& row : rows) {
        FakeQueryClient qry;
        qry.rows = shopFileList();
        qry.failAtStatement = row.failAt;
        qry.failureLosesKeptConnection = true;
        qry.failure = "Unknown error";
        RecordingView view;
        RestoreRequest r = request(SourceKind::Backup);

        EXPECT_EQ(RestoreRun(qry, view).run(r).succeeded(), row.succeeds)
            << "failing at " << row.failAt;
        EXPECT_EQ(qry.sent.size(), row.sent) << qry.sent.join("|").toStdString();
        EXPECT_EQ(qry.sent.count("SELECT GETDATE()"), row.failAt == 0 ? 2 : 1);
        ASSERT_EQ(view.notices.size(), 1u);
    }
}

TEST(RestoreRun, FileListRowsInAnyOrderYieldTheDataAndLogNames) {
    const FakeQueryClient::Row rows[] = {fileRow("Shop_Data", "D"), fileRow("Shop_Log", "L"),
                                         fileRow("Shop_FT", "F")};
    std::array<int, 3> order = {0, 1, 2};
    do {
        FakeQueryClient qry;
        for (int index : order) {
            qry.rows.push_back(rows[index]);
        }
        RecordingView view;
        RestoreRequest r = request(SourceKind::Backup);
        EXPECT_TRUE(RestoreRun(qry, view).run(r).succeeded());
        EXPECT_TRUE(qry.sent.contains(
            createStatement(r, {"Shop_Data", "Shop_Log", {{"Shop_FT", "F"}}, {}})))
            << qry.sent.join("\n").toStdString();
        EXPECT_TRUE(qry.sent.at(qry.sent.size() - 2)
                        .endsWith(",  MOVE N'Shop_FT' TO N'/data/NewDB_Shop_FT'"))
            << qry.sent.join("\n").toStdString();
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST(RestoreRun, LastRowOfATypeWinsAndTypesCompareExactly) {
    FakeQueryClient qry;
    qry.rows = {fileRow("First_Data", "D"), fileRow("lower", "d"), fileRow("Log", "L"),
                fileRow("Padded", "D "), fileRow("Second_Data", "D")};
    RecordingView view;
    RestoreRequest r = request(SourceKind::Backup);
    EXPECT_TRUE(RestoreRun(qry, view).run(r).succeeded());
    const BackupContents expected{
        "Second_Data", "Log", {{"First_Data", "D"}, {"lower", "d"}, {"Padded", "D "}}, {}};
    EXPECT_TRUE(qry.sent.contains(createStatement(r, expected)))
        << qry.sent.join("\n").toStdString();
}

// Only the restore makes a full-text catalog, and its REPLACE would overwrite what lies there.
// Data and log targets are left to the create, which the server refuses when one exists.
TEST(RestoreRun, AnExistingCatalogTargetEndsTheRunBeforeTheCreate) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    QFile(directory.filePath("NewDB_Shop_Log2.LDF")).open(QIODevice::WriteOnly);
    const QString existing = directory.filePath("NewDB_Shop_FT");
    QFile file(existing);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    FakeQueryClient qry;
    qry.rows = {fileRow("Shop_Data", "D"), fileRow("Shop_FT", "F"), fileRow("Shop_Log2", "L"),
                fileRow("Shop_Log", "L")};
    RecordingView view;
    RestoreRequest r = request(SourceKind::Backup);
    r.directory = directory.path() + "/";

    EXPECT_FALSE(RestoreRun(qry, view).run(r).succeeded());

    EXPECT_EQ(qry.sent.size(), 2) << qry.sent.join("\n").toStdString();
    EXPECT_EQ(view.lines, QStringList({Connect + Ok}));
    ASSERT_EQ(view.notices.size(), 1u);
    EXPECT_EQ(view.notices[0].first, "恢复过程出错,具体错误信息是:\r\r目标文件已存在:" + existing);
    EXPECT_EQ(view.notices[0].second, NoticeKind::Error);
}

TEST(RestoreRun, MissingLogOrDataNameEndsWithoutCreating) {
    const std::vector<FakeQueryClient::Row> lists[] = {
        {fileRow("Shop_Data", "D")},
        {fileRow("Shop_Log", "L"), fileRow("Shop_FT", "F")},
        {fileRow("", "D"), fileRow("Shop_Log", "L")},
        {},
    };
    for (const auto& list : lists) {
        FakeQueryClient qry;
        qry.rows = list;
        RecordingView view;
        RestoreRequest r = request(SourceKind::Backup);

        EXPECT_FALSE(RestoreRun(qry, view).run(r).succeeded());

        EXPECT_EQ(qry.sent.size(), 2) << qry.sent.join("\n").toStdString();
        EXPECT_EQ(view.lines, QStringList({Connect + Ok}));
        ASSERT_EQ(view.notices.size(), 1u);
        EXPECT_EQ(view.notices[0].first, "恢复过程出错,无法读到逻辑数据和日志的名称.");
        EXPECT_EQ(view.notices[0].second, NoticeKind::Error);
        EXPECT_EQ(view.outerWidth, 279);
    }
}

TEST(RestoreRun, MissingColumnIsReportedThroughTheErrorNotice) {
    FakeQueryClient qry;
    qry.rows = {{{"NAME", "Shop_Data"}}};
    RecordingView view;
    RestoreRequest r = request(SourceKind::Backup);

    EXPECT_FALSE(RestoreRun(qry, view).run(r).succeeded());

    EXPECT_EQ(qry.sent.size(), 2);
    ASSERT_EQ(view.notices.size(), 1u);
    EXPECT_EQ(view.notices[0].first, "恢复过程出错,具体错误信息是:\r\rqry: Field 'Type' not found");
}

TEST(RestoreRun, ASecondRunStartsFromAClearedProgressAreaAndKeepsTheWidth) {
    FakeQueryClient qry;
    qry.rows = shopFileList();
    RecordingView view;
    RestoreRequest r = request(SourceKind::Backup);
    ASSERT_TRUE(RestoreRun(qry, view).run(r).succeeded());

    qry.failAtStatement = static_cast<int>(qry.sent.size());
    EXPECT_FALSE(RestoreRun(qry, view).run(r).succeeded());
    EXPECT_EQ(view.lines, QStringList({Connect}));
    EXPECT_EQ(view.outerWidth, WidenedWindowWidth);
}

// A sequence is done only when the server says the database is online: a stop point past the last
// log's end leaves it loading with an informational 4327, and the database this run made is
// dropped.
TEST(RestoreRun, ASequenceSucceedsOnlyWhenTheServerSaysTheDatabaseIsOnline) {
    const QString leftLoading = QStringLiteral(
        "This log file contains records logged before the designated mark. The database is being "
        "left in load state so you can apply another log file.");
    const struct {
        QString state;
        bool reports4327;
        QString failure; // empty: success
    } rows[] = {
        {"ONLINE", false, {}},
        {"RESTORING", false,
         QStringLiteral("恢复结束后数据库 NewDB 的状态是 RESTORING，而不是 ONLINE。")},
        {"RESTORING", true, leftLoading},
        {"ONLINE", true, leftLoading},
    };
    for (const auto& row : rows) {
        FakeQueryClient qry;
        qry.rows = shopFileList();
        answerAsTheServer(qry, row.state);
        if (row.reports4327) {
            qry.messages = {{4327, leftLoading}};
        }
        RecordingView view;
        RestoreRequest r = request(SourceKind::Backup);
        const std::string where = (row.state + (row.reports4327 ? " with 4327" : "")).toStdString();

        EXPECT_EQ(RestoreRun(qry, view).run(r, sequencePlan()).succeeded(), row.failure.isEmpty())
            << where;

        ASSERT_EQ(view.notices.size(), 1u) << where;
        if (row.failure.isEmpty()) {
            EXPECT_EQ(qry.sent.mid(qry.sent.size() - 2),
                      QStringList({databaseStateStatement(r.databaseName), UsersRead}))
                << where;
            EXPECT_EQ(view.notices[0].second, NoticeKind::Information) << where;
            continue;
        }
        EXPECT_EQ(view.notices[0].first, "恢复过程出错,具体错误信息是:\r\r" + row.failure) << where;
        EXPECT_EQ(qry.sent.last(), "DROP DATABASE [NewDB]") << where;
        EXPECT_EQ(view.lines.last(), Drop + Ok) << where;
    }
}

// Before the drop the files of the database of that name are read: one another session made under
// the name meanwhile is left alone, and the line and the notice say so and why the run failed.
TEST(RestoreRun, TheCleanUpDropsOnlyADatabaseWhoseFilesAreThisRunsTargets) {
    const struct {
        QStringList files;
        bool drops;
    } rows[] = {
        {{"/data/NewDB_Data.MDF", "/data/NewDB_Log.LDF"}, true},
        // SQL Server 2000 pads its nchar(260); a Windows server takes any case and separator.
        {{"/DATA/newdb_data.mdf" + QString(200, u' '), "\\data\\NewDB_Log.LDF"}, true},
        {{"/var/opt/mssql/data/NewDB.mdf", "/var/opt/mssql/data/NewDB_log.ldf"}, false},
        {{"/data/NewDB_Data.MDF", "/elsewhere/NewDB_log.ldf"}, false},
        {{}, false},
    };
    for (const auto& row : rows) {
        FakeQueryClient qry;
        qry.rows = shopFileList();
        qry.failAtStatement = 3;
        qry.failure = "Restore failed";
        answerAsTheServer(qry, "ONLINE", row.files);
        RecordingView view;
        RestoreRequest r = request(SourceKind::Backup);
        RestoreRun run(qry, view);
        const std::string where = row.files.join("|").toStdString();

        EXPECT_FALSE(run.run(r).succeeded()) << where;

        EXPECT_EQ(qry.sent.contains("DROP DATABASE [NewDB]"), row.drops) << where;
        EXPECT_EQ(qry.sent.at(4), databaseFilesStatement(r.databaseName)) << where;
        EXPECT_EQ(view.lines.last(),
                  row.drops
                      ? Drop + Ok
                      : Drop + QStringLiteral(" 数据库 NewDB 已不是本次恢复创建的数据库，未删除。"))
            << where;
        EXPECT_EQ(run.createdDatabase(),
                  row.drops ? CreatedDatabase::Dropped : CreatedDatabase::Replaced)
            << where;
        ASSERT_EQ(view.notices.size(), 1u) << where;
        EXPECT_EQ(view.notices[0].first, "恢复过程出错,具体错误信息是:\r\rRestore failed") << where;
    }
}

// A create or an attach cut off by a cancel or a lost connection may have made the database; an
// error the server answered made none.
TEST(RestoreRun, ACreateOrAttachCutOffSaysTheDatabaseMayExist) {
    using Failure = FakeQueryClient::Failure;
    const struct {
        SourceKind kind;
        Failure failure;
        CreatedDatabase left;
    } rows[] = {
        {SourceKind::Backup, Failure::Error, CreatedDatabase::None},
        {SourceKind::Backup, Failure::Cancel, CreatedDatabase::MayExist},
        {SourceKind::Backup, Failure::ConnectionLost, CreatedDatabase::MayExist},
        {SourceKind::DataFiles, Failure::Cancel, CreatedDatabase::MayExist},
        {SourceKind::DataFiles, Failure::ConnectionLost, CreatedDatabase::MayExist},
    };
    for (const auto& row : rows) {
        FakeQueryClient qry;
        qry.rows = shopFileList();
        qry.failAtStatement = row.kind == SourceKind::Backup ? 2 : 1;
        qry.failureKind = row.failure;
        RecordingView view;
        RestoreRequest r = request(row.kind);
        RestoreRun run(qry, view);
        const std::string where = "kind " + std::to_string(int(row.kind)) + " failure " +
                                  std::to_string(int(row.failure));

        if (row.failure == Failure::Cancel) {
            EXPECT_THROW(run.run(r).succeeded(), FakeQueryClient::Cancelled) << where;
        } else {
            EXPECT_FALSE(run.run(r).succeeded()) << where;
        }

        EXPECT_EQ(run.createdDatabase(), row.left) << where;
        EXPECT_EQ(qry.sent.size(), qry.failAtStatement + 1) << where;
        EXPECT_EQ(view.lines.last().endsWith(QStringLiteral("数据库 NewDB 可能仍然存在。")),
                  row.failure == Failure::ConnectionLost)
            << where << ": " << view.lines.join("|").toStdString();
    }
}

// Ctrl-C while the failed restore's database is dropped: the reason the restore failed is shown.
TEST(RestoreRun, ACancelledCleanUpStillShowsWhyTheRestoreFailed) {
    FakeQueryClient qry;
    qry.rows = shopFileList();
    qry.alsoFailAt = 3;
    qry.failure = "Restore failed";
    qry.failAtStatement = 5;
    qry.failureKind = FakeQueryClient::Failure::Cancel;
    answerAsTheServer(qry);
    RecordingView view;
    RestoreRequest r = request(SourceKind::Backup);

    EXPECT_THROW(RestoreRun(qry, view).run(r).succeeded(), FakeQueryClient::Cancelled);

    EXPECT_EQ(qry.sent.last(), "DROP DATABASE [NewDB]");
    ASSERT_EQ(view.notices.size(), 1u);
    EXPECT_EQ(view.notices[0].first, "恢复过程出错,具体错误信息是:\r\rRestore failed");
}

// A log made by a newer server than the one restoring is refused before the create, as the full
// backup is; SQL Server 2000 is sent nothing new.
TEST(RestoreRun, EveryPlannedSetsVersionIsCheckedBeforeTheCreate) {
    for (const QString server : {"08.00.2039", "11.00.7001"}) {
        FakeQueryClient qry;
        qry.version = server;
        qry.rows = shopFileList();
        const auto header = [](int position, const QString& major) {
            return headerRow(position, major + ".0.2000");
        };
        qry.answers["RESTORE HEADERONLY FROM  DISK = N'/bak/Shop.bak'"] = {header(1, "11")};
        qry.answers["RESTORE HEADERONLY FROM  DISK = N'/bak/log.trn'"] = {header(1, "11"),
                                                                          header(2, "12")};
        answerAsTheServer(qry);
        RecordingView view;
        RestoreRequest r = request(SourceKind::Backup);
        RestorePlan plan = sequencePlan();
        plan.steps.append(plannedSet("/bak/log.trn", 2, BackupSetType::Log));
        const bool newer = server.startsWith("11");

        EXPECT_EQ(RestoreRun(qry, view).run(r, plan).succeeded(), !newer) << server.toStdString();

        if (newer) {
            EXPECT_EQ(qry.sent, QStringList({"SELECT GETDATE()",
                                             "RESTORE HEADERONLY FROM  DISK = N'/bak/Shop.bak'",
                                             "RESTORE HEADERONLY FROM  DISK = N'/bak/log.trn'"}));
            ASSERT_EQ(view.notices.size(), 1u);
            EXPECT_TRUE(view.notices[0].first.contains("SQL Server 2014 (12.0.2000)"))
                << view.notices[0].first.toStdString();
        } else {
            EXPECT_TRUE(qry.sent.filter("HEADERONLY").isEmpty());
        }
    }
}

// A file added between the full backup and a later set is in that set's file list only: it is moved
// into the target folder by its own step, and neither created nor moved by the full backup's.
TEST(RestoreRun, AFileOnlyALaterSetHoldsIsMovedIntoTheTargetFolderByItsStep) {
    FakeQueryClient qry;
    qry.rows = shopFileList();
    qry.answers["RESTORE FILELISTONLY FROM  DISK = N'/bak/diff.bak'"] = {
        fileRow("Shop_Data", "D"), fileRow("shop_log", "L"), fileRow("Added", "D")};
    answerAsTheServer(qry);
    RecordingView view;
    RestoreRequest r = request(SourceKind::Backup);
    RestorePlan plan = sequencePlan();
    plan.steps.insert(1, plannedSet("/bak/diff.bak", 1, BackupSetType::Differential));

    EXPECT_TRUE(RestoreRun(qry, view).run(r, plan).succeeded());

    const QString move = QStringLiteral(",  MOVE N'Added' TO N'/data/NewDB_Added.NDF'");
    EXPECT_TRUE(qry.sent.contains("RESTORE FILELISTONLY FROM  DISK = N'/bak/log.trn'"));
    const QStringList creates = qry.sent.filter("CREATE DATABASE");
    ASSERT_EQ(creates.size(), 1);
    EXPECT_FALSE(creates[0].contains("Added")) << creates[0].toStdString();
    const QStringList restores = qry.sent.filter(QRegularExpression("^RESTORE (DATABASE|LOG)"));
    ASSERT_EQ(restores.size(), 3) << qry.sent.join("\n").toStdString();
    EXPECT_FALSE(restores[0].contains("Added")) << restores[0].toStdString();
    EXPECT_TRUE(restores[1].endsWith("NORECOVERY" + move)) << restores[1].toStdString();
    EXPECT_FALSE(restores[2].contains("Added")) << restores[2].toStdString();
}

// The connection a restore leaves: the fake answers its first statement as a connection test.
void connectAfterARestore(FakeQueryClient& qry) {
    qry.setStatement(connectionTestStatement());
    qry.open();
    qry.calls.clear();
}

// SQL Server 2000 takes neither moves nor checksums; a later server takes the moves of each step's
// restore, and CHECKSUM only for a set whose header says it has them.
TEST(AfterRestoreChecks, VerificationTakesWhatTheServerAndEachSetHave) {
    const QString full = "RESTORE VERIFYONLY FROM DISK = N'/bak/Shop.bak' WITH FILE = 1";
    const QString moves = ", MOVE N'Shop_Data' TO N'/data/NewDB_Data.MDF', MOVE N'Shop_Log' TO "
                          "N'/data/NewDB_Log.LDF'";
    const QString log = "RESTORE VERIFYONLY FROM DISK = N'/bak/log.trn' WITH FILE = 1";
    const struct {
        QString server;
        QString madeBy;
        QString checksums;
        QStringList verified;
        QString words;
    } rows[] = {
        {"08.00.2039", "8.0.2039", "", {full, log}, "SQL Server 2000 verifies none"},
        {"10.00.5500", "8.0.2039", "0", {full + moves, log}, "a SQL Server 2000 backup carries"},
        {"10.00.5500",
         "10.0.5500",
         "1",
         {full + moves + ", CHECKSUM", log + ", CHECKSUM"},
         "checksums; not verified: the structure"},
    };
    for (const auto& row : rows) {
        FakeQueryClient qry;
        qry.version = row.server;
        FakeQueryClient::Row header = headerRow(1, row.madeBy);
        header.insert("HASBACKUPCHECKSUMS", row.checksums);
        qry.answers["RESTORE HEADERONLY"] = {header};
        connectAfterARestore(qry);
        RecordingView view;

        AfterRestoreChecks(qry, view).verifySets(request(SourceKind::Backup), ShopContents,
                                                 sequencePlan());

        EXPECT_EQ(qry.sent.filter("VERIFYONLY"), row.verified) << qry.sent.join("\n").toStdString();
        EXPECT_EQ(qry.sent.filter("HEADERONLY").size(), row.server.startsWith("08") ? 0 : 2);
        EXPECT_TRUE(view.lines.join("\n").contains(row.words))
            << view.lines.join("\n").toStdString();
    }
}

// The errors a check reports are its findings, named by number; a check that fails without any
// did not run, and says why.
TEST(AfterRestoreChecks, ConsistencyErrorsAreCollectedAndEachVersionGetsItsChecks) {
    for (const QString server : {"08.00.2039", "10.00.5500"}) {
        FakeQueryClient qry;
        qry.version = server;
        qry.messages = {{2536, "DBCC results for 'NewDB'."},
                        {2570, "Column value is out of range", true},
                        {8992, "Check Catalog Msg 3853", true}};
        qry.failAtStatement = 1;
        connectAfterARestore(qry);
        RecordingView view;

        const QList<int> errors = AfterRestoreChecks(qry, view).checkConsistency("NewDB");

        const bool later = server.startsWith("10");
        const QStringList checks =
            later ? QStringList{"DBCC CHECKDB (N'NewDB') WITH DATA_PURITY"}
                  : QStringList{"DBCC CHECKDB (N'NewDB')", "DBCC CHECKCATALOG (N'NewDB')"};
        const QList<int> found =
            later ? QList<int>{2570, 8992} : QList<int>{2570, 8992, 2570, 8992};
        EXPECT_EQ(qry.sent.mid(1), checks);
        EXPECT_EQ(errors, found);
        EXPECT_FALSE(view.lines.join("\n").contains(" OK！"));
        EXPECT_TRUE(view.lines.contains("    错误 error 2570: Column value is out of range"));
    }
    FakeQueryClient broken;
    broken.version = "10.00.5500";
    broken.failAtStatement = 1;
    connectAfterARestore(broken);
    RecordingView view;
    EXPECT_THROW(AfterRestoreChecks(broken, view).checkConsistency("NewDB"), db::QueryError);
}

// Each version raises the level with the statement it has, and only what is left is done.
TEST(AfterRestoreChecks, FinishingDoesWhatIsLeftWithEachVersionsStatements) {
    const QString usage = "DBCC UPDATEUSAGE (N'NewDB')";
    const struct {
        QString server;
        QString level;
        QString pageVerify;
        QStringList changes;
    } rows[] = {
        {"09.00.5000",
         "80",
         "TORN_PAGE_DETECTION",
         {"EXEC sp_dbcmptlevel N'NewDB', 90", "ALTER DATABASE [NewDB] SET PAGE_VERIFY CHECKSUM",
          usage}},
        {"10.50.6000",
         "80",
         "CHECKSUM",
         {"ALTER DATABASE [NewDB] SET COMPATIBILITY_LEVEL = 100", usage}},
        {"11.00.7001", "110", "CHECKSUM", {usage}},
    };
    for (const auto& row : rows) {
        FakeQueryClient qry;
        qry.version = row.server;
        qry.answers["SELECT compatibility_level"] = {
            {{"COMPATIBILITY_LEVEL", row.level}, {"PAGE_VERIFY_OPTION_DESC", row.pageVerify}}};
        connectAfterARestore(qry);
        RecordingView view;

        EXPECT_TRUE(AfterRestoreChecks(qry, view).finishUpgrade("NewDB"));

        EXPECT_EQ(qry.calls.filter("execute:").replaceInStrings("execute:", ""), row.changes);
        EXPECT_EQ(view.lines.join("\n").contains("nothing to do"), row.changes.size() == 1)
            << view.lines.join("\n").toStdString();
    }
    FakeQueryClient old;
    old.version = "08.00.2039";
    RecordingView view;
    EXPECT_FALSE(AfterRestoreChecks(old, view).finishUpgrade("NewDB"));
    EXPECT_TRUE(old.sent.isEmpty());
}

// The restore stands whatever follows it: the users it found are named before the notice, a
// user without a login of its name is left to the operator, and a refused step is told and left
// to do, not undone.
TEST(RestoreRun, AfterTheRestoreOrphansAreNamedAndARefusedStepIsLeftToDo) {
    FakeQueryClient qry;
    qry.rows = shopFileList();
    qry.version = "08.00.2039";
    qry.answers["SELECT u.uid, u.name"] = {
        {{"UID", "5"}, {"NAME", "appuser"}, {"SID", "0a0a"}, {"SAMENAME", "appuser"}},
        {{"UID", "6"}, {"NAME", "report"}, {"SID", "0b0b"}, {"SAMENAME", ""}},
        {{"UID", "1"}, {"NAME", "dbo"}, {"SID", "0c0c"}, {"SAMENAME", ""}}};
    qry.failAtStatement = 6; // the owner's
    RecordingView view;
    RestoreRequest r = request(SourceKind::Backup);
    r.fixUsers = true;
    r.newOwner = "appuser";

    const RunOutcome outcome = RestoreRun(qry, view).run(r);

    EXPECT_TRUE(outcome.succeeded());
    EXPECT_EQ(qry.sent.mid(4),
              QStringList({databaseUsersStatement("NewDB"),
                           "EXEC [NewDB]..sp_change_users_login 'Update_One', N'appuser', "
                           "N'appuser'",
                           "EXEC [NewDB]..sp_changedbowner N'appuser'"}));
    EXPECT_EQ(view.lines.mid(3),
              QStringList({QStringLiteral("孤立用户: appuser（有同名登录）, report（无登录）; "
                                          "所有者: dbo（无登录，SID 0x0C0C）"),
                           QStringLiteral("正在将用户 appuser 映射到同名登录...") + Ok,
                           QStringLiteral("正在将数据库所有者改为 appuser... boom")}));
    ASSERT_EQ(view.notices.size(), 1u);
    EXPECT_EQ(view.notices[0].second, NoticeKind::Information);
    ASSERT_EQ(outcome.leftToDo.size(), 2);
    EXPECT_EQ(outcome.leftToDo[0].kind, LeftToDo::Kind::NoLogin);
    EXPECT_EQ(outcome.leftToDo[0].detail, "0B0B");
    EXPECT_EQ(outcome.leftToDo[1].kind, LeftToDo::Kind::OwnerNotSet);
    EXPECT_EQ(outcome.created, CreatedDatabase::None);
}

// The database is restored when its users cannot be read: the run says so and keeps it.
TEST(RestoreRun, AUsersReadTheServerRefusesLeavesTheRestoredDatabaseStanding) {
    FakeQueryClient qry;
    qry.rows = shopFileList();
    qry.failAtStatement = 4;
    RecordingView view;

    const RunOutcome outcome = RestoreRun(qry, view).run(request(SourceKind::Backup));

    EXPECT_TRUE(outcome.succeeded());
    EXPECT_EQ(qry.sent.size(), 5) << qry.sent.join("\n").toStdString();
    EXPECT_EQ(view.lines.last(), QStringLiteral("无法读取数据库用户: boom"));
    ASSERT_EQ(view.notices.size(), 1u);
    EXPECT_EQ(view.notices[0].second, NoticeKind::Information);
    ASSERT_EQ(outcome.leftToDo.size(), 1);
    EXPECT_EQ(outcome.leftToDo[0].kind, LeftToDo::Kind::UsersNotRead);
}
