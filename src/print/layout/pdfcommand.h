// The converter's PDF mode: a paper's versions printed into a PDF, their
// description and the answer sheet's layout as JSON beside it. Exit status as
// for the other conversions: 1 for a refused or empty paper, 2 for an
// unreadable PAPER or an output that cannot be written.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "print/versions/printsettings.h"
#include "spreadsheet/workbookcommand.h"

namespace scrivane {

// A PDF conversion as the command line asks for it.
struct PdfJob {
    QString paper;
    QString out;
    // All but the heading, the option letters and the digests, which come
    // from the paper and the answer mode.
    PrintSettings settings;
    std::optional<QString> heading;          // by default the paper's file name
    std::optional<std::int16_t> answerType;  // by default that of TypeInfo.con
    std::optional<QString> versionsJson;
    QString sheetLayoutJson;  // nothing written when empty
};

// Runs the conversion, in the answer mode of answerType unless the job names
// one; needs a QGuiApplication for the fonts.
ConverterRun RunPdfConversion(const PdfJob& job, std::int16_t answerType = 0);

}  // namespace scrivane
