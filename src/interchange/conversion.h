// The converter's conversions between every format: IN read by its content,
// OUT written in the format --to names or its extension stands for.
#pragma once

#include <QStringList>
#include <optional>

#include "spreadsheet/convert.h"

namespace scrivane::interchange {

// Runs the conversion when the arguments need more than workbooks in and an
// .xls out: a --to, an OUT of another format, or an IN that is not a workbook
// of the spreadsheet programs. Nothing when the workbook converter is to run.
std::optional<ConverterRun> RunInterchangeConversion(const QStringList& arguments);

}  // namespace scrivane::interchange
