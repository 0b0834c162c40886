#pragma once

#include "FakeDesktop.h"
#include "WindowControls.h"

#include "Unit1.h"

#include <QtTest>

#include <memory>

// A fresh main window on a fake desktop for each test function.
class WindowFixture {
protected:
    // For init(): false when the window did not come up.
    bool openWindow() {
        desktop = {};
        form = std::make_unique<TForm1>(desktop.seams());
        form->show();
        return QTest::qWaitForWindowExposed(form.get());
    }
    void closeWindow() { form.reset(); }

    template <typename T> T* find(const char* name) { return control<T>(*form, name); }
    void click(const char* name) { QTest::mouseClick(find<QWidget>(name), Qt::LeftButton); }

    FakeDesktop desktop;
    std::unique_ptr<TForm1> form;
};
