#include "grading/gradecommand.h"
#include "print/pdfconvert.h"

namespace scrivane {

bool IsGradeCommand(const QStringList& arguments) {
    for (const QString& argument : arguments) {
        if (argument == QStringLiteral("--")) return false;
        if (argument == QStringLiteral("--grade")) return true;
    }
    return false;
}

std::optional<int> RunGradeMain(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    if (!IsGradeCommand(arguments)) return std::nullopt;
    return RunProgramBeside("scrivane-convert-grade", argc, argv);
}

}  // namespace scrivane
