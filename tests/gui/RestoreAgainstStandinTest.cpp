// The start button runs a real restore through ODBC and FreeTDS against the stand-in, writing into
// the window's own progress area: once as SQL Server 2000, once as SQL Server 2008, which upgrades
// the backups and data files as it takes them.

#include "BackupRestoreInputs.h"
#include "WindowFixture.h"

#include "StandinProcess.h"
#include "db/OdbcQueryClient.h"
#include "restore/BackupContents.h"
#include "restore/DatabaseUsers.h"
#include "restore/StatementTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace {

// 尝试连接到MSSQL数据库... ...
const QString ConnectLine = u"\u5c1d\u8bd5\u8fde\u63a5\u5230MSSQL\u6570\u636e\u5e93... ..."_s;
const QString CreateLine =
    u"\u6b63\u5728\u521b\u5efa\u65b0\u7684\u6570\u636e\u5e93..."_s; // 正在创建新的数据库...
const QString RestoreLine = u"\u6b63\u5728\u6062\u590d\u6570\u636e\u5e93..."_s; // 正在恢复数据库...
// 正在删除未完成恢复的数据库...
const QString DropLine =
    u"\u6b63\u5728\u5220\u9664\u672a\u5b8c\u6210\u6062\u590d\u7684\u6570\u636e\u5e93..."_s;
const QString OkMark = u" OK\uff01"_s; //  OK！
// 恭喜您，数据库已成功恢复了！！！
const QString SuccessNotice =
    u"\u606d\u559c\u60a8\uff0c\u6570\u636e\u5e93\u5df2\u6210\u529f\u6062\u590d\u4e86\uff01\uff01\uff01"_s;
// 恢复过程出错,具体错误信息是: and two carriage returns
const QString FailureHeading =
    u"\u6062\u590d\u8fc7\u7a0b\u51fa\u9519,\u5177\u4f53\u9519\u8bef\u4fe1\u606f\u662f:\r\r"_s;
// 正在恢复数据库，请等待恢复结束后再关闭窗口。
const QString CloseRefusedNotice =
    u"\u6b63\u5728\u6062\u590d\u6570\u636e\u5e93\uff0c\u8bf7\u7b49\u5f85\u6062\u590d\u7ed3\u675f\u540e\u518d\u5173\u95ed\u7a97\u53e3\u3002"_s;

// 目标文件已存在:
const QString ExistingTarget = u"\u76ee\u6807\u6587\u4ef6\u5df2\u5b58\u5728:"_s;

QString describe(const QList<FakeDesktop::Notice>& notices) {
    QStringList texts;
    for (const FakeDesktop::Notice& notice : notices) {
        texts << notice.text;
    }
    return texts.join(u" | ");
}

} // namespace

class RestoreAgainstStandinTest : public QObject, private WindowFixture {
    Q_OBJECT

public:
    explicit RestoreAgainstStandinTest(QString version) : version(std::move(version)) {}

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void successfulRestore();
    void wrongPassword_data();
    void wrongPassword();
    void refusedFieldsSendNothingThenCorrectedFieldsRestore();
    void longRestoreShowsItsPercentAndTakesNoInput();
    void failedRestoreLeavesNothingInTheWayOfTheNextPress();
    void everyFileLandsInTheTargetFolder_data();
    void everyFileLandsInTheTargetFolder();
    void anOtherTargetThatExistsIsRefusedBeforeTheCreate();
    void windowsPathsAreLeftToTheServer();
    void attachAsksBeforeANewerServerUpgradesTheFiles();
    void orphanedUsersAreNamedBeforeTheNotice();

private:
    BackupRestoreInputs inputs(const QString& databaseName, const QString& password) const;
    void pressStart() { click("d3"); }
    QString progress() { return find<QTextEdit>("d4")->toPlainText(); }
    // Enters a restore of `backup` into a new folder of that name and presses start.
    QString restoreInto(const QString& backup, const QString& name);
    // Sends statements as the stand-in's sa; empty on success, else the client's text.
    QString send(const QStringList& statements);

