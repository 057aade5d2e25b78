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
// Reading images needs Qt Gui, so scrivane-convert (Qt Core only) hands the
// command over to scrivane-convert-grade beside it.
#pragma once

#include <QStringList>
#include <filesystem>
#include <functional>
#include <optional>

#include "spreadsheet/convert.h"

namespace scrivane {

// The command itself; progress gets a line for each page read with --json.
ConverterRun RunGradeConversion(const QStringList& arguments,
                                const std::filesystem::path& programFolder,
                                const std::function<void(const QByteArray&)>& progress);

// scrivane-convert-grade's main: a QGuiApplication (offscreen unless
// QT_QPA_PLATFORM names a platform), the command, its output.
int GradeConverterMain(int& argc, char** argv);

}  // namespace scrivane
