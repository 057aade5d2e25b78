#include "grading/ui/attachgrading.h"

#include <QAction>

#include "core/paperdocument.h"
#include "core/prompts.h"
#include "editor/mainmenu.h"
#include "grading/ui/dialoggrades.h"
#include "paperfile/papercommands.h"
#include "workspace/papercontext.h"

namespace scrivane {

namespace {

// The grades window is the main window's child while it is open.
DialogGrades* Shown(PaperContext& context) {
    return context.window.findChild<DialogGrades*>(QString(), Qt::FindDirectChildrenOnly);
}

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

}  // namespace

void AttachGrading(PaperContext& context) {
    auto* action = new QAction(QStringLiteral("&Grade Scans…"), &context.menu);
    action->setObjectName(QStringLiteral("actionGrade"));
    action->setShortcut(QKeySequence(QStringLiteral("Ctrl+G")));
    action->setStatusTip(QStringLiteral("Read scanned answer sheets into every student's marks"));
    QObject::connect(action, &QAction::triggered, &context.menu,
                     [&context] { GradeScans(context); });
    context.menu.AddFileAction(action);
}

DialogGrades* GradesWindowOf(PaperContext& context) {
    return Shown(context);
}

}  // namespace scrivane
