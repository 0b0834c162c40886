#include "ui/NoticeBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace ui {

QString noticeDisplayText(const QString& text) {
    QString shown = text;
    return shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
}

void showNoticeBox(QWidget* owner, const QString& text, restore::NoticeKind kind) {
    const QPointer<QWidget> focus = QApplication::focusWidget();
    QMessageBox box(kind == restore::NoticeKind::Error ? QMessageBox::Critical
                                                       : QMessageBox::Information,
                    QStringLiteral("注意"), noticeDisplayText(text), QMessageBox::Ok, owner);
    // Server messages are shown as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    // exec() makes it application modal: every window of the program waits for it.
    box.exec();
    if (focus) {
        focus->activateWindow();
        focus->setFocus();
    }
}

} // namespace ui
