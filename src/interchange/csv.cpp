#include "interchange/csv.h"

#include <QStringDecoder>

#include "core/answercode.h"
#include "core/numbers.h"
#include "interchange/sheetrules.h"
#include "spreadsheet/questionsheet.h"

namespace scrivane::interchange {

namespace {

// The separator that the header line uses most, outside quotes.
QChar Separator(const QString& text) {
    int counts[3] = {0, 0, 0};
    bool quoted = false;
    for (const QChar c : text) {
        if (c == u'"') quoted = !quoted;
        if (quoted) continue;
        if (c == u'\n' || c == u'\r') break;
        if (c == u',') ++counts[0];
        if (c == u';') ++counts[1];
        if (c == u'\t') ++counts[2];
    }
    if (counts[1] > counts[0] && counts[1] >= counts[2]) return u';';
    if (counts[2] > counts[0] && counts[2] > counts[1]) return u'\t';
    return u',';
}

QString Quoted(const QString& field) {
    const bool quote = field.contains(u',') || field.contains(u'"') || field.contains(u'\n') ||
                       field.contains(u'\r') || field.startsWith(u' ') || field.endsWith(u' ') ||
                       field.startsWith(u'\t') || field.endsWith(u'\t');
    if (!quote) return field;
    QString out = field;
    out.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + out + u'"';
}

}  // namespace

ReadOutcome ReadCsv(const QByteArray& content) {
    const std::optional<QString> decoded = DecodeUtf8(content);
    if (!decoded) return ReadOutcome::Refuse(QStringLiteral("the file is not UTF-8 text"));
    const QString& text = *decoded;
    const QChar separator = Separator(text);

    // Only the rows and columns that the question sheet reads are kept.
    SheetCells cells;
    int row = 1, column = 1;
    QString field;
    bool quoted = false, wasQuoted = false;
    const auto endField = [&]() -> bool {
        if (row <= kSheetRowsRead && column <= kSheetColumns) {
            if (field.size() > kMaxTextUnits) return false;
            cells.Set(row, column, field);
        }
        field.clear();
        wasQuoted = false;
        ++column;
        return true;
    };
    const auto tooLong = [&]() {
        return ReadOutcome::Refuse(
            QStringLiteral("row %1, column %2 holds more than 32767 characters")
                .arg(row)
                .arg(column));
    };
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n && row <= kSheetRowsRead; ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < n && text[i + 1] == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == u'"' && field.isEmpty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (c == separator) {
            if (!endField()) return tooLong();
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') ++i;
            if (!endField()) return tooLong();
            ++row;
            column = 1;
        } else {
            field += c;  // a quote inside an unquoted field is kept as it is
        }
        if (field.size() > kMaxTextUnits + 1) return tooLong();
    }
    if (quoted)
        return ReadOutcome::Refuse(QStringLiteral("row %1: a quoted field does not end").arg(row));
    if (row <= kSheetRowsRead && (!field.isEmpty() || column > 1) && !endField()) return tooLong();
    return ReadSheetRules(cells);
}

QByteArray WriteCsv(const std::vector<QuestionRecord>& questions) {
    QStringList lines;
    QStringList header;
    for (const QString& name : QuestionSheetHeaders()) header << Quoted(name);
    lines << header.join(u',');
    int number = 0;
    for (const QuestionRecord& question : questions) {
        QStringList fields = {QString::number(++number), ShortestSingle(question.Score),
                              AnswerMaskToText(question.Answer), Quoted(question.Title)};
        for (const QString& item : question.Items) fields << Quoted(item);
        lines << fields.join(u',');
    }
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

QByteArray WriteCsvRows(const std::vector<QStringList>& rows) {
    QStringList lines;
    for (const QStringList& row : rows) {
        QStringList fields;
        for (const QString& field : row) fields << Quoted(field);
        lines << fields.join(u',');
    }
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

std::optional<std::vector<QStringList>> ReadCsvRows(const QByteArray& content) {
    const std::optional<QString> decoded = DecodeUtf8(content);
    if (!decoded) return std::nullopt;
    const QString& text = *decoded;
    const QChar separator = Separator(text);
    std::vector<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false, wasQuoted = false;
    const auto endRow = [&] {
        row << field;
        if (row.size() > 1 || !row[0].isEmpty() || wasQuoted) rows.push_back(row);
        row.clear();
        field.clear();
        wasQuoted = false;
    };
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c != u'"')
                field += c;
            else if (i + 1 < n && text[i + 1] == u'"')
                field += text[++i];
            else
                quoted = false;
        } else if (c == u'"' && field.isEmpty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (c == separator) {
            row << field;
            field.clear();
            wasQuoted = false;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') ++i;
            endRow();
        } else {
            field += c;
        }
    }
    if (quoted) return std::nullopt;
    if (!field.isEmpty() || !row.isEmpty() || wasQuoted) endRow();
    return rows;
}

}  // namespace scrivane::interchange
