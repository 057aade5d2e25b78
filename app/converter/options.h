// The converter's command line, read in one place for every program of the
// converter: which mode the arguments ask for, which program runs it, and the
// help that lists every mode. Qt Core only, so that the fast path of
// scrivane-convert (a workbook printed as JSON) loads nothing more.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <optional>
#include <variant>
#include <vector>

#include "checks/checkcommand.h"
#include "grading/gradecommand.h"
#include "interchange/formatcommand.h"
#include "print/pdfcommand.h"
#include "spreadsheet/workbookcommand.h"

namespace scrivane::convert {

// The modes in the order the converter has always tried them: --grade wins
// over a PDF, a PDF over --check and --rebalance, and those over the
// conversions between formats.
enum class Mode { Help, Grade, Pdf, Check, Formats };

struct ModeRow {
    Mode mode;
    // The program beside scrivane-convert that runs the mode.
    const char* program;
    // The mode's lines in --help.
    const char* usage;
};

const ModeRow& RowOf(Mode mode);

// The mode that arguments (without the program name) ask for.
Mode ModeOf(const QStringList& arguments);

// The arguments of a PDF conversion, sorted.
struct PdfArguments {
    QStringList files;         // PAPER and OUT.pdf
    QStringList unknown;       // options of no PDF conversion
    QStringList missingValue;  // options at the end that needed a value
    QHash<QString, QString> values;
    QSet<QString> flags;
};

// Sorts the arguments as a PDF conversion takes them.
PdfArguments SortPdfArguments(const QStringList& arguments);

bool IsPdfPath(const QString& path);

// The PDF conversion the arguments ask for, or why they are refused.
std::variant<PdfJob, ConverterRun> ParsePdf(const QStringList& arguments);

// The grading the arguments ask for, or why they are refused.
std::variant<GradeJob, ConverterRun> ParseGrade(const QStringList& arguments);

// The check or rebalance the arguments ask for, or why they are refused.
std::variant<CheckJob, ConverterRun> ParseCheck(const QStringList& arguments);

// The check commands run from their arguments (without the program name),
// reading the answer mode in programFolder; nothing when the arguments ask
// for another mode.
std::optional<ConverterRun> RunCheckArguments(const QStringList& arguments,
                                              const std::filesystem::path& programFolder);

// --help, wherever the conversions between formats find it.
struct HelpAsked {};

// The conversion between formats the arguments ask for, a workbook
// conversion when they name no format, or why they are refused.
std::variant<interchange::ConversionJob, WorkbookJob, HelpAsked, ConverterRun> ParseFormats(
    const QStringList& arguments);

// The job when the arguments are INPUT --json and INPUT is a workbook of the
// spreadsheet programs (.xls or .xlsx) or cannot be read at all: the one
// conversion that scrivane-convert runs itself, with Qt Core, the workbook
// readers and the sheet rules.
std::optional<WorkbookJob> WorkbookJsonJob(const QStringList& arguments);

// What --help prints: every mode with its options.
QByteArray HelpText();

// Runs program from the running program's folder in this process's place,
// with the same arguments; returns only when it cannot start (exit status 2).
int RunProgramBeside(const char* program, int argc, char** argv);

// The arguments without the program name, as the libraries take them.
QStringList Arguments(int argc, char** argv);

// Arguments refused (exit status 2): the message, then the usage if any.
ConverterRun Refusal(const QString& message, const char* usage = nullptr);

// An output of the run (its option, or "OUTPUT" for a file given in place)
// and the file it names.
struct RunOutput {
    QString option;
    QString path;
};

// The refusal (exit status 2) when an output names an input of the same run:
// the same file, through links too, that the writing would replace.
std::optional<ConverterRun> RefuseOutputOverInput(const std::vector<RunOutput>& outputs,
                                                  const QStringList& inputs);
// The same for the conversions between formats: OUTPUT over INPUT.
std::optional<ConverterRun> RefuseFormatsOutputOverInput(
    const std::variant<interchange::ConversionJob, WorkbookJob, HelpAsked, ConverterRun>& parsed);

// Writes a run's output and error, returns its exit status.
int Finish(int exitCode, const QByteArray& out, const QByteArray& err);

// Keeps Qt's own warnings (a runtime folder it cannot find, a font it falls
// back from) out of the output: a command-line program prints only its own
// lines. Fatal errors still end the program with their message. Call it
// before the application object is made.
void QuietQtMessages();

}  // namespace scrivane::convert
