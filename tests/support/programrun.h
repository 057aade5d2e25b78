// Runs a program of the build (the converter) as a whole and keeps what it
// wrote; a run that does not end within a minute, or crashes, has exit code -1.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace scrivane::test {

struct ProgramRun {
    int exitCode = -1;
    QByteArray out, err;
};

inline ProgramRun RunProgram(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    ProgramRun run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

}  // namespace scrivane::test
