#include "checks/ui/attachchecks.h"

#include "checks/ui/paperchecksaction.h"
#include "core/settingsfile.h"
#include "history/paperhistory.h"
#include "workspace/menuhost.h"
#include "workspace/paperworkspace.h"

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
    context.menu.AddEditSeparator();
    context.menu.AddEditAction(checks->Action());
    QObject::connect(&context.workspace, &PaperWorkspace::AnswerModeChanged, checks,
                     &PaperChecksAction::AnswerModeChanged, Qt::QueuedConnection);
    return *checks;
}

}  // namespace scrivane
