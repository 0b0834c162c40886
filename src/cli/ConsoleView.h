#pragma once

#include "restore/RequestValidation.h"
#include "restore/RestoreView.h"
#include "restore/ValidationView.h"

#include <QMap>
#include <QTextStream>

namespace cli {

// The window's fields and progress area on a console: fields live in memory, progress lines go
// to standard output as they happen, notices to standard error. There is no dialog and no focus.
// A line that changes (the restore's percent) is rewritten in place on a terminal and printed
// again as a line of its own otherwise.
class ConsoleView : public restore::ValidationView, public restore::RestoreView {
public:
    // Hidden leaves out the progress lines and the Information notices, that is the run's success.
    enum class Progress { Shown, Hidden };

    ConsoleView();
    ~ConsoleView();

    void setProgress(Progress progress) { progress_ = progress; }
    // The answer to the question before a newer server upgrades the attached files, given before
    // the run: without it the question is printed and answered 否.
    void setUpgradeConsent(bool consent) { upgradeConsent_ = consent; }

    restore::AuthMode auth = restore::AuthMode::Integrated;
    restore::SourceKind source = restore::SourceKind::Backup;

    QString fieldText(restore::Field field) const override;
    void setFieldText(restore::Field field, const QString& text) override;
    restore::AuthMode authMode() const override { return auth; }
    restore::SourceKind sourceKind() const override { return source; }
    // There is no focus to move nor a dialog to open.
    void focusField(restore::Field) override {}
    void chooseSourceFile() override {}
    // Shows a refusal as the window would, then says in English which option it refers to.
    void refuse(const restore::Refusal& refusal);
    void repaintWindowNow() override {}

    void clearProgressLines() override;
    void appendProgressLine(const QString& text) override;
    QString lastProgressLine() const override { return lastLine_; }
    void replaceLastProgressLine(const QString& text) override;
    int progressLineCount() const override { return lineCount_; }
    void postProgressHomeKey() override {}
    void repaintProgressNow() override {}
    void setOuterWidth(int) override {}

    void showNotice(const QString& text, restore::NoticeKind kind) override;
    bool askQuestion(const QString& text) override;

private:
    void endOpenLine();

    Progress progress_ = Progress::Shown;
    bool upgradeConsent_ = false;
    bool inPlace_;
    QMap<restore::Field, QString> fields_;
    QString lastLine_;
    QString stepLine_; // the last line as it was appended
    int lineCount_ = 0;
    bool lineOpen_ = false;
    QTextStream out_;
    QTextStream err_;
};

} // namespace cli
