// Reading and writing a paper in any of the formats, as plain rows: the
// format of a file read is told by its content, the format written is
// chosen by the caller. Used by the converter and the editor's Import From
// and Export As.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "core/questionrecord.h"
#include "interchange/format.h"
#include "interchange/questions.h"

namespace scrivane::interchange {

// The format of a file by its content, as every way in recognises it (Import
// From, the converter, the editor's command line, drops and Open Recent).
// Nothing when it is none of them, or when the file cannot be read: then
// reason says why ("not a file" for a folder, pipe or device, which is
// refused without being waited on).
std::optional<Format> RecogniseFile(const QString& path, QString* reason);

// Reads the file; only a regular file is opened. Workbooks (.xls, .tpf, .xlsx, .ods) by the
// import's own reading, the other formats by theirs. defaultMark is the mark of questions whose
// format carries none (Aiken, GIFT without "// Mark:").
ReadOutcome ReadQuestionFile(const QString& path, float defaultMark);
// As ReadQuestionFile, but a workbook (or a file of no question format) is
// only recognised, with `workbook` set and nothing read, for a caller that
// reads workbooks its own way (IMPORT's spreadsheet calls), so that it is
// read once.
ReadOutcome ReadQuestionsUnlessWorkbook(const QString& path, float defaultMark);

// Reads the file as the format the user named, whatever its content looks
// like: a text format by its reader; a workbook as ReadQuestionFile reads it.
ReadOutcome ReadQuestionFileAs(const QString& path, Format format, float defaultMark);


// The same for content in memory; workbooks are not read here. Questions with
// more text than a paper file holds are refused.
ReadOutcome ReadQuestionContent(const QByteArray& content, Format format, float defaultMark);

// What the format cannot carry of the paper, a line for each kind naming the
// questions ("questions 2 and 5: the answer is not one letter"), and last the
// reason when the paper holds more text than a paper file holds (every format
// is held to it); empty when everything fits.
QStringList UnfitFor(const std::vector<QuestionRecord>& questions, Format format);

struct WriteOutcome {
    enum class Status { Written, Unfit, Failed };
    Status status = Status::Failed;
    QStringList unfit;  // Unfit: what the format cannot carry
    QString reason;     // Failed: why nothing was written
    QStringList notes;  // Written: what the format left out ("question 2: GIFT does not carry pictures: ...")
    bool Written() const { return status == Status::Written; }
};

// Checks the paper against the format, then writes it: the file is replaced
// whole or left as it was. CSV, GIFT and Aiken hold text only: a title or
// option that is only a picture is written as "[picture]", and the notes
// name every picture left out.
WriteOutcome WriteQuestionFile(const QString& path, const std::vector<QuestionRecord>& questions,
                               Format format);

}  // namespace scrivane::interchange
