#include <QRandomGenerator>

#include "core/typeinfo.h"
#include "options.h"
#include "print/layout/answersheet.h"

namespace scrivane::convert {

namespace {

// Scans at less than this cannot show a bubble; more is a mistake of the
// file, not a scanner.
constexpr double kMinDpi = 50, kMaxDpi = 2400;

}  // namespace

std::variant<PdfJob, ConverterRun> ParsePdf(const QStringList& arguments) {
    const QByteArray usage = ModeUsage(Mode::Pdf);
    const ScannedArguments given = ScanArguments(arguments, RowOf(Mode::Pdf).options);
    if (const GivenOption* unknown = given.FirstUnknown())
        return Refusal(QStringLiteral("unknown option %1").arg(unknown->text), usage);
    if (const GivenOption* missing = given.FirstWithoutValue())
        return Refusal(QStringLiteral("%1 needs a value").arg(missing->text), usage);
    if (given.files.size() != 2 || !IsPdfPath(given.files[1]))
        return Refusal(QStringLiteral("expected PAPER OUT.pdf"), usage);

    PdfJob job;
    job.paper = given.files[0];
    job.out = given.files[1];
    PrintSettings& settings = job.settings;
    settings.paper = !given.Has("--no-paper");
    settings.key = !given.Has("--no-key");
    settings.answerSheet = given.Has("--answer-sheet");
    settings.versions.shuffleQuestions = given.Has("--shuffle-questions");
    settings.versions.shuffleOptions = given.Has("--shuffle-options");
    if (!settings.PrintsSomething()) return Refusal(QStringLiteral("nothing to print"), usage);
    if (const auto mode = given.Value("--mode")) {
        job.answerType = ParseAnswerMode(*mode);
        if (!job.answerType)
            return Refusal(QStringLiteral("--mode takes single or multiple"), usage);
    }
    bool ok = true;
    if (const auto digits = given.Value("--id-digits")) {
        settings.idDigits = digits->toInt(&ok);
        if (!ok || settings.idDigits < 0 || settings.idDigits > kMaxIdDigits)
            return Refusal(QStringLiteral("--id-digits takes 0 to 10"));
    }
    job.sheetLayoutJson = given.Value("--sheet-layout-json").value_or(QString());
    if (!job.sheetLayoutJson.isEmpty() && !settings.answerSheet)
        return Refusal(QStringLiteral("--sheet-layout-json needs --answer-sheet"), usage);
    if (const auto count = given.Value("--versions")) {
        settings.versions.count = count->toInt(&ok);
        if (!ok || settings.versions.count < 1 || settings.versions.count > kMaxVersions)
            return Refusal(QStringLiteral("--versions takes 1 to 26"));
    }
    if (const auto seed = given.Value("--seed")) {
        settings.versions.seed = seed->toUInt(&ok);
        if (!ok) return Refusal(QStringLiteral("--seed takes a whole number from 0 to 4294967295"));
    } else {
        settings.versions.seed = QRandomGenerator::global()->generate();
    }
    job.heading = given.Value("--heading");
    job.versionsJson = given.Value("--versions-json");
    if (auto refused = RefuseOutputOverInput(
            {{QStringLiteral("OUT.pdf"), job.out},
             {QStringLiteral("--versions-json"), job.versionsJson.value_or(QString())},
             {QStringLiteral("--sheet-layout-json"), job.sheetLayoutJson}},
            {job.paper}))
        return *refused;
    return job;
}

std::variant<GradeJob, ConverterRun> ParseGrade(const QStringList& arguments) {
    const auto refuse = [](const QString& why) { return Refusal(why, ModeUsage(Mode::Grade)); };
    const ScannedArguments given = ScanArguments(arguments, RowOf(Mode::Grade).options);
    GradeJob job;
    // In their order: the first wrong one is the one told.
    for (const GivenOption& option : given.options) {
        if (!option.row) return refuse(QStringLiteral("unknown option %1").arg(option.text));
        const QString& name = option.text;
        const QString value = option.value.value_or(QString());
        if (name == QStringLiteral("--json")) {
            job.json = true;
        } else if (name == QStringLiteral("--csv")) {
            if (!option.value) return refuse(QStringLiteral("--csv needs a file"));
            job.csvPath = value;
        } else if (name == QStringLiteral("--class-list")) {
            if (!option.value) return refuse(QStringLiteral("--class-list needs a file"));
            job.classListPath = value;
        } else if (name == QStringLiteral("--dpi")) {
            bool ok = false;
            job.dpi = value.toDouble(&ok);
            if (!ok || !(job.dpi >= kMinDpi && job.dpi <= kMaxDpi))
                return refuse(QStringLiteral("--dpi takes a resolution from 50 to 2400"));
        } else if (name == QStringLiteral("--scoring")) {
            if (value == QStringLiteral("partial"))
                job.scoring = Scoring::Partial;
            else if (value == QStringLiteral("exact"))
                job.scoring = Scoring::Exact;
            else
                return refuse(QStringLiteral("--scoring takes partial or exact"));
        } else if (name == QStringLiteral("--mode")) {
            job.answerType = ParseAnswerMode(value);
            if (!job.answerType) return refuse(QStringLiteral("--mode takes single or multiple"));
        }
    }
    QStringList files = given.files;
    if (files.size() < 2) return refuse(QStringLiteral("expected PAPER --grade SCAN..."));
    job.paper = files.takeFirst();
    job.scans = files;
    if (auto refused = RefuseOutputOverInput({{QStringLiteral("--csv"), job.csvPath}},
                                             QStringList{job.paper, job.classListPath} + job.scans))
        return *refused;
    return job;
}

std::variant<CheckJob, ConverterRun> ParseCheck(const QStringList& arguments) {
    const auto refuse = [](const QString& why) { return Refusal(why, ModeUsage(Mode::Check)); };
    const ScannedArguments given = ScanArguments(arguments, RowOf(Mode::Check).options);
    bool check = false;
    CheckJob job;
    for (const GivenOption& option : given.options) {
        if (!option.row) return refuse(QStringLiteral("unknown option %1").arg(option.text));
        const QString& name = option.text;
        if (name == QStringLiteral("--check")) {
            check = true;
        } else if (name == QStringLiteral("--rebalance")) {
            job.rebalance = true;
        } else if (name == QStringLiteral("--json")) {
            job.json = true;
        } else if (name == QStringLiteral("--mode")) {
            job.answerType = ParseAnswerMode(option.value.value_or(QString()));
            if (!job.answerType) return refuse(QStringLiteral("--mode takes single or multiple"));
        }
    }
    if (check == job.rebalance)
        return refuse(QStringLiteral("--check and --rebalance cannot be combined"));
    if (job.json && job.rebalance) return refuse(QStringLiteral("--json goes with --check only"));
    const QStringList& files = given.files;
    if (files.size() != (check ? 1 : 2))
        return refuse(check ? QStringLiteral("expected PAPER --check")
                            : QStringLiteral("expected PAPER OUT --rebalance"));
    job.paper = files[0];
    if (job.rebalance) job.out = files[1];
    if (auto refused = RefuseOutputOverInput({{QStringLiteral("OUT"), job.out}}, {job.paper}))
        return *refused;
    return job;
}

std::optional<ConverterRun> RunCheckArguments(const QStringList& arguments,
                                              const std::filesystem::path& programFolder) {
    if (ModeOf(arguments) != Mode::Check) return std::nullopt;
    auto parsed = ParseCheck(arguments);
    if (auto* refused = std::get_if<ConverterRun>(&parsed)) return *refused;
    return RunCheckCommand(std::get<CheckJob>(parsed), programFolder);
}

}  // namespace scrivane::convert
