#include "interchange/format.h"
#include "interchange/textfile.h"
#include "options.h"

namespace scrivane::convert {

namespace {

// What a refused conversion prints after its reason, as it always has;
// --help prints HelpText.
const char kFormatsUsage[] =
    "usage: scrivane-convert INPUT --json\n"
    "       scrivane-convert INPUT OUTPUT [--to FORMAT] [--from aiken|gift|moodle|csv]\n"
    "       scrivane-convert PAPER OUT.pdf [--versions N] [--seed S] [--shuffle-questions]\n"
    "           [--shuffle-options] [--no-paper] [--no-key] [--answer-sheet] [--heading TEXT]\n"
    "           [--versions-json FILE]\n"
    "       scrivane-convert PAPER --check [--json] [--mode single|multiple]\n"
    "       scrivane-convert PAPER OUT --rebalance [--mode single|multiple]\n"
    "Reads the paper in INPUT, recognised by its content (a workbook .xls, .tpf, .xlsx or\n"
    ".ods, CSV, Moodle XML, GIFT or Aiken), and prints it as JSON or writes it as OUTPUT.\n"
    "FORMAT is xls, xlsx, ods, csv, moodle, gift or aiken; by default OUTPUT's extension\n"
    "tells it (.tpf is xls, .txt is Aiken, any other name an Excel 97-2003 workbook).\n"
    "--from reads INPUT as the format it names, whatever its content looks like.\n"
    "OUT.pdf gets the paper, answer key and answer sheet of each version (A, B, ...).\n"
    "--check lists the paper's problems and the balance of its answer key; --rebalance\n"
    "writes the paper with its answer key rebalanced as OUT, in the format OUT's extension\n"
    "names. --mode chooses the answer mode; by default it is the one in TypeInfo.con beside\n"
    "the program.\n";

// The formats --from names.
const QString kFromNames = QStringLiteral("aiken, gift, moodle, csv");

QString FormatNames() {
    QStringList names;
    for (const interchange::FormatInfo& info : interchange::Formats()) names << info.name;
    return names.join(QStringLiteral(", "));
}

// The workbook conversion's own reading, which answers --help and the
// options that no conversion takes.
std::variant<interchange::ConversionJob, WorkbookJob, HelpAsked, ConverterRun> ParseWorkbookJob(
    const QStringList& arguments) {
    bool json = false, optionsEnded = false;
    QStringList files;
    for (const QString& argument : arguments) {
        if (!optionsEnded && argument == QStringLiteral("--json")) {
            json = true;
        } else if (!optionsEnded &&
                   (argument == QStringLiteral("--help") || argument == QStringLiteral("-h"))) {
            return HelpAsked{};
        } else if (!optionsEnded && argument == QStringLiteral("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && argument.startsWith(u'-') && argument.size() > 1) {
            return Refusal(QStringLiteral("unknown option %1").arg(argument), kFormatsUsage);
        } else {
            files << argument;
        }
    }
    if (files.size() != (json ? 1 : 2))
        return Refusal(QStringLiteral("expected INPUT --json or INPUT OUTPUT"), kFormatsUsage);
    return WorkbookJob{files[0], json ? QString() : files[1], json};
}

}  // namespace

std::variant<interchange::ConversionJob, WorkbookJob, HelpAsked, ConverterRun> ParseFormats(
    const QStringList& arguments) {
    bool json = false, optionsEnded = false;
    std::optional<QString> to, from;
    QStringList files;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnded || !argument.startsWith(u'-') || argument.size() == 1) {
            files << argument;
        } else if (argument == QStringLiteral("--")) {
            optionsEnded = true;
        } else if (argument == QStringLiteral("--json")) {
            json = true;
        } else if (argument == QStringLiteral("--to")) {
            if (i + 1 == arguments.size())
                return Refusal(QStringLiteral("--to needs a FORMAT: ") + FormatNames());
            to = arguments[++i];
        } else if (argument.startsWith(QStringLiteral("--to="))) {
            to = argument.mid(5);
        } else if (argument == QStringLiteral("--from")) {
            if (i + 1 == arguments.size())
                return Refusal(QStringLiteral("--from needs a FORMAT: ") + kFromNames);
            from = arguments[++i];
        } else if (argument.startsWith(QStringLiteral("--from="))) {
            from = argument.mid(7);
        } else {
            return ParseWorkbookJob(arguments);
        }
    }
    if (files.isEmpty() || files.size() != (json ? 1 : 2)) {
        if (!to && !from) return ParseWorkbookJob(arguments);
        return Refusal(to ? QStringLiteral("expected INPUT OUTPUT --to FORMAT")
                          : QStringLiteral("expected INPUT --json or INPUT OUTPUT"));
    }
    interchange::ConversionJob job{files[0], json ? QString() : files[1], json, std::nullopt,
                                   std::nullopt};
    if (from) {
        // Only the text formats are told: a workbook is known by its signature.
        job.from = interchange::FormatByName(*from);
        if (!job.from || interchange::IsWorkbook(*job.from))
            return Refusal(QStringLiteral("unknown format %1 for --from; it is one of %2")
                               .arg(*from, kFromNames));
    }
    if (to) {
        job.to = interchange::FormatByName(*to);
        if (!job.to)
            return Refusal(
                QStringLiteral("unknown format %1; FORMAT is one of %2").arg(*to, FormatNames()));
        if (json) return Refusal(QStringLiteral("--to writes OUTPUT; --json prints the paper"));
    }
    return job;
}

std::optional<WorkbookJob> WorkbookJsonJob(const QStringList& arguments) {
    if (ModeOf(arguments) != Mode::Formats) return std::nullopt;
    const auto parsed = ParseFormats(arguments);
    const auto* job = std::get_if<interchange::ConversionJob>(&parsed);
    if (!job || !job->json || job->to || job->from) return std::nullopt;
    // The workbook reader names what it cannot read; any other content goes
    // to the readers of the other formats.
    QString reason;
    const std::optional<QByteArray> start = interchange::ReadInputFile(job->input, &reason, 512);
    const auto format = start ? interchange::DetectFormat(*start) : std::nullopt;
    if (!start || format == interchange::Format::Xls || format == interchange::Format::Xlsx)
        return WorkbookJob{job->input, {}, true};
    return std::nullopt;
}

}  // namespace scrivane::convert
