#include "WindowFixture.h"

#include "restore/RestoreRun.h"
#include "ui/PromotionLinks.h"

#include <QClipboard>
#include <QFontInfo>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;

class PromotionPanelTest : public QObject, private WindowFixture {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controls_data();
    void controls();
    void look();
    void uncoveredOnlyWhenWidened();
    void links_data();
    void links();
};

void PromotionPanelTest::init() {
    QVERIFY(openWindow());
}

void PromotionPanelTest::cleanup() {
    closeWindow();
}

void PromotionPanelTest::controls_data() {
    addControlColumns();
    QTest::newRow("Panel2") << u"QFrame"_s << u"TForm1"_s << QRect(281, 0, 345, 340) << QString();
    QTest::newRow("Image1") << u"QLabel"_s << u"Panel2"_s << QRect(0, 0, 345, 281) << QString();
    QTest::newRow("Panel3") << u"QFrame"_s << u"Panel2"_s << QRect(0, 281, 345, 58) << QString();
    // 这是一款成本精算,操作友好的生产型ERP
    QTest::newRow("Label3")
        << u"QLabel"_s << u"Panel3"_s << QRect(34, 13, 288, 16)
        << u"\u8fd9\u662f\u4e00\u6b3e\u6210\u672c\u7cbe\u7b97,\u64cd\u4f5c\u53cb\u597d\u7684\u751f\u4ea7\u578bERP"_s;
    // 我们网站: followed by the home page
    QTest::newRow("Label4") << u"QLabel"_s << u"Panel3"_s << QRect(48, 32, 256, 16)
                            << u"\u6211\u4eec\u7f51\u7ad9: "_s + ui::HomePageAddress;
}

void PromotionPanelTest::controls() {
    checkControl(*form, QTest::currentDataTag());
}

void PromotionPanelTest::look() {
    auto* image1 = find<QLabel>("Image1");
    QVERIFY2(image1->pixmap().isNull(), "the promotion picture was decoded before it was seen");
    form->setOuterWidth(634);
    QTRY_VERIFY(!image1->pixmap().isNull());
    const QImage picture = image1->pixmap().toImage();
    QCOMPARE(picture.size(), QSize(345, 281));
    QVERIFY2(!picture.hasAlphaChannel(), "the promotion picture carries an alpha channel");
    for (const char* name : {"Image1", "Panel3", "Label3", "Label4"}) {
        QVERIFY2(find<QWidget>(name)->cursor().shape() == Qt::PointingHandCursor, name);
    }
    QCOMPARE(find<QWidget>("Panel3")->palette().color(QPalette::Window), QColor(Qt::white));
    QVERIFY(find<QWidget>("Panel3")->autoFillBackground());
    QCOMPARE(find<QWidget>("Label3")->palette().color(QPalette::WindowText), QColor(Qt::red));
    QCOMPARE(find<QWidget>("Label4")->palette().color(QPalette::WindowText), QColor(Qt::gray));
    QVERIFY(find<QWidget>("Label4")->font().underline());
    for (const char* name : {"Label3", "Label4"}) {
        const QFont font = find<QWidget>(name)->font();
        const QFontMetrics metrics(font);
        const int narrow = metrics.horizontalAdvance(u'i');
        const int wide = metrics.horizontalAdvance(u'M');
        QVERIFY2(
            QFontInfo(font).pixelSize() == 11 && narrow == wide,
            qPrintable(u"%1: %2 at %3 px, i %4 px, M %5 px"_s.arg(name, QFontInfo(font).family())
                           .arg(QFontInfo(font).pixelSize())
                           .arg(narrow)
                           .arg(wide)));
    }
}

void PromotionPanelTest::uncoveredOnlyWhenWidened() {
    auto* panel = find<QWidget>("Panel2");
    QVERIFY2(panel->visibleRegion().isEmpty(),
             qPrintable(u"%1 pixels of the panel show at the initial width"_s.arg(
                 panel->visibleRegion().boundingRect().width())));
    form->setOuterWidth(restore::WidenedWindowWidth);
    QCOMPARE(panel->visibleRegion().boundingRect(), panel->rect());
}

void PromotionPanelTest::links_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("notice");
    const QString product = ui::ProductPageAddress;
    const QString home = ui::HomePageAddress;
    for (const char* name : {"Image1", "Panel3", "Label3"}) {
        QTest::addRow("%s opens the product page", name) << name << true << product << false;
        QTest::addRow("%s fails: notice, then clipboard", name) << name << false << product << true;
    }
    QTest::newRow("Label4 opens the home page") << u"Label4"_s << true << home << false;
    QTest::newRow("Label4 fails silently") << u"Label4"_s << false << home << false;
}

void PromotionPanelTest::links() {
    QFETCH(QString, name);
    QFETCH(bool, opens);
    QFETCH(QString, address);
    QFETCH(bool, notice);
    const QString before = u"what the user copied"_s;
    QGuiApplication::clipboard()->setText(before);
    desktop.openUrlSucceeds = opens;
    form->setOuterWidth(restore::WidenedWindowWidth);

    // The strip is clicked beside its labels.
    auto* target = find<QWidget>(name.toLatin1());
    QTest::mouseClick(target, Qt::LeftButton, {}, name == u"Panel3" ? QPoint(5, 5) : QPoint());

    QCOMPARE(desktop.openedUrls, QList<QUrl>{QUrl(address)});
    QCOMPARE(desktop.notices.size(), notice ? 1 : 0);
    if (notice) {
        // 由于您IE执行出错,无法直接链接到Orvik网站,该网址已复制到您的剪切板中!
        QCOMPARE(
            desktop.notices[0].text,
            u"\u7531\u4e8e\u60a8IE\u6267\u884c\u51fa\u9519,\u65e0\u6cd5\u76f4\u63a5\u94fe\u63a5"
            u"\u5230Orvik\u7f51\u7ad9,\u8be5\u7f51\u5740\u5df2\u590d\u5236\u5230\u60a8\u7684"
            u"\u526a\u5207\u677f\u4e2d!"_s);
        QVERIFY(desktop.notices[0].kind == restore::NoticeKind::Information);
        QCOMPARE(desktop.notices[0].clipboardWhileShown, before);
    }
    QCOMPARE(QGuiApplication::clipboard()->text(), notice ? address : before);
}

QTEST_MAIN(PromotionPanelTest)
#include "PromotionPanelTest.moc"
