// scrivane-convert-grade: see grading/gradecommand.h.
#include "grading/gradecommand.h"

int main(int argc, char* argv[]) {
    return scrivane::GradeConverterMain(argc, argv);
}
