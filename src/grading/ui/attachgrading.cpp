#include "grading/ui/attachgrading.h"

#include "core/paperdocument.h"
#include "core/prompts.h"
#include "grading/ui/dialoggrades.h"
#include "grading/menu/gradingmenu.h"
#include "paperfile/papercommands.h"
#include "workspace/papercontext.h"

namespace scrivane {

namespace {

// The grades window is the main window's child while it is open.
DialogGrades* Shown(PaperContext& context) {
    return context.window.findChild<DialogGrades*>(QString(), Qt::FindDirectChildrenOnly);
}

}  // namespace

void GradeScans(PaperContext& context) {
    if (!context.checkCurrentRow || !context.checkCurrentRow()) return;
    // Grades belong to a paper on disk, as it is there.
    if (context.document.FileName().isEmpty() || context.document.Modified())
        context.paper.SavePaper_Click();
    if (context.document.FileName().isEmpty() || context.document.Modified()) {
        ShowMessage(context.seams.prompts, QStringLiteral("Save the paper before grading it."));
        return;
    }
    DialogGrades* window = Shown(context);
    if (!window) {
        window = new DialogGrades(context, &context.window);
        window->setWindowFlag(Qt::Window);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        // Shown first, so what the grading file says has its window.
        window->LoadGrading();
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void AttachGrading(PaperContext& context) {
    AddGradeScansAction(context, [&context] { GradeScans(context); });
}

DialogGrades* GradesWindowOf(PaperContext& context) {
    return Shown(context);
}

}  // namespace scrivane
