#include "cli/ConsoleView.h"

#include <cstdio>

namespace cli {

ConsoleView::ConsoleView() : out_(stdout), err_(stderr) {}

ConsoleView::~ConsoleView() {
    endOpenLine();
}

QString ConsoleView::fieldText(restore::Field field) const {
    return fields_.value(field);
}

void ConsoleView::setFieldText(restore::Field field, const QString& text) {
    fields_[field] = text;
}

void ConsoleView::clearProgressLines() {
    endOpenLine();
    lastLine_.clear();
    lineCount_ = 0;
}

// A line stays open until it is marked or the next one starts, so " OK！" lands on it.
void ConsoleView::appendProgressLine(const QString& text) {
    endOpenLine();
    lastLine_ = text;
    ++lineCount_;
    if (progress_ == Progress::Shown) {
        out_ << text << Qt::flush;
        lineOpen_ = true;
    }
}

void ConsoleView::replaceLastProgressLine(const QString& text) {
    if (progress_ == Progress::Shown) {
        if (lineOpen_ && text.startsWith(lastLine_)) {
            out_ << text.sliced(lastLine_.size());
        } else {
            endOpenLine();
            out_ << text;
        }
        out_ << '\n' << Qt::flush;
        lineOpen_ = false;
    }
    lastLine_ = text;
}

void ConsoleView::showNotice(const QString& text, restore::NoticeKind kind) {
    if (progress_ == Progress::Hidden && kind == restore::NoticeKind::Information) {
        return;
    }
    endOpenLine();
    QString shown = text;
    shown.replace(u'\r', u'\n');
    err_ << shown << '\n' << Qt::flush;
}

void ConsoleView::endOpenLine() {
    if (lineOpen_) {
        out_ << '\n' << Qt::flush;
        lineOpen_ = false;
    }
}

} // namespace cli
