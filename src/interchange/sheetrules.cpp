#include "interchange/sheetrules.h"

#include <exception>

#include "spreadsheet/excel.h"
#include "spreadsheet/questionsheet.h"

namespace scrivane::interchange {

ReadOutcome ReadSheetRules(const SheetCells& cells) {
    // The cells go into a sheet of a new workbook, so that the import's own
    // reading judges them.
    ExcelApplication application;
    StagedSheet staged;
    try {
        application.Workbooks().Add();
        const Sheet sheet = application.ActiveSheet();
        for (int row = 1; row <= kSheetRowsRead; ++row)
            for (int column = 1; column <= kSheetColumns; ++column)
                if (!cells.At(row, column).isEmpty())
                    sheet.cells(row, column) = cells.At(row, column);
        staged = ReadQuestionSheet(sheet);
    } catch (const std::exception& e) {
        return ReadOutcome::Refuse(QString::fromUtf8(e.what()));
    }
    if (!staged.Valid()) return ReadOutcome::Refuse(staged.rejection);
    if (const auto rejection = MarkRejection(staged.questions))
        return ReadOutcome::Refuse(*rejection);
    ReadOutcome outcome;
    outcome.status = ReadOutcome::Status::Read;
    outcome.rows = std::move(staged.questions);
    for (std::size_t k = 0; k < outcome.rows.size(); ++k)
        outcome.rows[k].QuestionNo = std::int16_t(k + 1);
    return outcome;
}

}  // namespace scrivane::interchange
