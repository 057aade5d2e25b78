// scrivane-convert-pdf: the PDF conversion of scrivane-convert (see
// pdfconvert.h), which starts it for PAPER OUT.pdf and the PDF options. Exit
// status as for the other conversions: 1 for a refused or empty paper, 2 for
// wrong arguments, an unreadable PAPER or an output that cannot be written.
#pragma once

#include <QStringList>
#include <cstdint>

#include "spreadsheet/convert.h"

namespace scrivane {

// Runs the PDF conversion in the answer mode of answerType (unless --mode
// names one); needs a QGuiApplication for the fonts.
ConverterRun RunPdfConversion(const QStringList& arguments, std::int16_t answerType = 0);

// The program's main: a QGuiApplication (on the offscreen platform unless
// QT_QPA_PLATFORM names one), the conversion, its output; the exit status.
int PdfConverterMain(int& argc, char** argv);

}  // namespace scrivane
