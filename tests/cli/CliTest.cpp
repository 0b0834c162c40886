#include "CliProcess.h"
#include "QtPrinters.h"
#include "StandinProcess.h"
#include "db/OdbcQueryClient.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace {

const QString ConnectLine = QStringLiteral("尝试连接到MSSQL数据库... ...");
const QString RestoreLine = QStringLiteral("正在恢复数据库...");
const QString Ok = QStringLiteral(" OK！");

class CliAgainstStandin : public ::testing::Test {
protected:
    void SetUp() override {
        if (quarn_test::StandinProcess::binary().isEmpty()) {
            GTEST_SKIP() << "the stand-in was not built";
        }
        // D: is the scratch folder, as a Windows server would see its own disk.
        quarn_test::StandinProcess::Options options;
        options.drives = QStringList{"D=" + server.scratch()};
        options.version = serverVersion();
        ASSERT_TRUE(server.start(options)) << server.errorString().toStdString();
        backup = server.scratch() + "/Shop.bak";
        ASSERT_TRUE(server.makeBackup(backup, "Shop", {"D:Shop_Data:1M", "L:Shop_Log:1M"}))
            << server.errorString().toStdString();
        dataDir = server.scratch() + "/data";
    }

    // The version of SQL Server the stand-in answers as; empty for its own, SQL Server 2000.
    virtual QString serverVersion() const { return {}; }

    QStringList restoreArguments(const QString& name) const {
        return {"--server", server.dataSource(),
                "--user",   "sa",
                "--backup", backup,
                "--name",   name,
                "--dir",    dataDir};
    }

    // Restarts the stand-in so that the restore copies 4 MiB at 1 MiB per second.
    void throttle() {
        ASSERT_TRUE(server.stop());
        ASSERT_TRUE(server.start({.faults = {"rate:1048576"}}))
            << server.errorString().toStdString();
        ASSERT_TRUE(server.makeBackup(backup, "Shop", {"D:Shop_Data:3M", "L:Shop_Log:1M"}))
            << server.errorString().toStdString();
    }

    quarn_test::StandinProcess server;
    QString backup;
    QString dataDir;
};

