#include "StandinProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringEncoder>

#include <gtest/gtest.h>

#include <csignal>

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

Outcome runCli(const QStringList& arguments, const QString& password = QStringLiteral("secret"),
               const QByteArray& input = {}, const QString& workingDirectory = {},
               const QString& program = QUARN_CLI_BIN) {
    QProcess cli;
    cli.setWorkingDirectory(workingDirectory);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QUARN_SQL_PASSWORD"));
    // Read by LeakSanitizer in sanitized builds only.
    environment.insert(QStringLiteral("LSAN_OPTIONS"),
                       QStringLiteral("suppressions=" QUARN_CLI_LSAN_SUPPRESSIONS));
    if (!password.isNull()) {
        environment.insert(QStringLiteral("QUARN_SQL_PASSWORD"), password);
    }
    cli.setProcessEnvironment(environment);
    cli.start(program, arguments);
    cli.write(input);
    cli.closeWriteChannel();
    if (!cli.waitForFinished(60000)) {
        cli.kill();
        cli.waitForFinished();
    }
    return {cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1,
            QString::fromUtf8(cli.readAllStandardOutput()),
            QString::fromUtf8(cli.readAllStandardError())};
}

std::string describe(const Outcome& outcome) {
    return ("exit " + QString::number(outcome.exitCode) + "\nstdout:\n" + outcome.out +
            "\nstderr:\n" + outcome.err)
        .toStdString();
}

const QString ConnectLine = QStringLiteral("尝试连接到MSSQL数据库... ...");
const QString RestoreLine = QStringLiteral("正在恢复数据库...");
const QString Ok = QStringLiteral(" OK！");

class CliAgainstStandin : public ::testing::Test {
protected:
    void SetUp() override {
        if (quarn_test::StandinProcess::binary().isEmpty()) {
            GTEST_SKIP() << "the stand-in was not built";
        }
        ASSERT_TRUE(server.start()) << server.errorString().toStdString();
        backup = server.scratch() + "/Shop.bak";
        ASSERT_TRUE(server.makeBackup(backup, "Shop", {"D:Shop_Data:1M", "L:Shop_Log:1M"}))
            << server.errorString().toStdString();
        dataDir = server.scratch() + "/data";
    }

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

} // namespace

TEST(Cli, UnusableArgumentsExitWithTwoBeforeAnythingElse) {
    const QStringList rows[] = {
        {"--bogus"},
        {"--windows-auth", "--user", "sa"},
        {"--backup", "a.bak", "--mdf", "a_Data.mdf"},
        {"stray"},
        {"--name", "a", "--name", "b"},
        {"--defaults", "/nonexistent/defaults.ini"},
        {"--server"},
    };
    for (const QStringList& arguments : rows) {
        const Outcome outcome = runCli(arguments);
        EXPECT_EQ(outcome.exitCode, 2) << arguments.join(' ').toStdString() << describe(outcome);
        EXPECT_FALSE(outcome.err.isEmpty()) << arguments.join(' ').toStdString();
        EXPECT_TRUE(outcome.out.isEmpty()) << describe(outcome);
    }
}

TEST(Cli, HelpIsInChineseAndEnglish) {
    const Outcome outcome = runCli({"--help"});
    EXPECT_EQ(outcome.exitCode, 0) << describe(outcome);
    EXPECT_TRUE(outcome.out.contains("用法 Usage")) << describe(outcome);
    EXPECT_TRUE(outcome.out.contains("QUARN_SQL_PASSWORD"));
}

