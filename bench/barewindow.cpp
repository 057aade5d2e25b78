// The yardstick for the editor's start: a Qt Widgets program that shows one
// empty window of the editor's size and does nothing else (the benchmark's
// quit-when-painted library ends it).
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(1024, 700);
    window.show();
    return QApplication::exec();
}
