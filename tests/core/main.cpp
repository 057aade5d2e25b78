// Runs every test class of the core in one executable.
#include <QCoreApplication>
#include <QTest>

#include "coretests.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    int failed = 0;
    for (auto& make : scrivane::test::CoreTests()) {
        auto test = make();
        failed += QTest::qExec(test.get(), argc, argv);
    }
    return failed == 0 ? 0 : 1;
}
