#include "ui/LazyPicture.h"

#include "ui/Artwork.h"

namespace ui {

LazyPicture::LazyPicture(QWidget* parent) : QLabel(parent) {}

void LazyPicture::paintEvent(QPaintEvent* event) {
    if (pixmap().isNull()) {
        setPixmap(artwork(pictureFile_));
    }
    QLabel::paintEvent(event);
}

} // namespace ui
