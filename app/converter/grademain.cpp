// scrivane-convert-grade: the grading of scans, which scrivane-convert hands
// over to because reading images needs Qt Gui.
#include <cstdio>

#include "guimain.h"

using namespace scrivane::convert;

int main(int argc, char* argv[]) {
    return RunGuiProgram(
        argc, argv, &ParseGrade,
        [](const scrivane::GradeJob& job, const std::filesystem::path& folder) {
            return scrivane::RunGradeConversion(job, folder, [](const QByteArray& line) {
                std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
                std::fflush(stderr);
            });
        });
}
