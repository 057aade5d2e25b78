// The question sheet: the one worksheet layout in which test papers are
// exchanged with spreadsheets. Row 1 holds the headers, each row from 2 one
// question: number, mark, answer, title and options A to F.
#pragma once

#include <QString>
#include <QStringList>
#include <cstddef>
#include <optional>
#include <vector>

#include "core/paperrules.h"
#include "core/questionrecord.h"
#include "spreadsheet/codec/reader.h"

namespace scrivane {

class Sheet;

// The headers of row 1, columns 1 to 10.
const QStringList& QuestionSheetHeaders();

// The sheet as read: the staged questions (data row k + 1 in element k - 1)
// or, when the format check fails, why.
struct StagedSheet {
    int lastRow = 1;  // the last data row; 1 when there is none
    std::vector<QuestionRecord> questions;
    QString rejection;  // empty when the format holds
    QStringList notes;  // what the reading left out (pictures it could not place)
    bool Valid() const { return rejection.isEmpty(); }
};

// What of a workbook the question sheet reads: its active sheet, and there
// no more rows and columns than ReadQuestionSheet looks at.
codec::ReadScope QuestionSheetScope();

// Reads the question sheet through the sheet object: finds the end of the
// data (the first row from 2 whose column 1 or 2 is blank, looking no
// further than row 102), checks the headers and the row count, and stages
// every data row. A cell that cannot be read counts as a blank for the end
// of the data and as a wrong header; in a data row it leaves its field as it
// was (empty, a mark of 0, no answer).
StagedSheet ReadQuestionSheet(const Sheet& sheet);
// The same rules over a worksheet read without the spreadsheet application.
StagedSheet ReadQuestionSheet(const codec::Worksheet& sheet);

// The pictures of a question in its row of the sheet: the title's in column
// 4, option A's to F's in columns 5 to 10, each box's in order. An SVG
// carries its PNG stand-in for the formats that cannot show it, drawn by
// the drawer set here (a program with a graphical session sets one, see
// svgstandin.h); without one, the workbook shows a plain frame.
std::vector<codec::SheetPicture> QuestionSheetPictures(int row, const QuestionPictures& pictures);
using SvgDrawer = QByteArray (*)(const QByteArray& svg);
void SetSvgDrawer(SvgDrawer drawer);

// The mark check of the staged questions: the first mark below 0 or above
// 250 (or not a number), as a reason naming its row; nothing when all hold.
std::optional<QString> MarkRejection(const std::vector<QuestionRecord>& questions);

// The text of the question sheet that holds these questions, in bytes of
// UTF-8 as a workbook read counts it (codec::TextBytes): the sheet's name,
// the headers and each question's answer, title and options.
std::size_t QuestionSheetTextBytes(const std::vector<QuestionRecord>& questions);

// The one limit on a paper's text, for every reader and writer of papers:
// more than a paper file holds (codec::kMaxTextBytes) as a reason; nothing
// when the questions fit.
std::optional<QString> TextRejection(const std::vector<QuestionRecord>& questions);

}  // namespace scrivane
