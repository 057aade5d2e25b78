// The question sheet's rules applied to cells that came from somewhere other
// than a workbook (a CSV file): the same end of the data, header check,
// row count, mark check and cell texts as an import.
#pragma once

#include <QString>
#include <array>

#include "core/paperrules.h"
#include "interchange/questions.h"

namespace scrivane::interchange {

class SheetCells {
public:
    void Set(int row, int column, const QString& text) {
        cells_[std::size_t(row - 1)][std::size_t(column - 1)] = text;
    }
    const QString& At(int row, int column) const {
        return cells_[std::size_t(row - 1)][std::size_t(column - 1)];
    }

private:
    std::array<std::array<QString, kSheetColumns>, kSheetRowsRead> cells_;
};

ReadOutcome ReadSheetRules(const SheetCells& cells);

}  // namespace scrivane::interchange
