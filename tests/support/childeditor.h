// A second editor for the crash tests: the test program started again with
// "--child FOLDER", which says "ready" once its paper is kept for recovery
// and then waits to be killed.
#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QTest>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>

namespace scrivane::test {

// Starts the child and waits for its "ready"; false when it never said so.
inline bool StartChildEditor(QProcess& child, const QString& folder) {
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), folder});
    if (!child.waitForStarted()) return false;
    const bool said = QTest::qWaitFor(
        [&] { return child.canReadLine() || child.state() == QProcess::NotRunning; }, 20000);
    return said && child.readLine().trimmed() == "ready";
}

// The crash: the child ends at once, running none of its own code.
inline bool KillChildEditor(QProcess& child) {
    ::kill(pid_t(child.processId()), SIGKILL);
    return child.waitForFinished();
}

// In the child: tells the parent it is ready and runs until killed.
inline int ReadyUntilKilled() {
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

// Whether the program was started as the child; its folder is argv[2].
inline bool IsChildEditor(int argc, char* argv[]) {
    return argc == 3 && std::strcmp(argv[1], "--child") == 0;
}

}  // namespace scrivane::test