    // Options for a stand-in of the version under test.
    quarn_test::StandinProcess::Options serverOptions(const QStringList& faults = {}) const {
        return {.faults = faults, .version = version};
    }

    const QString version;
    quarn_test::StandinProcess standin;
    QString backupPath;
};

void RestoreAgainstStandinTest::initTestCase() {
    // D: is the scratch folder, as a Windows server would see its own disk.
    quarn_test::StandinProcess::Options options = serverOptions();
    options.drives = QStringList{u"D="_s + standin.scratch()};
    QVERIFY2(standin.start(options), qPrintable(standin.errorString()));
    backupPath = QDir(standin.scratch()).filePath(u"Shop.bak"_s);
    QVERIFY2(standin.makeBackup(backupPath, u"Shop"_s, {u"D:Shop_Data:2M"_s, u"L:Shop_Log:1M"_s}),
             qPrintable(standin.errorString()));
}

void RestoreAgainstStandinTest::init() {
    QVERIFY(openWindow());
}

void RestoreAgainstStandinTest::cleanup() {
    closeWindow();
}

BackupRestoreInputs RestoreAgainstStandinTest::inputs(const QString& databaseName,
                                                      const QString& password) const {
    return {standin.dataSource(), u"sa"_s,      password,
            backupPath,           databaseName, standin.scratch() + u'/'};
}

void RestoreAgainstStandinTest::successfulRestore() {
    enterBackupRestore(*form, desktop, inputs(u"NewShop"_s, u"secret"_s));
    pressStart();

    QCOMPARE(desktop.notices.size(), 1);
    QCOMPARE(desktop.notices[0].text, SuccessNotice);
    QVERIFY(desktop.notices[0].kind == restore::NoticeKind::Information);
    QCOMPARE(
        progress(),
        QStringList({ConnectLine + OkMark, CreateLine + OkMark, RestoreLine + OkMark}).join(u'\n'));
    QCOMPARE(form->frameGeometry().width(), 634);
    for (const QString& file : {u"NewShop_Data.MDF"_s, u"NewShop_Log.LDF"_s}) {
        QVERIFY2(QFileInfo(QDir(standin.scratch()).filePath(file)).isFile(),
                 qPrintable(
                     u"%1 was not restored; stand-in said: %2"_s.arg(file, standin.stderrText())));
    }
}

void RestoreAgainstStandinTest::wrongPassword_data() {
    QTest::addColumn<bool>("succeededBefore");
    QTest::newRow("first press") << false;
    QTest::newRow("after a success") << true;
}

void RestoreAgainstStandinTest::wrongPassword() {
    QFETCH(bool, succeededBefore);
    const int initialOuterWidth = form->frameGeometry().width();
    if (succeededBefore) {
        enterBackupRestore(*form, desktop, inputs(u"Earlier"_s, u"secret"_s));
        pressStart();
        QVERIFY2(desktop.notices.size() == 1 && desktop.notices[0].text == SuccessNotice,
                 qPrintable(describe(desktop.notices)));
        desktop.notices.clear();
    } else {
        enterBackupRestore(*form, desktop, inputs(u"Refused"_s, u"wrong"_s));
    }
    find<QLineEdit>("b3")->setText(u"wrong"_s);
    find<QLineEdit>("e1")->setText(u"Refused"_s);
    pressStart();

    QCOMPARE(desktop.notices.size(), 1);
    const FakeDesktop::Notice& notice = desktop.notices[0];
    QVERIFY(notice.kind == restore::NoticeKind::Error);
    QVERIFY2(notice.text.startsWith(FailureHeading) &&
                 notice.text.contains(u"Login failed for user 'sa'"_s),
             qPrintable(notice.text));
    QCOMPARE(progress(), ConnectLine);
    QCOMPARE(form->frameGeometry().width(), succeededBefore ? 634 : initialOuterWidth);
}

