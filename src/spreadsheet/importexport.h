// Importing a question sheet into the paper and exporting the paper as one,
// through the spreadsheet application. Open and save use the same two
// routines, so a test paper file is a workbook like any exported one.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "core/questionrecord.h"

namespace scrivane {

struct Moddule1;
class PaperHolder;
class Prompts;
class Platform;
class ExcelFactory;

// What the routines work with: the shared state, the window whose bound
// table is the paper, the user's prompts, the pointer and the spreadsheet.
struct SpreadsheetContext {
    Moddule1& module;
    PaperHolder& window;
    Prompts& prompts;
    Platform& platform;
    ExcelFactory& excel;
};

// How an import ended, for callers that report more than the message box
// (the converter): the workbook could not be opened, the sheet was refused
// (with the precise reason), or the paper was replaced.
struct ImportReport {
    enum class Outcome { Imported, Unreadable, Rejected };
    Outcome outcome = Outcome::Rejected;
    QString reason;
    QStringList notes{};  // what an import left out (damaged pictures), each a sentence
};

// Reads the question sheet of ImportFile into a new question table that
// replaces the bound one. A failing step is skipped and the import goes on,
// so an unreadable workbook ends as "Invalid format". The paper, ScoreList,
// PaperModified and PaperFileName change only when the whole sheet was taken
// over; then the result is true. ImportOrOpen: true for the import command,
// which confirms with "Import succeed".
bool DoImport(const SpreadsheetContext& context, QString ImportFile, const bool& ImportOrOpen,
              ImportReport* report = nullptr);

// The second half of an import, for questions read from any file: the marks
// and the text checked (a mark outside 0 to 250, or more text than a paper
// file holds, refuses them all with "Invalid format"), the
// paper replaced by them as DoImport replaces it, and with ImportOrOpen
// "Import succeed" shown, notes (what the reading left out) below it.
bool ImportQuestions(const SpreadsheetContext& context,
                     const std::vector<QuestionRecord>& questions, const bool& ImportOrOpen,
                     ImportReport* report = nullptr, const QStringList& notes = {});

struct ExportResult {
    enum Outcome { Written, EmptyPaper, Failed };
    Outcome outcome = Failed;
    QString reason;  // why it failed, in the system's words
    bool WasWritten() const { return outcome == Written; }
};

// Writes the bound table as a question sheet to ExportFile (replaced whole
// or left as it was). An empty paper is refused with a message; a paper with
// more text than a paper file holds is refused before anything is written;
// any other
// failure is only reported in the result, the caller tells the user. After a
// written export the current record is the last question.
ExportResult DoExport(const SpreadsheetContext& context, const QString& ExportFile);

// The export's writing of the question sheet without a window: questions
// numbered by their position, the same cells, widths and wrapping, the same
// refusals of an empty paper and of more text than a paper file holds.
ExportResult WriteQuestionSheet(ExcelFactory& excel, const QString& file,
                                const std::vector<QuestionRecord>& questions);

}  // namespace scrivane
