// The converter's conversions between every format: IN read by its content,
// OUT written in the format --to names or its extension stands for.
#pragma once

#include <QStringList>
#include <optional>

#include "interchange/format.h"
#include "spreadsheet/workbookcommand.h"

namespace scrivane::interchange {

// A conversion as the command line asks for it: INPUT printed as JSON, or
// written as OUTPUT in the format --to names (by default the one OUTPUT's
// extension stands for).
struct ConversionJob {
    QString input;
    QString output;
    bool json = false;
    std::optional<Format> to;
    std::optional<Format> from;  // --from: INPUT read as this text format
};

// Runs the conversion when it needs more than workbooks in and an .xls out:
// a --to, an OUTPUT of another format, or an INPUT that is not a workbook of
// the spreadsheet programs. Nothing when the workbook converter is to run.
std::optional<ConverterRun> RunInterchangeConversion(const ConversionJob& job);

}  // namespace scrivane::interchange