void RestoreAgainstStandinTest::refusedFieldsSendNothingThenCorrectedFieldsRestore() {
    const qsizetype batchesBefore = standin.batches().size();
    enterBackupRestore(*form, desktop, inputs(u"  Checked  "_s, u"secret"_s));
    const struct {
        const char* field;
        QString text;
        QString notice;
    } refusals[] = {
        {"b1", u"   "_s, u"\u8bf7\u5148\u8f93\u5165\"\u670d\u52a1\u5668\u7535\u8111\u540d\""_s},
        {"b2", u"\t"_s,
         u"\u8bf7\u5148\u8f93\u5165\"\u6570\u636e\u5e93\u7528\u6237\u540d\"(\u9ed8\u8ba4\u662f:sa)"_s},
        {"e2", u"relative-level"_s, u"\u60a8\u8f93\u5165\u7684\u662f\u65e0\u6548\u76ee\u5f55"_s},
    };
    for (const auto& refusal : refusals) {
        QLineEdit* edit = qobject_cast<QLineEdit*>(find<QWidget>(refusal.field));
        QComboBox* combo = qobject_cast<QComboBox*>(find<QWidget>(refusal.field));
        const QString kept = edit ? edit->text() : combo->currentText();
        edit ? edit->setText(refusal.text) : combo->setEditText(refusal.text);
        desktop.notices.clear();
        pressStart();
        QCOMPARE(desktop.notices.size(), 1);
        QCOMPARE(desktop.notices[0].text, refusal.notice);
        QCOMPARE(QApplication::focusWidget(), find<QWidget>(refusal.field));
        edit ? edit->setText(kept) : combo->setEditText(kept);
    }
    QCOMPARE(standin.batches().size(), batchesBefore);
    // The name was written back trimmed by the refused presses already.
    QCOMPARE(find<QLineEdit>("e1")->text(), u"Checked"_s);

    desktop.notices.clear();
    pressStart();
    QCOMPARE(desktop.notices.size(), 1);
    QCOMPARE(desktop.notices[0].text, SuccessNotice);
    QVERIFY(QFileInfo(QDir(standin.scratch()).filePath(u"Checked_Data.MDF"_s)).isFile());
}

// A throttled restore of about two seconds: a timer in the window's own event loop sees the
// percent rise, and a click on d3, typing into e1 and a close request meanwhile change nothing.
void RestoreAgainstStandinTest::longRestoreShowsItsPercentAndTakesNoInput() {
    quarn_test::StandinProcess slow;
    QVERIFY2(slow.start(serverOptions({u"rate:1048576"_s})), qPrintable(slow.errorString()));
    const QString backup = QDir(slow.scratch()).filePath(u"Slow.bak"_s);
    QVERIFY2(slow.makeBackup(backup, u"Shop"_s, {u"D:Shop_Data:1M"_s, u"L:Shop_Log:1M"_s}),
             qPrintable(slow.errorString()));
    enterBackupRestore(
        *form, desktop,
        {slow.dataSource(), u"sa"_s, u"secret"_s, backup, u"Slow"_s, slow.scratch() + u'/'});

    QList<int> percents;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, this, [&] {
        const QString line = progress().section(u'\n', -1);
        if (!line.startsWith(RestoreLine + u' ') || !line.endsWith(u'%')) {
            return;
        }
        const int percent = line.sliced(RestoreLine.size() + 1).chopped(1).toInt();
        if (percents.isEmpty()) {
            click("d3");
            QTest::keyClicks(find<QLineEdit>("e1"), u"Typed"_s);
            form->close();
        }
        if (percents.isEmpty() || percents.last() != percent) {
            percents << percent;
        }
    });
    watcher.start(10);
    pressStart();
    watcher.stop();

    QStringList seen;
    for (int percent : percents) {
        seen << QString::number(percent);
    }
    QVERIFY2(percents.size() >= 3 && std::is_sorted(percents.begin(), percents.end()),
             qPrintable(u"percents seen while restoring: "_s + seen.join(u", ")));
    QCOMPARE(find<QLineEdit>("e1")->text(), u"Slow"_s);
    QVERIFY(form->isVisible());
    QCOMPARE(describe(desktop.notices), CloseRefusedNotice + u" | "_s + SuccessNotice);
    QVERIFY(desktop.notices[0].kind == restore::NoticeKind::Information);
    QCOMPARE(
        progress(),
        QStringList({ConnectLine + OkMark, CreateLine + OkMark, RestoreLine + OkMark}).join(u'\n'));
    // A server newer than SQL Server 2000 is asked for the backup's version first; the users are
    // read last.
    QCOMPARE(slow.batches().size(), version == u"2000" ? 5 : 6);
}

