// The fields at start-up: preset from the defaults file beside the program, or a generated
// database name when there is none.

#include "WindowFixture.h"

#include "platform/CodePage936.h"
#include "platform/PlatformDefaults.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

namespace {

const QString Section = QStringLiteral("[初始默认值]\r\n");

} // namespace

class StartupDefaultsWindowTest : public QObject, private WindowFixture {
    Q_OBJECT

private slots:
    void cleanup() { closeWindow(); }

    void withoutFileOnlyTheNameIsGenerated();
    void fullFilePresetsEveryField();
    void authenticationValueSelectsTheMode_data();
    void authenticationValueSelectsTheMode();
    void sectionAloneLeavesTheNameEmpty();
    void presetSourceIsUsedWithoutTheDialog();
    void presetRestoreSucceedsOnAServer();

private:
    // Opens the window with `content` (UTF-8 here, written as code page 936) beside the program.
    void openWithDefaultsFile(const QString& content) {
        QFile file(programDir.filePath(QStringLiteral("初始默认值.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(platform::toCodePage936(content));
        file.close();
        openIn(programDir.path());
    }
    void openIn(const QString& executableDir) {
        desktop = {};
        desktop.executableDir = executableDir;
        form = std::make_unique<TForm1>(desktop.seams());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }
    QString text(const char* name) {
        if (auto* combo = qobject_cast<QComboBox*>(find<QWidget>(name))) {
            return combo->currentText();
        }
        if (auto* area = qobject_cast<QTextEdit*>(find<QWidget>(name))) {
            return area->toPlainText();
        }
        return find<QLineEdit>(name)->text();
    }
    bool checked(const char* name) { return find<QRadioButton>(name)->isChecked(); }

    QTemporaryDir programDir;
};

void StartupDefaultsWindowTest::withoutFileOnlyTheNameIsGenerated() {
    openIn(programDir.path());
    QCOMPARE(text("e1"), QStringLiteral("NEW_DB_261206_20_41_58"));
    QCOMPARE(text("b1"), QStringLiteral("(local)"));
    QCOMPARE(text("b2"), QStringLiteral("sa"));
    QCOMPARE(text("e2"), platform::defaultDatabaseDirectory());
    QVERIFY(checked("c1") && checked("c3"));
    QVERIFY(!find<QWidget>("b2")->isEnabled());
}

void StartupDefaultsWindowTest::fullFilePresetsEveryField() {
    openWithDefaultsFile(Section + QStringLiteral("服务器电脑名=DBHOST,1433\r\n"
                                                  "认证方式=指定用户名密码\r\n"
                                                  "数据库用户名=operator\r\n"
                                                  "数据库--密码=p;w\"d\r\n"
                                                  "来源类型=MDF,LDF文件\r\n"
                                                  "恢复来源文件=/srv/旧库/Shop_Data.mdf\r\n"
                                                  "新的数据库名称=新库\r\n"
                                                  "数据库存放目录=/srv/新库\r\n"));
    QCOMPARE(text("b1"), QStringLiteral("DBHOST,1433"));
    QCOMPARE(text("b2"), QStringLiteral("operator"));
    QCOMPARE(text("b3"), QStringLiteral("p;w\"d"));
    QCOMPARE(text("d2"), QStringLiteral("/srv/旧库/Shop_Data.mdf"));
    QCOMPARE(text("e1"), QStringLiteral("新库"));
    QCOMPARE(text("e2"), QStringLiteral("/srv/新库"));
    QVERIFY(checked("c2") && checked("c4"));
    // The toggle runs after loading, so the login fields are usable at once.
    QVERIFY(find<QWidget>("b2")->isEnabled() && find<QWidget>("b3")->isEnabled());
}

void StartupDefaultsWindowTest::authenticationValueSelectsTheMode_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("integrated");
    QTest::newRow("caption of c1") << QStringLiteral("Window身份认证") << true;
    QTest::newRow("caption of c2") << QStringLiteral("指定用户名密码") << false;
    QTest::newRow("lower-case first letter") << QStringLiteral("window身份认证") << false;
    QTest::newRow("empty") << QString() << false;
}

void StartupDefaultsWindowTest::authenticationValueSelectsTheMode() {
    QFETCH(QString, value);
    QFETCH(bool, integrated);
    openWithDefaultsFile(Section + QStringLiteral("认证方式=") + value + "\r\n");
    QCOMPARE(checked("c1"), integrated);
    QCOMPARE(checked("c2"), !integrated);
    QCOMPARE(find<QWidget>("b2")->isEnabled(), !integrated);
}

void StartupDefaultsWindowTest::sectionAloneLeavesTheNameEmpty() {
    openWithDefaultsFile(Section);
    QCOMPARE(text("e1"), QString());
    QCOMPARE(text("b1"), QStringLiteral("(local)"));
    QCOMPARE(text("b2"), QStringLiteral("sa"));
    QCOMPARE(text("e2"), platform::defaultDatabaseDirectory());
    QVERIFY(checked("c1") && checked("c3"));
}

// Nothing listens on port 1, so the run ends at its connection test with the client's error.
void StartupDefaultsWindowTest::presetSourceIsUsedWithoutTheDialog() {
    QTemporaryDir target;
    openWithDefaultsFile(Section +
                         QStringLiteral("服务器电脑名=127.0.0.1,1\r\n"
                                        "认证方式=指定用户名密码\r\n"
                                        "恢复来源文件=/srv/备份/Shop.bak\r\n"
                                        "新的数据库名称=FromFile\r\n"
                                        "数据库存放目录=") +
                         target.path() + "\r\n");
    click("d3");
    QVERIFY(desktop.dialogStarts.isEmpty());
    QCOMPARE(desktop.notices.size(), 1);
    QVERIFY2(desktop.notices[0].text.startsWith(QStringLiteral("恢复过程出错,具体错误信息是:")),
             qPrintable(desktop.notices[0].text));
}

// The Windows build under Wine meets a stand-in that scripts/windows.sh runs natively and names
// here; elsewhere the restore against the stand-in has tests of its own.
void StartupDefaultsWindowTest::presetRestoreSucceedsOnAServer() {
    const QString address = qEnvironmentVariable("QUARN_STANDIN_ADDRESS");
    const QString backup = qEnvironmentVariable("QUARN_STANDIN_BACKUP");
    if (address.isEmpty() || backup.isEmpty()) {
        QSKIP("QUARN_STANDIN_ADDRESS and QUARN_STANDIN_BACKUP name no server");
    }
    QTemporaryDir target;
    openWithDefaultsFile(Section + QStringLiteral("服务器电脑名=") + address +
                         QStringLiteral("\r\n认证方式=指定用户名密码\r\n"
                                        "数据库用户名=sa\r\n"
                                        "数据库--密码=secret\r\n"
                                        "恢复来源文件=") +
                         backup +
                         QStringLiteral("\r\n新的数据库名称=默认值恢复\r\n数据库存放目录=") +
                         QDir::toNativeSeparators(target.path()) + "\r\n");
    click("d3");
    QCOMPARE(desktop.notices.size(), 1);
    QCOMPARE(desktop.notices[0].text, QStringLiteral("恭喜您，数据库已成功恢复了！！！"));
    QVERIFY(
        QFileInfo(QDir(target.path()).filePath(QStringLiteral("默认值恢复_Data.MDF"))).isFile());
}

QTEST_MAIN(StartupDefaultsWindowTest)
#include "StartupDefaultsWindowTest.moc"
