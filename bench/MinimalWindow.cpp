// The yardstick of the start-up benchmark: a Qt Widgets program with one empty window of the
// main window's size.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QWidget window;
    window.resize(279, 340);
    window.show();
    return application.exec();
}