// SQL Server 2008 upgrades a SQL Server 2000 backup as it restores it; to the run it is the same.
class CliAgainstEachServer : public CliAgainstStandin,
                             public ::testing::WithParamInterface<const char*> {
protected:
    QString serverVersion() const override { return QString::fromLatin1(GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(Versions, CliAgainstEachServer, ::testing::Values("2000", "2008"));

// Starts the stand-in as `version` with `faults`, holding a SQL Server 2000 full backup of Shop;
// its path, or empty when either failed.
QString startWithShopBackup(quarn_test::StandinProcess& server, const QString& version,
                            const QStringList& faults = {}) {
    const QString backup = server.scratch() + "/Shop.bak";
    if (!server.start({.faults = faults, .version = version}) ||
        !server.makeBackup(backup, "Shop", {"D:Shop_Data:64K", "L:Shop_Log:64K"})) {
        return {};
    }
    return backup;
}

} // namespace

TEST(Cli, UnusableArgumentsExitWithTwoBeforeAnythingElse) {
    const struct {
        QStringList arguments;
        QString reason;
    } rows[] = {
        {{"--bogus"}, "Unknown option 'bogus'."},
        {{"--windows-auth", "--user", "sa"}, "--windows-auth and --user exclude each other"},
        {{"--backup", "a.bak", "--mdf", "a_Data.mdf"}, "--backup and --mdf exclude each other"},
        {{"stray"}, "unexpected argument: stray"},
        {{"--name", "a", "--name", "b"}, "--name given more than once"},
        {{"--defaults", "/nonexistent/defaults.ini"},
         QStringLiteral("找不到默认值文件 / no defaults file at: /nonexistent/defaults.ini")},
        {{"--server"}, "Missing value after '--server'."},
        {{"--backup-set", "0"}, "--backup-set wants a number from 1 to 32767, not 0"},
        {{"--backup-set", "x"}, "--backup-set wants a number from 1 to 32767, not x"},
        {{"--list", "--mdf", "a_Data.mdf"},
         "--list, --backup-set, --until and --database read backup files (--backup)"},
        {{"--until", "2026-12-08"}, "--until wants 'YYYY-MM-DD HH:MM[:SS]', not 2026-12-08"},
        {{"--backup-set", "2", "--until", "2026-12-08 10:41"},
         "--backup-set names one set of one file"},
        {{"--verify", "--mdf", "a_Data.mdf"}, "--verify reads backup files (--backup)"},
        {{"--finish"}, "--check and --finish without --backup or --mdf work on the database"},
    };
    for (const auto& row : rows) {
        const Outcome outcome = runCli(row.arguments);
        EXPECT_EQ(outcome.exitCode, 2) << describe(outcome);
        EXPECT_TRUE(outcome.err.startsWith(row.reason)) << describe(outcome);
        EXPECT_TRUE(outcome.out.isEmpty()) << describe(outcome);
    }
}

TEST(Cli, HelpIsInChineseAndEnglish) {
    const Outcome outcome = runCli({"--help"});
    EXPECT_EQ(outcome.exitCode, 0) << describe(outcome);
    EXPECT_TRUE(outcome.out.contains("用法 Usage")) << describe(outcome);
    EXPECT_TRUE(outcome.out.contains("QUARN_SQL_PASSWORD"));
    EXPECT_TRUE(outcome.out.contains("3 数据库已恢复并保留")) << describe(outcome);
}

TEST_F(CliAgainstStandin, RefusedInputSaysWhySendsNothingAndExitsWithTwoInEveryMode) {
    const auto writeDefaults = [this](const QString& name, const QByteArray& content) {
        QFile file(server.scratch() + "/" + name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return file.fileName();
    };
    // What Linux editors write: UTF-8 without a byte-order mark, which reads as no section.
    const QString utf8 = writeDefaults("utf8.ini", "[初始默认值]\n新的数据库名称=X\n");
    const QString longDir =
        writeDefaults("long.ini", QStringEncoder("GBK").encode("[初始默认值]\n数据库存放目录=") +
                                      QByteArray(3000, 'x'));
    // A pair whose log is there, and a file where --copy-first would put its copy.
    const QString pair = server.scratch() + "/Pair";
    for (const char* file : {"Pair_Data.mdf", "Pair_Log.LDF", "Taken_Data.MDF"}) {
        writeDefaults(file, "x");
    }
    const struct {
        QStringList arguments;
        QString notice;
        QString password = QStringLiteral("secret");
    } rows[] = {
        {{"--server", server.dataSource(), "--user", "sa", "--backup", backup, "--dir", dataDir},
         QStringLiteral("请输入\"新的数据库名称\"")},
        {{"--server", server.dataSource(), "--user", "sa", "--name", "X", "--dir", dataDir},
         QStringLiteral("请选择数据库恢复来源文件\nno file to restore from: give --backup FILE or "
                        "--mdf FILE\n")},
        {{"--server", server.dataSource(), "--user", "sa", "--list"},
         QStringLiteral("请选择数据库恢复来源文件\nno file to restore from")},
        {{"--defaults", utf8}, "in the defaults file: " + utf8 + QStringLiteral("\n请以 GBK")},
        {{"--defaults", longDir},
         QStringLiteral(
             "the value of 数据库存放目录 in the defaults file is longer than 2047 bytes")},
        {{"--server", "   ", "--backup", backup, "--name", "X"},
         QStringLiteral("请先输入\"服务器电脑名\"")},
        {{"--server", server.dataSource(), "--mdf", server.scratch() + "/Gone_Data.mdf", "--name",
          "X", "--dir", dataDir},
         QStringLiteral("在相同目录中，找不到日志文件:") + server.scratch() + "/Gone_Log.LDF"},
        {{"--server", server.dataSource(), "--backup", backup, "--name", "X", "--dir", backup},
         QStringLiteral(
             "您输入的是无效目录\nnot a folder that can hold the database files (--dir): ") +
             backup + "/"},
        // FreeTDS 1.3 ends a braced value at the first "};".
        {restoreArguments("X"), QStringLiteral("cannot take a PWD that contains \"};\""),
         QStringLiteral("a};b")},
        {{"--server", server.dataSource(), "--user", "sa", "--backup",
          server.scratch() + "/Gone.bak", "--name", "X", "--dir", dataDir},
         "no such file: " + server.scratch() + "/Gone.bak"},
        {restoreArguments(QString(129, u'n')),
         QStringLiteral("the name of the new database (--name) is longer than 128 characters")},
        {restoreArguments("X") + QStringList{"--rebuild-log"},
         QStringLiteral("--upgrade-files, --copy-first and --rebuild-log attach data files")},
        {{"--server", server.dataSource(), "--user", "sa", "--mdf", "D:\\old\\Shop_Data.mdf",
          "--name", "X", "--dir", dataDir, "--copy-first"},
         QStringLiteral("--copy-first copies files on this machine")},
        {{"--server", server.dataSource(), "--user", "sa", "--mdf", pair + "_Data.mdf", "--name",
          "X", "--dir", dataDir, "--rebuild-log"},
         "attach the pair without --rebuild-log: " + pair + "_Log.LDF"},
        {{"--server", server.dataSource(), "--user", "sa", "--mdf", pair + "_Data.mdf", "--name",
          "Taken", "--dir", server.scratch(), "--copy-first"},
         "would overwrite an existing file: " + server.scratch() + "/Taken_Data.MDF"},
    };
    for (const auto& row : rows) {
        for (const bool script : {false, true}) {
            const QStringList arguments =
                script ? row.arguments + QStringList{"--script"} : row.arguments;
            const Outcome outcome = runCli(arguments, row.password);
            EXPECT_EQ(outcome.exitCode, 2) << describe(outcome);
            EXPECT_TRUE(outcome.err.contains(row.notice)) << describe(outcome);
            EXPECT_TRUE(outcome.out.isEmpty()) << describe(outcome);
        }
    }
    EXPECT_TRUE(server.batches().isEmpty()) << server.batches().join("|").toStdString();
    // Nothing was made here either.
    EXPECT_FALSE(QFileInfo::exists(dataDir));
}

TEST_F(CliAgainstStandin, RelativePathsAreTakenFromTheCurrentFolderAndScriptCreatesNothing) {
    const QString here = server.scratch();
    for (const QString file : {"/Att_Data.mdf", "/Att_Log.LDF"}) {
        QFile touched(here + file);
        ASSERT_TRUE(touched.open(QIODevice::WriteOnly)) << (here + file).toStdString();
    }
    const QString backupSource = QStringLiteral("DISK = N'") + backup + "'";
    const struct {
        QStringList arguments;
        QString folder;
        bool script;
        int exitCode;
        QString sent; // in a logged batch, or among the statements a review prints
    } rows[] = {
        {{"--backup", "Shop.bak", "--name", "Rel"},
         "data",
         false,
         0,
         "N'" + here + "/data/Rel_Data.MDF'"},
        {{"--backup", "Shop.bak", "--name", "Rel"}, "review", true, 0, backupSource},
        {{"--backup", "./Shop.bak", "--name", "Dot"},
         "./",
         false,
         0,
         "MOVE N'Shop_Data' TO N'" + here + "/Dot_Data.MDF'"},
        {{"--mdf", "Att_Data.mdf", "--name", "Att"},
         "attach",
         true,
         0,
         "N'" + here + "/Att_Data.mdf', N'" + here + "/Att_Log.LDF'"},
        {{"--backup", "D:\\backups\\Shop.bak", "--name", "Win"},
         "win",
         true,
         1,
         "DISK = N'D:\\backups\\Shop.bak'"},
    };
    for (const auto& row : rows) {
        QStringList arguments = row.arguments;
        arguments << "--server" << server.dataSource() << "--user"
                  << "sa"
                  << "--dir" << row.folder;
        if (row.script) {
            arguments << "--script";
        }
        const Outcome outcome = runCli(arguments, QStringLiteral("secret"), {}, here);
        const QString folder = QDir::cleanPath(here + "/" + row.folder);
        EXPECT_EQ(outcome.exitCode, row.exitCode) << describe(outcome);
        EXPECT_TRUE((server.batches().join('\n') + outcome.out).contains(row.sent))
            << row.sent.toStdString() << "\n"
            << server.batches().join('\n').toStdString() << describe(outcome);
        EXPECT_EQ(QFileInfo(folder).isDir(), !row.script) << folder.toStdString();
        EXPECT_EQ(outcome.err.contains(QStringLiteral("a restore would create the folder: ") +
                                       folder + "/"),
                  row.script)
            << describe(outcome);
    }
}

TEST_P(CliAgainstEachServer, RestoresABackupAndPrintsEachStepAsItCompletes) {
    const QString name = QStringLiteral("O'Brien]新库");
    const Outcome outcome = runCli(restoreArguments(name));

    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    // Piped, each of the restore's reports is a line of its own.
    QString restoreLines;
    for (int percent = 10; percent <= 100; percent += 10) {
        restoreLines += QStringLiteral("正在恢复数据库... %1%\n").arg(percent);
    }
    EXPECT_EQ(outcome.out, ConnectLine + Ok + "\n" + QStringLiteral("正在创建新的数据库...") + Ok +
                               "\n" + restoreLines + QStringLiteral("正在恢复数据库...") + Ok +
                               "\n");
    EXPECT_TRUE(outcome.err.contains(QStringLiteral("恭喜您，数据库已成功恢复了！！！")));
    EXPECT_TRUE(QFileInfo(dataDir + "/" + name + "_Data.MDF").isFile());
    EXPECT_TRUE(QFileInfo(dataDir + "/" + name + "_Log.LDF").isFile());
    EXPECT_TRUE(server.catalogueText().contains(name)) << server.catalogueText().toStdString();
}

// A backup whose SQL user appuser has a SID no login here has (though a login of that name
// exists), whose user report has no login at all and whose owner's login is missing: the report
// names them; --fix-users maps appuser with the statement this server has and prints the login
// report needs, carrying its SID; --owner sets the owner, and is refused plainly for a login that
// is a user of the database. Restored again from a backup of the mended database, nothing is left.
TEST_P(CliAgainstEachServer, OrphanedUsersAreReportedMappedAndTheOwnerSet) {
    ASSERT_TRUE(server.stop());
    ASSERT_TRUE(server.start(
        {.logins = {"sa:secret", "appuser:pw", "appowner:pw"}, .version = serverVersion()}))
        << server.errorString().toStdString();
    const QString sidA = "0A0A0A0A0A0A0A0A0A0A0A0A0A0A0A0A";
    const QString sidR = "0B0B0B0B0B0B0B0B0B0B0B0B0B0B0B0B";
    const QString sidO = "0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C";
    ASSERT_TRUE(server.makeBackup(
        backup, "Shop", {"D:Shop_Data:1M", "L:Shop_Log:1M"},
        quarn_test::StandinProcess::Device::New, {},
        {"--user", "appuser:" + sidA, "--user", "report:" + sidR, "--owner", sidO}))
        << server.errorString().toStdString();
    const bool on2000 = serverVersion() == "2000";

    const Outcome reported = runCli(restoreArguments("Reported"));
    EXPECT_EQ(reported.exitCode, 0) << describe(reported);
    EXPECT_TRUE(reported.out.contains(
        QStringLiteral(
            "\n孤立用户: appuser（有同名登录）, report（无登录）; 所有者: dbo（无登录，SID 0x") +
        sidO + "）\n" +
        "orphaned users: appuser (a login of that name exists), report (no login); "
        "the owner (dbo) has no login here, SID 0x" +
        sidO + "\n"))
        << describe(reported);

    const Outcome fixed = runCli(restoreArguments("Fixed") << "--fix-users"
                                                           << "--owner"
                                                           << "appowner");
    EXPECT_EQ(fixed.exitCode, 3) << describe(fixed);
    const QStringList batches = server.batches();
    EXPECT_TRUE(batches.contains(
        on2000
            ? "EXEC [Fixed]..sp_change_users_login 'Update_One', N'appuser', N'appuser'\r\n"
            : "EXEC [Fixed].sys.sp_executesql N'ALTER USER [appuser] WITH LOGIN = [appuser]'\r\n"))
        << batches.join('\n').toStdString();
    EXPECT_TRUE(
        batches.contains(on2000 ? "EXEC [Fixed]..sp_changedbowner N'appowner'\r\n"
                                : "ALTER AUTHORIZATION ON DATABASE::[Fixed] TO [appowner]\r\n"))
        << batches.join('\n').toStdString();
    EXPECT_TRUE(batches.filter("Auto_Fix").isEmpty());
    EXPECT_TRUE(fixed.out.contains(QStringLiteral("正在将用户 appuser 映射到同名登录...") + Ok))
        << describe(fixed);
    EXPECT_TRUE(fixed.out.contains(QStringLiteral("正在将数据库所有者改为 appowner...") + Ok));
    const QString createLogin =
        on2000 ? "EXEC master..sp_addlogin @loginame = N'report', @passwd = N'<密码 password>', "
                 "@sid = 0x" +
                     sidR
               : "CREATE LOGIN [report] WITH PASSWORD = N'<密码 password>', SID = 0x" + sidR;
    EXPECT_TRUE(fixed.out.contains(createLogin + "\n")) << describe(fixed);
    EXPECT_TRUE(fixed.err.contains(QStringLiteral("user report has no login of its name")))
        << describe(fixed);

    // The operator makes report's login with the printed statement; a backup of the mended
    // database then restores with nobody orphaned.
    db::OdbcQueryClient operatorClient;
    operatorClient.setConnectionString(server.connectionString());
    const QString mended = server.scratch() + "/Fixed.bak";
    for (const QString& statement :
         {QString(createLogin).replace(QStringLiteral("<密码 password>"), "pw"),
          "BACKUP DATABASE [Fixed] TO DISK = N'" + mended + "'"}) {
        operatorClient.setStatement(statement);
        ASSERT_NO_THROW(operatorClient.execute()) << statement.toStdString();
    }
    QStringList again = restoreArguments("Again") << "--fix-users";
    again[again.indexOf("--backup") + 1] = mended;
    const Outcome nothingLeft = runCli(again);
    EXPECT_EQ(nothingLeft.exitCode, 0) << describe(nothingLeft);
    EXPECT_FALSE(nothingLeft.out.contains(QStringLiteral("孤立用户:"))) << describe(nothingLeft);
    EXPECT_TRUE(nothingLeft.out.contains(QStringLiteral("no orphaned users to map")));

    // appuser is now a user of the database with the login's SID: the server refuses it as owner.
    again[again.indexOf("--name") + 1] = "Refused";
    const Outcome refused = runCli(again << "--owner"
                                         << "appuser");
    EXPECT_EQ(refused.exitCode, 3) << describe(refused);
    EXPECT_TRUE(refused.err.contains("the login appuser is already the user appuser of Refused"))
        << describe(refused);
    EXPECT_TRUE(refused.err.contains("DROP USER [appuser]")) << describe(refused);

    // A review prints the owner's statement with the others and claims nothing of the users.
    const Outcome reviewed = runCli(restoreArguments("Reviewed") << "--script"
                                                                 << "--fix-users"
                                                                 << "--owner"
                                                                 << "appowner");
    EXPECT_EQ(reviewed.exitCode, 0) << describe(reviewed);
    EXPECT_TRUE(reviewed.out.endsWith(
        QString(on2000 ? "EXEC [Reviewed]..sp_changedbowner N'appowner'"
                       : "ALTER AUTHORIZATION ON DATABASE::[Reviewed] TO [appowner]") +
        "\nGO\n"))
        << describe(reviewed);
    EXPECT_FALSE(reviewed.out.contains("no orphaned users")) << describe(reviewed);
}

// Ctrl-C, SIGTERM or a hang-up mid-restore cancels the statement on the server, which acknowledges
// it; only the check and the drop of the database the run created follow, so the same command then
// succeeds. The exit status is 128 + the signal.
TEST_F(CliAgainstStandin, InterruptMidRestoreCancelsItOnTheServerAndExitsWith130) {
    throttle();
    const struct {
        int signal;
        int exitCode;
        QString name;
    } rows[] = {{SIGINT, 130, "Cut"}, {SIGHUP, 129, "HungUp"}, {SIGTERM, 143, "Ended"}};
    for (const auto& row : rows) {
        QProcess cli;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QUARN_SQL_PASSWORD", "secret");
        cli.setProcessEnvironment(environment);
        cli.start(QStringLiteral(QUARN_CLI_BIN), restoreArguments(row.name));
        QByteArray out;
        while (!out.contains('%') && cli.waitForReadyRead(10000)) {
            out += cli.readAllStandardOutput();
        }
        ASSERT_TRUE(out.contains('%')) << "no percent before the restore ended: " << out.data();
        ::kill(pid_t(cli.processId()), row.signal);

        ASSERT_TRUE(cli.waitForFinished(10000));
        const QString err = QString::fromUtf8(cli.readAllStandardError());
        EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit) << err.toStdString();
        EXPECT_EQ(cli.exitCode(), row.exitCode) << err.toStdString();
        EXPECT_TRUE(err.contains("the unfinished database " + row.name + " was removed"))
            << err.toStdString();
        const QStringList batches = server.batches();
        ASSERT_GE(batches.size(), 6) << batches.join("|").toStdString();
        const QStringList last = batches.mid(batches.size() - 3);
        ASSERT_TRUE(last[0].startsWith("RESTORE DATABASE [" + row.name + "]"));
        EXPECT_TRUE(last[1].startsWith("SELECT filename FROM master..sysaltfiles"));
        EXPECT_EQ(last[2], "DROP DATABASE [" + row.name + "]\r\n");
        QFile log(server.batchLogPath());
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        const auto record = [](const QString& batch) {
            return "batch " + QByteArray::number(batch.toUtf8().size()) + "\n" + batch.toUtf8() +
                   "\n";
        };
        EXPECT_TRUE(log.readAll().endsWith(record(last[0]) + "attention\n" + record(last[1]) +
                                           record(last[2])));
        EXPECT_FALSE(server.catalogueText().contains("db " + row.name))
            << server.catalogueText().toStdString();
        EXPECT_TRUE(QDir(dataDir).entryList({row.name + "_*"}, QDir::Files).isEmpty());

        const Outcome retried = runCli(restoreArguments(row.name));
        EXPECT_EQ(retried.exitCode, 0) << describe(retried);
    }
}

// A cancel while the server creates the database cannot tell whether it was made.
TEST_F(CliAgainstStandin, InterruptDuringTheCreateSaysTheDatabaseMayExist) {
    ASSERT_TRUE(server.stop());
    ASSERT_TRUE(server.start({.faults = {"delay:create:10000"}}))
        << server.errorString().toStdString();
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUARN_SQL_PASSWORD", "secret");
    cli.setProcessEnvironment(environment);
    cli.start(QStringLiteral(QUARN_CLI_BIN), restoreArguments("Creating"));
    const QByteArray create = QStringLiteral("正在创建新的数据库...").toUtf8();
    QByteArray out;
    while (!out.contains(create) && cli.waitForReadyRead(10000)) {
        out += cli.readAllStandardOutput();
    }
    ASSERT_TRUE(out.contains(create)) << out.data();
    ::kill(pid_t(cli.processId()), SIGINT);

    ASSERT_TRUE(cli.waitForFinished(10000));
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    EXPECT_EQ(cli.exitCode(), 130) << err.toStdString();
    EXPECT_TRUE(err.contains("The restore was cancelled; the database Creating may have been "
                             "created."))
        << err.toStdString();
    EXPECT_FALSE(err.contains("no database")) << err.toStdString();
}

// Output read by `head`: the reader goes after the first line, and the restore still completes.
TEST_F(CliAgainstStandin, AClosedOutputPipeDoesNotStopTheRestore) {
    ASSERT_TRUE(server.stop());
    ASSERT_TRUE(server.start({.faults = {"delay:restore:1000"}}))
        << server.errorString().toStdString();
    QStringList arguments{"-c", "\"$0\" \"$@\" | head -n 1 >/dev/null; exit ${PIPESTATUS[0]}",
                          QStringLiteral(QUARN_CLI_BIN)};
    arguments << restoreArguments("Piped");
    const Outcome outcome = runCli(arguments, QStringLiteral("secret"), {}, {}, "bash");

    EXPECT_EQ(outcome.exitCode, 0) << describe(outcome);
    EXPECT_TRUE(outcome.err.contains(QStringLiteral("恭喜您，数据库已成功恢复了！！！")))
        << describe(outcome);
    EXPECT_TRUE(server.catalogueText().contains("db Piped ONLINE"))
        << server.catalogueText().toStdString();
}

// Another session drops the new database while the restore runs and makes its own under the name:
// the failed restore leaves that one alone and says so after the reason it failed.
TEST_F(CliAgainstStandin, AFailedRestoreLeavesADatabaseAnotherSessionMadeUnderTheName) {
    ASSERT_TRUE(server.stop());
    ASSERT_TRUE(server.start(
        {.faults = {"delay:restore:3000", "error:restore:3013:RESTORE DATABASE is terminating"}}))
        << server.errorString().toStdString();
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUARN_SQL_PASSWORD", "secret");
    cli.setProcessEnvironment(environment);
    cli.start(QStringLiteral(QUARN_CLI_BIN), restoreArguments("Taken"));
    const QByteArray restoring = RestoreLine.toUtf8();
    QByteArray out;
    while (!out.contains(restoring) && cli.waitForReadyRead(10000)) {
        out += cli.readAllStandardOutput();
    }
    ASSERT_TRUE(out.contains(restoring)) << out.data();
    db::OdbcQueryClient other;
    other.setConnectionString(server.connectionString());
    for (const QString statement : {"DROP DATABASE [Taken]", "CREATE DATABASE [Taken]"}) {
        other.setStatement(statement);
        ASSERT_NO_THROW(other.execute()) << statement.toStdString();
    }

    ASSERT_TRUE(cli.waitForFinished(20000));
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    EXPECT_EQ(cli.exitCode(), 1) << err.toStdString();
    EXPECT_TRUE(err.contains("RESTORE DATABASE is terminating")) << err.toStdString();
    EXPECT_TRUE(err.contains("The database Taken on the server is no longer the one this run "
                             "created; it was left alone."))
        << err.toStdString();
    EXPECT_EQ(server.batches().filter("DROP DATABASE").size(), 1);
    EXPECT_TRUE(server.catalogueText().contains("db Taken ONLINE"))
        << server.catalogueText().toStdString();
    EXPECT_TRUE(QFileInfo(server.root() + "/data/Taken.mdf").isFile());
}

// On a terminal the restore's line is rewritten in place, not repeated.
TEST_F(CliAgainstStandin, OnATerminalThePercentRewritesTheLine) {
    const QString scriptTool = QStandardPaths::findExecutable("script");
    if (scriptTool.isEmpty()) {
        GTEST_SKIP() << "no script(1) to give the program a terminal";
    }
    QStringList quoted{QStringLiteral(QUARN_CLI_BIN)};
    for (const QString& argument : restoreArguments("OnTerminal")) {
        quoted << "'" + argument + "'";
    }
    const Outcome outcome = runCli({"-qec", quoted.join(' '), "/dev/null"},
                                   QStringLiteral("secret"), {}, {}, scriptTool);

    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    EXPECT_TRUE(outcome.out.contains(RestoreLine + " 10%\r" + RestoreLine + " 20%\x1b[K"))
        << describe(outcome);
    EXPECT_TRUE(outcome.out.contains("\r" + RestoreLine + " 100%\x1b[K\r" + RestoreLine + "\x1b[K" +
                                     Ok + "\r\n"))
        << describe(outcome);
}

TEST_F(CliAgainstStandin, AFailedRestoreExitsWithOneAndShowsTheServerMessage) {
    Outcome outcome = runCli(restoreArguments("Shop2"), "wrong");
    EXPECT_EQ(outcome.exitCode, 1) << describe(outcome);
    EXPECT_EQ(outcome.out, ConnectLine + "\n");
    EXPECT_TRUE(outcome.err.startsWith(QStringLiteral("恢复过程出错,具体错误信息是:\n\n")))
        << describe(outcome);
    EXPECT_TRUE(outcome.err.contains("Login failed for user 'sa'")) << describe(outcome);
    EXPECT_FALSE(outcome.err.contains("kinit")) << describe(outcome);

    QStringList windowsLogin = restoreArguments("Shop2");
    windowsLogin.remove(windowsLogin.indexOf("--user"), 2);
    outcome = runCli(windowsLogin);
    EXPECT_EQ(outcome.exitCode, 1) << describe(outcome);
    EXPECT_TRUE(outcome.err.endsWith("Windows authentication needs a Kerberos ticket here (kinit), "
                                     "or use --user\n"))
        << describe(outcome);

    ASSERT_EQ(runCli(restoreArguments("Shop2")).exitCode, 0);
    outcome = runCli(restoreArguments("Shop2"));
    EXPECT_EQ(outcome.exitCode, 1) << describe(outcome);
    EXPECT_TRUE(outcome.err.contains("Database 'Shop2' already exists")) << describe(outcome);
    // What this run did not create it leaves alone.
    EXPECT_TRUE(server.batches().last().startsWith("CREATE DATABASE [Shop2]"));
    EXPECT_TRUE(server.catalogueText().contains("db Shop2 ONLINE"));
    EXPECT_TRUE(QFileInfo(dataDir + "/Shop2_Data.MDF").isFile());
}

// A restore the server fails leaves neither database nor file, so the same command then succeeds.
TEST_F(CliAgainstStandin, AFailedRestoreDropsTheDatabaseItCreated) {
    ASSERT_TRUE(server.stop());
    ASSERT_TRUE(server.start({.faults = {"error:restore:3013:RESTORE DATABASE is terminating"}}))
        << server.errorString().toStdString();
    Outcome outcome = runCli(restoreArguments("Shop3"));
    EXPECT_EQ(outcome.exitCode, 1) << describe(outcome);
    EXPECT_TRUE(outcome.out.endsWith(RestoreLine + "\n" +
                                     QStringLiteral("正在删除未完成恢复的数据库...") + Ok + "\n"))
        << describe(outcome);
    EXPECT_TRUE(outcome.err.endsWith(QStringLiteral("恢复过程出错,具体错误信息是:\n\n") +
                                     "RESTORE DATABASE is terminating\n"))
        << describe(outcome);
    const QStringList batches = server.batches();
    ASSERT_EQ(batches.size(), 6) << batches.join("|").toStdString();
    EXPECT_TRUE(batches[3].startsWith("RESTORE DATABASE [Shop3]"));
    EXPECT_EQ(batches[4],
              "SELECT filename FROM master..sysaltfiles WHERE dbid = DB_ID(N'Shop3')\r\n");
    EXPECT_EQ(batches[5], "DROP DATABASE [Shop3]\r\n");
    EXPECT_FALSE(server.catalogueText().contains("Shop3"));
    EXPECT_TRUE(QDir(dataDir).entryList(QDir::Files).isEmpty());

    ASSERT_TRUE(server.stop());
    ASSERT_TRUE(server.start()) << server.errorString().toStdString();
    outcome = runCli(restoreArguments("Shop3"));
    EXPECT_EQ(outcome.exitCode, 0) << describe(outcome);
}

// The create names every file of the backup, so the server refuses one that lies at a target
// before anything is written (5170, text as the stand-in gives it: ASSUMED for SQL Server 2000);
// the new name cannot lead out of the target folder.
TEST_F(CliAgainstStandin, ExtraTargetsAreCheckedByTheServerAndStayInTheTargetFolder) {
    const QString multi = server.scratch() + "/Multi.bak";
    ASSERT_TRUE(server.makeBackup(
        multi, "Multi",
        {"D:Extra:1M", "D:Multi_Data:1M", "L:Extra_Log:1M", "L:Multi_Log:1M", "F:Extra_Cat:1M"}))
        << server.errorString().toStdString();
    ASSERT_TRUE(QDir(server.scratch()).mkpath("db/sub"));
    const auto restoreInto = [&](const QString& name, const QString& dir) {
        return runCli({"--server", server.dataSource(), "--user", "sa", "--backup", multi, "--name",
                       name, "--dir", dir});
    };
    // A full-text catalog is no file of the create: the server is asked what lies at its target
    // (xp_fileexist, columns ASSUMED for SQL Server 2000).
    const struct {
        QString dir;
        QString foreign; // a file of no database at one of the extra targets
        QString refusal;
        QString lastBatch;
    } rows[] = {
        {"D:\\db", server.scratch() + "/db/M3_Extra.NDF",
         "Cannot create file '" + server.scratch() + "/db/M3_Extra.NDF' because it already exists",
         "CREATE DATABASE [M3]"},
        {dataDir, dataDir + "/M4_Extra_Log.LDF",
         "Cannot create file '" + dataDir + "/M4_Extra_Log.LDF' because it already exists",
         "CREATE DATABASE [M4]"},
        {"D:\\db", server.scratch() + "/db/M5_Extra_Cat",
         QStringLiteral("目标文件已存在:D:\\db\\M5_Extra_Cat"),
         "exec master..xp_fileexist N'D:\\db\\M5_Extra_Cat'"}};
    for (const auto& row : rows) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(row.foreign).path()));
        QFile foreign(row.foreign);
        ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
        foreign.write("PRECIOUS DETACHED DATA");
        foreign.close();
        const QString name = QFileInfo(row.foreign).fileName().section('_', 0, 0);

        const Outcome outcome = restoreInto(name, row.dir);

        EXPECT_EQ(outcome.exitCode, 1) << describe(outcome);
        EXPECT_TRUE(outcome.err.contains(row.refusal)) << describe(outcome);
        EXPECT_TRUE(server.batches().last().startsWith(row.lastBatch))
            << server.batches().last().toStdString();
        EXPECT_FALSE(server.catalogueText().contains(name)) << server.catalogueText().toStdString();
        EXPECT_EQ(QDir(QFileInfo(row.foreign).path()).entryList({name + "_*"}, QDir::Files),
                  QStringList{QFileInfo(row.foreign).fileName()});
        ASSERT_TRUE(foreign.open(QIODevice::ReadOnly));
        EXPECT_EQ(foreign.readAll(), "PRECIOUS DETACHED DATA");
    }

    const QString local = dataDir + "/sub";
    const struct {
        QString name;
        QString dir;
        QString folder; // where the stand-in writes the files
    } climbing[] = {{"../up", "D:\\db\\sub", server.scratch() + "/db/sub"},
                    {"..\\..\\up", "D:\\db\\sub", server.scratch() + "/db/sub"},
                    {"../down", local, local},
                    {"..\\side", local, local}};
    for (const auto& row : climbing) {
        const QStringList before = QDir(row.folder).entryList(QDir::Files | QDir::Hidden);
        const Outcome outcome = restoreInto(row.name, row.dir);
        ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
        const QStringList made = QDir(row.folder).entryList(QDir::Files | QDir::Hidden);
        EXPECT_EQ(made.size(), before.size() + 5) << made.join(", ").toStdString();
        EXPECT_TRUE(
            made.contains(QString(row.name).replace('/', '_').replace('\\', '_') + "_Data.MDF"))
            << made.join(", ").toStdString();
    }
    // Nothing climbed out: every file is in one of the two target folders or was there before.
    EXPECT_EQ(QDir(server.scratch() + "/db").entryList(QDir::Files | QDir::Hidden),
              QStringList({"M3_Extra.NDF", "M5_Extra_Cat"}));
    EXPECT_EQ(QDir(dataDir).entryList(QDir::Files | QDir::Hidden), QStringList{"M4_Extra_Log.LDF"});
}

