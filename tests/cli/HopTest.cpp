#include "CliProcess.h"
#include "QtPrinters.h"
#include "StandinProcess.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace {

// What changes a server, in the order sent; reads and checks are left out.
const QRegularExpression
    Changes(QStringLiteral("^(CREATE|RESTORE DATABASE|RESTORE LOG|RESTORE "
                           "VERIFYONLY|DBCC|BACKUP|DROP|EXEC master.dbo.xp_delete_file)"));

QStringList changesSent(const quarn_test::StandinProcess& server) {
    static const QRegularExpression time(QStringLiteral("_hop_[0-9]{14}"));
    QStringList changes;
    for (QString batch : server.batches().filter(Changes)) {
        changes << batch.replace(time, QStringLiteral("_hop_")).trimmed().section(u' ', 0, 2);
    }
    return changes;
}

// A SQL Server 2000 backup restored on a 2019 server through a 2008 R2 one, the two servers
// seeing one folder as \\nas\hop, as two Windows servers see a share.
class HopAcrossTwoServers : public ::testing::Test {
protected:
    void SetUp() override {
        if (quarn_test::StandinProcess::binary().isEmpty()) {
            GTEST_SKIP() << "the stand-in was not built";
        }
    }

    bool start(const QString& hopVersion, const QString& targetVersion,
               const QStringList& hopFaults = {}, const QStringList& targetFaults = {},
               const QString& hopEdition = {}, bool targetSeesShare = true) {
        // Each start is a pair of fresh servers and an empty share.
        share = std::make_unique<QTemporaryDir>();
        hopServer = std::make_unique<quarn_test::StandinProcess>();
        targetServer = std::make_unique<quarn_test::StandinProcess>();
        const QString mapping = QStringLiteral("\\\\nas\\hop=") + share->path();
        if (!hop().start({.faults = hopFaults,
                          .drives = {mapping},
                          .version = hopVersion,
                          .edition = hopEdition}) ||
            !target().start({.faults = targetFaults,
                             .drives = targetSeesShare ? QStringList{mapping} : QStringList{},
                             .version = targetVersion})) {
            return false;
        }
        backup = hop().scratch() + "/Shop.bak";
        return hop().makeBackup(backup, "Shop", {"D:Shop_Data:1M", "L:Shop_Log:64K"});
    }

    quarn_test::StandinProcess& hop() const { return *hopServer; }
    quarn_test::StandinProcess& target() const { return *targetServer; }

    QStringList arguments(const QStringList& more = {}) const {
        return QStringList{
                   "--server",   target().dataSource(),
                   "--user",     "sa",
                   "--via",      hop().dataSource(),
                   "--via-user", "sa",
                   "--share",    "\\\\nas\\hop\\",
                   "--backup",   backup,
                   "--name",     "Moved",
                   "--dir",      target().scratch() + "/data",
               } +
               more;
    }

    // Nothing of the run on the hop or the share, nor an unfinished database on the target.
    void expectNothingLeft(const Outcome& outcome, bool onTarget) const {
        EXPECT_FALSE(hop().catalogueText().contains("db Moved_hop_")) << describe(outcome);
        EXPECT_TRUE(QDir(share->path()).isEmpty(QDir::Files)) << describe(outcome);
        if (!onTarget) {
            EXPECT_FALSE(target().catalogueText().contains("db Moved")) << describe(outcome);
        }
    }

    std::unique_ptr<QTemporaryDir> share;
    std::unique_ptr<quarn_test::StandinProcess> hopServer;
    std::unique_ptr<quarn_test::StandinProcess> targetServer;
    QString backup;
};

} // namespace

