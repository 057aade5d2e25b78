// Puts Export As and Import From into the File menu, each writing the
// current row first.
#pragma once

#include "workspace/papercontext.h"

namespace scrivane {

class InterchangeCommands;

void AttachInterchangeCommands(PaperContext& context, InterchangeCommands& commands);

}  // namespace scrivane
