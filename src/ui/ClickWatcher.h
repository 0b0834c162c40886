#pragma once

#include <QObject>

class QWidget;

namespace ui {

// Pictures, labels and panels have no click signal: a left press and release inside the watched
// widget becomes clicked().
class ClickWatcher : public QObject {
    Q_OBJECT
public:
    explicit ClickWatcher(QWidget* target);

signals:
    void clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace ui
