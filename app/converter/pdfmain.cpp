// scrivane-convert-pdf: the PDF mode, which scrivane-convert hands over to
// because laying out pages needs Qt Gui and its fonts.
#include <QGuiApplication>

#include "checks/checkcommand.h"
#include "options.h"
#include "print/pdfcommand.h"

using namespace scrivane::convert;

int main(int argc, char* argv[]) {
    QuietQtMessages();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const QGuiApplication app(argc, argv);
    auto parsed = ParsePdf(Arguments(argc, argv));
    if (auto* refused = std::get_if<scrivane::ConverterRun>(&parsed))
        return Finish(refused->exitCode, refused->out, refused->err);
    const scrivane::ConverterRun run = scrivane::RunPdfConversion(
        std::get<scrivane::PdfJob>(parsed),
        scrivane::ReadAnswerType(QGuiApplication::applicationDirPath().toStdString()));
    return Finish(run.exitCode, run.out, run.err);
}
