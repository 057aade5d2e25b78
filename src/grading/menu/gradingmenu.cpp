#include "grading/menu/gradingmenu.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QKeySequence>
#include <QLibrary>
#include <QWidget>

#include "core/prompts.h"
#include "workspace/menuhost.h"
#include "workspace/papercontext.h"

namespace scrivane {

QAction* AddGradeScansAction(PaperContext& context, std::function<void()> grade) {
    auto* action = new QAction(QStringLiteral("&Grade Scans…"), &context.window);
    action->setObjectName(QStringLiteral("actionGrade"));
    action->setShortcut(QKeySequence(QStringLiteral("Ctrl+G")));
    action->setStatusTip(QStringLiteral("Read scanned answer sheets into every student's marks"));
    QObject::connect(action, &QAction::triggered, &context.window, std::move(grade));
    context.menu.AddFileAction(action);
    return action;
}

QString GradingModuleFile() {
    return QDir(QCoreApplication::applicationDirPath())
        .filePath(QStringLiteral(SCRIVANE_GRADING_MODULE));
}

GradeScansEntry LoadGradingModule(QString* error) {
    // Loaded once and kept for the life of the program, as a linked library
    // would be; every symbol is bound at once, so that a module that does not
    // fit this program is refused here rather than failing midway.
    static QLibrary module;
    static GradeScansEntry entry = nullptr;
    if (entry) return entry;
    module.setFileName(GradingModuleFile());
    module.setLoadHints(QLibrary::ResolveAllSymbolsHint);
    if (module.load())
        entry = reinterpret_cast<GradeScansEntry>(module.resolve("scrivane_grade_scans"));
    if (!entry && error)
        *error = module.isLoaded() ? QStringLiteral("scrivane_grade_scans is missing from %1.")
                                         .arg(QDir::toNativeSeparators(module.fileName()))
                                   : module.errorString();
    return entry;
}

void AttachGradingModule(PaperContext& context) {
    AddGradeScansAction(context, [&context] {
        QString why;
        if (const GradeScansEntry grade = LoadGradingModule(&why)) {
            grade(&context);
            return;
        }
        MessageRequest failed;
        failed.text = QStringLiteral("The grading cannot be started: %1 cannot be loaded.")
                          .arg(QDir::toNativeSeparators(GradingModuleFile()));
        failed.informativeText = why;
        failed.icon = MsgIcon::Exclamation;
        context.seams.prompts.MsgBox(failed);
    });
}

}  // namespace scrivane