TEST_F(CliAgainstStandin, ScriptReadsTheFileListAndSendsNothingThatChangesTheServer) {
    QStringList arguments = restoreArguments("Reviewed");
    arguments << "--script";
    const Outcome outcome = runCli(arguments);

    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    const QStringList lines = outcome.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6) << describe(outcome);
    EXPECT_TRUE(lines[0].startsWith("CREATE DATABASE [Reviewed]  ON PRIMARY (NAME = N'Shop_Data'"));
    EXPECT_EQ(lines[1], "GO");
    EXPECT_TRUE(lines[2].startsWith("RESTORE DATABASE [Reviewed] FROM  DISK = N'" + backup));
    EXPECT_EQ(lines[3], "GO");
    // The users read after the restore, which the review cannot answer.
    EXPECT_TRUE(lines[4].startsWith("SELECT u.uid, u.name, u.sid, l.name AS samename FROM "
                                    "[Reviewed]..sysusers"));
    EXPECT_EQ(lines[5], "GO");
    EXPECT_FALSE(outcome.err.contains(QStringLiteral("恭喜您"))) << describe(outcome);

    const QStringList batches = server.batches();
    ASSERT_EQ(batches.size(), 2) << batches.join("|").toStdString();
    EXPECT_EQ(batches[0], "SELECT GETDATE()\r\n");
    EXPECT_TRUE(batches[1].startsWith("RESTORE FILELISTONLY FROM  DISK = N'"));
    EXPECT_FALSE(server.catalogueText().contains("Reviewed"));
}

