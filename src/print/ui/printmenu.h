// Puts the print commands into the main window: Print, Print Preview and
// Export PDF in the File menu, each checking the current row first.
#pragma once

#include "workspace/papercontext.h"

namespace scrivane {

class PrintCommands;

// The commands are owned by the window; further steps before printing (the
// paper checks) are added to the returned commands.
PrintCommands& AttachPrintCommands(PaperContext& context);

}  // namespace scrivane
