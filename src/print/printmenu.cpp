#include "print/printmenu.h"

#include "editor/formpaper.h"
#include "editor/mainmenu.h"
#include "print/printcommands.h"

namespace scrivane {

PrintCommands& AttachPrintCommands(FormPaper& window, Moddule1& state, Seams& seams) {
    auto* commands = new PrintCommands(
        seams, [&window] { return window.BoundTable().Records(); },
        [&state] { return state.PaperFileName; }, &window);
    commands->SetAnswerType([&state] { return state.AnswerType(); });
    commands->SetSettings(&window.Settings());
    // The edit of the current question is checked and written first.
    commands->AddBeforePrinting([&window] { return window.CheckCurrentRow(); });
    for (QAction* action : commands->CreateActions(&window)) window.Menu().AddFileAction(action);
    return *commands;
}

}  // namespace scrivane