// A device of three sets: D,L, then D,D,L, then D,L,L,F. The files of the last two name a folder
// of their own, where a detached database's file lies at every original path.
TEST_P(CliAgainstEachServer, ListsTheSetsAndRestoresTheChosenOneWithEveryFile) {
    using Device = quarn_test::StandinProcess::Device;
    const QString device = server.scratch() + "/sets.bak";
    const QString origin = server.scratch() + "/origin/";
    ASSERT_TRUE(QDir().mkpath(origin));
    const auto at = [&](const QString& file) { return file + ":64K:" + origin + file; };
    ASSERT_TRUE(server.makeBackup(device, "Shop", {"D:Shop_Data:64K", "L:Shop_Log:64K"}));
    ASSERT_TRUE(server.makeBackup(
        device, "Second", {at("D:Two_Data"), at("D:Two_Index"), at("L:Two_Log")}, Device::Append));
    ASSERT_TRUE(server.makeBackup(
        device, "Third",
        {at("D:Three_Data"), at("L:Three_Log"), at("L:Three_Log2"), at("F:Three_Cat")},
        Device::Append))
        << server.errorString().toStdString();
    const QStringList foreign = QDir(origin).entryList(QDir::Files);
    for (const QString& file : foreign) {
        QFile written(origin + file);
        ASSERT_TRUE(written.open(QIODevice::WriteOnly));
        written.write(file.toUtf8());
    }
    const auto withSet = [&](const QString& name, const QString& option) {
        QStringList arguments = restoreArguments(name);
        arguments[arguments.indexOf("--backup") + 1] = device;
        return arguments << option.split(' ');
    };

    const Outcome listed = runCli(withSet("Listed", "--list"));
    ASSERT_EQ(listed.exitCode, 0) << describe(listed);
    EXPECT_EQ(listed.out.count(QStringLiteral("备份集 backup set ")), 3) << describe(listed);
    EXPECT_TRUE(listed.out.contains(QStringLiteral("备份集 backup set 3: Third")));
    EXPECT_TRUE(listed.out.contains("  F Three_Cat -> " + dataDir + "/Listed_Three_Cat\n"));
    EXPECT_TRUE(
        server.batches().filter(QRegularExpression("^(CREATE|RESTORE DATABASE)")).isEmpty());

    const Outcome unnamed =
        runCli({"--server", server.dataSource(), "--user", "sa", "--backup", device, "--list"});
    ASSERT_EQ(unnamed.exitCode, 0) << describe(unnamed);
    EXPECT_TRUE(unnamed.out.contains(QStringLiteral("备份集 backup set 3: Third")));
    EXPECT_TRUE(unnamed.out.contains("  F Three_Cat\n")) << describe(unnamed);
    EXPECT_FALSE(unnamed.out.contains("->")) << describe(unnamed);

    const Outcome scripted = runCli(withSet("Scripted", "--backup-set 3 --script"));
    ASSERT_EQ(scripted.exitCode, 0) << describe(scripted);
    EXPECT_TRUE(scripted.out.contains("WITH  FILE = 3,  NOUNLOAD")) << describe(scripted);
    EXPECT_TRUE(scripted.out.contains(",  MOVE N'Three_Log' TO N'" + dataDir +
                                      "/Scripted_Three_Log.LDF',  MOVE N'Three_Cat' TO N'" +
                                      dataDir + "/Scripted_Three_Cat'\nGO\n"))
        << describe(scripted);

    const Outcome missing = runCli(withSet("Fourth", "--backup-set 4"));
    EXPECT_EQ(missing.exitCode, 2) << describe(missing);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("备份集 4 不存在"))) << describe(missing);

    const struct {
        QString set;
        QString name;
        QStringList files;
    } restores[] = {
        {"2", "Second", {"Second_Data.MDF", "Second_Log.LDF", "Second_Two_Data.NDF"}},
        {"3",
         "Third",
         {"Third_Data.MDF", "Third_Log.LDF", "Third_Three_Cat", "Third_Three_Log.LDF"}},
    };
    for (const auto& row : restores) {
        const Outcome restored = runCli(withSet(row.name, "--backup-set " + row.set));
        ASSERT_EQ(restored.exitCode, 0) << describe(restored);
        EXPECT_EQ(QDir(dataDir).entryList({row.name + "_*"}, QDir::Files, QDir::Name), row.files);
    }
    // The files arrived from the sets chosen, not from the first.
    EXPECT_TRUE(server.catalogueText().contains("file D Two_Index " + dataDir + "/Second_Data.MDF"))
        << server.catalogueText().toStdString();
    EXPECT_TRUE(
        server.catalogueText().contains("file F Three_Cat " + dataDir + "/Third_Three_Cat"));
    EXPECT_EQ(QDir(origin).entryList(QDir::Files), foreign);
    for (const QString& file : foreign) {
        QFile kept(origin + file);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), file.toUtf8()) << file.toStdString();
    }

    const QString existing = dataDir + "/Again_Three_Log.LDF";
    QFile(dataDir + "/Third_Data.MDF").copy(existing);
    const Outcome refused = runCli(withSet("Again", "--backup-set 3"));
    EXPECT_EQ(refused.exitCode, 1) << describe(refused);
    EXPECT_TRUE(
        refused.err.contains("Cannot create file '" + existing + "' because it already exists"))
        << describe(refused);
    EXPECT_TRUE(server.batches().last().startsWith("CREATE DATABASE [Again]"));
    EXPECT_FALSE(server.catalogueText().contains("db Again"));
}

