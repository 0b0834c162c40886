#pragma once

#include <QLabel>

namespace ui {

// A picture decoded when it is first painted: the promotion picture lies beyond the window's
// initial width, so decoding it at start-up would only delay the window.
class LazyPicture : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString pictureFile READ pictureFile WRITE setPictureFile)
public:
    explicit LazyPicture(QWidget* parent = nullptr);

    QString pictureFile() const { return pictureFile_; }
    void setPictureFile(const QString& fileName) { pictureFile_ = fileName; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString pictureFile_;
};

} // namespace ui
