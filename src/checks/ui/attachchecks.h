// Puts the paper checks into the main window: Edit › Check Paper… (F7)
// opens the checks window, whose problems lead to their questions and whose
// Rebalance changes the paper as one step.
#pragma once

#include "core/moddule1.h"
#include "core/seams.h"

namespace scrivane {

class FormPaper;
class PaperChecksAction;

// The command is owned by the window. Its ConfirmPrinting is the step that
// printing runs first.
PaperChecksAction& AttachPaperChecks(FormPaper& window, Moddule1& state, Seams& seams);

}  // namespace scrivane