TEST_F(HopAcrossTwoServers, ASql2000BackupArrivesOnlineAtTheTargetsLevelAndNothingStaysBehind) {
    const struct {
        QString target;
        QString level;
    } rows[] = {{"2019", "100"}, {"2012", "90"}};
    for (const auto& row : rows) {
        ASSERT_TRUE(start("2008R2", row.target)) << hop().errorString().toStdString();
        ASSERT_TRUE(QDir().mkpath(hop().scratch() + "/hop"));
        const Outcome outcome = runCli(arguments({"--via-dir", hop().scratch() + "/hop"}));

        ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
        EXPECT_TRUE(QDir(hop().scratch() + "/hop").isEmpty()) << "the scratch files stayed";
        EXPECT_TRUE(outcome.out.contains("compatibility level: " + row.level)) << describe(outcome);
        EXPECT_TRUE(outcome.out.contains("stage 6 of 6")) << describe(outcome);
        EXPECT_TRUE(outcome.out.contains("nothing this run made remains")) << describe(outcome);
        EXPECT_TRUE(target().catalogueText().contains("db Moved ONLINE")) << describe(outcome);
        expectNothingLeft(outcome, true);
        EXPECT_EQ(changesSent(hop()),
                  QStringList({"CREATE DATABASE [Moved_hop_]", "RESTORE DATABASE [Moved_hop_]",
                               "DBCC CHECKDB (N'Moved_hop_')", "BACKUP DATABASE [Moved_hop_]",
                               "DROP DATABASE [Moved_hop_]", "EXEC master.dbo.xp_delete_file 0,"}))
            << hop().batches().join("|").toStdString();
        EXPECT_EQ(changesSent(target()),
                  QStringList({"RESTORE VERIFYONLY FROM", "CREATE DATABASE [Moved]",
                               "RESTORE DATABASE [Moved]"}))
            << target().batches().join("|").toStdString();
        EXPECT_EQ(hop().batches().filter("BACKUP DATABASE").value(0).section(" WITH ", 1),
                  "COPY_ONLY, CHECKSUM, INIT, STATS = 10, COMPRESSION\r\n");
        EXPECT_TRUE(target().batches().filter("VERIFYONLY").value(0).contains("CHECKSUM"));
    }
}

// A chain to a point in time is restored on the hop; the target gets one backup of the result.
TEST_F(HopAcrossTwoServers, AChainToAPointInTimeArrivesAsOneBackup) {
    ASSERT_TRUE(start("2008R2", "2019")) << hop().errorString().toStdString();
    const QString chain = hop().scratch() + "/chain";
    ASSERT_TRUE(QDir().mkpath(chain));
    ASSERT_EQ(QProcess::execute(quarn_test::StandinProcess::binary(),
                                {"make-backup", chain, "--chain", "3", "--db", "Shop", "--file",
                                 "D:Shop_Data:64K", "--file", "L:Shop_Log:64K"}),
              0);
    backup = chain;
    const QString until =
        QDateTime::currentDateTime().addSecs(-90 * 60).toString("yyyy-MM-dd HH:mm:ss");
    const Outcome outcome = runCli(arguments({"--until", until}));

    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    const QStringList logs = hop().batches().filter("RESTORE LOG");
    ASSERT_EQ(logs.size(), 3) << hop().batches().join("|").toStdString();
    EXPECT_TRUE(logs.last().contains("STOPAT = N'" + until + "'")) << logs.last().toStdString();
    EXPECT_EQ(target().batches().filter("RESTORE DATABASE [Moved]").size(), 1);
    EXPECT_TRUE(target().batches().filter("RESTORE LOG").isEmpty());
    EXPECT_TRUE(target().catalogueText().contains("db Moved ONLINE")) << describe(outcome);
    expectNothingLeft(outcome, true);
}

// A failure after the hop's restore removes the scratch database and the backup file and names
// the stage; the target keeps nothing.
TEST_F(HopAcrossTwoServers, AFailureInAnyStageLeavesBothServersAndTheShareClean) {
    const struct {
        QStringList hopFaults;
        QStringList targetFaults;
        QString stage;
    } rows[] = {
        {{"inconsistent"}, {}, "stage 2 of 6"},
        {{}, {"drop:restore"}, "stage 5 of 6"},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(start("2008R2", "2019", row.hopFaults, row.targetFaults))
            << hop().errorString().toStdString();
        const Outcome outcome = runCli(arguments());

        EXPECT_EQ(outcome.exitCode, 1) << describe(outcome);
        EXPECT_TRUE(outcome.err.contains(row.stage)) << describe(outcome);
        expectNothingLeft(outcome, false);
        EXPECT_TRUE(outcome.err.contains("nothing this run made remains")) << describe(outcome);
    }
}

