#pragma once

#include <QFont>

namespace ui {

// 新宋体 at 12 pixels where installed, otherwise a CJK font of the same size.
QFont windowFont();

// Fixedsys at 11 pixels where installed, otherwise a monospaced font that has Chinese glyphs.
QFont promotionFont();

} // namespace ui
