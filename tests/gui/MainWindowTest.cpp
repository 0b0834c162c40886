#include "WindowFixture.h"

#include "platform/PlatformDefaults.h"
#include "restore/StartupDefaults.h"

#include <QAccessible>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString BackupEntry =
    u"\u6570\u636e\u5e93\u5907\u4efd\u6587\u4ef6(*.bak)"_s; // 数据库备份文件
const QString DataFileEntry = u"\u539f\u59cb\u6570\u636e\u6587\u4ef6(*.mdf)"_s; // 原始数据文件
const QString AllFilesEntry = u"\u6240\u6709\u6587\u4ef6(*.*)"_s;               // 所有文件
const QString ProgressHeading = u"\u6062\u590d\u8fdb\u5ea6\u4fe1\u606f:"_s; // 恢复进度信息:

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

class MainWindowTest : public QObject, private WindowFixture {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controls_data();
    void controls();
    void windowProperties();
    void designTextsAreTheOnesBothFrontEndsUse();
    void fieldBehaviour();
    void accessibleNames_data();
    void accessibleNames();
    void textAreasFitTheirLines_data();
    void textAreasFitTheirLines();
    void enterAndEscapeDoNothing();
    void focusAndTabOrder_data();
    void focusAndTabOrder();
    void authenticationToggle_data();
    void authenticationToggle();
    void filterFollowsSourceKind_data();
    void filterFollowsSourceKind();
    void cancelledDialogChangesNothing();
    void dialogRemembersFileAndFilterEntry();
    void progressLines();
    void homeKeyIsQueued();
    void progressRepaintsAtOnce();
    void outerWidthIncludesFrame();
    void noticeIsOwnedByWindow();

private:
};

void MainWindowTest::init() {
    QVERIFY(openWindow());
}

void MainWindowTest::cleanup() {
    closeWindow();
}

void MainWindowTest::controls_data() {
    addControlColumns();
    const auto row = [](const char* name, const char* className, const char* parent, QRect geometry,
                        const QString& text = {}) {
        QTest::newRow(name) << QString::fromLatin1(className) << QString::fromLatin1(parent)
                            << geometry << text;
    };
    row("Panel1", "QFrame", "TForm1", {0, 0, 281, 340});
    row("a1", "QLabel", "Panel1", {16, 19, 72, 12}, u"\u670d\u52a1\u5668\u7535\u8111\u540d"_s);
    row("b1", "QComboBox", "Panel1", {108, 15, 145, 20}, u"(local)"_s);
    row("a2", "QLabel", "Panel1", {16, 75, 72, 12}, u"\u6570\u636e\u5e93\u7528\u6237\u540d"_s);
    row("b2", "QLineEdit", "Panel1", {108, 71, 145, 20}, u"sa"_s);
    row("Panel4", "QFrame", "Panel1", {0, 39, 331, 28});
    row("a5", "QLabel", "Panel4", {16, 8, 48, 12}, u"\u8ba4\u8bc1\u65b9\u5f0f"_s);
    row("c1", "QRadioButton", "Panel4", {72, 6, 105, 17}, u"Window\u8eab\u4efd\u8ba4\u8bc1"_s);
    row("c2", "QRadioButton", "Panel4", {175, 6, 105, 17},
        u"\u6307\u5b9a\u7528\u6237\u540d\u5bc6\u7801"_s);
    row("a3", "QLabel", "Panel1", {16, 99, 72, 12}, u"\u6570\u636e\u5e93--\u5bc6\u7801"_s);
    row("b3", "QLineEdit", "Panel1", {108, 95, 145, 20}, u""_s);
    row("Panel5", "QFrame", "Panel1", {-2, 119, 331, 28});
    row("a6", "QLabel", "Panel5", {16, 8, 48, 12}, u"\u6765\u6e90\u7c7b\u578b"_s);
    row("c3", "QRadioButton", "Panel5", {72, 6, 105, 17}, u"BAK\u5907\u4efd\u6587\u4ef6"_s);
    row("c4", "QRadioButton", "Panel5", {175, 6, 105, 17}, u"MDF,LDF\u6587\u4ef6"_s);
    row("d1", "QPushButton", "Panel1", {1, 149, 277, 23},
        u" \u9009\u62e9\u6062\u590d\u6765\u6e90\u6587\u4ef6"_s);
    row("d2", "QTextEdit", "Panel1", {1, 171, 276, 31}, u""_s);
    row("d3", "QPushButton", "Panel1", {2, 253, 277, 27},
        u"\u5f00\u59cb\u6062\u590d\"\u6570\u636e\u5e93\""_s);
    row("a7", "QLabel", "Panel1", {16, 211, 84, 12},
        u"\u65b0\u7684\u6570\u636e\u5e93\u540d\u79f0"_s);
    row("e1", "QLineEdit", "Panel1", {108, 207, 145, 20});
    row("a8", "QLabel", "Panel1", {16, 235, 84, 12},
        u"\u6570\u636e\u5e93\u5b58\u653e\u76ee\u5f55"_s);
    row("e2", "QLineEdit", "Panel1", {108, 231, 145, 20}, platform::defaultDatabaseDirectory());
    row("d4", "QTextEdit", "Panel1", {1, 280, 276, 58}, ProgressHeading);
}