// Found out before anything is made: SQL Server 2012 cannot upgrade a SQL Server 2000 backup, which
// the run reads in its header; SQL Server 2000 cannot read a newer backup's file list at all.
TEST(CliVersions, ABackupTheServerCannotRestoreIsRefusedBeforeTheCreate) {
    if (quarn_test::StandinProcess::binary().isEmpty()) {
        GTEST_SKIP() << "the stand-in was not built";
    }
    const struct {
        QString server;
        QString madeBy;
        QStringList said;
        QString lastBatch;
    } rows[] = {
        {"2012",
         "2000",
         {QStringLiteral("服务器 SQL Server 2012 (11.0.7001) 不能恢复 SQL Server 2000 (8.0.2039) "
                         "的备份，未做任何更改。"),
          "The server, SQL Server 2012 (11.0.7001), cannot restore a backup made by SQL Server "
          "2000 (8.0.2039); nothing was changed.",
          "and back it up there. --via SERVER --share FOLDER does that in one run"},
         "RESTORE HEADERONLY"},
        {"2000", "2008", {"is incorrectly formed"}, "RESTORE FILELISTONLY"},
    };
    for (const auto& row : rows) {
        quarn_test::StandinProcess server;
        ASSERT_TRUE(server.start({.version = row.server})) << server.errorString().toStdString();
        const QString backup = server.scratch() + "/Newer.bak";
        ASSERT_TRUE(server.makeBackup(backup, "Shop", {"D:Shop_Data:64K", "L:Shop_Log:64K"},
                                      quarn_test::StandinProcess::Device::New, row.madeBy))
            << server.errorString().toStdString();
        const QString dataDir = server.scratch() + "/data";
        const Outcome outcome = runCli({"--server", server.dataSource(), "--user", "sa", "--backup",
                                        backup, "--name", "Moved", "--dir", dataDir});

        EXPECT_EQ(outcome.exitCode, 1) << describe(outcome);
        for (const QString& text : row.said) {
            EXPECT_TRUE(outcome.err.contains(text)) << describe(outcome);
        }
        EXPECT_TRUE(server.batches().last().startsWith(row.lastBatch))
            << server.batches().join("|").toStdString();
        EXPECT_FALSE(server.catalogueText().contains("Moved")) << describe(outcome);
        EXPECT_FALSE(QFileInfo::exists(dataDir)) << "the target folder was made";
    }
}

// Verification reads and changes nothing: a set that fails it ends the run before the folder or
// the database is made; a SQL Server 2000 set is verified without CHECKSUM, which it cannot have.
TEST(CliVersions, VerifyOnlyReadsAndSaysWhatWasVerified) {
    if (quarn_test::StandinProcess::binary().isEmpty()) {
        GTEST_SKIP() << "the stand-in was not built";
    }
    const struct {
        QStringList faults;
        int exitCode;
        QString said;
    } rows[] = {
        {{"unreadable"}, 1, "The backup failed verification; nothing was created."},
        {{}, 0, "not verified: checksums (a SQL Server 2000 backup carries none)"},
    };
    for (const auto& row : rows) {
        quarn_test::StandinProcess server;
        const QString backup = startWithShopBackup(server, "2008", row.faults);
        ASSERT_FALSE(backup.isEmpty()) << server.errorString().toStdString();
        const QString dataDir = server.scratch() + "/data";
        const Outcome outcome =
            runCli({"--server", server.dataSource(), "--user", "sa", "--backup", backup, "--name",
                    "Verified", "--dir", dataDir, "--verify"});

        EXPECT_EQ(outcome.exitCode, row.exitCode) << describe(outcome);
        EXPECT_TRUE((outcome.out + outcome.err).contains(row.said)) << describe(outcome);
        const QStringList batches = server.batches();
        EXPECT_EQ(batches.filter("VERIFYONLY").size(), 1) << batches.join("|").toStdString();
        EXPECT_TRUE(batches.filter("VERIFYONLY")
                        .value(0)
                        .contains("MOVE N'Shop_Data' TO N'" + dataDir + "/Verified_Data.MDF'"));
        EXPECT_TRUE(batches.filter("CHECKSUM").isEmpty()) << batches.join("|").toStdString();
        if (row.exitCode != 0) {
            EXPECT_TRUE(batches
                            .filter(QRegularExpression("^(?!SELECT GETDATE|RESTORE "
                                                       "(HEADERONLY|FILELISTONLY|VERIFYONLY))"))
                            .isEmpty())
                << batches.join("|").toStdString();
            EXPECT_FALSE(server.catalogueText().contains("Verified"));
            EXPECT_FALSE(QFileInfo::exists(dataDir)) << "the target folder was made";
        }
    }
}

// Errors a check finds leave the restored database in place and name what is left to do.
TEST(CliVersions, ConsistencyErrorsKeepTheDatabaseAndExitWithThree) {
    if (quarn_test::StandinProcess::binary().isEmpty()) {
        GTEST_SKIP() << "the stand-in was not built";
    }
    const struct {
        QString version;
        QString errors;
        QString lastBatch;
    } rows[] = {
        {"2008", "errors 2570, 8992", "DBCC CHECKDB (N'Checked') WITH DATA_PURITY"},
        {"2000", "errors 2513", "DBCC CHECKCATALOG (N'Checked')"},
    };
    for (const auto& row : rows) {
        quarn_test::StandinProcess server;
        const QString backup = startWithShopBackup(server, row.version, {"inconsistent"});
        ASSERT_FALSE(backup.isEmpty()) << server.errorString().toStdString();
        const Outcome outcome =
            runCli({"--server", server.dataSource(), "--user", "sa", "--backup", backup, "--name",
                    "Checked", "--dir", server.scratch() + "/data", "--check"});

        EXPECT_EQ(outcome.exitCode, 3) << describe(outcome);
        EXPECT_TRUE(outcome.err.contains("the database Checked was restored and kept, but this is "
                                         "left to do"))
            << describe(outcome);
        EXPECT_TRUE(outcome.err.contains(row.errors)) << describe(outcome);
        EXPECT_TRUE(server.catalogueText().contains("Checked")) << describe(outcome);
        EXPECT_EQ(server.batches().last(), row.lastBatch + "\r\n");
    }
}

// A SQL Server 2000 database restored on SQL Server 2008 is raised to its level once; a second
// --finish on it finds nothing to do.
TEST(CliVersions, FinishRaisesARestoredDatabaseOnceAndThenFindsNothingToDo) {
    if (quarn_test::StandinProcess::binary().isEmpty()) {
        GTEST_SKIP() << "the stand-in was not built";
    }
    quarn_test::StandinProcess server;
    const QString backup = startWithShopBackup(server, "2008");
    ASSERT_FALSE(backup.isEmpty()) << server.errorString().toStdString();
    const QStringList connection = {"--server", server.dataSource(), "--user", "sa", "--name",
                                    "Raised"};
    Outcome outcome = runCli(connection + QStringList{"--backup", backup, "--dir",
                                                      server.scratch() + "/data", "--finish"});

    EXPECT_EQ(outcome.exitCode, 0) << describe(outcome);
    EXPECT_TRUE(outcome.out.contains("raising the compatibility level from 80 to 100... OK！"))
        << describe(outcome);
    EXPECT_TRUE(outcome.out.contains("from TORN_PAGE_DETECTION to CHECKSUM... OK！"));
    const QStringList changes = {"ALTER DATABASE [Raised] SET COMPATIBILITY_LEVEL = 100\r\n",
                                 "ALTER DATABASE [Raised] SET PAGE_VERIFY CHECKSUM\r\n"};
    EXPECT_EQ(server.batches().filter("ALTER DATABASE"), changes);

    outcome = runCli(connection + QStringList{"--finish"});

    EXPECT_EQ(outcome.exitCode, 0) << describe(outcome);
    EXPECT_TRUE(outcome.out.contains("nothing to do: the database Raised is upgraded already"))
        << describe(outcome);
    EXPECT_EQ(server.batches().filter("ALTER DATABASE"), changes);
    EXPECT_EQ(server.batches().filter("RESTORE DATABASE").size(), 1);
}

