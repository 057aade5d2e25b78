// scrivane-convert: reads the command line once and runs the mode it asks
// for. Printing a workbook as JSON, the conversion that scripts run by the
// hundred, runs here with Qt Core, the workbook readers and the sheet rules
// only; every other mode is run by the program beside it that links what the
// mode needs (see options.h).
#include <QCoreApplication>

#include "options.h"
#include "spreadsheet/workbookcommand.h"

using namespace scrivane::convert;

int main(int argc, char* argv[]) {
    const QStringList arguments = Arguments(argc, argv);
    const Mode mode = ModeOf(arguments);
    if (mode == Mode::Help) return Finish(0, HelpText(), {});
    const auto job = WorkbookJsonJob(arguments);
    if (!job) return RunProgramBeside(RowOf(mode).program, argc, argv);
    QuietQtMessages();
    const QCoreApplication app(argc, argv);
    const scrivane::ConverterRun run = scrivane::RunConverter(*job);
    return Finish(run);
}
