#include "editor/startup.h"

#include "core/typeinfo.h"
#include "editor/formpaper.h"
#include "paperfile/papercommands.h"

namespace scrivane {

std::unique_ptr<FormPaper> Main(Moddule1& state, Seams& seams, ExcelFactory* excel) {
    ReadTypeInfo(seams.platform.ProgramFolder(), seams.prompts, state.TypeInfoRecord);
    state.PaperModified = false;
    state.PaperFileName.clear();
    state.DefaultScore = 10;
    auto window = std::make_unique<FormPaper>(state, seams, excel);
    window->Form_LoadPro();
    state.StartupNew = true;
    window->Paper().NewPaper_Click();
    state.StartupNew = false;
    window->show();
    // A paper left by an editor that did not end properly is offered back.
    window->OfferRecovery();
    return window;
}

}  // namespace scrivane
