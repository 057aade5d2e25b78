// CSV files of the question sheet: the ten columns with their header row,
// UTF-8, quoted as RFC 4180 says.
#pragma once

#include <QByteArray>
#include <vector>

#include "core/questionrecord.h"
#include "interchange/questions.h"

namespace scrivane::interchange {

// Reads the records and judges them by the question sheet's rules, as a
// workbook's first sheet would be. The separator is the comma, or the
// semicolon or tab when the header line holds those instead.
ReadOutcome ReadCsv(const QByteArray& content);

QByteArray WriteCsv(const std::vector<QuestionRecord>& questions);

}  // namespace scrivane::interchange
