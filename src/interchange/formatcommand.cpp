#include "interchange/formatcommand.h"

#include "core/moddule1.h"
#include "core/questiontable.h"
#include "interchange/questionfile.h"
#include "spreadsheet/workbookcommand.h"
#include "spreadsheet/paperio.h"

namespace scrivane::interchange {

namespace {

ConverterRun Failure(int exitCode, const QString& text) {
    return ConverterFailure(exitCode, QStringLiteral("scrivane-convert: ") + text);
}

}  // namespace

std::optional<ConverterRun> RunInterchangeConversion(const ConversionJob& job) {
    const bool json = job.json;
    std::optional<Format> format = job.to;
    if (!format && !json) format = FormatOfExtension(job.output);

    // The workbook converter keeps what it did: workbooks in, .xls out or JSON.
    const QString& input = job.input;
    // An input that cannot be read is refused by whichever reader takes it.
    QString unreadable;
    const std::optional<Format> inputFormat = RecogniseFile(input, &unreadable);
    const bool workbookIn =
        !inputFormat || *inputFormat == Format::Xls || *inputFormat == Format::Xlsx;
    if (!job.to && !job.from && workbookIn && (json || !format || *format == Format::Xls))
        return std::nullopt;
    // Any other name is written as the workbook converter writes it.
    if (!format && !json) format = Format::Xls;

    const ReadOutcome read = job.from
                                 ? ReadQuestionFileAs(input, *job.from, Moddule1().DefaultScore)
                                 : ReadQuestionFile(input, Moddule1().DefaultScore);
    ConverterRun run;
    for (const QString& note : read.notes)
        run.err += ConverterLine(QStringLiteral("scrivane-convert: ") + note);
    if (read.status == ReadOutcome::Status::Unreadable)
        return Failure(2, QStringLiteral("cannot read %1: %2").arg(input, read.reason));
    if (!read.Read()) {
        run.exitCode = 1;
        run.err =
            ConverterLine(QStringLiteral("Invalid format")) + ConverterLine(read.reason) + run.err;
        if (json) run.out = "{\"valid\": false}\n";
        return run;
    }
    if (json) {
        QuestionTable table;
        FillTable(table, read.rows);
        run.out = PaperJson(table);
        return run;
    }
    const WriteOutcome written = WriteQuestionFile(job.output, read.rows, *format);
    for (const QString& note : written.notes)
        run.err += ConverterLine(QStringLiteral("scrivane-convert: ") + note);
    if (written.status == WriteOutcome::Status::Unfit) {
        run.exitCode = 1;
        run.err += ConverterLine(QStringLiteral("scrivane-convert: %1 cannot be written as %2:")
                                     .arg(job.output, InfoOf(*format).description));
        for (const QString& line : written.unfit) run.err += ConverterLine(line);
    } else if (!written.Written()) {
        run.exitCode = 2;
        run.err += ConverterLine(QStringLiteral("scrivane-convert: cannot write %1: %2")
                                     .arg(job.output, written.reason));
    }
    return run;
}

}  // namespace scrivane::interchange