QString RestoreAgainstStandinTest::restoreInto(const QString& backup, const QString& name) {
    const QString directory = QDir(standin.scratch()).filePath(name) + u'/';
    enterBackupRestore(*form, desktop,
                       {standin.dataSource(), u"sa"_s, u"secret"_s, backup, name, directory});
    pressStart();
    return directory;
}

QString RestoreAgainstStandinTest::send(const QStringList& statements) {
    db::OdbcQueryClient client;
    client.setConnectionString(standin.connectionString());
    try {
        for (const QString& statement : statements) {
            client.setStatement(statement);
            client.execute();
        }
    } catch (const db::QueryError& error) {
        return error.message();
    }
    return {};
}

// Files are "TYPE:LOGICAL", in file-list order. Backups that make-backup writes name files in a
// folder of their own, where a foreign file lies at every original path; names make-backup cannot
// carry come from a database the stand-in creates and backs up.
// The database a failed restore created is dropped on its connection before the notice, so the
// same press succeeds once the server does.
void RestoreAgainstStandinTest::failedRestoreLeavesNothingInTheWayOfTheNextPress() {
    const QString failure = u"RESTORE DATABASE is terminating abnormally"_s;
    quarn_test::StandinProcess server;
    QVERIFY2(server.start(serverOptions({u"error:restore:3013:"_s + failure})),
             qPrintable(server.errorString()));
    const QString backup = QDir(server.scratch()).filePath(u"Shop.bak"_s);
    QVERIFY2(server.makeBackup(backup, u"Shop"_s, {u"D:Shop_Data:1M"_s, u"L:Shop_Log:1M"_s}),
             qPrintable(server.errorString()));
    const QDir target(server.scratch() + u"/target"_s);
    enterBackupRestore(
        *form, desktop,
        {server.dataSource(), u"sa"_s, u"secret"_s, backup, u"Again"_s, target.path()});
    pressStart();

    QCOMPARE(desktop.notices.size(), 1);
    QCOMPARE(desktop.notices[0].text, FailureHeading + failure);
    QCOMPARE(progress(), QStringList({ConnectLine + OkMark, CreateLine + OkMark, RestoreLine,
                                      DropLine + OkMark})
                             .join(u'\n'));
    QCOMPARE(server.batches().last(), u"DROP DATABASE [Again]\r\n"_s);
    QVERIFY2(!server.catalogueText().contains(u"Again"_s), qPrintable(server.catalogueText()));
    QCOMPARE(target.entryList(QDir::Files), QStringList());

    QVERIFY(server.stop());
    QVERIFY2(server.start(serverOptions()), qPrintable(server.errorString()));
    find<QComboBox>("b1")->setEditText(server.dataSource());
    desktop.notices.clear();
    pressStart();
    QVERIFY2(desktop.notices.size() == 1 && desktop.notices[0].text == SuccessNotice,
             qPrintable(describe(desktop.notices)));
}

