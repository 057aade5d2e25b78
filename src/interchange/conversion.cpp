#include "interchange/conversion.h"

#include "core/moddule1.h"
#include "core/questiontable.h"
#include "interchange/questionfile.h"
#include "spreadsheet/paperio.h"

namespace scrivane::interchange {

namespace {

QByteArray Line(const QString& text) {
    return text.toUtf8() + '\n';
}

ConverterRun Failure(int exitCode, const QString& text) {
    ConverterRun run;
    run.exitCode = exitCode;
    run.err = Line(QStringLiteral("scrivane-convert: ") + text);
    return run;
}

QStringList FormatNames() {
    QStringList names;
    for (const FormatInfo& info : Formats()) names << info.name;
    return names;
}

}  // namespace

std::optional<ConverterRun> RunInterchangeConversion(const QStringList& arguments) {
    bool json = false, optionsEnded = false;
    std::optional<QString> to;
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
                return Failure(2, QStringLiteral("--to needs a FORMAT: ") +
                                      FormatNames().join(QStringLiteral(", ")));
            to = arguments[++i];
        } else if (argument.startsWith(QStringLiteral("--to="))) {
            to = argument.mid(5);
        } else {
            return std::nullopt;  // the workbook converter answers help and unknown options
        }
    }
    if (files.isEmpty() || files.size() != (json ? 1 : 2)) {
        if (!to) return std::nullopt;
        return Failure(2, QStringLiteral("expected INPUT OUTPUT --to FORMAT"));
    }

    std::optional<Format> format;
    if (to) {
        format = FormatByName(*to);
        if (!format)
            return Failure(2, QStringLiteral("unknown format %1; FORMAT is one of %2")
                                  .arg(*to, FormatNames().join(QStringLiteral(", "))));
        if (json) return Failure(2, QStringLiteral("--to writes OUTPUT; --json prints the paper"));
    } else if (!json) {
        format = FormatOfExtension(files[1]);
    }

    // The workbook converter keeps what it did: workbooks in, .xls out or JSON.
    const QString& input = files[0];
    // An input that cannot be read is refused by whichever reader takes it.
    QString unreadable;
    const std::optional<Format> inputFormat = RecogniseFile(input, &unreadable);
    const bool workbookIn =
        !inputFormat || *inputFormat == Format::Xls || *inputFormat == Format::Xlsx;
    if (!to && workbookIn && (json || !format || *format == Format::Xls)) return std::nullopt;
    // Any other name is written as the workbook converter writes it.
    if (!format && !json) format = Format::Xls;

    const ReadOutcome read = ReadQuestionFile(input, Moddule1().DefaultScore);
    ConverterRun run;
    for (const QString& note : read.notes)
        run.err += Line(QStringLiteral("scrivane-convert: ") + note);
    if (read.status == ReadOutcome::Status::Unreadable)
        return Failure(2, QStringLiteral("cannot read %1: %2").arg(input, read.reason));
    if (!read.Read()) {
        run.exitCode = 1;
        run.err = Line(QStringLiteral("Invalid format")) + Line(read.reason) + run.err;
        if (json) run.out = "{\"valid\": false}\n";
        return run;
    }
    if (json) {
        QuestionTable table;
        FillTable(table, read.rows);
        run.out = PaperJson(table);
        return run;
    }
    const WriteOutcome written = WriteQuestionFile(files[1], read.rows, *format);
    if (written.status == WriteOutcome::Status::Unfit) {
        run.exitCode = 1;
        run.err += Line(QStringLiteral("scrivane-convert: %1 cannot be written as %2:")
                            .arg(files[1], InfoOf(*format).description));
        for (const QString& line : written.unfit) run.err += Line(line);
    } else if (!written.Written()) {
        run.exitCode = 2;
        run.err += Line(
            QStringLiteral("scrivane-convert: cannot write %1: %2").arg(files[1], written.reason));
    }
    return run;
}

}  // namespace scrivane::interchange