void MainWindowTest::controls() {
    checkControl(*form, QTest::currentDataTag());
}

void MainWindowTest::windowProperties() {
    // QuarnSQL2000数据库恢复工具 1.0版
    QCOMPARE(form->windowTitle(),
             u"QuarnSQL2000\u6570\u636e\u5e93\u6062\u590d\u5de5\u5177 1.0\u7248"_s);
    QCOMPARE(form->size(), QSize(279, 340));
    const QPoint offCentre = form->frameGeometry().center() - form->screen()->geometry().center();
    QVERIFY2(offCentre.manhattanLength() <= 1,
             qPrintable(u"window centre is off the screen centre by %1,%2"_s.arg(offCentre.x())
                            .arg(offCentre.y())));

    const Qt::WindowFlags flags = form->windowFlags();
    QVERIFY2(flags.testFlag(Qt::WindowSystemMenuHint) &&
                 !flags.testFlag(Qt::WindowMinimizeButtonHint) &&
                 !flags.testFlag(Qt::WindowMaximizeButtonHint),
             qPrintable(u"window flags 0x%1"_s.arg(flags.toInt(), 0, 16)));

    QVERIFY2(!form->windowIcon().isNull(), "the program icon did not load");
    for (const char* button : {"d1", "d3"}) {
        const QIcon glyph = find<QPushButton>(button)->icon();
        QVERIFY2(
            glyph.availableSizes().contains(QSize(16, 16)),
            qPrintable(u"%1 glyph sizes: %2"_s.arg(button).arg(glyph.availableSizes().size())));
    }

    const QFontInfo font(find<QWidget>("a1")->font());
    QCOMPARE(font.pixelSize(), 12);
    QVERIFY2(
        QFontDatabase::writingSystems(font.family()).contains(QFontDatabase::SimplifiedChinese),
        qPrintable(u"window font %1 has no Chinese glyphs"_s.arg(font.family())));
}

// The command line names the defaults file's keys and fills b1 and b2 from the same source.
void MainWindowTest::designTextsAreTheOnesBothFrontEndsUse() {
    const restore::DefaultsCaptions design = restore::designCaptions();
    const std::pair<const char*, QString> captions[] = {
        {"a1", design.serverLabel},   {"a2", design.userLabel},   {"a3", design.passwordLabel},
        {"a5", design.authLabel},     {"a6", design.sourceLabel}, {"a7", design.databaseLabel},
        {"a8", design.directoryLabel}};
    for (const auto& [name, caption] : captions) {
        QCOMPARE(find<QLabel>(name)->text(), caption);
    }
    QCOMPARE(find<QRadioButton>("c1")->text(), design.integratedCaption);
    QCOMPARE(find<QRadioButton>("c3")->text(), design.backupCaption);
    QCOMPARE(find<QComboBox>("b1")->currentText(), restore::designServerName());
    QCOMPARE(find<QLineEdit>("b2")->text(), restore::designUserName());
}

void MainWindowTest::fieldBehaviour() {
    auto* b1 = find<QComboBox>("b1");
    QVERIFY(b1->isEditable());
    b1->lineEdit()->clear();
    QTest::keyClicks(b1->lineEdit(), u"(lo"_s);
    QCOMPARE(b1->currentText(), u"(local)"_s);
    b1->lineEdit()->setText(u"server2"_s);
    QTest::keyClick(b1->lineEdit(), Qt::Key_Return);
    QCOMPARE(b1->count(), 1);
    QCOMPARE(b1->itemText(0), u"(local)"_s);

    click("c2");
    auto* b3 = find<QLineEdit>("b3");
    QTest::keyClicks(b3, u"pw1"_s);
    QCOMPARE(b3->text(), u"pw1"_s);
    QCOMPARE(b3->displayText(), u"***"_s);

    for (const char* name : {"d2", "d4"}) {
        const auto* area = find<QTextEdit>(name);
        QVERIFY2(area->isReadOnly(), name);
        QVERIFY2(area->lineWrapMode() == QTextEdit::WidgetWidth, name);
        QVERIFY2(area->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff &&
                     area->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff,
                 name);
    }
}

