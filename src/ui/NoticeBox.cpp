#include "ui/NoticeBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace ui {

QString noticeDisplayText(const QString& text) {
    QString shown = text;
    return shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
}

namespace {

QMessageBox::Icon iconOf(restore::NoticeKind kind) {
    switch (kind) {
    case restore::NoticeKind::Error:
        return QMessageBox::Critical;
    case restore::NoticeKind::Question:
        return QMessageBox::Question;
    case restore::NoticeKind::Information:
        break;
    }
    return QMessageBox::Information;
}

// Runs the box and gives the focus back afterwards; returns the button pressed.
QAbstractButton* runBox(QWidget* owner, const QString& text, restore::NoticeKind kind,
                        QMessageBox::StandardButtons buttons,
                        const std::function<void(QMessageBox&)>& dress = {}) {
    const QPointer<QWidget> focus = QApplication::focusWidget();
    QMessageBox box(iconOf(kind), QStringLiteral("注意"), noticeDisplayText(text), buttons, owner);
    // Server messages are shown as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    if (dress) {
        dress(box);
    }
    // exec() makes it application modal: every window of the program waits for it.
    box.exec();
    if (focus) {
        focus->activateWindow();
        focus->setFocus();
    }
    return box.clickedButton();
}

} // namespace

void showNoticeBox(QWidget* owner, const QString& text, restore::NoticeKind kind) {
    runBox(owner, text, kind, QMessageBox::Ok);
}

bool askQuestionBox(QWidget* owner, const QString& text) {
    QAbstractButton* yes = nullptr;
    const QAbstractButton* clicked =
        runBox(owner, text, restore::NoticeKind::Question, QMessageBox::Yes | QMessageBox::No,
               [&yes](QMessageBox& box) {
                   yes = box.button(QMessageBox::Yes);
                   yes->setText(QStringLiteral("是"));
                   box.button(QMessageBox::No)->setText(QStringLiteral("否"));
                   box.setDefaultButton(QMessageBox::No);
                   box.setEscapeButton(QMessageBox::No);
               });
    return clicked != nullptr && clicked == yes;
}

} // namespace ui
