#include <QRandomGenerator>

#include "checks/checkcommand.h"
#include "options.h"
#include "print/answersheet.h"

namespace scrivane::convert {

namespace {

const char kPdfUsage[] =
    "usage: scrivane-convert PAPER OUT.pdf [--versions N] [--seed S] [--shuffle-questions]\n"
    "           [--shuffle-options] [--no-paper] [--no-key] [--answer-sheet] [--id-digits N]\n"
    "           [--heading TEXT] [--versions-json FILE] [--sheet-layout-json FILE]\n"
    "           [--mode single|multiple]\n"
    "Prints each version's (A, B, ...) question paper, then the answer sheets, then the\n"
    "answer keys of PAPER into OUT.pdf; --versions-json also writes the versions as JSON\n"
    "once the PDF is written. A question without option texts offers the letters of the\n"
    "answer mode (TypeInfo.con beside the program, unless --mode names one). The answer sheet\n"
    "has a student number grid of --id-digits columns (0 to 10, default 8; 0 for none);\n"
    "--sheet-layout-json writes where its markers and bubbles stand on each page, in points.\n";

const char kGradeUsage[] =
    "usage: scrivane-convert PAPER --grade SCAN... [--json] [--csv OUT]\n"
    "           [--class-list FILE] [--dpi N] [--scoring partial] [--mode single|multiple]\n"
    "Reads the answer sheets in every page of the scans (PDF, PNG, JPEG, TIFF) and\n"
    "prints every student's marks, or with --json the sheets and the statistics.\n";

const char kCheckUsage[] =
    "usage: scrivane-convert PAPER --check [--json] [--mode single|multiple]\n"
    "       scrivane-convert PAPER OUT --rebalance [--mode single|multiple]\n"
    "Checks the paper for problems and the balance of its answer key, or writes it\n"
    "with its answer key rebalanced as OUT, in the format its extension names (.tpf, .xls\n"
    "or any other name an Excel 97-2003 workbook, .xlsx, .ods, .csv, .xml, .gift, .txt).\n";

// Scans at less than this cannot show a bubble; more is a mistake of the
// file, not a scanner.
constexpr double kMinDpi = 50, kMaxDpi = 2400;

}  // namespace

std::variant<PdfJob, ConverterRun> ParsePdf(const QStringList& arguments) {
    const PdfArguments parsed = SortPdfArguments(arguments);
    if (!parsed.unknown.isEmpty())
        return Refusal(QStringLiteral("unknown option %1").arg(parsed.unknown[0]), kPdfUsage);
    if (!parsed.missingValue.isEmpty())
        return Refusal(QStringLiteral("%1 needs a value").arg(parsed.missingValue[0]), kPdfUsage);
    if (parsed.files.size() != 2 || !IsPdfPath(parsed.files[1]))
        return Refusal(QStringLiteral("expected PAPER OUT.pdf"), kPdfUsage);

    PdfJob job;
    job.paper = parsed.files[0];
    job.out = parsed.files[1];
    PrintSettings& settings = job.settings;
    settings.paper = !parsed.flags.contains(QStringLiteral("--no-paper"));
    settings.key = !parsed.flags.contains(QStringLiteral("--no-key"));
    settings.answerSheet = parsed.flags.contains(QStringLiteral("--answer-sheet"));
    settings.versions.shuffleQuestions =
        parsed.flags.contains(QStringLiteral("--shuffle-questions"));
    settings.versions.shuffleOptions = parsed.flags.contains(QStringLiteral("--shuffle-options"));
    if (!settings.PrintsSomething()) return Refusal(QStringLiteral("nothing to print"), kPdfUsage);
    if (parsed.values.contains(QStringLiteral("--mode"))) {
        job.answerType = ParseAnswerMode(parsed.values[QStringLiteral("--mode")]);
        if (!job.answerType)
            return Refusal(QStringLiteral("--mode takes single or multiple"), kPdfUsage);
    }
    bool ok = true;
    if (parsed.values.contains(QStringLiteral("--id-digits"))) {
        settings.idDigits = parsed.values[QStringLiteral("--id-digits")].toInt(&ok);
        if (!ok || settings.idDigits < 0 || settings.idDigits > kMaxIdDigits)
            return Refusal(QStringLiteral("--id-digits takes 0 to 10"), nullptr);
    }
    job.sheetLayoutJson = parsed.values.value(QStringLiteral("--sheet-layout-json"));
    if (!job.sheetLayoutJson.isEmpty() && !settings.answerSheet)
        return Refusal(QStringLiteral("--sheet-layout-json needs --answer-sheet"), kPdfUsage);
    if (parsed.values.contains(QStringLiteral("--versions"))) {
        settings.versions.count = parsed.values[QStringLiteral("--versions")].toInt(&ok);
        if (!ok || settings.versions.count < 1 || settings.versions.count > kMaxVersions)
            return Refusal(QStringLiteral("--versions takes 1 to 26"), nullptr);
    }
    if (parsed.values.contains(QStringLiteral("--seed"))) {
        settings.versions.seed = parsed.values[QStringLiteral("--seed")].toUInt(&ok);
        if (!ok)
            return Refusal(QStringLiteral("--seed takes a whole number from 0 to 4294967295"),
                           nullptr);
    } else {
        settings.versions.seed = QRandomGenerator::global()->generate();
    }
    if (parsed.values.contains(QStringLiteral("--heading")))
        job.heading = parsed.values[QStringLiteral("--heading")];
    if (parsed.values.contains(QStringLiteral("--versions-json")))
        job.versionsJson = parsed.values[QStringLiteral("--versions-json")];
    if (auto refused = RefuseOutputOverInput(
            {{QStringLiteral("OUT.pdf"), job.out},
             {QStringLiteral("--versions-json"), job.versionsJson.value_or(QString())},
             {QStringLiteral("--sheet-layout-json"), job.sheetLayoutJson}},
            {job.paper}))
        return *refused;
    return job;
}

std::variant<GradeJob, ConverterRun> ParseGrade(const QStringList& arguments) {
    const auto refuse = [](const QString& why) { return Refusal(why, kGradeUsage); };
    GradeJob job;
    bool optionsEnded = false;
    QStringList files;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const auto value = [&](QString* out) {
            if (i + 1 >= arguments.size()) return false;
            *out = arguments[++i];
            return true;
        };
        QString text;
        if (optionsEnded || !argument.startsWith(u'-') || argument.size() == 1) {
            files << argument;
        } else if (argument == QStringLiteral("--")) {
            optionsEnded = true;
        } else if (argument == QStringLiteral("--grade")) {
        } else if (argument == QStringLiteral("--json")) {
            job.json = true;
        } else if (argument == QStringLiteral("--csv")) {
            if (!value(&job.csvPath)) return refuse(QStringLiteral("--csv needs a file"));
        } else if (argument == QStringLiteral("--class-list")) {
            if (!value(&job.classListPath))
                return refuse(QStringLiteral("--class-list needs a file"));
        } else if (argument == QStringLiteral("--dpi")) {
            bool ok = value(&text);
            job.dpi = text.toDouble(&ok);
            if (!ok || !(job.dpi >= kMinDpi && job.dpi <= kMaxDpi))
                return refuse(QStringLiteral("--dpi takes a resolution from 50 to 2400"));
        } else if (argument == QStringLiteral("--scoring")) {
            value(&text);
            if (text == QStringLiteral("partial"))
                job.scoring = Scoring::Partial;
            else if (text == QStringLiteral("exact"))
                job.scoring = Scoring::Exact;
            else
                return refuse(QStringLiteral("--scoring takes partial or exact"));
        } else if (argument == QStringLiteral("--mode")) {
            value(&text);
            job.answerType = ParseAnswerMode(text);
            if (!job.answerType) return refuse(QStringLiteral("--mode takes single or multiple"));
        } else {
            return refuse(QStringLiteral("unknown option %1").arg(argument));
        }
    }
    if (files.size() < 2) return refuse(QStringLiteral("expected PAPER --grade SCAN..."));
    job.paper = files.takeFirst();
    job.scans = files;
    if (auto refused = RefuseOutputOverInput({{QStringLiteral("--csv"), job.csvPath}},
                                             QStringList{job.paper, job.classListPath} + job.scans))
        return *refused;
    return job;
}

std::variant<CheckJob, ConverterRun> ParseCheck(const QStringList& arguments) {
    const auto refuse = [](const QString& why) { return Refusal(why, kCheckUsage); };
    bool check = false, optionsEnded = false;
    CheckJob job;
    QStringList files;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnded || !argument.startsWith(u'-') || argument.size() == 1) {
            files << argument;
        } else if (argument == QStringLiteral("--")) {
            optionsEnded = true;
        } else if (argument == QStringLiteral("--check")) {
            check = true;
        } else if (argument == QStringLiteral("--rebalance")) {
            job.rebalance = true;
        } else if (argument == QStringLiteral("--json")) {
            job.json = true;
        } else if (argument == QStringLiteral("--mode")) {
            job.answerType = ParseAnswerMode(i + 1 < arguments.size() ? arguments[++i] : QString());
            if (!job.answerType) return refuse(QStringLiteral("--mode takes single or multiple"));
        } else {
            return refuse(QStringLiteral("unknown option %1").arg(argument));
        }
    }
    if (check == job.rebalance)
        return refuse(QStringLiteral("--check and --rebalance cannot be combined"));
    if (job.json && job.rebalance) return refuse(QStringLiteral("--json goes with --check only"));
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
