// The converter's command line, read in one place for every program of the
// converter: which mode the arguments ask for, which program runs it, each
// mode's options as a table that both the reading of the arguments and the
// usage texts come from, and the help that lists every mode. Qt Core only,
// so that the fast path of scrivane-convert (a workbook printed as JSON)
// loads nothing more.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <optional>
#include <span>
#include <variant>
#include <vector>

#include "checks/checkcommand.h"
#include "grading/batch/gradecommand.h"
#include "interchange/formatcommand.h"
#include "print/layout/pdfcommand.h"
#include "spreadsheet/workbookcommand.h"

namespace scrivane::convert {

// The modes in the order the converter has always tried them: --grade wins
// over a PDF, a PDF over --check and --rebalance, and those over the
// conversions between formats.
enum class Mode { Help, Grade, Pdf, Check, Formats };

// One option a mode takes.
struct OptionRow {
    const char* name;   // "--versions"
    const char* value;  // what the usage shows for its value ("N"); nullptr when it takes none
    const char* help;   // what it does, in one line
    bool TakesValue() const { return value != nullptr; }
};

// The options that more than one mode takes, alike in each.
inline constexpr OptionRow kJsonOption{"--json", nullptr,
                                       "prints the result as JSON on standard output"};
inline constexpr OptionRow kModeOption{"--mode", "single|multiple",
                                       "the answer mode (by default TypeInfo.con's)"};
inline constexpr OptionRow kHelpOption{"--help", nullptr, "prints this help"};
inline constexpr OptionRow kShortHelpOption{"-h", nullptr, "prints this help"};

struct ModeRow {
    Mode mode;
    // The program beside scrivane-convert that runs the mode.
    const char* program;
    std::span<const OptionRow> options;
    // The mode's lines in the usage: the arguments, with "{--name}" where an
    // option of the table stands ("[--versions N]" in the text) and "\n"
    // where the line goes on below.
    std::span<const char* const> synopses;
    // What the mode's own usage says after its lines; nullptr for none.
    const char* description;
};

const ModeRow& RowOf(Mode mode);

// The mode that arguments (without the program name) ask for.
Mode ModeOf(const QStringList& arguments);

// One option as the arguments give it.
struct GivenOption {
    const OptionRow* row = nullptr;  // nullptr: an option the mode does not take
    QString text;                    // as given
    std::optional<QString> value;    // nothing when the arguments end before it
};

// Arguments sorted by a mode's table: files, and the options in their order.
// "--" ends the options; "-" alone is a file; an option that takes a value
// takes the next argument, whatever it is, or with joinedValues also the
// text after "=" ("--to=csv").
struct ScannedArguments {
    QStringList files;
    std::vector<GivenOption> options;

    const GivenOption* FirstUnknown() const;
    // The first option given without the value it takes.
    const GivenOption* FirstWithoutValue() const;
    bool Has(const char* name) const;
    // The value given last for the option.
    std::optional<QString> Value(const char* name) const;
};

ScannedArguments ScanArguments(const QStringList& arguments, std::span<const OptionRow> options,
                               bool joinedValues = false);

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
// What a refused mode prints after the reason: its lines and description.
QByteArray ModeUsage(Mode mode);
// What the conversions between formats print after the reason, as the
// program that every command not of another mode reaches: every mode's
// lines, then every option with its help line.
QByteArray FormatsUsage();

// Runs program from the running program's folder in this process's place,
// with the same arguments; returns only when it cannot start (exit status 2).
int RunProgramBeside(const char* program, int argc, char** argv);

// The arguments without the program name, as the libraries take them.
QStringList Arguments(int argc, char** argv);

// Arguments refused (exit status 2): the message, then the usage if any.
ConverterRun Refusal(const QString& message, const QByteArray& usage = {});

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
int Finish(const ConverterRun& run);

// Keeps Qt's own warnings (a runtime folder it cannot find, a font it falls
// back from) out of the output: a command-line program prints only its own
// lines. Fatal errors still end the program with their message. Call it
// before the application object is made.
void QuietQtMessages();

}  // namespace scrivane::convert