TEST_F(CliAgainstStandin, DefaultsFileFillsUnsetOptionsAndOptionsWin) {
    auto gbk = QStringEncoder("GBK");
    const QString text = "[初始默认值]\r\n服务器电脑名=" + server.dataSource() +
                         "\r\n认证方式=指定用户名密码\r\n数据库用户名=sa\r\n数据库--密码=secret\r\n"
                         "恢复来源文件=" +
                         backup + "\r\n新的数据库名称=FromFile\r\n数据库存放目录=" + dataDir +
                         "\r\n";
    const QString path = server.scratch() + "/defaults.ini";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(gbk.encode(text));
    file.close();

    Outcome outcome = runCli({"--defaults", path}, QString());
    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    EXPECT_TRUE(QFileInfo(dataDir + "/FromFile_Data.MDF").isFile());

    outcome = runCli({"--defaults", path, "--name", "FromOption"}, QString());
    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    EXPECT_TRUE(QFileInfo(dataDir + "/FromOption_Data.MDF").isFile());
}

TEST_F(CliAgainstStandin, LoginWithoutPasswordAsksForItOnStandardInput) {
    Outcome outcome = runCli(restoreArguments("Asked"), QString(), "secret\n");
    EXPECT_EQ(outcome.exitCode, 0) << describe(outcome);

    outcome = runCli(restoreArguments("NotAsked"), QString());
    EXPECT_EQ(outcome.exitCode, 2) << describe(outcome);
    EXPECT_TRUE(server.batches().filter("NotAsked").isEmpty());
}

// Paths in Windows form name the server's disk: nothing is looked for or made here, and what the
// server cannot find ends the run with its own error.
TEST_F(CliAgainstStandin, WindowsPathsAreLeftToTheServer) {
    const QDir disk(server.scratch());
    ASSERT_TRUE(disk.mkdir("SQL2000_DB"));
    ASSERT_TRUE(disk.mkdir("old"));
    const auto restoreInto = [this](const QString& name, const QString& dir) {
        return runCli({"--server", server.dataSource(), "--user", "sa", "--backup", "D:\\Shop.bak",
                       "--name", name, "--dir", dir});
    };
    Outcome outcome = restoreInto("OnServer", "D:\\SQL2000_DB");
    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    EXPECT_TRUE(QFileInfo(disk.filePath("SQL2000_DB/OnServer_Data.MDF")).isFile());

    ASSERT_EQ(restoreInto("Old", "d:/old").exitCode, 0);
    db::OdbcQueryClient detach;
    detach.setConnectionString(server.connectionString());
    detach.setStatement("exec sp_detach_db N'Old'");
    ASSERT_NO_THROW(detach.execute());
    outcome = runCli({"--server", server.dataSource(), "--user", "sa", "--mdf",
                      "D:\\old\\Old_Data.MDF", "--name", "Attached"});
    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    EXPECT_TRUE(server.catalogueText().contains("Attached"))
        << server.catalogueText().toStdString();

    // A log the server lacks is refused as one missing here is, and nothing is attached.
    ASSERT_TRUE(QFile::copy(disk.filePath("old/Old_Data.MDF"), disk.filePath("old/Lost_Data.MDF")));
    outcome = runCli({"--server", server.dataSource(), "--user", "sa", "--mdf",
                      "D:\\old\\Lost_Data.MDF", "--name", "Lost"});
    EXPECT_EQ(outcome.exitCode, 2) << describe(outcome);
    EXPECT_TRUE(
        outcome.err.contains(QStringLiteral("在相同目录中，找不到日志文件:D:\\old\\Lost_Log.LDF")))
        << describe(outcome);
    EXPECT_TRUE(server.batches().last().startsWith("exec master..xp_fileexist"));

    outcome = restoreInto("Nowhere", "D:\\nope");
    EXPECT_EQ(outcome.exitCode, 1) << describe(outcome);
    EXPECT_EQ(outcome.out,
              ConnectLine + Ok + "\n" + QStringLiteral("正在创建新的数据库...") + "\n");
    EXPECT_TRUE(outcome.err.contains("CREATE FILE encountered operating system error"))
        << describe(outcome);
    EXPECT_TRUE(server.batches().last().startsWith("CREATE DATABASE [Nowhere]"));
    EXPECT_FALSE(disk.exists("nope"));
}

namespace {

QByteArray checksum(const QString& path) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

// Restores the backup as `name` into its own folder of the scratch folder, then detaches it as an
// operator would: a pair of files shut down cleanly. Gives the data file's path.
QString detachedPair(const quarn_test::StandinProcess& server, const QString& backup,
                     const QString& name) {
    const QString folder = server.scratch() + "/" + name;
    const Outcome restored = runCli({"--server", server.dataSource(), "--user", "sa", "--backup",
                                     backup, "--name", name, "--dir", folder});
    EXPECT_EQ(restored.exitCode, 0) << describe(restored);
    db::OdbcQueryClient detach;
    detach.setConnectionString(server.connectionString());
    detach.setStatement("exec sp_detach_db N'" + name + "'");
    EXPECT_NO_THROW(detach.execute());
    return folder + "/" + name + "_Data.MDF";
}

} // namespace

// A SQL Server 2000 pair attached to SQL Server 2008 is upgraded for good: only with the operator's
// word, or as copies that leave the originals as they were.
TEST(CliVersions, ANewerServerAttachesA2000PairOnlyWhenToldAndCopyFirstKeepsTheOriginals) {
    if (quarn_test::StandinProcess::binary().isEmpty()) {
        GTEST_SKIP() << "the stand-in was not built";
    }
    quarn_test::StandinProcess server;
    ASSERT_TRUE(server.start()) << server.errorString().toStdString();
    const QString backup = server.scratch() + "/Shop.bak";
    ASSERT_TRUE(server.makeBackup(backup, "Shop", {"D:Shop_Data:1M", "L:Shop_Log:1M"}));
    const QString data = detachedPair(server, backup, "Old");
    const QString log = server.scratch() + "/Old/Old_Log.LDF";
    const QByteArray dataSum = checksum(data);
    const QByteArray logSum = checksum(log);
    ASSERT_TRUE(server.stop());
    ASSERT_TRUE(server.start({.version = "2008"})) << server.errorString().toStdString();
    const QString dataDir = server.scratch() + "/data";
    const qsizetype before = server.batches().size(); // the log goes on across the restart
    const auto attach = [&](const QString& name, const QStringList& options) {
        return runCli(QStringList{"--server", server.dataSource(), "--user", "sa", "--mdf", data,
                                  "--name", name, "--dir", dataDir} +
                      options);
    };

    Outcome outcome = attach("Refused", {});
    EXPECT_EQ(outcome.exitCode, 2) << describe(outcome);
    EXPECT_TRUE(outcome.err.contains(
        QStringLiteral("服务器 SQL Server 2008 (10.0.5500) 附加这对数据文件时会就地把它们升级")))
        << describe(outcome);
    EXPECT_TRUE(outcome.err.contains("Give --copy-first")) << describe(outcome);
    EXPECT_EQ(server.batches().mid(before).join("").trimmed(), "SELECT GETDATE()");
    EXPECT_EQ(checksum(data), dataSum);
    EXPECT_EQ(checksum(log), logSum);

    outcome = attach("Copied", {"--copy-first"});
    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    // The attach, then the read of its users.
    EXPECT_EQ(server.batches().end()[-2].trimmed(), "exec sp_attach_db N'Copied' , N'" + dataDir +
                                                        "/Copied_Data.MDF', N'" + dataDir +
                                                        "/Copied_Log.LDF'");
    EXPECT_EQ(checksum(data), dataSum);
    EXPECT_EQ(checksum(log), logSum);
    EXPECT_TRUE(server.catalogueText().contains("db Copied ONLINE"))
        << server.catalogueText().toStdString();

    outcome = attach("Upgraded", {"--upgrade-files"});
    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    EXPECT_NE(checksum(data), dataSum) << "the server did not upgrade the files it attached";
    EXPECT_TRUE(server.catalogueText().contains("db Upgraded ONLINE"));
    EXPECT_FALSE(server.catalogueText().contains("Refused"));
}

// Without its log a data file is attached alone, and the server makes a new log, only for a
// database shut down cleanly; one copied from a database that is online is refused and nothing is
// left, and nothing forces a rebuild.
TEST_P(CliAgainstEachServer, RebuildLogAttachesACleanlyDetachedFileAndNoOtherOne) {
    const QString clean = detachedPair(server, backup, "Clean");
    ASSERT_TRUE(QFile::remove(server.scratch() + "/Clean/Clean_Log.LDF"));
    ASSERT_EQ(runCli(restoreArguments("Online")).exitCode, 0);
    QDir(server.scratch()).mkdir("copied");
    const QString copied = server.scratch() + "/copied/Copied_Data.mdf";
    ASSERT_TRUE(QFile::copy(dataDir + "/Online_Data.MDF", copied));
    const bool newer = serverVersion() != "2000";
    const auto attachAlone = [&](const QString& file, const QString& name) {
        QStringList arguments{
            "--server", server.dataSource(), "--user", "sa", "--mdf", file, "--name", name, "--dir",
            dataDir,    "--rebuild-log"};
        return runCli(newer ? arguments + QStringList{"--upgrade-files"} : arguments);
    };

    Outcome outcome = attachAlone(clean, "Rebuilt");
    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    EXPECT_EQ(server.batches().end()[-2].trimmed(),
              newer ? "CREATE DATABASE [Rebuilt] ON (FILENAME = N'" + clean +
                          "') FOR ATTACH_REBUILD_LOG"
                    : "exec sp_attach_single_file_db N'Rebuilt' , N'" + clean + "'");
    EXPECT_TRUE(server.catalogueText().contains("db Rebuilt ONLINE"))
        << server.catalogueText().toStdString();
    EXPECT_TRUE(outcome.err.contains("the log chain starts again here")) << describe(outcome);

    const int sent = server.batches().size();
    outcome = attachAlone(copied, "Broken");
    EXPECT_EQ(outcome.exitCode, 1) << describe(outcome);
    EXPECT_TRUE(outcome.err.contains("The server did not rebuild the log")) << describe(outcome);
    EXPECT_FALSE(server.catalogueText().contains("Broken"));
    EXPECT_EQ(QDir(server.scratch() + "/copied").entryList(QDir::Files),
              QStringList{"Copied_Data.mdf"});
    // The connection test and the one attach, nothing forced after it.
    EXPECT_EQ(server.batches().size(), sent + 2) << server.batches().join("|").toStdString();
}

