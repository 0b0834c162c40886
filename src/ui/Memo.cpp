#include "ui/Memo.h"

#include <QTextBlock>
#include <QTextCursor>

namespace ui {

Memo::Memo(QWidget* parent) : QTextEdit(parent) {
    setUndoRedoEnabled(false);
    setAcceptRichText(false);
    // Every change of the text may bring blocks with the default format, so each is mended.
    connect(document(), &QTextDocument::contentsChanged, this, &Memo::keepLineHeight);
    keepLineHeight();
}

void Memo::appendPlainText(const QString& text) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (!document()->isEmpty()) {
        cursor.insertBlock();
    }
    cursor.insertText(text);
}

void Memo::keepLineHeight() {
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().lineHeightType() != QTextBlockFormat::FixedHeight) {
            QTextBlockFormat format;
            format.setLineHeight(LineHeight, QTextBlockFormat::FixedHeight);
            QTextCursor(block).mergeBlockFormat(format);
        }
    }
}

} // namespace ui