void RestoreAgainstStandinTest::everyFileLandsInTheTargetFolder_data() {
    QTest::addColumn<bool>("madeByServer");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("targets");
    QTest::newRow("D,D,L") << false
                           << QStringList{u"D:Shop_Data"_s, u"D:Shop_Index"_s, u"L:Shop_Log"_s}
                           << QStringList{u"_Data.MDF"_s, u"_Log.LDF"_s, u"_Shop_Data.NDF"_s};
    QTest::newRow("D,L,L,F") << false
                             << QStringList{u"D:Shop_Data"_s, u"L:Shop_Log"_s, u"L:Shop_Log2"_s,
                                            u"F:Shop_Cat"_s}
                             << QStringList{u"_Data.MDF"_s, u"_Log.LDF"_s, u"_Shop_Log.LDF"_s,
                                            u"_Shop_Cat"_s};
    const QString longName(128, u'n');
    const QString chinese = u"\u65b0\u65e5\u5fd7"_s; // 新日志
    QTest::newRow("hostile logical names")
        << true << QStringList{u"D:"_s + longName, u"D:it's"_s,       u"D:a]b"_s,     u"D:x/y:z"_s,
                               u"D:Shop_Data"_s,   u"L:"_s + chinese, u"L:Shop_Log"_s}
        << QStringList{
               u"_Data.MDF"_s, u"_Log.LDF"_s,   u"_"_s + longName + u".NDF"_s, u"_it's.NDF"_s,
               u"_a]b.NDF"_s,  u"_x_y_z.NDF"_s, u"_"_s + chinese + u".LDF"_s};
}

void RestoreAgainstStandinTest::everyFileLandsInTheTargetFolder() {
    QFETCH(bool, madeByServer);
    QFETCH(QStringList, files);
    QFETCH(QStringList, targets);
    const QString tag = QString::fromLatin1(QTest::currentDataTag()).remove(u',').remove(u' ');
    const QDir origin(QDir(standin.scratch()).filePath(u"origin-"_s + tag));
    QVERIFY(origin.mkpath(u"."_s));
    const QString backup = origin.filePath(u"device.bak"_s);
    QList<restore::BackupFile> rows;
    QStringList fileOptions;
    for (qsizetype i = 0; i < files.size(); ++i) {
        rows.append({files[i].section(u':', 1), files[i].left(1)});
        fileOptions << files[i] + u":64K:"_s + origin.filePath(QString::number(i));
    }
    const auto literal = [](const QString& text) {
        return u"N'"_s + restore::quoteStringLiteral(text) + u'\'';
    };
    if (madeByServer) {
        QStringList data;
        QStringList logs;
        for (qsizetype i = 0; i < rows.size(); ++i) {
            (rows[i].type == u"D" ? data : logs) << u"(NAME = %1, FILENAME = %2)"_s.arg(
                literal(rows[i].logicalName), literal(origin.filePath(QString::number(i))));
        }
        const QString problem =
            send({u"CREATE DATABASE [Original] ON PRIMARY "_s + data.join(u", "_s) + u" LOG ON "_s +
                      logs.join(u", "_s),
                  u"BACKUP DATABASE [Original] TO DISK = "_s + literal(backup)});
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    } else {
        QVERIFY2(standin.makeBackup(backup, u"Original"_s, fileOptions),
                 qPrintable(standin.errorString()));
        for (qsizetype i = 0; i < files.size(); ++i) {
            QFile foreign(origin.filePath(QString::number(i)));
            QVERIFY(foreign.open(QIODevice::WriteOnly));
            foreign.write("a detached database's file " + QByteArray::number(i));
        }
    }
    const QStringList originBefore = origin.entryList(QDir::Files, QDir::Name);

    const QString name = u"Restored"_s + tag;
    const QDir target(restoreInto(backup, name));

    QVERIFY2(desktop.notices.size() == 1 && desktop.notices[0].text == SuccessNotice,
             qPrintable(describe(desktop.notices) + u"\nstand-in said: "_s + standin.stderrText()));
    QStringList expected;
    for (const QString& suffix : targets) {
        expected << name + suffix;
    }
    expected.sort();
    QCOMPARE(target.entryList(QDir::Files, QDir::Name), expected);
    QCOMPARE(origin.entryList(QDir::Files, QDir::Name), originBefore);
    if (madeByServer) {
        return;
    }
    const auto foreignFilesKept = [&] {
        for (qsizetype i = 0; i < files.size(); ++i) {
            QFile foreign(origin.filePath(QString::number(i)));
            if (!foreign.open(QIODevice::ReadOnly) ||
                foreign.readAll() != "a detached database's file " + QByteArray::number(i)) {
                return false;
            }
        }
        return true;
    };
    QVERIFY(foreignFilesKept());

    // The same restore with only the two MOVEs it used to have writes over a foreign file.
    restore::RestoreRequest old;
    old.sourcePath = backup;
    old.databaseName = name + u"Old"_s;
    old.directory = target.path() + u'/';
    std::optional<restore::BackupContents> contents = restore::contentsOf(rows);
    QVERIFY(contents);
    contents->otherFiles.clear();
    const QString problem =
        send({restore::createStatement(old, *contents),
              restore::restoreStatement(old, *contents, restore::singleSetPlan(backup, 1), 0)});
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY(!foreignFilesKept());
}

