#include "ui/NoticeBox.h"
#include "ui/OpenFileDialog.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace {

// Waits for a message box to show, notes what it looks like and presses its OK button, so the
// real notice can be tested without anyone at the keyboard.
class BoxAnswerer {
public:
    BoxAnswerer() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
        timer_.start(10);
    }

    // For a question: the key pressed, or the button of this text clicked, instead of OK.
    std::optional<Qt::Key> key;
    QString click;
    bool found = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    Qt::TextFormat format = Qt::AutoText;
    bool onTop = false;
    Qt::WindowModality modality = Qt::NonModal;
    QWidget* owner = nullptr;
    QStringList buttonTexts;
    QString defaultText;

private:
    void answer() {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(window);
            if (!box || !box->isVisible()) {
                continue;
            }
            found = true;
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
            format = box->textFormat();
            onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            modality = box->windowModality();
            owner = box->parentWidget();
            for (QAbstractButton* button : box->buttons()) {
                buttonTexts << button->text();
            }
            defaultText = box->defaultButton() ? box->defaultButton()->text() : QString();
            if (key) {
                QTest::keyClick(box, *key);
            } else if (!click.isEmpty()) {
                for (QAbstractButton* button : box->buttons()) {
                    if (button->text() == click) {
                        button->click();
                    }
                }
            } else {
                box->button(QMessageBox::Ok)->click();
            }
        }
    }

    QTimer timer_;
};

} // namespace

class NoticeBoxTest : public QObject {
    Q_OBJECT

private slots:
    void noticeBox_data();
    void noticeBox();
    void focusReturnsAfterNotice();
    void question_data();
    void question();
    void filterTexts_data();
    void filterTexts();
};

void NoticeBoxTest::noticeBox_data() {
    QTest::addColumn<restore::NoticeKind>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<QString>("shown");
    QTest::newRow("error with the server's message")
        << restore::NoticeKind::Error << u"heading:\r\rmessage"_s << QMessageBox::Critical
        << u"heading:\n\nmessage"_s;
    QTest::newRow("information") << restore::NoticeKind::Information << u"done"_s
                                 << QMessageBox::Information << u"done"_s;
    QTest::newRow("markup stays text") << restore::NoticeKind::Error << u"<b>x</b>\r\ny"_s
                                       << QMessageBox::Critical << u"<b>x</b>\ny"_s;
}

void NoticeBoxTest::noticeBox() {
    QFETCH(restore::NoticeKind, kind);
    QFETCH(QString, text);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(QString, shown);
    QWidget owner;
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));

    BoxAnswerer seen;
    ui::showNoticeBox(&owner, text, kind);

    QVERIFY2(seen.found, "no message box was shown");
    QCOMPARE(seen.title, u"\u6ce8\u610f"_s); // 注意
    QCOMPARE(seen.text, shown);
    QCOMPARE(seen.icon, icon);
    QVERIFY2(seen.buttons == QMessageBox::Ok,
             qPrintable(u"buttons 0x%1"_s.arg(seen.buttons.toInt(), 0, 16)));
    QCOMPARE(seen.format, Qt::PlainText);
    QVERIFY2(seen.onTop, "the notice is not kept on top");
    QCOMPARE(seen.modality, Qt::ApplicationModal);
    QCOMPARE(seen.owner, &owner);
}

void NoticeBoxTest::focusReturnsAfterNotice() {
    QWidget owner;
    auto* first = new QLineEdit(&owner);
    auto* second = new QLineEdit(&owner);
    second->move(0, 40);
    owner.show();
    QVERIFY(QTest::qWaitForWindowActive(&owner));
    second->setFocus();
    QCOMPARE(QApplication::focusWidget(), second);

    BoxAnswerer seen;
    ui::showNoticeBox(&owner, u"x"_s, restore::NoticeKind::Information);
    QVERIFY2(seen.found, "no message box was shown");
    QTRY_COMPARE(QApplication::activeWindow(), &owner);
    QCOMPARE(QApplication::focusWidget(), second);
    first->setFocus();
    QCOMPARE(QApplication::focusWidget(), first);
}

// 否 is the answer unless 是 is chosen: the default button, Esc and closing all say no.
void NoticeBoxTest::question_data() {
    QTest::addColumn<std::optional<Qt::Key>>("key");
    QTest::addColumn<bool>("answer");
    QTest::newRow("Enter takes the default") << std::optional(Qt::Key_Return) << false;
    QTest::newRow("Esc") << std::optional(Qt::Key_Escape) << false;
    QTest::newRow("是 clicked") << std::optional<Qt::Key>() << true;
}

void NoticeBoxTest::question() {
    QFETCH(std::optional<Qt::Key>, key);
    QFETCH(bool, answer);
    QWidget owner;
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));

    BoxAnswerer seen;
    seen.key = key;
    seen.click = u"\u662f"_s; // 是
    QCOMPARE(ui::askQuestionBox(&owner, u"a\r\rb"_s), answer);

    QVERIFY2(seen.found, "no message box was shown");
    QCOMPARE(seen.title, u"\u6ce8\u610f"_s); // 注意
    QCOMPARE(seen.text, u"a\n\nb"_s);
    QCOMPARE(seen.icon, QMessageBox::Question);
    seen.buttonTexts.sort();
    QCOMPARE(seen.buttonTexts, QStringList({u"\u5426"_s, u"\u662f"_s})); // 否 是
    QCOMPARE(seen.defaultText, u"\u5426"_s);
    QVERIFY2(seen.onTop, "the question is not kept on top");
    QCOMPARE(seen.modality, Qt::ApplicationModal);
}

void NoticeBoxTest::filterTexts_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("descriptions that show their pattern")
        << u"\u6570\u636e\u5e93\u5907\u4efd\u6587\u4ef6(*.bak)|*.bak|\u6240\u6709\u6587\u4ef6(*.*)|*.*"_s
        << QStringList{u"\u6570\u636e\u5e93\u5907\u4efd\u6587\u4ef6(*.bak)"_s,
                       u"\u6240\u6709\u6587\u4ef6(*.*)"_s};
    QTest::newRow("description without its pattern")
        << u"Logs|*.ldf"_s << QStringList{u"Logs (*.ldf)"_s};
    QTest::newRow("a description lacking its pattern is dropped")
        << u"Data|*.mdf|Orphan"_s << QStringList{u"Data (*.mdf)"_s};
}

void NoticeBoxTest::filterTexts() {
    QFETCH(QString, filter);
    QFETCH(QStringList, entries);
    QCOMPARE(ui::qtNameFilters(filter), entries);
}

QTEST_MAIN(NoticeBoxTest)
#include "NoticeBoxTest.moc"
