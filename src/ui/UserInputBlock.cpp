#include "ui/UserInputBlock.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace ui {

namespace {

bool isDrag(const QEvent* event) {
    return event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove ||
           event->type() == QEvent::Drop;
}

bool isUserInput(const QEvent* event) {
    return event->isInputEvent() || isDrag(event) || event->type() == QEvent::InputMethod;
}

} // namespace

UserInputBlock::UserInputBlock(QWidget& window) : window_(window) {
    QCoreApplication::instance()->installEventFilter(this);
}

UserInputBlock::~UserInputBlock() {
    QCoreApplication::instance()->removeEventFilter(this);
}

// Input from the desktop reaches the native window first; dropping it there also keeps a click
// from moving the focus. Events the window posts itself (the progress area's Home key) are not
// spontaneous and pass.
bool UserInputBlock::eventFilter(QObject* watched, QEvent* event) {
    if (!event->spontaneous() || !isUserInput(event)) {
        return false;
    }
    if (watched->isWidgetType()) {
        if (static_cast<QWidget*>(watched)->window() != &window_) {
            return false;
        }
    } else if (watched != window_.windowHandle()) {
        return false;
    }
    // A refused drag shows that nothing may be dropped here.
    if (isDrag(event)) {
        event->ignore();
    }
    return true;
}

} // namespace ui
