// The question sheet as an Excel 2007+ workbook (.xlsx, through libxlsxwriter)
// and as an OpenDocument spreadsheet (.ods): the header row, the column
// widths and wrapped columns, and one question a row, as the export writes
// the .xls.
#pragma once

#include <QByteArray>
#include <QString>
#include <utility>
#include <vector>

#include "core/questionrecord.h"
#include "spreadsheet/codec/workbook.h"

namespace scrivane::interchange {

struct WrittenBytes {
    QByteArray bytes;
    QString error;  // empty when written
};

WrittenBytes WriteXlsx(const std::vector<QuestionRecord>& questions);
// Any workbook, by the same writers (the grades' export).
WrittenBytes WriteXlsx(const codec::Workbook& book);
WrittenBytes WriteOds(const codec::Workbook& book);
// The .ods package: its "mimetype" member first and stored, as the format asks.
WrittenBytes WriteOds(const std::vector<QuestionRecord>& questions);

// A zip of the members in order, the first stored and the others deflated;
// a name may hold one folder ("META-INF/manifest.xml").
WrittenBytes ZipPackage(const std::vector<std::pair<QByteArray, QByteArray>>& members);

}  // namespace scrivane::interchange
