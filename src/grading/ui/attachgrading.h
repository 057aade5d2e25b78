// Puts the grading into the main window: File › Grade Scans… (Ctrl+G) saves
// the paper if it must, then opens the grades window of that paper.
#pragma once

namespace scrivane {

class DialogGrades;
struct PaperContext;

// The command is owned by the main window; the context must outlive it.
void AttachGrading(PaperContext& context);

// What the command runs: saves the paper if it must, then opens (or brings
// forward) the grades window of that paper.
void GradeScans(PaperContext& context);

// The grades window of the paper open now, or nullptr when it is closed.
DialogGrades* GradesWindowOf(PaperContext& context);

}  // namespace scrivane
