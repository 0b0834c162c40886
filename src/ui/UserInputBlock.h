#pragma once

#include <QObject>

class QWidget;

namespace ui {

// While it lives, keyboard, mouse and drag-and-drop input to a window and its controls is dropped
// as it arrives (not held back for later); painting, moving, closing and the events the program
// posts to itself go through.
class UserInputBlock : public QObject {
public:
    explicit UserInputBlock(QWidget& window);
    ~UserInputBlock() override;
    UserInputBlock(const UserInputBlock&) = delete;
    UserInputBlock& operator=(const UserInputBlock&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& window_;
};

} // namespace ui
