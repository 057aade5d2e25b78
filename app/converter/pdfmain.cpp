// scrivane-convert-pdf: the PDF mode, which scrivane-convert hands over to
// because laying out pages needs Qt Gui and its fonts.
#include "core/typeinfo.h"
#include "guimain.h"
#include "print/layout/pdfcommand.h"

using namespace scrivane::convert;

int main(int argc, char* argv[]) {
    return RunGuiProgram(argc, argv, &ParsePdf,
                         [](const scrivane::PdfJob& job, const std::filesystem::path& folder) {
                             return scrivane::RunPdfConversion(job,
                                                               scrivane::ReadAnswerType(folder));
                         });
}
