#include "grading/session/gradeworkbook.h"

#include "interchange/workbooks.h"

namespace scrivane {

namespace {

codec::Workbook BookOf(const std::vector<ExportSheet>& sheets) {
    codec::Workbook book;
    for (const ExportSheet& sheet : sheets) {
        codec::Worksheet& out = book.sheets.emplace_back();
        out.name = sheet.name.toStdString();
        for (std::size_t r = 0; r < sheet.rows.size(); ++r) {
            for (std::size_t c = 0; c < sheet.rows[r].size(); ++c) {
                const ExportCell& cell = sheet.rows[r][c];
                if (const double* number = std::get_if<double>(&cell))
                    out.Set(int(r) + 1, int(c) + 1, codec::Cell::Number(*number));
                else if (const QString& text = std::get<QString>(cell); !text.isEmpty())
                    out.Set(int(r) + 1, int(c) + 1, codec::Cell::Text(text.toStdString()));
            }
        }
    }
    return book;
}

}  // namespace

WorkbookBytes WriteGradesXlsx(const std::vector<ExportSheet>& sheets) {
    const interchange::WrittenBytes written = interchange::WriteXlsx(BookOf(sheets));
    return {written.bytes, written.error};
}

WorkbookBytes WriteGradesOds(const std::vector<ExportSheet>& sheets) {
    const interchange::WrittenBytes written = interchange::WriteOds(BookOf(sheets));
    return {written.bytes, written.error};
}

}  // namespace scrivane