TEST_F(CliAgainstStandin, RefusedInputSaysWhySendsNothingAndExitsWithTwoInEveryMode) {
    const struct {
        QStringList arguments;
        QString notice;
        QString password = QStringLiteral("secret");
    } rows[] = {
        {{"--server", server.dataSource(), "--user", "sa", "--backup", backup, "--dir", dataDir},
         QStringLiteral("请输入\"新的数据库名称\"")},
        {{"--server", server.dataSource(), "--user", "sa", "--name", "X", "--dir", dataDir},
         QStringLiteral("请选择数据库恢复来源文件")},
        {{"--server", "   ", "--backup", backup, "--name", "X"},
         QStringLiteral("请先输入\"服务器电脑名\"")},
        {{"--server", server.dataSource(), "--mdf", server.scratch() + "/Gone_Data.mdf", "--name",
          "X", "--dir", dataDir},
         QStringLiteral("在相同目录中，找不到日志文件:") + server.scratch() + "/Gone_Log.LDF"},
        {{"--server", server.dataSource(), "--backup", backup, "--name", "X", "--dir", backup},
         QStringLiteral("您输入的是无效目录")},
        // FreeTDS 1.3 ends a braced value at the first "};".
        {restoreArguments("X"), QStringLiteral("cannot take a PWD that contains \"};\""),
         QStringLiteral("a};b")},
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

TEST_F(CliAgainstStandin, RestoresABackupAndPrintsEachStepAsItCompletes) {
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

// Ctrl-C mid-restore cancels the statement on the server, which acknowledges it; nothing is sent
// after it, and the operator learns which database may be left restoring.
TEST_F(CliAgainstStandin, InterruptMidRestoreCancelsItOnTheServerAndExitsWith130) {
    throttle();
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUARN_SQL_PASSWORD", "secret");
    cli.setProcessEnvironment(environment);
    cli.start(QStringLiteral(QUARN_CLI_BIN), restoreArguments("Cut"));
    QByteArray out;
    while (!out.contains('%') && cli.waitForReadyRead(10000)) {
        out += cli.readAllStandardOutput();
    }
    ASSERT_TRUE(out.contains('%')) << "no percent before the restore ended: " << out.data();
    ::kill(pid_t(cli.processId()), SIGINT);

    ASSERT_TRUE(cli.waitForFinished(10000));
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit) << err.toStdString();
    EXPECT_EQ(cli.exitCode(), 130) << err.toStdString();
    EXPECT_TRUE(err.contains("Cut") && err.contains("restoring state")) << err.toStdString();
    const QStringList batches = server.batches();
    ASSERT_EQ(batches.size(), 4) << batches.join("|").toStdString();
    ASSERT_TRUE(batches[3].startsWith("RESTORE DATABASE [Cut]"));
    QFile log(server.batchLogPath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray restoreRecord = "batch " + QByteArray::number(batches[3].toUtf8().size()) +
                                     "\n" + batches[3].toUtf8() + "\n";
    EXPECT_TRUE(log.readAll().endsWith(restoreRecord + "attention\n"));
    EXPECT_TRUE(server.catalogueText().contains("db Cut RESTORING"))
        << server.catalogueText().toStdString();
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

    ASSERT_EQ(runCli(restoreArguments("Shop2")).exitCode, 0);
    outcome = runCli(restoreArguments("Shop2"));
    EXPECT_EQ(outcome.exitCode, 1) << describe(outcome);
    EXPECT_TRUE(outcome.err.contains("Database 'Shop2' already exists")) << describe(outcome);
}

TEST_F(CliAgainstStandin, ScriptReadsTheFileListAndSendsNothingThatChangesTheServer) {
    QStringList arguments = restoreArguments("Reviewed");
    arguments << "--script";
    const Outcome outcome = runCli(arguments);

    ASSERT_EQ(outcome.exitCode, 0) << describe(outcome);
    const QStringList lines = outcome.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << describe(outcome);
    EXPECT_TRUE(lines[0].startsWith("CREATE DATABASE [Reviewed]  ON PRIMARY (NAME = N'Shop_Data'"));
    EXPECT_EQ(lines[1], "GO");
    EXPECT_TRUE(lines[2].startsWith("RESTORE DATABASE [Reviewed] FROM  DISK = N'" + backup));
    EXPECT_EQ(lines[3], "GO");
    EXPECT_FALSE(outcome.err.contains(QStringLiteral("恭喜您"))) << describe(outcome);

    const QStringList batches = server.batches();
    ASSERT_EQ(batches.size(), 2) << batches.join("|").toStdString();
    EXPECT_EQ(batches[0], "SELECT GETDATE()\r\n");
    EXPECT_TRUE(batches[1].startsWith("RESTORE FILELISTONLY FROM  DISK = N'"));
    EXPECT_FALSE(server.catalogueText().contains("Reviewed"));
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
