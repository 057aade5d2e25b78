// scrivane-convert-formats: the conversions between formats, --check and
// --rebalance, which scrivane-convert hands over to (see options.h).
#include <QCoreApplication>

#include "options.h"

using namespace scrivane::convert;

int main(int argc, char* argv[]) {
    QuietQtMessages();
    const QCoreApplication app(argc, argv);
    const QStringList arguments = Arguments(argc, argv);
    // --check and --rebalance read the answer mode beside the program.
    if (const auto checked =
            RunCheckArguments(arguments, QCoreApplication::applicationDirPath().toStdString()))
        return Finish(*checked);
    const auto parsed = ParseFormats(arguments);
    if (std::holds_alternative<HelpAsked>(parsed)) return Finish(0, HelpText(), {});
    if (const auto* refused = std::get_if<scrivane::ConverterRun>(&parsed)) return Finish(*refused);
    if (const auto refused = RefuseFormatsOutputOverInput(parsed)) return Finish(*refused);
    scrivane::ConverterRun run;
    if (const auto* job = std::get_if<scrivane::interchange::ConversionJob>(&parsed)) {
        const auto converted = scrivane::interchange::RunInterchangeConversion(*job);
        // Workbooks in and an .xls out or JSON are the workbook conversion's.
        run = converted ? *converted : scrivane::RunConverter({job->input, job->output, job->json});
    } else {
        run = scrivane::RunConverter(std::get<scrivane::WorkbookJob>(parsed));
    }
    return Finish(run);
}
