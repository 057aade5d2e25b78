// The grading module's door: File › Grade Scans… of a program that loaded
// the module runs the grading linked in here.
#include <QtGlobal>

#include "grading/ui/attachgrading.h"
#include "workspace/papercontext.h"

extern "C" Q_DECL_EXPORT void scrivane_grade_scans(scrivane::PaperContext* context) {
    scrivane::GradeScans(*context);
}
