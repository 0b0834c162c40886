#pragma once

#include <QFrame>

namespace ui {

// A strip of radio buttons headed by a label. Screen readers see it as a group named by that
// label, so each button is read with the choice it belongs to.
class RadioStrip : public QFrame {
    Q_OBJECT
public:
    explicit RadioStrip(QWidget* parent = nullptr);
};

} // namespace ui
