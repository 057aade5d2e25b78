#include "print/ui/printmenu.h"

#include <QWidget>

#include "print/ui/printcommands.h"
#include "workspace/menuhost.h"

namespace scrivane {

PrintCommands& AttachPrintCommands(PaperContext& context) {
    PaperDocument& document = context.document;
    Moddule1& state = context.state;
    auto* commands = new PrintCommands(
        context.seams, [&document] { return document.Rows(); },
        [&state] { return state.PaperFileName; }, &context.window);
    commands->SetAnswerType([&state] { return state.AnswerType(); });
    commands->SetSettings(&context.settings);
    // The edit of the current question is checked and written first.
    commands->AddBeforePrinting(context.checkCurrentRow);
    for (QAction* action : commands->CreateActions(&context.window))
        context.menu.AddFileAction(action);
    return *commands;
}

}  // namespace scrivane
