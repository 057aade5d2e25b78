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
// With a class list, "absent": [{"student", "name"}] lists its numbers that
// no sheet carries; without one, the list is empty.
QByteArray GradesJson(const std::vector<SheetResult>& sheets, const GradeStatistics& stats,
                      const AnswerKey& key, const ClassList* classList = nullptr);

// "scan.pdf page 2: 12345678 Ada Lovelace, version B, 7.5 of 10", the reasons
// after a sheet to review, "unreadable: " and the reason for a page that is
// not a sheet of this paper; then a line for each question whose answer is
// not set, which the marks leave out.
QByteArray GradesText(const std::vector<SheetResult>& sheets, const AnswerKey& key);

// The "Grades" table, header first: "Student number", "Name", "Version",
// "Mark", "Maximum", "Percentage", "Status", then "Q1", "Q2"... with the
// letters marked, in the paper's order; one row per sheet, then one per
// absent student of the class list. Status is `ok`, `review`, `corrected`,
// `unreadable` or `absent`, so that a mark still to review is never taken for
// a final one; an unreadable sheet and an absent student have no mark.
// statuses: each sheet's own where the caller knows more than the sheet's
// status (a corrected sheet); by default from the sheet.
std::vector<QStringList> GradesTable(const std::vector<SheetResult>& sheets, const AnswerKey& key,
                                     const ClassList* classList = nullptr,
                                     const QStringList& statuses = {});
// The column of the status in the table.
inline constexpr int kGradesStatusColumn = 6;

// A figure as the grades show it: the shortest decimal that reads back the same.
QString FormatFigure(double value);

}  // namespace scrivane