void MainWindowTest::accessibleNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("labelled");
    QTest::addColumn<QString>("group");
    const QString authentication = u"\u8ba4\u8bc1\u65b9\u5f0f"_s; // 认证方式
    const QString sourceKind = u"\u6765\u6e90\u7c7b\u578b"_s;     // 来源类型
    QTest::newRow("b1") << u"\u670d\u52a1\u5668\u7535\u8111\u540d"_s << true << QString();
    QTest::newRow("b2") << u"\u6570\u636e\u5e93\u7528\u6237\u540d"_s << true << QString();
    QTest::newRow("b3") << u"\u6570\u636e\u5e93--\u5bc6\u7801"_s << true << QString();
    QTest::newRow("e1") << u"\u65b0\u7684\u6570\u636e\u5e93\u540d\u79f0"_s << true << QString();
    QTest::newRow("e2") << u"\u6570\u636e\u5e93\u5b58\u653e\u76ee\u5f55"_s << true << QString();
    QTest::newRow("d2") << u"\u6062\u590d\u6765\u6e90\u6587\u4ef6"_s << false << QString();
    QTest::newRow("d4") << u"\u6062\u590d\u8fdb\u5ea6\u4fe1\u606f"_s << false << QString();
    QTest::newRow("c1") << QString() << false << authentication;
    QTest::newRow("c2") << QString() << false << authentication;
    QTest::newRow("c3") << QString() << false << sourceKind;
    QTest::newRow("c4") << QString() << false << sourceKind;
}

void MainWindowTest::accessibleNames() {
    QFETCH(QString, name);
    QFETCH(bool, labelled);
    QFETCH(QString, group);
    QAccessibleInterface* field =
        QAccessible::queryAccessibleInterface(find<QWidget>(QTest::currentDataTag()));
    QVERIFY(field);
    if (labelled) {
        const auto labels = field->relations(QAccessible::Label);
        QCOMPARE(labels.size(), 1);
        QCOMPARE(labels[0].first->text(QAccessible::Name), name);
    }
    // Qt on Linux reads a drop-down's text as its name and leaves naming it to the label relation.
    if (!name.isNull() && field->role() != QAccessible::ComboBox) {
        QCOMPARE(field->text(QAccessible::Name), name);
    }
    if (!group.isNull()) {
        QAccessibleInterface* strip = field->parent();
        QCOMPARE(strip->role(), QAccessible::Grouping);
        QCOMPARE(strip->text(QAccessible::Name), group);
    }
}

void MainWindowTest::textAreasFitTheirLines_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("laidOutLines");
    QTest::newRow("d2") << QStringList{u"/var/opt/mssql/backup/\u6bcf\u65e5\u5907\u4efd/"
                                       u"\u9500\u552e\u7ba1\u7406_2026\u5e7412\u670806\u65e5_"
                                       u"\u5b8c\u6574\u5907\u4efd.bak"_s}
                        << 2;
    QTest::newRow("d4") << QStringList{u"\u5c1d\u8bd5\u8fde\u63a5\u5230MSSQL\u6570\u636e\u5e93"
                                       u"... ... OK\uff01"_s,
                                       u"\u6b63\u5728\u521b\u5efa\u65b0\u7684\u6570\u636e\u5e93"
                                       u"... OK\uff01"_s,
                                       u"\u6b63\u5728\u6062\u590d\u6570\u636e\u5e93... 40%"_s}
                        << 3;
}