namespace {

// Runs one statement through FreeTDS's tsql, as an operator at the server would.
QString tsql(const quarn_test::StandinProcess& server, const QString& statement) {
    QProcess client;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("FREETDSCONF", server.scratch() + "/no-freetds.conf");
    client.setProcessEnvironment(environment);
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.start("tsql", {"-H", "127.0.0.1", "-p", QString::number(server.port()), "-U", "sa", "-P",
                          "secret"});
    client.write((statement + "\ngo\nquit\n").toUtf8());
    client.closeWriteChannel();
    client.waitForFinished(30000);
    return QString::fromUtf8(client.readAll());
}

QStringList restoreHistory(const quarn_test::StandinProcess& server, const QString& database) {
    db::OdbcQueryClient history;
    history.setConnectionString(server.connectionString());
    history.setStatement("SELECT * FROM msdb..restorehistory WHERE destination_database_name = N'" +
                         database + "'");
    history.open();
    QStringList rows;
    for (history.first(); !history.atEnd(); history.next()) {
        rows << history.fieldText("restore_type") + " " + history.fieldText("recovery") + " " +
                    history.fieldText("stop_at").left(19);
    }
    return rows;
}

} // namespace

// Full, log, differential, log, log, a second or two apart, made with tsql into one folder.
TEST_F(CliAgainstStandin, RestoresATsqlChainToItsEndAndToATimeBetweenTwoLogs) {
    if (QStandardPaths::findExecutable("tsql").isEmpty()) {
        GTEST_SKIP() << "no tsql (freetds-bin)";
    }
    const QString chain = server.scratch() + "/chain";
    ASSERT_TRUE(QDir().mkpath(chain));
    const auto backup = [&](const QString& what, const QString& file, const QString& with = {}) {
        const QString output =
            tsql(server, "BACKUP " + what + " TO DISK = N'" + chain + "/" + file + "'" + with);
        EXPECT_TRUE(output.contains("successfully processed")) << output.toStdString();
        QThread::sleep(1);
    };
    ASSERT_TRUE(tsql(server, "CREATE DATABASE [Src]").contains("allocating"));
    backup("DATABASE [Src]", "1_full.bak");
    backup("LOG [Src]", "2_log.trn");
    backup("DATABASE [Src]", "3_diff.bak", " WITH DIFFERENTIAL");
    backup("LOG [Src]", "4_log.trn");
    const QDateTime between = QDateTime::currentDateTime().addSecs(1);
    QThread::sleep(1);
    backup("LOG [Src]", "5_log.trn");

    Outcome outcome = runCli({"--server", server.dataSource(), "--user", "sa", "--backup", chain,
                              "--name", "AtEnd", "--dir", dataDir});
    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    EXPECT_TRUE(outcome.out.contains(QStringLiteral("正在恢复差异备份...") + Ok));
    EXPECT_TRUE(outcome.out.contains(QStringLiteral("正在恢复日志备份 2/2...") + Ok));
    // The last is the users read after the restore.
    QStringList batches = server.batches().filter("AtEnd");
    ASSERT_EQ(batches.size(), 7) << batches.join("|").toStdString();
    EXPECT_TRUE(batches[5].startsWith("SELECT CAST(DATABASEPROPERTYEX(N'AtEnd', 'Status')"));
    EXPECT_TRUE(batches[1].contains("1_full.bak' WITH  FILE = 1,  NOUNLOAD ,  STATS = 10,  "
                                    "NORECOVERY ,  REPLACE ,  MOVE N'Src' TO N'" +
                                    dataDir + "/AtEnd_Data.MDF'"));
    EXPECT_TRUE(batches[2].startsWith("RESTORE DATABASE [AtEnd] FROM  DISK = N'" + chain +
                                      "/3_diff.bak' WITH  FILE = 1,  NOUNLOAD ,  STATS = 10,  "
                                      "NORECOVERY"));
    EXPECT_TRUE(batches[3].startsWith("RESTORE LOG [AtEnd] FROM  DISK = N'" + chain +
                                      "/4_log.trn' WITH  FILE = 1,  NOUNLOAD ,  STATS = 10,  "
                                      "NORECOVERY"));
    EXPECT_TRUE(batches[4].startsWith("RESTORE LOG [AtEnd] FROM  DISK = N'" + chain +
                                      "/5_log.trn' WITH  FILE = 1,  NOUNLOAD ,  STATS = 10,  "
                                      "RECOVERY"));
    EXPECT_EQ(restoreHistory(server, "AtEnd"), QStringList({"D 0 ", "I 0 ", "L 0 ", "L 1 "}));
    EXPECT_TRUE(server.catalogueText().contains("db AtEnd ONLINE"));

    const QString until = between.toString("yyyy-MM-dd HH:mm:ss");
    outcome = runCli({"--server", server.dataSource(), "--user", "sa", "--backup", chain, "--name",
                      "Between", "--dir", dataDir, "--until", until});
    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    batches = server.batches().filter("Between");
    ASSERT_EQ(batches.size(), 7) << batches.join("|").toStdString();
    EXPECT_TRUE(batches[4].contains("5_log.trn' WITH  FILE = 1,  NOUNLOAD ,  STATS = 10,  "
                                    "RECOVERY,  STOPAT = N'" +
                                    until + "'"))
        << batches[4].toStdString();
    EXPECT_EQ(restoreHistory(server, "Between"),
              QStringList({"D 0 ", "I 0 ", "L 0 ", "L 1 " + until}));
    EXPECT_TRUE(server.catalogueText().contains("db Between ONLINE"));

    // A review prints the state read with the statements it would send, and changes nothing.
    outcome = runCli({"--server", server.dataSource(), "--user", "sa", "--backup", chain, "--name",
                      "Reviewed", "--dir", dataDir, "--script"});
    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    EXPECT_TRUE(outcome.out.contains(
        "SELECT CAST(DATABASEPROPERTYEX(N'Reviewed', 'Status') AS nvarchar(128)) AS Status\nGO\n"
        "SELECT u.uid, u.name, u.sid, l.name AS samename FROM [Reviewed]..sysusers"))
        << describe(outcome);
    EXPECT_FALSE(server.catalogueText().contains("Reviewed"));
}

TEST_F(CliAgainstStandin, AGapInTheLogChainIsRefusedAfterReadingTheHeadersOnly) {
    const QString chain = server.scratch() + "/chain";
    ASSERT_TRUE(QDir().mkpath(chain));
    ASSERT_EQ(QProcess::execute(quarn_test::StandinProcess::binary(),
                                {"make-backup", chain, "--chain", "3", "--db", "Shop", "--file",
                                 "D:Shop_Data:64K", "--file", "L:Shop_Log:64K"}),
              0);
    ASSERT_TRUE(QFile::remove(chain + "/Shop_log_0002.trn"));
    const Outcome outcome = runCli({"--server", server.dataSource(), "--user", "sa", "--backup",
                                    chain, "--name", "Gap", "--dir", dataDir});
    EXPECT_EQ(outcome.exitCode, 2) << describe(outcome);
    EXPECT_TRUE(outcome.err.contains("LSN 1000000361000002")) << describe(outcome);
    const QStringList batches = server.batches();
    EXPECT_EQ(batches.filter(QRegularExpression("^RESTORE HEADERONLY")).size(), 3);
    EXPECT_EQ(batches.size(), 3) << batches.join("|").toStdString();
}

// A maintenance plan's folder: a hidden log backup, the plan's report and a backup still being
// written (empty) beside the chain.
TEST_F(CliAgainstStandin, EveryFileOfAFolderIsReadAndWhatIsNoBackupIsNamedAndSkipped) {
    const QString chain = server.scratch() + "/plan";
    ASSERT_TRUE(QDir().mkpath(chain));
    ASSERT_EQ(QProcess::execute(quarn_test::StandinProcess::binary(),
                                {"make-backup", chain, "--chain", "3", "--db", "Shop", "--file",
                                 "D:Shop_Data:64K", "--file", "L:Shop_Log:64K"}),
              0);
    ASSERT_TRUE(QFile::rename(chain + "/Shop_log_0002.trn", chain + "/.Shop_log_0002.trn"));
    QFile report(chain + "/Shop_report.txt");
    ASSERT_TRUE(report.open(QIODevice::WriteOnly));
    report.write("Microsoft (R) Server Maintenance Utility\r\n");
    report.close();
    QFile writing(chain + "/Shop_log_0004.trn");
    ASSERT_TRUE(writing.open(QIODevice::WriteOnly));
    writing.close();
    const QStringList arguments = {"--server", server.dataSource(),
                                   "--user",   "sa",
                                   "--backup", chain,
                                   "--name",   "Swept",
                                   "--dir",    dataDir};

    Outcome outcome = runCli(arguments + QStringList{"--list"});
    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    for (const char* stray : {"Shop_report.txt", "Shop_log_0004.trn"}) {
        EXPECT_TRUE(
            outcome.err.contains("skipped, not a backup that can be read: " + chain + "/" + stray))
            << describe(outcome);
    }
    EXPECT_TRUE(outcome.out.contains("* " + chain + "/.Shop_log_0002.trn")) << describe(outcome);

    outcome = runCli(arguments);
    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    const QStringList batches = server.batches().filter("Swept");
    ASSERT_EQ(batches.size(), 7) << batches.join("|").toStdString();
    EXPECT_TRUE(batches[3].contains(chain + "/.Shop_log_0002.trn'")) << batches[3].toStdString();
    EXPECT_TRUE(server.catalogueText().contains("db Swept ONLINE"));
}

