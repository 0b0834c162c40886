#include "Unit1.h"
#include "ui_Unit1.h"

#include "platform/PlatformDefaults.h"
#include "restore/RequestValidation.h"
#include "restore/RestoreRun.h"
#include "restore/StartupDefaults.h"
#include "ui/Artwork.h"
#include "ui/ClickWatcher.h"
#include "ui/PasswordStyle.h"
#include "ui/PromotionLinks.h"
#include "ui/UserInputBlock.h"
#include "ui/WindowFonts.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>

namespace {

const QString BackupFilter = QStringLiteral("数据库备份文件(*.bak)|*.bak|所有文件(*.*)|*.*");
const QString DataFileFilter = QStringLiteral("原始数据文件(*.mdf)|*.mdf|所有文件(*.*)|*.*");
const QString ProductLinkFailedNotice =
    QStringLiteral("由于您IE执行出错,无法直接链接到Orvik网站,该网址已复制到您的剪切板中!");
const QString CloseDuringRestoreNotice =
    QStringLiteral("正在恢复数据库，请等待恢复结束后再关闭窗口。");

void setColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

} // namespace

TForm1::TForm1(ui::WindowSeams seams, QWidget* parent)
    : QWidget(parent), form(std::make_unique<Ui::TForm1>()), seams_(std::move(seams)),
      od1(seams_.chooseFile) {
    // Set before the controls exist, so they are laid out once and only this font gets loaded.
    setFont(ui::windowFont());
    form->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(ui::artwork(QStringLiteral(":/window/icon32.png")));
    form->d1->setIcon(ui::artwork(QStringLiteral(":/window/open16.png")));
    form->d3->setIcon(ui::artwork(QStringLiteral(":/window/start16.png")));
    form->e2->setText(platform::defaultDatabaseDirectory());
    form->Label4->setText(form->Label4->text() + ui::HomePageAddress);
    applyLook();
    connectHandlers();
    form->b1->setFocus();
}

TForm1::~TForm1() = default;

void TForm1::applyLook() {
    // The strips take the shadow colour as their own window colour: as a background role it would
    // turn the text of their labels and radio buttons light.
    for (QWidget* strip : std::initializer_list<QWidget*>{form->Panel4, form->Panel5}) {
        setColour(strip, QPalette::Window, palette().color(QPalette::Dark));
        strip->setAutoFillBackground(true);
    }
    // b3 shows every character as "*"; a small style owned by the edit does that more cheaply at
    // start-up than a style sheet.
    auto* passwordStyle = new ui::PasswordStyle(style()->name());
    passwordStyle->setParent(form->b3);
    form->b3->setStyle(passwordStyle);
    setColour(form->a5, QPalette::WindowText, Qt::blue);
    setColour(form->a6, QPalette::WindowText, Qt::blue);
    // A memo-like narrow inner margin leaves the lines of text the most room.
    for (ui::Memo* area : {form->d2, form->d4}) {
        setColour(area, QPalette::Base, palette().color(QPalette::Button));
        area->document()->setDocumentMargin(1);
    }

    setColour(form->Panel3, QPalette::Window, Qt::white);
    form->Panel3->setAutoFillBackground(true);
    form->Label3->setFont(ui::promotionFont());
    setColour(form->Label3, QPalette::WindowText, Qt::red);
    QFont linkFont = ui::promotionFont();
    linkFont.setUnderline(true);
    form->Label4->setFont(linkFont);
    setColour(form->Label4, QPalette::WindowText, Qt::gray);
}

void TForm1::connectHandlers() {
    connect(form->c1, &QRadioButton::clicked, this, &TForm1::c1Click);
    connect(form->c2, &QRadioButton::clicked, this, &TForm1::c1Click);
    connect(form->d1, &QPushButton::clicked, this, &TForm1::d1Click);
    connect(form->d3, &QPushButton::clicked, this, &TForm1::d3Click);
    for (QWidget* productLink :
         std::initializer_list<QWidget*>{form->Image1, form->Panel3, form->Label3}) {
        connect(new ui::ClickWatcher(productLink), &ui::ClickWatcher::clicked, this,
                &TForm1::Image1Click);
    }
    connect(new ui::ClickWatcher(form->Label4), &ui::ClickWatcher::clicked, this,
            &TForm1::Label4Click);
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        centreOnScreen();
        FormShow();
    }
}

// The frame is known only once the window exists, so centring waits for the first show.
void TForm1::centreOnScreen() {
    QRect frame = frameGeometry();
    frame.moveCenter(screen()->geometry().center());
    move(frame.topLeft());
}

void TForm1::FormShow() {
    applyStartupDefaults();
    c1Click();
}

// The labels' current captions name the keys, so renaming a label renames its key.
void TForm1::applyStartupDefaults() {
    const restore::StartupDefaults defaults = restore::loadStartupDefaults(
        seams_.executableDir(),
        {form->a1->text(), form->a2->text(), form->a3->text(), form->a5->text(), form->a6->text(),
         form->a7->text(), form->a8->text(), form->c1->text(), form->c3->text()},
        seams_.now());
    if (const auto& preset = defaults.preset) {
        form->b1->setEditText(preset->serverName);
        (preset->authMode == restore::AuthMode::Integrated ? form->c1 : form->c2)->setChecked(true);
        form->b2->setText(preset->userName);
        form->b3->setText(preset->password);
        (preset->sourceKind == restore::SourceKind::Backup ? form->c3 : form->c4)->setChecked(true);
        setSourcePath(preset->sourcePath);
        form->e2->setText(preset->directory);
    }
    form->e1->setText(defaults.databaseName);
}

