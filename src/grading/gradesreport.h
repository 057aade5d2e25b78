// The grades as the converter prints them and as they are handed on: JSON,
// one line of text per sheet, and the "Grades" table.
#pragma once

#include <QByteArray>
#include <QStringList>
#include <vector>

#include "grading/grades.h"
#include "grading/statistics.h"

namespace scrivane {

// {"paper": {"questions", "max"}, "sheets": [...], "questions": [...],
// "summary": {...}}, one sheet per line.
QByteArray GradesJson(const std::vector<SheetResult>& sheets, const GradeStatistics& stats,
                      const AnswerKey& key);

// "scan.pdf page 2: 12345678 Ada Lovelace, version B, 7.5 of 10", the reasons
// after a sheet to review, "unreadable: " and the reason for a page that is
// not a sheet of this paper; then a line for each question whose answer is
// not set, which the marks leave out.
QByteArray GradesText(const std::vector<SheetResult>& sheets, const AnswerKey& key);

// The "Grades" table, header first: "Student number", "Name", "Version",
// "Mark", "Maximum", "Percentage", then "Q1", "Q2"... with the letters marked,
// in the paper's order; one row per sheet that was read.
std::vector<QStringList> GradesTable(const std::vector<SheetResult>& sheets, const AnswerKey& key);

// A figure as the grades show it: the shortest decimal that reads back the same.
QString FormatFigure(double value);

}  // namespace scrivane
