// Sheets of plain cells as an .xlsx or .ods workbook, for the grades'
// export, through the codec's writers: numbers as numbers, the rest as text.
#pragma once

#include <QByteArray>
#include <QString>
#include <variant>
#include <vector>

namespace scrivane {

using ExportCell = std::variant<QString, double>;

struct ExportSheet {
    QString name;
    std::vector<std::vector<ExportCell>> rows;
};

struct WorkbookBytes {
    QByteArray bytes;
    QString error;  // empty when written
};

WorkbookBytes WriteGradesXlsx(const std::vector<ExportSheet>& sheets);
WorkbookBytes WriteGradesOds(const std::vector<ExportSheet>& sheets);

}  // namespace scrivane
