// The converter's grading command:
//
//   scrivane-convert PAPER --grade SCAN... [--json] [--csv OUT]
//       [--class-list FILE] [--dpi N] [--scoring partial] [--mode single|multiple]
//
// reads every page of every SCAN against PAPER and prints one line per sheet
// (student, version, marks) or, with --json, the sheets, the statistics per
// question and the summary; --csv writes the "Grades" table. The answer mode
// is that of TypeInfo.con beside the program unless --mode names one.
// Exit status 1 for a refused paper; else 2 for wrong arguments, a class
// list or OUT that cannot be read or written, or when nothing at all could be
// read; else 5 when a sheet needs review or a page is
// unreadable; else 0.
//
#pragma once

#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

#include "grading/scores/grades.h"
#include "spreadsheet/workbookcommand.h"

namespace scrivane {

// A grading as the command line asks for it.
struct GradeJob {
    QString paper;
    QStringList scans;
    bool json = false;
    Scoring scoring = Scoring::Exact;
    std::optional<std::int16_t> answerType;  // by default that of TypeInfo.con
    QString csvPath;                         // nothing written when empty
    QString classListPath;                   // no class list when empty
    double dpi = 200;                        // of scanned pictures that do not tell
};

// The command itself; progress gets a line for each page read with --json.
ConverterRun RunGradeConversion(const GradeJob& job, const std::filesystem::path& programFolder,
                                const std::function<void(const QByteArray&)>& progress);

}  // namespace scrivane
