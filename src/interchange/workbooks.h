// The question sheet as an Excel 2007+ workbook (.xlsx, through libxlsxwriter)
// and as an OpenDocument spreadsheet (.ods): the header row, the column
// widths and wrapped columns, and one question a row, as the export writes
// the .xls.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "core/questionrecord.h"

namespace scrivane::interchange {

struct WrittenBytes {
    QByteArray bytes;
    QString error;  // empty when written
};

WrittenBytes WriteXlsx(const std::vector<QuestionRecord>& questions);
WrittenBytes WriteOds(const std::vector<QuestionRecord>& questions);

}  // namespace scrivane::interchange