// Also run at scale factor 2 (see CMakeLists.txt).
void MainWindowTest::textAreasFitTheirLines() {
    QFETCH(QStringList, lines);
    QFETCH(int, laidOutLines);
    auto* area = find<QTextEdit>(QTest::currentDataTag());
    if (area == find<QTextEdit>("d2")) {
        form->setFieldText(restore::Field::d2, lines[0]);
    } else {
        form->clearProgressLines();
        for (const QString& line : lines) {
            form->appendProgressLine(line);
        }
    }
    const qreal needed = area->document()->size().height();
    int laidOut = 0;
    for (QTextBlock block = area->document()->begin(); block.isValid(); block = block.next()) {
        laidOut += block.layout()->lineCount();
    }
    QCOMPARE(laidOut, laidOutLines);
    QVERIFY2(
        needed <= area->viewport()->height(),
        qPrintable(u"%1 lines need %2 pixels, the area shows %3"_s.arg(laidOut).arg(needed).arg(
            area->viewport()->height())));
}

void MainWindowTest::enterAndEscapeDoNothing() {
    auto* e1 = find<QLineEdit>("e1");
    e1->setFocus();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(e1, key);
    }
    QVERIFY2(desktop.notices.isEmpty(), qPrintable(desktop.notices.value(0).text));
    QCOMPARE(find<QTextEdit>("d4")->toPlainText(), ProgressHeading);
    QVERIFY(form->isVisible());
}

void MainWindowTest::focusAndTabOrder_data() {
    QTest::addColumn<bool>("sqlLogin");
    QTest::addColumn<QStringList>("order");
    // Only the selected radio button of a strip is a tab stop; disabled fields are skipped.
    QTest::newRow("windows authentication")
        << false << QStringList{"b1", "c1", "c3", "d1", "d2", "d3", "e1", "e2", "d4", "b1"};
    QTest::newRow("user name and password")
        << true
        << QStringList{"b1", "b2", "c2", "b3", "c3", "d1", "d2", "d3", "e1", "e2", "d4", "b1"};
}

void MainWindowTest::focusAndTabOrder() {
    QFETCH(bool, sqlLogin);
    QFETCH(QStringList, order);
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    QCOMPARE(QApplication::focusWidget()->objectName(), u"b1"_s);
    if (sqlLogin) {
        click("c2");
        find<QWidget>("b1")->setFocus();
    }
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (qsizetype i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, order);
}

void MainWindowTest::authenticationToggle_data() {
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("at start") << QStringList{} << false;
    QTest::newRow("user name and password") << QStringList{"c2"} << true;
    QTest::newRow("back to windows authentication") << QStringList{"c2", "c1"} << false;
}

void MainWindowTest::authenticationToggle() {
    QFETCH(QStringList, clicks);
    QFETCH(bool, enabled);
    const QColor face = form->palette().color(QPalette::Button);
    const QColor window = form->palette().color(QPalette::Base);
    QVERIFY2(face != window, "the style gives button face and window the same colour");
    if (!clicks.isEmpty()) {
        click("c2");
        find<QLineEdit>("b2")->setText(u"operator"_s);
        find<QLineEdit>("b3")->setText(u"secret"_s);
    }
    for (const QString& name : clicks.mid(1)) {
        click(name.toLatin1());
    }
    for (const char* name : {"a2", "a3", "b2", "b3"}) {
        QVERIFY2(find<QWidget>(name)->isEnabled() == enabled,
                 qPrintable(u"%1 enabled: %2"_s.arg(name).arg(find<QWidget>(name)->isEnabled())));
    }
    for (const char* name : {"b2", "b3"}) {
        const QColor background = find<QWidget>(name)->palette().color(QPalette::Base);
        QVERIFY2(background == (enabled ? window : face),
                 qPrintable(u"%1 background %2"_s.arg(name, background.name())));
    }
    if (!clicks.isEmpty()) {
        QCOMPARE(find<QLineEdit>("b2")->text(), u"operator"_s);
        QCOMPARE(find<QLineEdit>("b3")->text(), u"secret"_s);
    }
}

void MainWindowTest::filterFollowsSourceKind_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("filters");
    QTest::newRow("backup") << u"c3"_s << QStringList{BackupEntry, AllFilesEntry};
    QTest::newRow("data files") << u"c4"_s << QStringList{DataFileEntry, AllFilesEntry};
}

void MainWindowTest::filterFollowsSourceKind() {
    QFETCH(QString, kind);
    QFETCH(QStringList, filters);
    click(kind.toLatin1());
    desktop.dialogAnswers.push_back(FakeDesktop::chosen(u"/backups/shop.bak"_s, 0));
    click("d1");
    QCOMPARE(desktop.dialogStarts.size(), 1);
    QCOMPARE(desktop.dialogStarts[0].nameFilters, filters);
    QCOMPARE(find<QTextEdit>("d2")->toPlainText(), u"/backups/shop.bak"_s);
}

