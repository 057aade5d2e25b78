// The converter's checking commands:
//
//   scrivane-convert PAPER --check [--json] [--mode single|multiple]
//       prints the paper's problems and the balance of its answer key
//   scrivane-convert PAPER OUT --rebalance [--mode single|multiple]
//       writes the paper with its answer key rebalanced as OUT, in the format
//       OUT's extension names (.tpf and .xls the Excel 97-2003 workbook)
//
// The answer mode is that of TypeInfo.con in programFolder, as the editor
// reads it, unless --mode names one (single as AnswerType 0, multiple as 3).
// Information (options-kept, no-option-texts) is listed with the problems
// but counts as none. Exit status 0 when the paper has no problem (for
// --rebalance: written),
// 4 when it has problems, 1 when the sheet is refused or OUT's format cannot
// carry the paper, 2 for wrong
// arguments, an unreadable PAPER or an OUT that cannot be written.
#pragma once

#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "spreadsheet/workbookcommand.h"

namespace scrivane {

// A check or a rebalance as the command line asks for it.
struct CheckJob {
    QString paper;
    QString out;  // what --rebalance writes
    bool rebalance = false;
    bool json = false;
    std::optional<std::int16_t> answerType;  // by default that of TypeInfo.con
};

ConverterRun RunCheckCommand(const CheckJob& job, const std::filesystem::path& programFolder);

}  // namespace scrivane
