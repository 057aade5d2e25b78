// scrivane-convert-grade: the grading of scans, which scrivane-convert hands
// over to because reading images needs Qt Gui.
#include <QGuiApplication>
#include <cstdio>

#include "options.h"

using namespace scrivane::convert;

int main(int argc, char* argv[]) {
    QuietQtMessages();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const QGuiApplication app(argc, argv);
    auto parsed = ParseGrade(Arguments(argc, argv));
    if (auto* refused = std::get_if<scrivane::ConverterRun>(&parsed))
        return Finish(refused->exitCode, refused->out, refused->err);
    const scrivane::ConverterRun run = scrivane::RunGradeConversion(
        std::get<scrivane::GradeJob>(parsed), QGuiApplication::applicationDirPath().toStdString(),
        [](const QByteArray& line) {
            std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
            std::fflush(stderr);
        });
    return Finish(run.exitCode, run.out, run.err);
}