// Whatever the checks refuse, neither wire carries a statement that changes a server.
TEST_F(HopAcrossTwoServers, WhatTheChecksRefuseChangesNothingAndExitsWithTwo) {
    const struct {
        QString hop;
        QString target;
        QString edition;
        bool targetSeesShare;
        QString said;
    } rows[] = {
        {"2000", "2019", {}, true, "must be SQL Server 2005, 2008 or 2008 R2"},
        {"2012", "2019", {}, true, "must be SQL Server 2005, 2008 or 2008 R2"},
        {"2008R2", "2008", {}, true, "--via is not needed"},
        {"2005", "2019", {}, true, "cannot restore a backup made by the hop"},
        {"2008R2", "2019", {}, false, "does not see the folder \\\\nas\\hop\\"},
        {"2008R2", "2019", "Express", true, "holds at most 10240 MB a database"},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(start(row.hop, row.target, {}, {}, row.edition, row.targetSeesShare))
            << hop().errorString().toStdString();
        if (!row.edition.isEmpty()) {
            ASSERT_TRUE(hop().makeBackup(backup, "Shop", {"D:Shop_Data:11G", "L:Shop_Log:64K"},
                                         quarn_test::StandinProcess::Device::New, {}, {"--sparse"}))
                << hop().errorString().toStdString();
        }
        const Outcome outcome = runCli(arguments());

        EXPECT_EQ(outcome.exitCode, 2) << describe(outcome);
        EXPECT_TRUE(outcome.err.contains(row.said)) << describe(outcome);
        EXPECT_TRUE(changesSent(hop()).isEmpty()) << hop().batches().join("|").toStdString();
        EXPECT_TRUE(changesSent(target()).isEmpty()) << target().batches().join("|").toStdString();
    }
}

// Ctrl-C in each stage stops the statement there and removes what the run made on both servers
// and the share.
TEST_F(HopAcrossTwoServers, InterruptInEachStageLeavesBothServersAndTheShareClean) {
    const struct {
        QStringList hopFaults;
        QStringList targetFaults;
        QString stage;
    } rows[] = {
        {{"delay:restore:20000"}, {}, "stage 1 of 6"},
        {{"delay:dbcc:20000"}, {}, "stage 2 of 6"},
        {{"delay:backup:20000"}, {}, "stage 3 of 6"},
        {{}, {"delay:verifyonly:20000"}, "stage 4 of 6"},
        {{}, {"delay:restore:20000"}, "stage 5 of 6"},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(start("2008R2", "2019", row.hopFaults, row.targetFaults))
            << hop().errorString().toStdString();
        QProcess cli;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QUARN_SQL_PASSWORD", "secret");
        environment.insert("QUARN_SQL_VIA_PASSWORD", "secret");
        cli.setProcessEnvironment(environment);
        cli.start(QStringLiteral(QUARN_CLI_BIN), arguments());
        const QByteArray stageLine = row.stage.toUtf8();
        QByteArray out;
        while (!out.contains(stageLine) && cli.waitForReadyRead(10000)) {
            out += cli.readAllStandardOutput();
        }
        ASSERT_TRUE(out.contains(stageLine)) << out.data();
        QThread::msleep(500);
        ::kill(pid_t(cli.processId()), SIGINT);

        ASSERT_TRUE(cli.waitForFinished(15000));
        const Outcome outcome{cli.exitCode(), QString::fromUtf8(out + cli.readAllStandardOutput()),
                              QString::fromUtf8(cli.readAllStandardError())};
        EXPECT_EQ(outcome.exitCode, 130) << describe(outcome);
        EXPECT_TRUE(outcome.err.contains(row.stage) &&
                    outcome.err.contains(QStringLiteral("已取消 / cancelled")))
            << describe(outcome);
        expectNothingLeft(outcome, false);
    }
}
