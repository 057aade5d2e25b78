#include "print/layout/pdfcommand.h"

#include <QFileInfo>

#include "core/paperidentity.h"
#include "print/layout/answersheet.h"
#include "print/layout/printlayout.h"
#include "spreadsheet/workbookcommand.h"
#include "spreadsheet/paperio.h"

namespace scrivane {

namespace {

// The identity the paper's sheets carry: the one in its file, or a new one
// written into the file as it is first printed. A paper whose file cannot
// keep one (a workbook of another format, a read-only file) still gets its
// sheets a new identity, with a note: they are then told from another
// paper's by their questions alone.
QString KeptPaperIdentity(const QString& paper, QByteArray& notes) {
    QString identity = ReadPaperIdentity(paper);
    if (!identity.isEmpty()) return identity;
    identity = NewPaperIdentity();
    const QString error = WritePaperIdentity(paper, identity);
    if (!error.isEmpty())
        notes += ConverterLine(
            QStringLiteral("scrivane-convert: the paper's identity could not be kept in %1: %2")
                .arg(paper, error));
    return identity;
}

}  // namespace

ConverterRun RunPdfConversion(const PdfJob& job, std::int16_t answerType) {
    PrintSettings settings = job.settings;
    settings.versions.blankOptionLetters = BlankOptionLetters(job.answerType.value_or(answerType));
    const QString& input = job.paper;
    const QFileInfo inputInfo(input);
    settings.heading = job.heading.value_or(inputInfo.completeBaseName());
    std::vector<QuestionRecord> rows;
    if (auto failed = ReadConverterPaper(input, false, rows)) return *failed;
    if (rows.empty())
        return ConverterFailure(1, QStringLiteral("The test paper should not be empty."));

    settings.paperDigest =
        PaperDigest(rows, ModeLetters(settings.versions), settings.versions.keptOptions);
    settings.textDigest = TextDigest(rows);
    QByteArray notes;
    if (settings.answerSheet) settings.paperId = KeptPaperIdentity(input, notes);
    std::vector<PaperVersion> versions = BuildVersions(rows, settings.versions);
    // The versions are described only once their pages are written.
    const QByteArray json = VersionsJson(versions, settings.versions.seed);
    PrintLayout layout(std::move(versions), settings);
    const QString error = WritePdf(job.out, layout);
    if (!error.isEmpty())
        return ConverterFailure(
            2, QStringLiteral("scrivane-convert: cannot write %1: %2").arg(job.out, error));
    if (job.versionsJson) {
        const QString& jsonPath = *job.versionsJson;
        const QString jsonError = WriteBytesSafely(jsonPath, json);
        if (!jsonError.isEmpty())
            return ConverterFailure(
                2,
                QStringLiteral("scrivane-convert: cannot write %1: %2").arg(jsonPath, jsonError));
    }
    if (const QString& layoutPath = job.sheetLayoutJson; !layoutPath.isEmpty()) {
        const QString layoutError =
            WriteBytesSafely(layoutPath, SheetLayoutJson(layout.SheetPages()));
        if (!layoutError.isEmpty())
            return ConverterFailure(2, QStringLiteral("scrivane-convert: cannot write %1: %2")
                                           .arg(layoutPath, layoutError));
    }
    ConverterRun done;
    done.err = notes;
    return done;
}

}  // namespace scrivane