// The defaults file's backup is a --backup like one given: its folder is a sequence, and --until
// plans from it.
TEST_F(CliAgainstStandin, TheDefaultsFilesBackupTakesPartInASequence) {
    const QString chain = server.scratch() + "/nightly";
    ASSERT_TRUE(QDir().mkpath(chain));
    ASSERT_EQ(QProcess::execute(quarn_test::StandinProcess::binary(),
                                {"make-backup", chain, "--chain", "2", "--db", "Shop", "--file",
                                 "D:Shop_Data:64K", "--file", "L:Shop_Log:64K"}),
              0);
    const QString text = "[初始默认值]\r\n服务器电脑名=" + server.dataSource() +
                         "\r\n认证方式=指定用户名密码\r\n数据库用户名=sa\r\n数据库--密码=secret\r\n"
                         "恢复来源文件=" +
                         chain + "\r\n新的数据库名称=Nightly\r\n数据库存放目录=" + dataDir + "\r\n";
    const QString path = server.scratch() + "/nightly.ini";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringEncoder("GBK").encode(text));
    file.close();

    Outcome outcome = runCli({"--defaults", path}, QString());
    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    EXPECT_EQ(server.batches().filter("Nightly").size(), 6) << describe(outcome);

    // Between the two log backups, the first an hour after the full one and the second an hour ago.
    const QString until =
        QDateTime::currentDateTime().addSecs(-90 * 60).toString("yyyy-MM-dd HH:mm:ss");
    outcome = runCli({"--defaults", path, "--name", "Earlier", "--until", until}, QString());
    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    const QStringList batches = server.batches().filter("Earlier");
    ASSERT_EQ(batches.size(), 6) << batches.join("|").toStdString();
    EXPECT_TRUE(batches[3].contains("STOPAT = N'" + until + "'")) << batches[3].toStdString();
}

// The server's clock need not skip the hour this machine's does when summer time begins.
TEST_F(CliAgainstStandin, UntilIsTheServersClockTimeEvenInAnHourThisMachineSkips) {
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    const Outcome outcome =
        runCli({"--server", server.dataSource(), "--user", "sa", "--backup", backup, "--until",
                "2026-03-29 02:30", "--name", "Spring", "--dir", dataDir});
    if (zone.isNull()) {
        qunsetenv("TZ");
    } else {
        qputenv("TZ", zone);
    }
    EXPECT_EQ(outcome.exitCode, 2) << describe(outcome);
    EXPECT_TRUE(
        outcome.err.contains("2026-03-29 02:30:00 is before the first full backup finished"))
        << describe(outcome);
}

// Ctrl-C while the differential is restored: the database the run created goes again.
TEST_F(CliAgainstStandin, InterruptInTheMiddleOfASequenceDropsTheNewDatabase) {
    ASSERT_TRUE(server.stop());
    ASSERT_TRUE(server.start({.faults = {"rate:1048576"}})) << server.errorString().toStdString();
    const QString chain = server.scratch() + "/slow";
    ASSERT_TRUE(QDir().mkpath(chain));
    ASSERT_EQ(
        QProcess::execute(quarn_test::StandinProcess::binary(),
                          {"make-backup", chain, "--chain", "2", "--differential-after", "1",
                           "--db", "Shop", "--file", "D:Shop_Data:2M", "--file", "L:Shop_Log:64K"}),
        0);
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUARN_SQL_PASSWORD", "secret");
    cli.setProcessEnvironment(environment);
    cli.start(QStringLiteral(QUARN_CLI_BIN),
              {"--server", server.dataSource(), "--user", "sa", "--backup", chain, "--name",
               "MidWay", "--dir", dataDir});
    const QByteArray differential = QStringLiteral("正在恢复差异备份... 10%").toUtf8();
    QByteArray out;
    while (!out.contains(differential) && cli.waitForReadyRead(10000)) {
        out += cli.readAllStandardOutput();
    }
    ASSERT_TRUE(out.contains(differential)) << out.data();
    ::kill(pid_t(cli.processId()), SIGINT);

    ASSERT_TRUE(cli.waitForFinished(10000));
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    EXPECT_EQ(cli.exitCode(), 130) << err.toStdString();
    EXPECT_TRUE(err.contains("the unfinished database MidWay was removed")) << err.toStdString();
    const QStringList batches = server.batches().filter("MidWay");
    ASSERT_EQ(batches.size(), 5) << batches.join("|").toStdString();
    EXPECT_TRUE(batches[2].contains("Shop_diff.bak"));
    EXPECT_EQ(batches[4], "DROP DATABASE [MidWay]\r\n");
    EXPECT_FALSE(server.catalogueText().contains("db MidWay"));
}

// The log restored last turns out to end before the time asked for (here its file is replaced while
// the full backup is restored): the server rolls it all forward, says 4327 and leaves the database
// loading. That is a failure, and the database the run made is dropped.
TEST_F(CliAgainstStandin, ARestoreLeftLoadingIsAFailureAndItsDatabaseIsDropped) {
    ASSERT_TRUE(server.stop());
    ASSERT_TRUE(server.start({.faults = {"delay:restore:1500"}}))
        << server.errorString().toStdString();
    const QString chain = server.scratch() + "/late";
    ASSERT_TRUE(QDir().mkpath(chain));
    ASSERT_EQ(QProcess::execute(quarn_test::StandinProcess::binary(),
                                {"make-backup", chain, "--chain", "1", "--db", "Shop", "--file",
                                 "D:Shop_Data:64K", "--file", "L:Shop_Log:64K"}),
              0);
    QFile log(chain + "/Shop_log_0001.trn");
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    QByteArray content = log.readAll();
    log.close();
    const QRegularExpression finished("\nfinished ([0-9]+)\n");
    const auto found = finished.match(QString::fromLatin1(content.left(4096)));
    ASSERT_TRUE(found.hasMatch());
    const qint64 end = found.captured(1).toLongLong();
    const QString until =
        QDateTime::fromSecsSinceEpoch(end - 600).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    content.replace("\nfinished " + found.captured(1).toLatin1() + "\n",
                    "\nfinished " + QByteArray::number(end - 1200) + "\n");

    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUARN_SQL_PASSWORD", "secret");
    cli.setProcessEnvironment(environment);
    cli.start(QStringLiteral(QUARN_CLI_BIN),
              {"--server", server.dataSource(), "--user", "sa", "--backup", chain, "--until", until,
               "--name", "Late", "--dir", dataDir});
    const QByteArray restoring = RestoreLine.toUtf8();
    QByteArray out;
    while (!out.contains(restoring) && cli.waitForReadyRead(10000)) {
        out += cli.readAllStandardOutput();
    }
    ASSERT_TRUE(out.contains(restoring)) << out.data();
    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    log.write(content);
    log.close();

    ASSERT_TRUE(cli.waitForFinished(20000));
    out += cli.readAllStandardOutput();
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    EXPECT_EQ(cli.exitCode(), 1) << out.data() << err.toStdString();
    EXPECT_TRUE(err.contains("left in load state")) << err.toStdString();
    EXPECT_FALSE(err.contains(QStringLiteral("恭喜您"))) << err.toStdString();
    EXPECT_TRUE(
        out.endsWith((QStringLiteral("正在删除未完成恢复的数据库...") + Ok + "\n").toUtf8()))
        << out.data();
    EXPECT_EQ(server.batches().last(), "DROP DATABASE [Late]\r\n");
    EXPECT_FALSE(server.catalogueText().contains("db Late"));
}

// Sets of two databases appended to one device, given as the server's folder that holds it.
TEST_F(CliAgainstStandin, SetsOfTwoDatabasesNeedTheDatabaseNamed) {
    ASSERT_TRUE(QDir().mkpath(server.scratch() + "/two"));
    ASSERT_TRUE(server.makeBackup(server.scratch() + "/two/both.bak", "Shop",
                                  {"D:Shop_Data:64K", "L:Shop_Log:64K"}));
    ASSERT_TRUE(server.makeBackup(server.scratch() + "/two/both.bak", "Stock",
                                  {"D:Stock_Data:64K", "L:Stock_Log:64K"},
                                  quarn_test::StandinProcess::Device::Append));
    const QString device = "D:\\two\\both.bak";
    QStringList arguments = {"--server", server.dataSource(),
                             "--user",   "sa",
                             "--backup", "D:\\two\\",
                             "--name",   "Chosen",
                             "--dir",    dataDir};
    Outcome outcome = runCli(arguments);
    EXPECT_EQ(outcome.exitCode, 2) << describe(outcome);
    EXPECT_TRUE(outcome.err.contains("Shop, Stock")) << describe(outcome);

    outcome = runCli(arguments << "--database"
                               << "Stock"
                               << "--list");
    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    EXPECT_TRUE(outcome.out.contains("  " + device + QStringLiteral(" 备份集 set 1: Shop")));
    EXPECT_TRUE(outcome.out.contains("* " + device + QStringLiteral(" 备份集 set 2: Stock")));

    arguments.removeLast();
    outcome = runCli(arguments);
    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    EXPECT_TRUE(server.batches()
                    .filter("xp_dirtree")
                    .last()
                    .startsWith("EXEC master..xp_dirtree N'D:\\two\\', 1, 1"));
    // The create, the restore and the users read after it.
    const QStringList batches = server.batches().filter("Chosen");
    ASSERT_EQ(batches.size(), 3) << batches.join("|").toStdString();
    EXPECT_TRUE(batches[1].contains("' WITH  FILE = 2,  NOUNLOAD ,  STATS = 10,  RECOVERY ,  "
                                    "REPLACE ,  MOVE N'Stock_Data'"));
}
