#pragma once

#include "restore/Notice.h"

#include <QString>

#include <functional>

class QWidget;

namespace ui {

using NoticeShower =
    std::function<void(QWidget* owner, const QString& text, restore::NoticeKind kind)>;
using QuestionAsker = std::function<bool(QWidget* owner, const QString& text)>;

// The modal notice: owned by owner, caption "注意", OK only, kept on top of other windows. When it
// closes, the window that was active gets its focus back, so a focus move that follows wins.
void showNoticeBox(QWidget* owner, const QString& text, restore::NoticeKind kind);
// The notice as a question: buttons 是 and 否, 否 the default and the answer of Esc or closing.
// True for 是.
bool askQuestionBox(QWidget* owner, const QString& text);

// The run separates its heading from the server's message with bare carriage returns.
QString noticeDisplayText(const QString& text);

} // namespace ui
