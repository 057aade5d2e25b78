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

const OptionRow kFormatsOptions[] = {
    kJsonOption,
    {"--to", "FORMAT", "OUTPUT's format: xls, xlsx, ods, csv, moodle, gift or aiken"},
    {"--from", "aiken|gift|moodle|csv", "reads INPUT as that format, whatever it looks like"},
};
const char* const kFormatsSynopses[] = {"INPUT --json", "INPUT OUTPUT {--to} {--from}"};

const OptionRow kPdfOptions[] = {
    {"--versions", "N", "how many versions are printed, 1 to 26 (default 1)"},
    {"--seed", "S", "the shuffles' seed, 0 to 4294967295 (default random)"},
    {"--shuffle-questions", nullptr, "each version has its questions in another order"},
    {"--shuffle-options", nullptr, "each version has its options in another order"},
    {"--no-paper", nullptr, "leaves out the question papers"},
    {"--no-key", nullptr, "leaves out the answer keys"},
    {"--answer-sheet", nullptr, "prints the answer sheets"},
    {"--id-digits", "N", "the sheet's student number columns, 0 to 10 (default 8)"},
    {"--heading", "TEXT", "the papers' heading (default the paper's file name)"},
    {"--versions-json", "FILE", "writes the versions as JSON"},
    {"--sheet-layout-json", "FILE", "writes where the sheet's markers and bubbles stand"},
    kModeOption,
};
const char* const kPdfSynopses[] = {
    "PAPER OUT.pdf {--versions} {--seed} {--shuffle-questions}\n"
    "{--shuffle-options} {--no-paper} {--no-key} {--answer-sheet} {--id-digits}\n"
    "{--heading} {--versions-json} {--sheet-layout-json}\n"
    "{--mode}"};

const OptionRow kCheckOptions[] = {
    {"--check", nullptr, "lists the paper's problems and its answer key's balance"},
    {"--rebalance", nullptr, "writes the paper with its answer key rebalanced as OUT"},
    kJsonOption,
    kModeOption,
};
const char* const kCheckSynopses[] = {"PAPER --check {--json} {--mode}",
                                      "PAPER OUT --rebalance {--mode}"};

const OptionRow kGradeOptions[] = {
    {"--grade", nullptr, "reads the answer sheets in the scans and prints the marks"},
    kJsonOption,
    {"--csv", "OUT", "writes the grades as a table"},
    {"--class-list", "FILE", "the class's student numbers and names, as CSV"},
    {"--dpi", "N", "the resolution of scans that do not tell theirs, 50 to 2400"},
    {"--scoring", "partial", "part marks for part answers (default exact)"},
    kModeOption,
};
const char* const kGradeSynopses[] = {
    "PAPER --grade SCAN... {--json} {--csv}\n"
    "{--class-list} {--dpi} {--scoring} {--mode}"};

const OptionRow kHelpOptions[] = {kHelpOption, kShortHelpOption};
const char* const kHelpSynopses[] = {"--help"};

const ModeRow kModes[] = {
    {Mode::Help, "scrivane-convert", kHelpOptions, kHelpSynopses, nullptr},
    {Mode::Formats, "scrivane-convert-formats", kFormatsOptions, kFormatsSynopses, nullptr},
    {Mode::Pdf, "scrivane-convert-pdf", kPdfOptions, kPdfSynopses,
     "Prints each version's (A, B, ...) question paper, then the answer sheets, then the\n"
     "answer keys of PAPER into OUT.pdf; --versions-json also writes the versions as JSON\n"
     "once the PDF is written. A question without option texts offers the letters of the\n"
     "answer mode (TypeInfo.con beside the program, unless --mode names one). The answer sheet\n"
     "has a student number grid of --id-digits columns (0 to 10, default 8; 0 for none);\n"
     "--sheet-layout-json writes where its markers and bubbles stand on each page, in points.\n"},
    {Mode::Check, "scrivane-convert-formats", kCheckOptions, kCheckSynopses,
     "Checks the paper for problems and the balance of its answer key, or writes it\n"
     "with its answer key rebalanced as OUT, in the format its extension names (.tpf, .xls\n"
     "or any other name an Excel 97-2003 workbook, .xlsx, .ods, .csv, .xml, .gift, .txt).\n"},
    {Mode::Grade, "scrivane-convert-grade", kGradeOptions, kGradeSynopses,
     "Reads the answer sheets in every page of the scans (PDF, PNG, JPEG, TIFF) and\n"
     "prints every student's marks, or with --json the sheets and the statistics.\n"},
};

// The order of the modes in the usage that lists them all.
constexpr Mode kUsageOrder[] = {Mode::Formats, Mode::Pdf, Mode::Check, Mode::Grade, Mode::Help};

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