void RestoreAgainstStandinTest::anOtherTargetThatExistsIsRefusedBeforeTheCreate() {
    const QString backup = QDir(standin.scratch()).filePath(u"WithCatalog.bak"_s);
    QVERIFY2(standin.makeBackup(backup, u"Shop"_s,
                                {u"D:Shop_Data:64K"_s, u"L:Shop_Log:64K"_s, u"F:Shop_Cat:64K"_s}),
             qPrintable(standin.errorString()));
    const QString existing = QDir(standin.scratch()).filePath(u"Refused/Refused_Shop_Cat"_s);
    QVERIFY(QDir().mkpath(QFileInfo(existing).path()));
    QFile file(existing);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("kept");
    file.close();

    restoreInto(backup, u"Refused"_s);

    QCOMPARE(desktop.notices.size(), 1);
    QCOMPARE(desktop.notices[0].text, FailureHeading + ExistingTarget + existing);
    QVERIFY(desktop.notices[0].kind == restore::NoticeKind::Error);
    QCOMPARE(progress(), ConnectLine + OkMark);
    QVERIFY2(standin.batches().last().startsWith(u"RESTORE FILELISTONLY"_s),
             qPrintable(standin.batches().join(u'|')));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("kept"));
}

// Paths in Windows form name the server's disk: nothing is looked for or made here, and what the
// server cannot find ends the run with its own error.
void RestoreAgainstStandinTest::windowsPathsAreLeftToTheServer() {
    const QDir disk(standin.scratch());
    QVERIFY(disk.mkpath(u"SQL2000_DB"_s));
    QVERIFY(disk.mkpath(u"old"_s));
    enterBackupRestore(*form, desktop,
                       {standin.dataSource(), u"sa"_s, u"secret"_s, u"D:\\Shop.bak"_s,
                        u"OnServer"_s, u"D:\\SQL2000_DB"_s});
    pressStart();
    QVERIFY2(desktop.notices.size() == 1 && desktop.notices[0].text == SuccessNotice,
             qPrintable(describe(desktop.notices)));
    QCOMPARE(find<QLineEdit>("e2")->text(), u"D:\\SQL2000_DB\\"_s);
    QVERIFY(QFileInfo(disk.filePath(u"SQL2000_DB/OnServer_Log.LDF"_s)).isFile());

    find<QLineEdit>("e1")->setText(u"Old"_s);
    find<QLineEdit>("e2")->setText(u"D:\\old"_s);
    desktop.notices.clear();
    pressStart();
    QVERIFY2(desktop.notices.size() == 1 && desktop.notices[0].text == SuccessNotice,
             qPrintable(describe(desktop.notices)));
    db::OdbcQueryClient detach;
    detach.setConnectionString(standin.connectionString());
    detach.setStatement(u"exec sp_detach_db N'Old'"_s);
    QVERIFY_THROWS_NO_EXCEPTION(detach.execute());
    QTest::mouseClick(find<QWidget>("c4"), Qt::LeftButton);
    desktop.dialogAnswers.push_back(FakeDesktop::chosen(u"D:\\old\\Old_Data.MDF"_s, 0));
    click("d1");
    find<QLineEdit>("e1")->setText(u"Attached"_s);
    desktop.notices.clear();
    desktop.questionAnswers = {true}; // a newer server's question before the upgrade
    pressStart();
    QVERIFY2(desktop.notices.size() == 1 + (version != u"2000"_s) &&
                 desktop.notices.last().text == SuccessNotice,
             qPrintable(describe(desktop.notices)));

    // A log the server cannot find is refused as one missing here is, before any attach.
    QVERIFY(QFile::remove(disk.filePath(u"old/Old_Log.LDF"_s)));
    QVERIFY(
        QFile::copy(disk.filePath(u"old/Old_Data.MDF"_s), disk.filePath(u"old/Lost_Data.MDF"_s)));
    desktop.dialogAnswers.push_back(FakeDesktop::chosen(u"D:\\old\\Lost_Data.MDF"_s, 0));
    click("d1");
    find<QLineEdit>("e1")->setText(u"Lost"_s);
    desktop.notices.clear();
    pressStart();
    // 在相同目录中，找不到日志文件:
    QCOMPARE(
        describe(desktop.notices),
        u"\u5728\u76f8\u540c\u76ee\u5f55\u4e2d\uff0c\u627e\u4e0d\u5230\u65e5\u5fd7\u6587\u4ef6:D:\\old\\Lost_Log.LDF"_s);
    QVERIFY(desktop.notices[0].kind == restore::NoticeKind::Error);
    QCOMPARE(standin.batches().last().trimmed(),
             u"exec master..xp_fileexist N'D:\\old\\Lost_Log.LDF'"_s);

    QTest::mouseClick(find<QWidget>("c3"), Qt::LeftButton);
    desktop.dialogAnswers.push_back(FakeDesktop::chosen(u"D:\\Shop.bak"_s, 0));
    click("d1");
    find<QLineEdit>("e1")->setText(u"Nowhere"_s);
    find<QLineEdit>("e2")->setText(u"D:\\nope"_s);
    desktop.notices.clear();
    pressStart();
    QVERIFY2(desktop.notices.size() == 1 &&
                 desktop.notices[0].text.startsWith(FailureHeading + u"CREATE FILE encountered"_s),
             qPrintable(describe(desktop.notices)));
    QCOMPARE(progress(), QStringList({ConnectLine + OkMark, CreateLine}).join(u'\n'));
    QVERIFY(standin.batches().last().startsWith(u"CREATE DATABASE [Nowhere]"_s));
    QVERIFY(!disk.exists(u"nope"_s));
}

