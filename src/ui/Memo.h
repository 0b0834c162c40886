#pragma once

#include <QTextEdit>

namespace ui {

// A read-only text area of plain lines at a fixed line height. The CJK fonts' own line spacing is
// taller than the 12-pixel lines the window was laid out for, so a wrapped path or the lines of a
// run would not fit their areas without it.
class Memo : public QTextEdit {
    Q_OBJECT
public:
    static constexpr int LineHeight = 13;

    explicit Memo(QWidget* parent = nullptr);

    // Appends one line as plain text, never read as markup.
    void appendPlainText(const QString& text);

private:
    void keepLineHeight();
};

} // namespace ui
