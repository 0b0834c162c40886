#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTextEdit>
#include <QtTest>

// A control the window must have; a missing one ends the test binary with its name.
template <typename T> T* control(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (!found) {
        qFatal("no %s named %s", T::staticMetaObject.className(), name);
    }
    return found;
}

// What a control shows as its text, whatever its kind.
inline QString shownText(const QWidget* widget) {
    if (auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    if (auto* edit = qobject_cast<const QLineEdit*>(widget)) {
        return edit->text();
    }
    if (auto* combo = qobject_cast<const QComboBox*>(widget)) {
        return combo->currentText();
    }
    if (auto* memo = qobject_cast<const QTextEdit*>(widget)) {
        return memo->toPlainText();
    }
    return {};
}

// Columns of a control table: name, Qt class, parent, geometry in the parent, shown text.
inline void addControlColumns() {
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
}

inline void checkControl(QWidget& window, const char* name) {
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    auto* widget = control<QWidget>(window, name);
    QVERIFY2(widget->inherits(className.toLatin1()),
             qPrintable(QStringLiteral("%1 is a %2").arg(name, widget->metaObject()->className())));
    QCOMPARE(widget->parentWidget()->objectName(), parentName);
    QCOMPARE(widget->geometry(), geometry);
    if (!text.isNull()) {
        QCOMPARE(shownText(widget), text);
    }
}
