#include "checks/ui/attachchecks.h"

#include <QMenu>

#include "checks/ui/paperchecksaction.h"
#include "editor/formpaper.h"
#include "editor/mainmenu.h"
#include "history/paperhistory.h"

namespace scrivane {

PaperChecksAction& AttachPaperChecks(FormPaper& window, Moddule1& state, Seams& seams) {
    PaperChecksAction::Hooks hooks;
    hooks.writeCurrentRow = [&window] { return window.CheckCurrentRow(); };
    hooks.applyRows = [&window](const std::vector<QuestionRecord>& rows) {
        window.History().ReplaceRows(kStepRebalance, rows);
    };
    auto* checks =
        new PaperChecksAction(window, window.BoundTable(), state, seams.prompts, std::move(hooks),
                              [&window] { return window.Settings().Open(); });
    window.Menu().EditMenu()->addSeparator();
    window.Menu().AddEditAction(checks->Action());
    QObject::connect(&window.Menu(), &MainMenu::AnswerModeChosen, checks,
                     &PaperChecksAction::AnswerModeChanged, Qt::QueuedConnection);
    return *checks;
}

}  // namespace scrivane
