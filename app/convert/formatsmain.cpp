// scrivane-convert-formats: the conversions between formats, --check and
// --rebalance, which scrivane-convert hands over to (see options.h).
#include <QCoreApplication>

#include "interchange/conversion.h"
#include "options.h"
#include "spreadsheet/convert.h"

using namespace scrivane::convert;

int main(int argc, char* argv[]) {
    const QCoreApplication app(argc, argv);
    const QStringList arguments = Arguments(argc, argv);
    // --check and --rebalance read the answer mode beside the program.
    const auto checked =
        RunCheckArguments(arguments, QCoreApplication::applicationDirPath().toStdString());
    auto converted = checked ? checked : scrivane::interchange::RunInterchangeConversion(arguments);
    scrivane::ConverterRun run = converted ? *converted : scrivane::RunConverter(arguments);
    if (run.helpAsked) run.out = HelpText();
    return Finish(run.exitCode, run.out, run.err);
}
