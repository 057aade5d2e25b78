// Puts the paper checks into the main window: Edit › Check Paper… (F7)
// opens the checks window, whose problems lead to their questions and whose
// Rebalance changes the paper as one step.
#pragma once

#include "workspace/papercontext.h"

namespace scrivane {

class PaperChecksAction;

// The command is owned by the window. Its ConfirmPrinting is the step that
// printing runs first.
PaperChecksAction& AttachPaperChecks(PaperContext& context);

}  // namespace scrivane
