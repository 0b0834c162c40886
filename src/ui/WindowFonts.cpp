#include "ui/WindowFonts.h"

#include <QStringList>

namespace ui {

QFont windowFont() {
    QFont font;
    // Windows knows 新宋体 by its English name unless the system language is Chinese.
    font.setFamilies({QStringLiteral("新宋体"), QStringLiteral("NSimSun"),
                      QStringLiteral("Noto Sans Mono CJK SC")});
    font.setPixelSize(12);
    return font;
}

QFont promotionFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Fixedsys"), QStringLiteral("Noto Sans Mono CJK SC")});
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(11);
    return font;
}

} // namespace ui
