// A paper as plain rows, read from or written to a workbook without any
// window: the same import and export as the editor's, for the converter and
// the printing, checking and interchange code.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "core/questionrecord.h"
#include "spreadsheet/importexport.h"

namespace scrivane {

class QuestionTable;

// Reads the question sheet of a paper file or workbook by the import's rules.
// rows is replaced only when the outcome is Imported.
ImportReport ReadPaperFile(const QString& path, std::vector<QuestionRecord>& rows);

// Appends rows to table as questions numbered by their position.
void FillTable(QuestionTable& table, const std::vector<QuestionRecord>& rows);

// Writes bytes to path by the export's safe write: replaced whole or left as
// it was, links written through, no folder, pipe, device or read-only file
// replaced. Returns why it failed, or an empty text.
QString WriteBytesSafely(const QString& path, const QByteArray& bytes);

// Writes rows as a question sheet, replacing path whole or leaving it as it was.
ExportResult WritePaperFile(const QString& path, const std::vector<QuestionRecord>& rows);

// The paper's identity kept in a paper file (IsPaperIdentity), or an empty
// text when the file has none (a paper never printed, a workbook from
// another program, a file that cannot be read).
QString ReadPaperIdentity(const QString& path);

// Keeps identity in the paper file at path beside its question sheet, whose
// cells stay byte for byte. Returns why it failed, or an empty text.
QString WritePaperIdentity(const QString& path, const QString& identity);

}  // namespace scrivane
