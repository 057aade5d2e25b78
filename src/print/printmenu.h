// Puts the print commands into the main window: Print, Print Preview and
// Export PDF in the File menu, each checking the current row first.
#pragma once

#include "core/moddule1.h"
#include "core/seams.h"

namespace scrivane {

class FormPaper;
class PrintCommands;

// The commands are owned by the window; further steps before printing (the
// paper checks) are added to the returned commands.
PrintCommands& AttachPrintCommands(FormPaper& window, Moddule1& state, Seams& seams);

}  // namespace scrivane
