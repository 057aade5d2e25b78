#include "interchange/csv.h"

#include <QRegularExpression>

#include "core/answercode.h"
#include "core/numbers.h"
#include "interchange/sheetrules.h"
#include "interchange/textfile.h"
#include "spreadsheet/questionsheet.h"

namespace scrivane::interchange {

namespace {

// The separator that the header line uses most, outside quotes.
QChar Separator(QStringView header) {
    int counts[3] = {0, 0, 0};
    bool quoted = false;
    for (const QChar c : header) {
        if (c == u'"') quoted = !quoted;
        if (quoted) continue;
        if (c == u',') ++counts[0];
        if (c == u';') ++counts[1];
        if (c == u'\t') ++counts[2];
    }
    if (counts[1] > counts[0] && counts[1] >= counts[2]) return u';';
    if (counts[2] > counts[0] && counts[2] > counts[1]) return u'\t';
    return u',';
}

// A mark written with a decimal comma, as spreadsheets in decimal-comma
// countries write it beside semicolons: "2,5" is 2.5.
void PointForComma(QString& mark) {
    static const QRegularExpression decimalComma(QStringLiteral("^\\s*[+-]?\\d*,\\d+\\s*$"));
    if (mark.contains(u',') && decimalComma.match(mark).hasMatch()) mark.replace(u',', u'.');
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
    const EncodedText encoded(content);
    if (!encoded.Readable()) return ReadOutcome::Refuse(encoded.UnreadableReason());
    TextLines lines(encoded, 1 << 16);
    QString piece;
    if (!lines.Next(piece)) return ReadSheetRules(SheetCells());
    const QChar separator = Separator(piece);

    // Only the rows and columns that the question sheet reads are kept, and
    // the reading stops after the last of those rows.
    SheetCells cells;
    int row = 1, column = 1;
    QString field;
    qsizetype fieldSize = 0;  // the field's length, kept or not
    enum class State { Unquoted, Quoted, QuoteInQuoted };
    State state = State::Unquoted;
    bool wasQuoted = false;
    const auto endField = [&] {
        if (row <= kSheetRowsRead && column <= kSheetColumns) {
            if (column == 2 && row >= 2 && separator == u';') PointForComma(field);
            cells.Set(row, column, field);
        }
        field.clear();
        fieldSize = 0;
        wasQuoted = false;
        ++column;
    };
    const auto tooLong = [&] {
        return ReadOutcome::Refuse(
            QStringLiteral("row %1, column %2 holds more than 32767 characters")
                .arg(row)
                .arg(column));
    };
    const auto add = [&](QChar c) {
        if (row <= kSheetRowsRead && column <= kSheetColumns) field += c;
        ++fieldSize;
    };
    do {
        for (const QChar c : std::as_const(piece)) {
            if (state == State::QuoteInQuoted) {
                state = State::Quoted;
                if (c == u'"') {
                    add(c);  // a doubled quote
                    continue;
                }
                state = State::Unquoted;  // the closing quote; c is read as outside
            }
            if (state == State::Quoted) {
                if (c == u'"')
                    state = State::QuoteInQuoted;
                else
                    add(c);
            } else if (c == u'"' && fieldSize == 0 && !wasQuoted) {
                state = State::Quoted;
                wasQuoted = true;
            } else if (c == separator) {
                endField();
            } else {
                add(c);  // a quote inside an unquoted field is kept as it is
            }
            if (fieldSize > kMaxTextUnits) return tooLong();
        }
        if (!lines.LineEnded()) continue;
        if (state == State::QuoteInQuoted) state = State::Unquoted;
        if (state == State::Quoted) {
            for (const QChar c : lines.LineEnd()) add(c);  // a line break as written
            if (fieldSize > kMaxTextUnits) return tooLong();
            continue;
        }
        if (lines.LineEnd().isEmpty() && fieldSize == 0 && column == 1) break;
        endField();
        ++row;
        column = 1;
    } while (row <= kSheetRowsRead && lines.Next(piece));
    if (state == State::Quoted)
        return ReadOutcome::Refuse(QStringLiteral("row %1: a quoted field does not end").arg(row));
    ReadOutcome outcome = ReadSheetRules(cells);
    if (const QString note = encoded.FallbackNote(); !note.isEmpty()) outcome.notes << note;
    return outcome;
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
    // A class list is decoded as every text file is.
    const EncodedText encoded(content);
    if (!encoded.Readable()) return std::nullopt;
    QString text;
    encoded.Decode(0, encoded.Units(), text);
    return ReadCsvTextRows(text, Separator(text));
}

std::optional<std::vector<QStringList>> ReadCsvTextRows(const QString& text, QChar separator) {
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
