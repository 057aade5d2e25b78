// The converter's PDF mode:
//
//   scrivane-convert PAPER OUT.pdf [--versions N] [--seed S]
//       [--shuffle-questions] [--shuffle-options] [--no-paper] [--no-key]
//       [--answer-sheet] [--heading TEXT] [--versions-json FILE]
//
// writes the printed paper, keys and answer sheets as a PDF, and with
// --versions-json the versions as JSON. Exit status as for the other
// conversions: 1 for a refused or empty paper, 2 for wrong arguments, an
// unreadable PAPER or an output that cannot be written.
#pragma once

#include <QStringList>
#include <optional>

#include "spreadsheet/convert.h"

namespace scrivane {

// True when the arguments (without the program name) ask for a PDF: OUT ends
// in ".pdf" or one of the PDF options is given. Needs no application object.
bool IsPdfConversion(const QStringList& arguments);

// Runs the PDF conversion, or nothing when the arguments ask for another.
// Needs a QGuiApplication for the fonts.
std::optional<ConverterRun> RunPdfConversion(const QStringList& arguments);

// The converter's main for a PDF: makes a QGuiApplication (on the offscreen
// platform unless QT_QPA_PLATFORM names one), runs the conversion, writes its
// output and gives the exit status; nothing when the arguments ask for
// another conversion, so those start no GUI.
std::optional<int> RunPdfMain(int& argc, char** argv);

}  // namespace scrivane
