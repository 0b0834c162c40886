#include "ui/ClickWatcher.h"

#include <QMouseEvent>
#include <QWidget>

namespace ui {

ClickWatcher::ClickWatcher(QWidget* target) : QObject(target) {
    target->installEventFilter(this);
}

bool ClickWatcher::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonRelease) {
        return false;
    }
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const auto* widget = static_cast<QWidget*>(watched);
    if (mouse->button() != Qt::LeftButton ||
        !widget->rect().contains(mouse->position().toPoint())) {
        return false;
    }
    emit clicked();
    return true;
}

} // namespace ui
