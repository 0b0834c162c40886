#include "ui/Artwork.h"

#include <QImageReader>

namespace ui {

QPixmap artwork(const QString& fileName) {
    QImageReader reader(fileName, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

} // namespace ui
