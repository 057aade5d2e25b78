// The yardstick for the converter's start: a Qt Core program that starts its
// application object and does nothing else.
#include <QCoreApplication>

int main(int argc, char* argv[]) {
    const QCoreApplication app(argc, argv);
    return 0;
}