void MainWindowTest::cancelledDialogChangesNothing() {
    desktop.dialogAnswers = {FakeDesktop::chosen(u"/backups/first.bak"_s, 1), std::nullopt,
                             std::nullopt};
    for (int use = 0; use < 3; ++use) {
        click("d1");
    }
    QCOMPARE(find<QTextEdit>("d2")->toPlainText(), u"/backups/first.bak"_s);
    QCOMPARE(desktop.dialogStarts.size(), 3);
    QCOMPARE(desktop.dialogStarts[2].fileName, u"/backups/first.bak"_s);
    QCOMPARE(desktop.dialogStarts[2].filterIndex, 1);
}

void MainWindowTest::dialogRemembersFileAndFilterEntry() {
    desktop.dialogAnswers = {FakeDesktop::chosen(u"/data/shop_Data.mdf"_s, 1),
                             FakeDesktop::chosen(u"/data/other.bak"_s, 0)};
    click("d1");
    click("c4");
    QCOMPARE(find<QTextEdit>("d2")->toPlainText(), u"/data/shop_Data.mdf"_s);
    click("d1");
    click("d1");

    QCOMPARE(desktop.dialogStarts.size(), 3);
    QCOMPARE(desktop.dialogStarts[0].fileName, QString());
    QCOMPARE(desktop.dialogStarts[0].filterIndex, 0);
    QCOMPARE(desktop.dialogStarts[1].nameFilters, (QStringList{DataFileEntry, AllFilesEntry}));
    QCOMPARE(desktop.dialogStarts[1].filterIndex, 1);
    QCOMPARE(desktop.dialogStarts[1].fileName, u"/data/shop_Data.mdf"_s);
    QCOMPARE(desktop.dialogStarts[2].filterIndex, 0);
    QCOMPARE(desktop.dialogStarts[2].fileName, u"/data/other.bak"_s);
}

void MainWindowTest::progressLines() {
    auto* d4 = find<QTextEdit>("d4");
    QCOMPARE(form->progressLineCount(), 1);
    QCOMPARE(form->lastProgressLine(), ProgressHeading);

    form->clearProgressLines();
    QCOMPARE(form->progressLineCount(), 0);
    QCOMPARE(form->lastProgressLine(), QString());

    form->appendProgressLine(u"connect"_s);
    QCOMPARE(form->progressLineCount(), 1);
    form->replaceLastProgressLine(form->lastProgressLine() + u" OK"_s);
    form->appendProgressLine(u"create"_s);
    QCOMPARE(form->progressLineCount(), 2);
    QCOMPARE(form->lastProgressLine(), u"create"_s);
    form->replaceLastProgressLine(form->lastProgressLine() + u" OK"_s);
    QCOMPARE(d4->toPlainText(), u"connect OK\ncreate OK"_s);
}

void MainWindowTest::homeKeyIsQueued() {
    auto* d4 = find<QTextEdit>("d4");
    form->appendProgressLine(u"second line"_s);
    d4->moveCursor(QTextCursor::End);
    const int endColumn = d4->textCursor().positionInBlock();
    QVERIFY(endColumn > 0);

    form->postProgressHomeKey();
    QCOMPARE(d4->textCursor().positionInBlock(), endColumn);
    QTRY_COMPARE(d4->textCursor().positionInBlock(), 0);
    QCOMPARE(d4->textCursor().blockNumber(), d4->document()->blockCount() - 1);
}

void MainWindowTest::progressRepaintsAtOnce() {
    PaintCounter paints(find<QTextEdit>("d4")->viewport());
    form->appendProgressLine(u"restoring"_s);
    form->repaintProgressNow();
    QVERIFY2(paints.count > 0, "the progress area was not painted before events ran");
}

void MainWindowTest::outerWidthIncludesFrame() {
    form->setOuterWidth(634);
    QCOMPARE(form->frameGeometry().width(), 634);
    QCOMPARE(form->height(), 340);
}

void MainWindowTest::noticeIsOwnedByWindow() {
    form->showNotice(u"text"_s, restore::NoticeKind::Error);
    QCOMPARE(desktop.notices.size(), 1);
    QCOMPARE(desktop.notices[0].owner, form.get());
    QCOMPARE(desktop.notices[0].text, u"text"_s);
    QVERIFY(desktop.notices[0].kind == restore::NoticeKind::Error);
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