// A server newer than SQL Server 2000 upgrades attached files for good, so the window asks first:
// 否 changes nothing and shows no error, 是 attaches. SQL Server 2000 is sent what it always was.
void RestoreAgainstStandinTest::attachAsksBeforeANewerServerUpgradesTheFiles() {
    const QString folder = restoreInto(backupPath, u"Pair"_s);
    QVERIFY2(send({u"exec sp_detach_db N'Pair'"_s}).isEmpty(), "the pair was not detached");
    QFile data(folder + u"Pair_Data.MDF"_s);
    QVERIFY(data.open(QIODevice::ReadOnly));
    const QByteArray before = data.readAll();
    data.close();
    QTest::mouseClick(find<QWidget>("c4"), Qt::LeftButton);
    desktop.dialogAnswers.push_back(FakeDesktop::chosen(data.fileName(), 0));
    click("d1");
    find<QLineEdit>("e1")->setText(u"Attached2"_s);
    const qsizetype sent = standin.batches().size();
    // The window's statements end with a line break.
    const auto sentSince = [this](qsizetype first) {
        QStringList batches = standin.batches().mid(first);
        for (QString& batch : batches) {
            batch = batch.trimmed();
        }
        return batches;
    };
    desktop.notices.clear();
    desktop.questionAnswers = {false};
    pressStart();

    const QString attach = u"exec sp_attach_db N'Attached2' , N'"_s + data.fileName() + u"', N'"_s +
                           folder + u"Pair_Log.LDF'"_s;
    if (version == u"2000"_s) {
        QCOMPARE(describe(desktop.notices), SuccessNotice);
        QCOMPARE(sentSince(sent), QStringList({u"SELECT GETDATE()"_s, attach,
                                               restore::databaseUsersStatement(u"Attached2"_s)}));
        return;
    }
    QCOMPARE(desktop.notices.size(), 1);
    QVERIFY(desktop.notices[0].kind == restore::NoticeKind::Question);
    QVERIFY2(desktop.notices[0].text.contains(u"SQL Server 2008 (10.0.5500)"_s) &&
                 desktop.notices[0].text.contains(u"SQL Server 2000"_s),
             qPrintable(desktop.notices[0].text));
    QCOMPARE(sentSince(sent), QStringList{u"SELECT GETDATE()"_s});
    QVERIFY(!standin.catalogueText().contains(u"Attached2"_s));
    QVERIFY(data.open(QIODevice::ReadOnly));
    QVERIFY2(data.readAll() == before, "the data file changed");
    data.close();

    desktop.notices.clear();
    desktop.questionAnswers = {true};
    pressStart();
    QCOMPARE(desktop.notices.size(), 2);
    QCOMPARE(desktop.notices[1].text, SuccessNotice);
    QCOMPARE(sentSince(sent).mid(sentSince(sent).size() - 2),
             QStringList({attach, restore::databaseUsersStatement(u"Attached2"_s)}));
}

