#pragma once

#include <QPixmap>

namespace ui {

// One of the program's own PNG pictures from its resources. The format is named and not guessed:
// guessing makes Qt load every image-format plugin to probe the file, which slowed the start-up.
QPixmap artwork(const QString& fileName);

} // namespace ui
