#include "editor/attachinterchange.h"

#include <QAction>
#include <QWidget>

#include "editor/mainmenu.h"
#include "paperfile/interchangecommands.h"

namespace scrivane {

void AttachInterchangeCommands(PaperContext& context, InterchangeCommands& commands) {
    const auto add = [&context](const QString& text, const QString& name, auto command) {
        auto* action = new QAction(text, &context.window);
        action->setObjectName(name);
        QObject::connect(action, &QAction::triggered, &context.window,
                         [check = context.checkCurrentRow, command] {
                             if (check()) command();
                         });
        context.menu.AddFileAction(action);
    };
    add(QObject::tr("Export As…"), QStringLiteral("actionExportAs"),
        [&commands] { commands.ExportAs_Click(); });
    add(QObject::tr("Import From…"), QStringLiteral("actionImportFrom"),
        [&commands] { commands.ImportFrom_Click(); });
}

}  // namespace scrivane
