// CSV files of the question sheet: the ten columns with their header row,
// UTF-8, quoted as RFC 4180 says.
#pragma once

#include <QByteArray>
#include <QStringList>
#include <optional>
#include <vector>

#include "core/questionrecord.h"
#include "interchange/questions.h"

namespace scrivane::interchange {

// Reads the records and judges them by the question sheet's rules, as a
// workbook's first sheet would be. The separator is the comma, or the
// semicolon or tab when the header line holds those instead.
ReadOutcome ReadCsv(const QByteArray& content);

QByteArray WriteCsv(const std::vector<QuestionRecord>& questions);

// Any table as CSV rows: fields quoted where needed, lines ended by CR LF.
QByteArray WriteCsvRows(const std::vector<QStringList>& rows);

// The rows of a CSV table of any width (comma, or the semicolon or tab that
// the first line holds instead); nothing when it is not UTF-8 or a quoted
// field does not end. Empty lines are skipped.
std::optional<std::vector<QStringList>> ReadCsvRows(const QByteArray& content);

// The rows of CSV text already decoded, split at separator; nothing when a
// quoted field does not end. Empty lines are skipped.
std::optional<std::vector<QStringList>> ReadCsvTextRows(const QString& text, QChar separator);

}  // namespace scrivane::interchange
