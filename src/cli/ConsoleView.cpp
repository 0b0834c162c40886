#include "cli/ConsoleView.h"

#include "cli/StandardStreams.h"
#include "cli/Terminal.h"

namespace cli {

namespace {

const char* const EraseToLineEnd = "\x1b[K";

} // namespace

ConsoleView::ConsoleView()
    : inPlace_(cli::standardOutputIsTerminal()), out_(cli::standardOutput()),
      err_(cli::standardError()) {}

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

// A line stays open until it changes or the next one starts, so " OK！" lands on it.
void ConsoleView::appendProgressLine(const QString& text) {
    endOpenLine();
    lastLine_ = text;
    stepLine_ = text;
    ++lineCount_;
    if (progress_ == Progress::Shown) {
        out_ << text << Qt::flush;
        lineOpen_ = true;
    }
}

// A line that grows gets its new end only; otherwise a terminal rewrites the line in place.
// Piped, each change is a line of its own, and the step's own text (back once the percent has
// gone) stays open for its mark, so the last line of a step reads as it always has.
void ConsoleView::replaceLastProgressLine(const QString& text) {
    if (progress_ == Progress::Shown && text != lastLine_) {
        if (lineOpen_ && text.startsWith(lastLine_)) {
            out_ << text.sliced(lastLine_.size());
        } else if (inPlace_) {
            out_ << '\r' << text << EraseToLineEnd;
            lineOpen_ = true;
        } else {
            endOpenLine();
            out_ << text;
            lineOpen_ = true;
        }
        if (!inPlace_ && text != stepLine_) {
            endOpenLine();
        }
        out_.flush();
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

bool ConsoleView::askQuestion(const QString& text) {
    if (!upgradeConsent_) {
        showNotice(text, restore::NoticeKind::Question);
    }
    return upgradeConsent_;
}

void ConsoleView::refuse(const restore::Refusal& refusal) {
    using Reason = restore::Refusal::Reason;
    restore::presentRefusal(*this, refusal);
    QString english;
    switch (refusal.reason) {
    case Reason::NoServer:
        english = QStringLiteral("the server name (--server) is empty");
        break;
    case Reason::NoLogin:
        english = QStringLiteral("the login name (--user) is empty");
        break;
    case Reason::NoSource:
        english = QStringLiteral("no file to restore from: give --backup FILE or --mdf FILE");
        break;
    case Reason::NoDatabaseName:
        english = QStringLiteral("no name for the new database: give --name NAME");
        break;
    case Reason::NoDirectory:
        english = QStringLiteral("no folder for the database files: give --dir DIR");
        break;
    case Reason::UnusableDirectory:
        english = QStringLiteral("not a folder that can hold the database files (--dir): ") +
                  refusal.data;
        break;
    case Reason::NoLogFile:
        return;
    }
    err_ << english << '\n' << Qt::flush;
}

void ConsoleView::endOpenLine() {
    if (lineOpen_) {
        out_ << '\n' << Qt::flush;
        lineOpen_ = false;
    }
}

} // namespace cli
