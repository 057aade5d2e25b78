// scrivane-convert: see spreadsheet/convert.h.
#include <QCoreApplication>
#include <cstdio>

#include "print/pdfconvert.h"
#include "spreadsheet/convert.h"

int main(int argc, char* argv[]) {
    if (const auto pdf = scrivane::RunPdfMain(argc, argv)) return *pdf;
    QCoreApplication app(argc, argv);
    const scrivane::ConverterRun run = scrivane::RunConverter(app.arguments().mid(1));
    std::fwrite(run.out.constData(), 1, std::size_t(run.out.size()), stdout);
    std::fwrite(run.err.constData(), 1, std::size_t(run.err.size()), stderr);
    return run.exitCode;
}