// A PDF is asked for when OUT ends in ".pdf" or a PDF option is given.
bool IsPdfConversion(const QStringList& arguments) {
    const ScannedArguments given = ScanArguments(arguments, kPdfOptions);
    // --mode belongs to --check and --rebalance as well: alone it asks for no PDF.
    for (const GivenOption& option : given.options)
        if (option.row && option.text != QLatin1StringView(kModeOption.name)) return true;
    return !given.FirstUnknown() && given.files.size() == 2 && IsPdfPath(given.files[1]);
}

// The folder of the running program, from the link the kernel keeps to it.
std::filesystem::path ProgramFolder(const char* argv0) {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) return self.parent_path();
    return std::filesystem::path(argv0 ? argv0 : "").parent_path();
}

// An option as the usage shows it: "[--versions N]".
QByteArray UsageOf(const OptionRow& row) {
    QByteArray text = QByteArray("[") + row.name;
    if (row.TakesValue()) text += QByteArray(" ") + row.value;
    return text + ']';
}

// One line of the usage, with the options of the mode's table in place of
// their names and the lines that go on below it indented under the first.
QByteArray SynopsisLine(const ModeRow& mode, const char* synopsis) {
    QByteArray line = QByteArray("scrivane-convert ") + synopsis + '\n';
    line.replace("\n", "\n           ");
    line.chop(11);
    for (const OptionRow& row : mode.options)
        line.replace(QByteArray("{") + row.name + '}', UsageOf(row));
    return line;
}

// The lines of modes, the first after "usage: ", the others under it.
QByteArray SynopsisLines(std::span<const Mode> modes) {
    QByteArray text;
    for (const Mode mode : modes)
        for (const char* synopsis : RowOf(mode).synopses)
            text += (text.isEmpty() ? "usage: " : "       ") + SynopsisLine(RowOf(mode), synopsis);
    return text;
}

}  // namespace

const GivenOption* ScannedArguments::FirstUnknown() const {
    for (const GivenOption& option : options)
        if (!option.row) return &option;
    return nullptr;
}

const GivenOption* ScannedArguments::FirstWithoutValue() const {
    for (const GivenOption& option : options)
        if (option.row && option.row->TakesValue() && !option.value) return &option;
    return nullptr;
}

bool ScannedArguments::Has(const char* name) const {
    for (const GivenOption& option : options)
        if (option.row && std::strcmp(option.row->name, name) == 0) return true;
    return false;
}

std::optional<QString> ScannedArguments::Value(const char* name) const {
    std::optional<QString> value;
    for (const GivenOption& option : options)
        if (option.row && std::strcmp(option.row->name, name) == 0 && option.value)
            value = option.value;
    return value;
}

ScannedArguments ScanArguments(const QStringList& arguments, std::span<const OptionRow> options,
                               bool joinedValues) {
    ScannedArguments given;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnded || !argument.startsWith(u'-') || argument.size() == 1) {
            given.files << argument;
            continue;
        }
        if (argument == QStringLiteral("--")) {
            optionsEnded = true;
            continue;
        }
        GivenOption option{nullptr, argument, std::nullopt};
        for (const OptionRow& row : options) {
            const QLatin1StringView name(row.name);
            if (argument == name) {
                option.row = &row;
                if (row.TakesValue() && i + 1 < arguments.size()) option.value = arguments[++i];
                break;
            }
            if (joinedValues && row.TakesValue() && argument.startsWith(name) &&
                argument.size() > name.size() && argument[name.size()] == u'=') {
                option = {&row, QString(name), argument.mid(name.size() + 1)};
                break;
            }
        }
        given.options.push_back(option);
    }
    return given;
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
    return SynopsisLines(kUsageOrder) + kHelpDetails;
}

QByteArray ModeUsage(Mode mode) {
    const char* description = RowOf(mode).description;
    return SynopsisLines(std::span(&mode, 1)) + (description ? description : "");
}

QByteArray FormatsUsage() {
    QByteArray text = SynopsisLines(kUsageOrder) + "Options:\n";
    QList<QByteArray> listed;
    for (const Mode mode : kUsageOrder)
        for (const OptionRow& row : RowOf(mode).options) {
            if (listed.contains(row.name)) continue;
            listed << row.name;
            QByteArray option = row.name;
            if (row.TakesValue()) option += QByteArray(" ") + row.value;
            text += "  " + option.leftJustified(28) + "  " + row.help + '\n';
        }
    return text;
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

ConverterRun Refusal(const QString& message, const QByteArray& usage) {
    ConverterRun run = ConverterFailure(2, QStringLiteral("scrivane-convert: ") + message);
    run.err += usage;
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

int Finish(const ConverterRun& run) {
    return Finish(run.exitCode, run.out, run.err);
}

void QuietQtMessages() {
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type != QtFatalMsg) return;
        const QByteArray text = message.toLocal8Bit() + '\n';
        std::fwrite(text.constData(), 1, std::size_t(text.size()), stderr);
    });
}

}  // namespace scrivane::convert
