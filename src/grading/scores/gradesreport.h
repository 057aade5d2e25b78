// The grades as the converter prints them and as they are handed on: JSON,
// one line of text per sheet, the "Grades" table, and the "Questions" table
// with the flags of questions that look flawed, which the grades window
// shows too.
#pragma once

#include <QByteArray>
#include <QStringList>
#include <functional>
#include <variant>
#include <vector>

#include "grading/scores/grades.h"
#include "grading/scores/statistics.h"

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

// The flag of a question's statistics, the first that applies: "Check the
// answer" (AnswerLooksWrong), then, unless the question was given to
// everyone, p below 0.2 "Too hard" and p above 0.95 "Too easy"; then
// point-biserial below 0.2 "Weak"; empty for none.
QString QuestionFlag(const QuestionStatistics& question);
// A key that looks wrong: the top group chose a distractor more often than
// the key, or the key's point-biserial is below 0 while a distractor's is
// above 0.2.
bool AnswerLooksWrong(const QuestionStatistics& question);

// What the teacher changed of a flawed question, as the grades list it:
// "also accepted B, AC", "everyone given the mark".
QStringList AdjustmentPhrases(const std::vector<AnswerMask>& alsoAccepted, bool givenToAll);

// The option letters that any question of the statistics offers, in order.
QString OfferedLetters(const GradeStatistics& stats);

// A cell of a table handed on: a figure, or text (empty for none).
using ReportCell = std::variant<QString, double>;
// The "Questions" table, header first: "Question", "Answer", "Mark", "p",
// "Discrimination", "Point-biserial", for each of letters how many sheets
// marked it, "Blank", "Multiple", "Flag" and "Adjustment" (adjustments(q)
// for question q from 1, joined by "; "); one row per question, a figure
// that cannot be told left empty.
std::vector<std::vector<ReportCell>> QuestionsTable(
    const GradeStatistics& stats, const QString& letters,
    const std::function<QStringList(int question)>& adjustments);

// A figure as the grades show it: the shortest decimal that reads back the same.
QString FormatFigure(double value);

}  // namespace scrivane
