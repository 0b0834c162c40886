// The start button runs a real restore through ODBC and FreeTDS against the SQL Server 2000
// stand-in, writing into the window's own progress area.

#include "BackupRestoreInputs.h"
#include "WindowFixture.h"

#include "StandinProcess.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

// 尝试连接到MSSQL数据库... ...
const QString ConnectLine = u"\u5c1d\u8bd5\u8fde\u63a5\u5230MSSQL\u6570\u636e\u5e93... ..."_s;
const QString CreateLine =
    u"\u6b63\u5728\u521b\u5efa\u65b0\u7684\u6570\u636e\u5e93..."_s; // 正在创建新的数据库...
const QString RestoreLine = u"\u6b63\u5728\u6062\u590d\u6570\u636e\u5e93..."_s; // 正在恢复数据库...
const QString OkMark = u" OK\uff01"_s;                                          //  OK！
// 恭喜您，数据库已成功恢复了！！！
const QString SuccessNotice =
    u"\u606d\u559c\u60a8\uff0c\u6570\u636e\u5e93\u5df2\u6210\u529f\u6062\u590d\u4e86\uff01\uff01\uff01"_s;
// 恢复过程出错,具体错误信息是: and two carriage returns
const QString FailureHeading =
    u"\u6062\u590d\u8fc7\u7a0b\u51fa\u9519,\u5177\u4f53\u9519\u8bef\u4fe1\u606f\u662f:\r\r"_s;
// 正在恢复数据库，请等待恢复结束后再关闭窗口。
const QString CloseRefusedNotice =
    u"\u6b63\u5728\u6062\u590d\u6570\u636e\u5e93\uff0c\u8bf7\u7b49\u5f85\u6062\u590d\u7ed3\u675f\u540e\u518d\u5173\u95ed\u7a97\u53e3\u3002"_s;

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

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void successfulRestore();
    void wrongPassword_data();
    void wrongPassword();
    void refusedFieldsSendNothingThenCorrectedFieldsRestore();
    void longRestoreShowsItsPercentAndTakesNoInput();

private:
    BackupRestoreInputs inputs(const QString& databaseName, const QString& password) const;
    void pressStart() { click("d3"); }
    QString progress() { return find<QPlainTextEdit>("d4")->toPlainText(); }

    quarn_test::StandinProcess standin;
    QString backupPath;
};

void RestoreAgainstStandinTest::initTestCase() {
    QVERIFY2(standin.start(), qPrintable(standin.errorString()));
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
    QVERIFY2(slow.start({{u"sa:secret"_s}, {u"rate:1048576"_s}}), qPrintable(slow.errorString()));
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
    QCOMPARE(slow.batches().size(), 4);
}

// Exits 77, which CTest counts as skipped, when this build has no stand-in.
int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (quarn_test::StandinProcess::binary().isEmpty()) {
        std::puts("skipped: this build has no SQL Server stand-in");
        return 77;
    }
    RestoreAgainstStandinTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "RestoreAgainstStandinTest.moc"
