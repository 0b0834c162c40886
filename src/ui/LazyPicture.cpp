#include "ui/LazyPicture.h"

#include <QPixmap>

namespace ui {

LazyPicture::LazyPicture(QWidget* parent) : QLabel(parent) {}

void LazyPicture::paintEvent(QPaintEvent* event) {
    if (pixmap().isNull()) {
        setPixmap(QPixmap(pictureFile_));
    }
    QLabel::paintEvent(event);
}

} // namespace ui
