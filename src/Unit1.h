#pragma once

#include "db/OdbcQueryClient.h"
#include "restore/RestoreView.h"
#include "restore/ValidationView.h"
#include "ui/OpenFileDialog.h"
#include "ui/ResponsiveQueryClient.h"
#include "ui/WindowSeams.h"

#include <QWidget>

#include <memory>

namespace Ui {
class TForm1;
}

// The one window: every input of a restore on the left, the promotion panel beyond the initial
// width on the right. It is the run's view of the progress area, the notice and the window width,
// and the validation's view of the fields.
class TForm1 : public QWidget, public restore::RestoreView, public restore::ValidationView {
    Q_OBJECT
public:
    explicit TForm1(ui::WindowSeams seams = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    void clearProgressLines() override;
    void appendProgressLine(const QString& text) override;
    QString lastProgressLine() const override;
    void replaceLastProgressLine(const QString& text) override;
    int progressLineCount() const override;
    void postProgressHomeKey() override;
    void repaintProgressNow() override;
    void setOuterWidth(int pixels) override;
    void showNotice(const QString& text, restore::NoticeKind kind) override;
    bool askQuestion(const QString& text) override;

    QString fieldText(restore::Field field) const override;
    void setFieldText(restore::Field field, const QString& text) override;
    restore::AuthMode authMode() const override;
    restore::SourceKind sourceKind() const override;
    void focusField(restore::Field field) override;
    void chooseSourceFile() override;
    void repaintWindowNow() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* fieldControl(restore::Field field) const;
    void setSourcePath(const QString& path);
    void applyStartupDefaults();
    void applyLook();
    void connectHandlers();
    void centreOnScreen();

    void FormShow();
    void c1Click();
    void d1Click();
    void d3Click();
    void Image1Click();
    void Label4Click();

    std::unique_ptr<Ui::TForm1> form;
    ui::WindowSeams seams_;
    ui::OpenFileDialog od1;
    db::OdbcQueryClient qry;
    // The run's client: qry with the window kept alive while a statement runs.
    ui::ResponsiveQueryClient responsiveQry{qry};
    // What d2 shows, as set: read back, the memo turns a no-break space into a blank and a line
    // or paragraph separator or carriage return into a line feed, naming another file.
    QString sourcePath_;
    bool shown_ = false;
    bool restoring_ = false;
};
