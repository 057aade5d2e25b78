#include "options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace scrivane::convert {

namespace {

const ModeRow kModes[] = {
    {Mode::Help, "scrivane-convert", "       scrivane-convert --help\n"},
    {Mode::Formats, "scrivane-convert-formats",
     "usage: scrivane-convert INPUT --json\n"
     "       scrivane-convert INPUT OUTPUT [--to FORMAT] [--from aiken|gift|moodle|csv]\n"},
    {Mode::Pdf, "scrivane-convert-pdf",
     "       scrivane-convert PAPER OUT.pdf [--versions N] [--seed S] [--shuffle-questions]\n"
     "           [--shuffle-options] [--no-paper] [--no-key] [--answer-sheet] [--id-digits N]\n"
     "           [--heading TEXT] [--versions-json FILE] [--sheet-layout-json FILE]\n"
     "           [--mode single|multiple]\n"},
    {Mode::Check, "scrivane-convert-formats",
     "       scrivane-convert PAPER --check [--json] [--mode single|multiple]\n"
     "       scrivane-convert PAPER OUT --rebalance [--mode single|multiple]\n"},
    {Mode::Grade, "scrivane-convert-grade",
     "       scrivane-convert PAPER --grade SCAN... [--json] [--csv OUT]\n"
     "           [--class-list FILE] [--dpi N] [--scoring partial] [--mode single|multiple]\n"},
};

const char kHelpDetails[] =
    "Reads the paper in INPUT, recognised by its content (a workbook .xls, .tpf, .xlsx or\n"
    ".ods, CSV, Moodle XML, GIFT or Aiken), and prints it as JSON or writes it as OUTPUT.\n"
    "FORMAT is xls, xlsx, ods, csv, moodle, gift or aiken; by default OUTPUT's extension\n"
    "tells it (.tpf is xls, .txt is Aiken, any other name an Excel 97-2003 workbook).\n"
    "--from reads INPUT as the format it names, whatever its content looks like.\n"
    "OUT.pdf gets each version's (A, B, ...) question paper, then the answer sheets, then\n"
    "the answer keys; --versions-json also writes the versions as JSON once the PDF is\n"
    "written. The answer sheet has a student number grid of --id-digits columns (0 to 10,\n"
    "default 8; 0 for none); --sheet-layout-json writes where its markers and bubbles\n"
    "stand on each page, in points.\n"
    "--check lists the paper's problems and the balance of its answer key; --rebalance\n"
    "writes the paper with its answer key rebalanced as OUT, in the format OUT's extension\n"
    "names as above.\n"
    "--grade reads the answer sheets in every page of the scans (PDF, PNG, JPEG, TIFF) and\n"
    "prints every student's marks, or with --json the sheets and the statistics; --csv\n"
    "writes the grades as a table.\n"
    "--mode chooses the answer mode; by default it is the one in TypeInfo.con beside the\n"
    "program.\n"
    "Exit status: 0 done; 1 the paper is refused; 2 wrong arguments, or a file that cannot\n"
    "be read or written; 4 the paper has problems (--check); 5 a sheet needs review or a\n"
    "page is unreadable (--grade).\n";

// Before "--": everything after it is a file.
bool HasOption(const QStringList& arguments, const QString& option) {
    for (const QString& argument : arguments) {
        if (argument == QStringLiteral("--")) return false;
        if (argument == option) return true;
    }
    return false;
}

// The PDF mode's options: those that stand alone and those that take a value.
const QStringList kPdfFlags = {QStringLiteral("--shuffle-questions"),
                               QStringLiteral("--shuffle-options"), QStringLiteral("--no-paper"),
                               QStringLiteral("--no-key"), QStringLiteral("--answer-sheet")};
const QStringList kPdfValued = {
    QStringLiteral("--versions"),  QStringLiteral("--seed"),
    QStringLiteral("--heading"),   QStringLiteral("--versions-json"),
    QStringLiteral("--id-digits"), QStringLiteral("--sheet-layout-json"),
    QStringLiteral("--mode")};

// A PDF is asked for when OUT ends in ".pdf" or a PDF option is given.
bool IsPdfConversion(const QStringList& arguments) {
    PdfArguments parsed = SortPdfArguments(arguments);
    // --mode belongs to --check and --rebalance as well: alone it asks for no PDF.
    const QString mode = QStringLiteral("--mode");
    parsed.values.remove(mode);
    parsed.missingValue.removeAll(mode);
    if (!parsed.flags.isEmpty() || !parsed.values.isEmpty() || !parsed.missingValue.isEmpty())
        return true;
    return parsed.unknown.isEmpty() && parsed.files.size() == 2 && IsPdfPath(parsed.files[1]);
}

// The folder of the running program, from the link the kernel keeps to it.
std::filesystem::path ProgramFolder(const char* argv0) {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) return self.parent_path();
    return std::filesystem::path(argv0 ? argv0 : "").parent_path();
}

}  // namespace

