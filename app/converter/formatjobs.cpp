#include "interchange/format.h"
#include "interchange/textfile.h"
#include "options.h"

namespace scrivane::convert {

namespace {

// The workbook conversion's own reading, which answers --help and the
// options that no conversion takes.
const OptionRow kWorkbookOptions[] = {kJsonOption, kHelpOption, kShortHelpOption};

// The formats --from names.
const QString kFromNames = QStringLiteral("aiken, gift, moodle, csv");

QString FormatNames() {
    QStringList names;
    for (const interchange::FormatInfo& info : interchange::Formats()) names << info.name;
    return names.join(QStringLiteral(", "));
}

std::variant<interchange::ConversionJob, WorkbookJob, HelpAsked, ConverterRun> ParseWorkbookJob(
    const QStringList& arguments) {
    const ScannedArguments given = ScanArguments(arguments, kWorkbookOptions);
    bool json = false;
    for (const GivenOption& option : given.options) {
        if (!option.row)
            return Refusal(QStringLiteral("unknown option %1").arg(option.text), FormatsUsage());
        if (option.text != QLatin1StringView(kJsonOption.name)) return HelpAsked{};
        json = true;
    }
    const QStringList& files = given.files;
    if (files.size() != (json ? 1 : 2))
        return Refusal(QStringLiteral("expected INPUT --json or INPUT OUTPUT"), FormatsUsage());
    return WorkbookJob{files[0], json ? QString() : files[1], json};
}

}  // namespace

std::variant<interchange::ConversionJob, WorkbookJob, HelpAsked, ConverterRun> ParseFormats(
    const QStringList& arguments) {
    const ScannedArguments given = ScanArguments(arguments, RowOf(Mode::Formats).options, true);
    bool json = false;
    std::optional<QString> to, from;
    for (const GivenOption& option : given.options) {
        // An option of no conversion between formats: the workbook
        // conversion answers it.
        if (!option.row) return ParseWorkbookJob(arguments);
        const QLatin1StringView name(option.row->name);
        if (name == QLatin1StringView("--json")) {
            json = true;
        } else if (name == QLatin1StringView("--to")) {
            if (!option.value)
                return Refusal(QStringLiteral("--to needs a FORMAT: ") + FormatNames());
            to = option.value;
        } else if (name == QLatin1StringView("--from")) {
            if (!option.value)
                return Refusal(QStringLiteral("--from needs a FORMAT: ") + kFromNames);
            from = option.value;
        }
    }
    const QStringList& files = given.files;
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
