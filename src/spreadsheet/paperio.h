// A paper as plain rows, read from or written to a workbook without any
// window: the same import and export as the editor's, for the converter and
// the printing, checking and interchange code.
#pragma once

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

// Writes rows as a question sheet, replacing path whole or leaving it as it was.
ExportResult WritePaperFile(const QString& path, const std::vector<QuestionRecord>& rows);

}  // namespace scrivane