void TForm1::c1Click() {
    const bool sqlLogin = form->c2->isChecked();
    for (QWidget* field : std::initializer_list<QWidget*>{form->a2, form->a3, form->b2, form->b3}) {
        field->setEnabled(sqlLogin);
    }
    const QColor background = palette().color(sqlLogin ? QPalette::Base : QPalette::Button);
    setColour(form->b2, QPalette::Base, background);
    setColour(form->b3, QPalette::Base, background);
}

void TForm1::d1Click() {
    od1.setFilter(form->c3->isChecked() ? BackupFilter : DataFileFilter);
    if (od1.execute(this)) {
        setSourcePath(od1.fileName());
    }
}

void TForm1::setSourcePath(const QString& path) {
    sourcePath_ = path;
    form->d2->setPlainText(path);
}

// The window keeps painting while a statement runs but takes no input until the run has ended.
void TForm1::d3Click() {
    const restore::Validated validated = restore::validateRequest(*this);
    if (const auto* refusal = std::get_if<restore::Refusal>(&validated)) {
        restore::presentRefusal(*this, *refusal);
        return;
    }
    const QScopedValueRollback restoring(restoring_, true);
    const ui::UserInputBlock noInput(*this);
    restore::RestoreRun(responsiveQry, *this).run(std::get<restore::RestoreRequest>(validated));
}

// Closing mid-restore would end the program and leave the new database half restored.
void TForm1::closeEvent(QCloseEvent* event) {
    if (!restoring_) {
        QWidget::closeEvent(event);
        return;
    }
    event->ignore();
    showNotice(CloseDuringRestoreNotice, restore::NoticeKind::Information);
}

QWidget* TForm1::fieldControl(restore::Field field) const {
    switch (field) {
    case restore::Field::b1:
        return form->b1;
    case restore::Field::b2:
        return form->b2;
    case restore::Field::b3:
        return form->b3;
    case restore::Field::d2:
        return form->d2;
    case restore::Field::e1:
        return form->e1;
    case restore::Field::e2:
        return form->e2;
    }
    Q_UNREACHABLE();
    return nullptr;
}

QString TForm1::fieldText(restore::Field field) const {
    if (field == restore::Field::d2) {
        return sourcePath_;
    }
    const QWidget* control = fieldControl(field);
    if (const auto* combo = qobject_cast<const QComboBox*>(control)) {
        return combo->currentText();
    }
    return qobject_cast<const QLineEdit*>(control)->text();
}

void TForm1::setFieldText(restore::Field field, const QString& text) {
    QWidget* control = fieldControl(field);
    if (field == restore::Field::d2) {
        setSourcePath(text);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        combo->setEditText(text);
    } else {
        qobject_cast<QLineEdit*>(control)->setText(text);
    }
}

restore::AuthMode TForm1::authMode() const {
    return form->c2->isChecked() ? restore::AuthMode::SqlLogin : restore::AuthMode::Integrated;
}

restore::SourceKind TForm1::sourceKind() const {
    return form->c4->isChecked() ? restore::SourceKind::DataFiles : restore::SourceKind::Backup;
}

void TForm1::focusField(restore::Field field) {
    fieldControl(field)->setFocus();
}

void TForm1::chooseSourceFile() {
    d1Click();
}

void TForm1::repaintWindowNow() {
    repaint();
}

void TForm1::Image1Click() {
    if (seams_.openUrl(QUrl(ui::ProductPageAddress))) {
        return;
    }
    showNotice(ProductLinkFailedNotice, restore::NoticeKind::Information);
    QGuiApplication::clipboard()->setText(ui::ProductPageAddress);
}

void TForm1::Label4Click() {
    seams_.openUrl(QUrl(ui::HomePageAddress));
}

void TForm1::clearProgressLines() {
    form->d4->clear();
}

void TForm1::appendProgressLine(const QString& text) {
    form->d4->appendPlainText(text);
}

QString TForm1::lastProgressLine() const {
    return form->d4->document()->lastBlock().text();
}

void TForm1::replaceLastProgressLine(const QString& text) {
    QTextCursor cursor(form->d4->document()->lastBlock());
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(text);
}

int TForm1::progressLineCount() const {
    return form->d4->document()->isEmpty() ? 0 : form->d4->document()->blockCount();
}

void TForm1::postProgressHomeKey() {
    QCoreApplication::postEvent(form->d4,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier));
}

void TForm1::repaintProgressNow() {
    form->d4->viewport()->repaint();
}

void TForm1::setOuterWidth(int pixels) {
    const int frameWidth = frameGeometry().width() - width();
    resize(pixels - frameWidth, height());
}

void TForm1::showNotice(const QString& text, restore::NoticeKind kind) {
    seams_.showNotice(this, text, kind);
}

bool TForm1::askQuestion(const QString& text) {
    return seams_.askQuestion(this, text);
}
