#include "ui/RadioStrip.h"

#include <QAccessibleWidget>
#include <QLabel>

namespace ui {

namespace {

class RadioStripAccessible : public QAccessibleWidget {
public:
    explicit RadioStripAccessible(QWidget* strip)
        : QAccessibleWidget(strip, QAccessible::Grouping) {}

    QString text(QAccessible::Text kind) const override {
        const auto* label = widget()->findChild<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
        return kind == QAccessible::Name && label ? label->text() : QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* radioStripAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String(RadioStrip::staticMetaObject.className())) {
        return new RadioStripAccessible(static_cast<QWidget*>(object));
    }
    return nullptr;
}

} // namespace

RadioStrip::RadioStrip(QWidget* parent) : QFrame(parent) {
    static const bool factoryInstalled = (QAccessible::installFactory(radioStripAccessible), true);
    Q_UNUSED(factoryInstalled);
}

} // namespace ui