// Users whose SIDs no login here has, and an owner without a login: one line names them before
// the success notice.
void RestoreAgainstStandinTest::orphanedUsersAreNamedBeforeTheNotice() {
    const QString backup = QDir(standin.scratch()).filePath(u"Orphans.bak"_s);
    QVERIFY2(standin.makeBackup(backup, u"Shop"_s, {u"D:Shop_Data:64K"_s, u"L:Shop_Log:64K"_s},
                                quarn_test::StandinProcess::Device::New, {},
                                {u"--user"_s, u"appuser:0A0A0A0A0A0A0A0A0A0A0A0A0A0A0A0A"_s,
                                 u"--user"_s, u"report:0B0B0B0B0B0B0B0B0B0B0B0B0B0B0B0B"_s,
                                 u"--owner"_s, u"0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C"_s}),
             qPrintable(standin.errorString()));
    QCOMPARE(send({u"EXEC sp_addlogin N'appuser', N'pw'"_s}), QString());

    restoreInto(backup, u"Orphans"_s);

    QCOMPARE(desktop.notices.size(), 1);
    QCOMPARE(desktop.notices[0].text, SuccessNotice);
    QCOMPARE(
        progress(),
        QStringList({ConnectLine + OkMark, CreateLine + OkMark, RestoreLine + OkMark,
                     u"孤立用户: appuser（有同名登录）, report（无登录）; 所有者: dbo（无登录，"
                     u"SID 0x0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C）"_s})
            .join(u'\n'));
}

// Exits 77, which CTest counts as skipped, when this build has no stand-in.
int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (quarn_test::StandinProcess::binary().isEmpty()) {
        std::puts("skipped: this build has no SQL Server stand-in");
        return 77;
    }
    int failed = 0;
    for (const QString& version : {u"2000"_s, u"2008"_s}) {
        std::printf("against SQL Server %s\n", qPrintable(version));
        RestoreAgainstStandinTest test(version);
        failed += QTest::qExec(&test, argc, argv);
    }
    return failed;
}

#include "RestoreAgainstStandinTest.moc"