PdfArguments SortPdfArguments(const QStringList& arguments) {
    PdfArguments parsed;
    bool optionsEnded = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnded || !argument.startsWith(u'-') || argument.size() == 1) {
            parsed.files << argument;
        } else if (argument == QStringLiteral("--")) {
            optionsEnded = true;
        } else if (kPdfFlags.contains(argument)) {
            parsed.flags.insert(argument);
        } else if (kPdfValued.contains(argument)) {
            if (i + 1 < arguments.size())
                parsed.values.insert(argument, arguments[++i]);
            else
                parsed.missingValue << argument;
        } else {
            parsed.unknown << argument;
        }
    }
    return parsed;
}

bool IsPdfPath(const QString& path) {
    return path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
}

const ModeRow& RowOf(Mode mode) {
    for (const ModeRow& row : kModes)
        if (row.mode == mode) return row;
    return kModes[0];
}

Mode ModeOf(const QStringList& arguments) {
    if (HasOption(arguments, QStringLiteral("--grade"))) return Mode::Grade;
    if (IsPdfConversion(arguments)) return Mode::Pdf;
    // The check commands look for their option anywhere, "--" or not.
    if (arguments.contains(QStringLiteral("--check")) ||
        arguments.contains(QStringLiteral("--rebalance")))
        return Mode::Check;
    if (arguments == QStringList{QStringLiteral("--help")} ||
        arguments == QStringList{QStringLiteral("-h")})
        return Mode::Help;
    return Mode::Formats;
}

QByteArray HelpText() {
    QByteArray text = RowOf(Mode::Formats).usage;
    for (const Mode mode : {Mode::Pdf, Mode::Check, Mode::Grade, Mode::Help})
        text += RowOf(mode).usage;
    return text + kHelpDetails;
}

int RunProgramBeside(const char* programName, int argc, char** argv) {
    const std::string program =
        (ProgramFolder(argc > 0 ? argv[0] : nullptr) / programName).string();
    std::vector<char*> childArguments{const_cast<char*>(program.c_str())};
    for (int i = 1; i < argc; ++i) childArguments.push_back(argv[i]);
    childArguments.push_back(nullptr);
    std::fflush(stdout);
    execv(program.c_str(), childArguments.data());
    std::fprintf(stderr, "scrivane-convert: cannot start %s: %s\n", program.c_str(),
                 std::strerror(errno));
    return 2;
}

QStringList Arguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

ConverterRun Refusal(const QString& message, const char* usage) {
    ConverterRun run = ConverterFailure(2, QStringLiteral("scrivane-convert: ") + message);
    if (usage) run.err += usage;
    return run;
}

namespace {

// Whether two paths name one file: the same file on disk (through symbolic
// and hard links), or the same path when the output does not exist yet.
bool SameFile(const QString& output, const QString& input) {
    struct stat out {
    }, in{};
    const bool outExists = ::stat(QFile::encodeName(output).constData(), &out) == 0;
    const bool inExists = ::stat(QFile::encodeName(input).constData(), &in) == 0;
    if (outExists && inExists) return out.st_dev == in.st_dev && out.st_ino == in.st_ino;
    return QDir::cleanPath(QFileInfo(output).absoluteFilePath()) ==
           QDir::cleanPath(QFileInfo(input).absoluteFilePath());
}

}  // namespace

std::optional<ConverterRun> RefuseOutputOverInput(const std::vector<RunOutput>& outputs,
                                                  const QStringList& inputs) {
    for (const RunOutput& output : outputs) {
        if (output.path.isEmpty()) continue;
        for (const QString& input : inputs)
            if (!input.isEmpty() && SameFile(output.path, input))
                return Refusal(
                    QStringLiteral("%1 %2 would overwrite the input %3: choose another file")
                        .arg(output.option, output.path, input));
    }
    return std::nullopt;
}

std::optional<ConverterRun> RefuseFormatsOutputOverInput(
    const std::variant<interchange::ConversionJob, WorkbookJob, HelpAsked, ConverterRun>& parsed) {
    const QString place = QStringLiteral("OUTPUT");
    if (const auto* job = std::get_if<interchange::ConversionJob>(&parsed))
        return RefuseOutputOverInput({{place, job->output}}, {job->input});
    if (const auto* job = std::get_if<WorkbookJob>(&parsed))
        return RefuseOutputOverInput({{place, job->output}}, {job->input});
    return std::nullopt;
}

int Finish(int exitCode, const QByteArray& out, const QByteArray& err) {
    std::fwrite(out.constData(), 1, std::size_t(out.size()), stdout);
    std::fwrite(err.constData(), 1, std::size_t(err.size()), stderr);
    return exitCode;
}

void QuietQtMessages() {
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type != QtFatalMsg) return;
        const QByteArray text = message.toLocal8Bit() + '\n';
        std::fwrite(text.constData(), 1, std::size_t(text.size()), stderr);
    });
}

}  // namespace scrivane::convert
