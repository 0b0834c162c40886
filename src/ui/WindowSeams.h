#pragma once

#include "ui/NoticeBox.h"
#include "ui/OpenFileDialog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QUrl>

#include <functional>

namespace ui {

// Everything the window does that waits on the user or reaches outside the program. Tests hand in
// their own, so no test ever blocks on a modal window or starts a browser.
struct WindowSeams {
    NoticeShower showNotice = showNoticeBox;
    FileChooser chooseFile = runQtFileDialog;
    // Opens an address with the desktop's default handler; false when that fails.
    std::function<bool(const QUrl&)> openUrl = QDesktopServices::openUrl;
    // Where the defaults file is looked for, and the clock that names a new database without it.
    std::function<QString()> executableDir = QCoreApplication::applicationDirPath;
    std::function<QDateTime()> now = QDateTime::currentDateTime;
    QuestionAsker askQuestion = askQuestionBox;
};

} // namespace ui
