#include "print/pdfconverter.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <cstdio>

#include "print/answersheet.h"
#include "checks/checkcommand.h"
#include "print/pdfconvert.h"
#include "print/printlayout.h"
#include "spreadsheet/paperio.h"

namespace scrivane {

namespace {

const char kUsage[] =
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

QByteArray Line(const QString& text) {
    return text.toUtf8() + '\n';
}

ConverterRun Failed(int code, const QString& message, bool usage = false) {
    ConverterRun run;
    run.exitCode = code;
    run.err = Line(message);
    if (usage) run.err += kUsage;
    return run;
}

}  // namespace

ConverterRun RunPdfConversion(const QStringList& arguments, std::int16_t answerType) {
    const PdfArguments parsed = ParsePdfArguments(arguments);
    if (!parsed.unknown.isEmpty())
        return Failed(
            2, QStringLiteral("scrivane-convert: unknown option %1").arg(parsed.unknown[0]), true);
    if (!parsed.missingValue.isEmpty())
        return Failed(
            2, QStringLiteral("scrivane-convert: %1 needs a value").arg(parsed.missingValue[0]),
            true);
    if (parsed.files.size() != 2 || !IsPdfPath(parsed.files[1]))
        return Failed(2, QStringLiteral("scrivane-convert: expected PAPER OUT.pdf"), true);

    PrintSettings settings;
    settings.paper = !parsed.flags.contains(QStringLiteral("--no-paper"));
    settings.key = !parsed.flags.contains(QStringLiteral("--no-key"));
    settings.answerSheet = parsed.flags.contains(QStringLiteral("--answer-sheet"));
    settings.versions.shuffleQuestions =
        parsed.flags.contains(QStringLiteral("--shuffle-questions"));
    settings.versions.shuffleOptions = parsed.flags.contains(QStringLiteral("--shuffle-options"));
    if (!settings.PrintsSomething())
        return Failed(2, QStringLiteral("scrivane-convert: nothing to print"), true);
    if (parsed.values.contains(QStringLiteral("--mode"))) {
        const std::optional<std::int16_t> mode =
            ParseAnswerMode(parsed.values[QStringLiteral("--mode")]);
        if (!mode)
            return Failed(2, QStringLiteral("scrivane-convert: --mode takes single or multiple"),
                          true);
        answerType = *mode;
    }
    settings.versions.blankOptionLetters = BlankOptionLetters(answerType);
    bool ok = true;
    if (parsed.values.contains(QStringLiteral("--id-digits"))) {
        settings.idDigits = parsed.values[QStringLiteral("--id-digits")].toInt(&ok);
        if (!ok || settings.idDigits < 0 || settings.idDigits > kMaxIdDigits)
            return Failed(2, QStringLiteral("scrivane-convert: --id-digits takes 0 to 10"));
    }
    const QString layoutPath = parsed.values.value(QStringLiteral("--sheet-layout-json"));
    if (!layoutPath.isEmpty() && !settings.answerSheet)
        return Failed(
            2, QStringLiteral("scrivane-convert: --sheet-layout-json needs --answer-sheet"), true);
    if (parsed.values.contains(QStringLiteral("--versions"))) {
        settings.versions.count = parsed.values[QStringLiteral("--versions")].toInt(&ok);
        if (!ok || settings.versions.count < 1 || settings.versions.count > kMaxVersions)
            return Failed(2, QStringLiteral("scrivane-convert: --versions takes 1 to 26"));
    }
    if (parsed.values.contains(QStringLiteral("--seed"))) {
        settings.versions.seed = parsed.values[QStringLiteral("--seed")].toUInt(&ok);
        if (!ok)
            return Failed(2, QStringLiteral("scrivane-convert: --seed takes a whole number from 0 "
                                            "to 4294967295"));
    } else {
        settings.versions.seed = QRandomGenerator::global()->generate();
    }

    const QString input = parsed.files[0];
    const QFileInfo inputInfo(input);
    settings.heading =
        parsed.values.value(QStringLiteral("--heading"), inputInfo.completeBaseName());
    if (!inputInfo.isFile())
        return Failed(2, QStringLiteral("scrivane-convert: cannot read %1: %2")
                             .arg(input, inputInfo.exists() ? QStringLiteral("not a file")
                                                            : QStringLiteral("no such file")));
    std::vector<QuestionRecord> rows;
    const ImportReport report = ReadPaperFile(input, rows);
    if (report.outcome == ImportReport::Outcome::Unreadable)
        return Failed(
            2, QStringLiteral("scrivane-convert: cannot read %1: %2").arg(input, report.reason));
    if (report.outcome == ImportReport::Outcome::Rejected)
        return Failed(1, QStringLiteral("Invalid format\n") + report.reason);
    if (rows.empty()) return Failed(1, QStringLiteral("The test paper should not be empty."));

    settings.paperDigest = PaperDigest(rows, ModeLetters(settings.versions));
    settings.textDigest = TextDigest(rows);
    std::vector<PaperVersion> versions = BuildVersions(rows, settings.versions);
    // The versions are described only once their pages are written.
    const QByteArray json = VersionsJson(versions, settings.versions.seed);
    PrintLayout layout(std::move(versions), settings);
    const QString error = WritePdf(parsed.files[1], layout);
    if (!error.isEmpty())
        return Failed(
            2, QStringLiteral("scrivane-convert: cannot write %1: %2").arg(parsed.files[1], error));
    if (parsed.values.contains(QStringLiteral("--versions-json"))) {
        const QString jsonPath = parsed.values[QStringLiteral("--versions-json")];
        const QString jsonError = WriteBytesSafely(jsonPath, json);
        if (!jsonError.isEmpty())
            return Failed(
                2,
                QStringLiteral("scrivane-convert: cannot write %1: %2").arg(jsonPath, jsonError));
    }
    if (!layoutPath.isEmpty()) {
        const QString layoutError = WriteBytesSafely(layoutPath, SheetLayoutJson(layout.SheetPages()));
        if (!layoutError.isEmpty())
            return Failed(2, QStringLiteral("scrivane-convert: cannot write %1: %2")
                                 .arg(layoutPath, layoutError));
    }
    return ConverterRun{};
}

int PdfConverterMain(int& argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const QGuiApplication app(argc, argv);
    const ConverterRun run =
        RunPdfConversion(QGuiApplication::arguments().mid(1),
                         ReadAnswerType(QGuiApplication::applicationDirPath().toStdString()));
    std::fwrite(run.out.constData(), 1, std::size_t(run.out.size()), stdout);
    std::fwrite(run.err.constData(), 1, std::size_t(run.err.size()), stderr);
    return run.exitCode;
}

}  // namespace scrivane
