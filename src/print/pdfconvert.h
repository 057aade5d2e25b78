// The converter's PDF mode, as scrivane-convert sees it:
//
//   scrivane-convert PAPER OUT.pdf [--versions N] [--seed S]
//       [--shuffle-questions] [--shuffle-options] [--no-paper] [--no-key]
//       [--answer-sheet] [--id-digits N] [--heading TEXT] [--versions-json FILE]
//       [--sheet-layout-json FILE] [--mode single|multiple]
//
// Laying out pages needs Qt Gui and its fonts, which cost every other
// conversion a noticeable start-up; so scrivane-convert, which links Qt Core
// only, hands a PDF conversion over to scrivane-convert-pdf beside it (see
// pdfconverter.h). Qt Core only.
#pragma once

#include <QHash>
#include <QSet>
#include <QStringList>
#include <optional>

namespace scrivane {

// The arguments of a PDF conversion, sorted.
struct PdfArguments {
    QStringList files;         // PAPER and OUT.pdf
    QStringList unknown;       // options of no PDF conversion
    QStringList missingValue;  // options at the end that needed a value
    QHash<QString, QString> values;
    QSet<QString> flags;
};

PdfArguments ParsePdfArguments(const QStringList& arguments);

bool IsPdfPath(const QString& path);

// True when the arguments (without the program name) ask for a PDF: OUT ends
// in ".pdf" or one of the PDF options is given.
bool IsPdfConversion(const QStringList& arguments);

}  // namespace scrivane
