// The yardstick of the start-up benchmark: a Qt Widgets program with one window of the main
// window's size that shows the main window's Chinese label texts in its font, so both programs
// pay for loading the same CJK font.
#include "ui/WindowFonts.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QWidget window;
    window.setFont(ui::windowFont());
    window.resize(279, 340);
    int top = 19;
    for (const char* caption : {"服务器电脑名", "认证方式", "数据库用户名", "数据库--密码",
                                "来源类型", "新的数据库名称", "数据库存放目录"}) {
        auto* label = new QLabel(QString::fromUtf8(caption), &window);
        label->setGeometry(16, top, 84, 12);
        top += 28;
    }
    window.show();
    return application.exec();
}
