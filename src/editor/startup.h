// Start-up: reads the type information, sets the defaults, lays the main
// window out, builds the first paper and shows the window.
#pragma once

#include <memory>

#include "core/moddule1.h"
#include "core/seams.h"

namespace scrivane {

class FormPaper;
class ExcelFactory;

// excel: the spreadsheet the paper commands use; the program's own when null.
std::unique_ptr<FormPaper> Main(Moddule1& state, Seams& seams, ExcelFactory* excel = nullptr);

}  // namespace scrivane
