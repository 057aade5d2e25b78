// scrivane-convert: see spreadsheet/convert.h.
#include <QCoreApplication>
#include <cstdio>

#include "checks/checkcommand.h"
#include "grading/gradecommand.h"
#include "interchange/conversion.h"
#include "print/pdfconvert.h"
#include "spreadsheet/convert.h"

int main(int argc, char* argv[]) {
    if (const auto grade = scrivane::RunGradeMain(argc, argv)) return *grade;
    if (const auto pdf = scrivane::RunPdfMain(argc, argv)) return *pdf;
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    // --check and --rebalance read the answer mode beside the program.
    const auto checked =
        scrivane::RunCheckCommand(arguments, QCoreApplication::applicationDirPath().toStdString());
    auto converted = checked ? checked : scrivane::interchange::RunInterchangeConversion(arguments);
    const scrivane::ConverterRun run = converted ? *converted : scrivane::RunConverter(arguments);
    std::fwrite(run.out.constData(), 1, std::size_t(run.out.size()), stdout);
    std::fwrite(run.err.constData(), 1, std::size_t(run.err.size()), stderr);
    return run.exitCode;
}
