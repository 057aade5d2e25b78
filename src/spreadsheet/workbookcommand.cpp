#include "spreadsheet/workbookcommand.h"

#include <QFileInfo>

#include "core/numbers.h"
#include "core/questiontable.h"
#include "spreadsheet/excel.h"
#include "spreadsheet/importexport.h"
#include "spreadsheet/paperio.h"

namespace scrivane {

QByteArray ConverterLine(const QString& text) {
    return text.toUtf8() + '\n';
}

ConverterRun ConverterFailure(int exitCode, const QString& text) {
    ConverterRun run;
    run.exitCode = exitCode;
    run.err = ConverterLine(text);
    return run;
}

ConverterRun ConverterCannotRead(const QString& file, const QString& why) {
    return ConverterFailure(2,
                            QStringLiteral("scrivane-convert: cannot read %1: %2").arg(file, why));
}

QString NotAFileReason(const QString& path) {
    return QFileInfo::exists(path) ? QStringLiteral("not a file") : QStringLiteral("no such file");
}

std::optional<ConverterRun> ReadConverterPaper(const QString& path, bool json,
                                               std::vector<QuestionRecord>& rows) {
    if (!QFileInfo(path).isFile()) return ConverterCannotRead(path, NotAFileReason(path));
    const ImportReport report = ReadPaperFile(path, rows);
    if (report.outcome == ImportReport::Outcome::Unreadable)
        return ConverterCannotRead(path, report.reason);
    if (report.outcome != ImportReport::Outcome::Imported) {
        ConverterRun run = ConverterFailure(1, QStringLiteral("Invalid format"));
        run.err += ConverterLine(report.reason);
        if (json) run.out = "{\"valid\": false}\n";
        return run;
    }
    return std::nullopt;
}

void AppendJsonString(QByteArray& out, const QString& text) {
    out += '"';
    // U+FEFF goes out escaped: a reader that decodes UTF-8 the way Qt does
    // drops it at the start of a string.
    const QStringList pieces = text.split(QChar(0xFEFF));
    for (qsizetype piece = 0; piece < pieces.size(); ++piece) {
        if (piece > 0) out += "\\ufeff";
        for (const char c : pieces[piece].toUtf8()) {
            switch (c) {
                case '"':
                    out += "\\\"";
                    break;
                case '\\':
                    out += "\\\\";
                    break;
                case '\n':
                    out += "\\n";
                    break;
                case '\r':
                    out += "\\r";
                    break;
                case '\t':
                    out += "\\t";
                    break;
                default:
                    if (static_cast<unsigned char>(c) < 0x20)
                        out += QByteArray("\\u00") +
                               QByteArray::number(static_cast<unsigned char>(c), 16)
                                   .rightJustified(2, '0');
                    else
                        out += c;
            }
        }
    }
    out += '"';
}

QByteArray PaperJson(QuestionTable& table) {
    QByteArray out = "{\"valid\": true, \"questions\": [";
    bool first = true;
    for (table.MoveFirst(); !table.Eof(); table.MoveNext()) {
        if (!first) out += ", ";
        first = false;
        out += "{\"QuestionNo\": " +
               QByteArray::number(table.Field(QuestionTable::QuestionNo).toInt());
        const QVariant score = table.Field(QuestionTable::Score);
        out += ", \"Score\": " +
               (score.isNull() ? QByteArray("null") : ShortestSingle(score.toFloat()).toUtf8());
        for (int column = QuestionTable::Answer; column <= QuestionTable::ItemF; ++column) {
            out += ", \"" + QuestionTable::ColumnName(column).toUtf8() + "\": ";
            AppendJsonString(out, table.Field(column).toString());
        }
        out += '}';
    }
    out += "]}\n";
    return out;
}

ConverterRun RunConverter(const WorkbookJob& job) {
    ConverterRun run;
    const bool json = job.json;
    std::vector<QuestionRecord> rows;
    if (auto failed = ReadConverterPaper(job.input, json, rows)) return *failed;
    if (json) {
        QuestionTable table;
        table.ReplaceRecords(rows);
        run.out = PaperJson(table);
        return run;
    }
    const ExportResult written = WritePaperFile(job.output, rows);
    if (!written.WasWritten())
        return ConverterFailure(2, QStringLiteral("scrivane-convert: cannot write %1: %2")
                                       .arg(job.output, written.reason));
    return run;
}

}  // namespace scrivane
