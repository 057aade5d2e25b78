// File › Grade Scans… (Ctrl+G) in the main window: the one action, whether
// the grading is linked in (tests, tools) or is the grading module that the
// editor loads beside itself the first time a teacher grades, so that the
// scan readers' libraries (OpenCV, zxing-cpp's reader, poppler) cost nothing
// at start-up.
#pragma once

#include <QString>
#include <functional>

class QAction;

namespace scrivane {

struct PaperContext;

// Adds File › Grade Scans… to the context's menu; choosing it runs `grade`.
QAction* AddGradeScansAction(PaperContext& context, std::function<void()> grade);

// The grading module's entry: grades the scans of the context's paper.
using GradeScansEntry = void (*)(PaperContext* context);
// The grading module's file beside the program.
QString GradingModuleFile();
// Loads the grading module (once) and returns its entry; null with the
// reason in `error` when it cannot be loaded.
GradeScansEntry LoadGradingModule(QString* error);

// Adds File › Grade Scans…, which loads the grading module on first use and
// then grades through it; a module that cannot be loaded is told, naming its
// file, and nothing else changes.
void AttachGradingModule(PaperContext& context);

}  // namespace scrivane
