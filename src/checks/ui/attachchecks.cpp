#include "checks/ui/attachchecks.h"

#include <QMenu>

#include "checks/ui/paperchecksaction.h"
#include "editor/editorsettings.h"
#include "editor/mainmenu.h"
#include "history/paperhistory.h"

namespace scrivane {

PaperChecksAction& AttachPaperChecks(PaperContext& context) {
    PaperChecksAction::Hooks hooks;
    hooks.writeCurrentRow = context.checkCurrentRow;
    hooks.applyRows = [&history = context.history](const std::vector<QuestionRecord>& rows) {
        history.ReplaceRows(kStepRebalance, rows);
    };
    auto* checks = new PaperChecksAction(
        context.window, context.document.Table(), context.state, context.seams.prompts,
        std::move(hooks), [&settings = context.settings] { return settings.Open(); });
    context.menu.EditMenu()->addSeparator();
    context.menu.AddEditAction(checks->Action());
    QObject::connect(&context.menu, &MainMenu::AnswerModeChosen, checks,
                     &PaperChecksAction::AnswerModeChanged, Qt::QueuedConnection);
    return *checks;
}

}  // namespace scrivane
