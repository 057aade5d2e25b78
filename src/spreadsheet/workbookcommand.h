// scrivane-convert: checks or converts question sheets from the command
// line, through the same import and export as the editor.
//
//   scrivane-convert INPUT --json     the imported paper as JSON on stdout
//   scrivane-convert INPUT OUTPUT     import INPUT, export it as OUTPUT
//
// Exit status 0 on success; 1 when the sheet is refused ("Invalid format"
// and the reason on stderr, {"valid": false} on stdout with --json); 2 for
// wrong arguments, an unreadable INPUT or an OUTPUT that cannot be written.
#pragma once

#include <QByteArray>
#include <QStringList>
#include <optional>
#include <vector>

#include "core/questionrecord.h"

namespace scrivane {

class QuestionTable;

struct ConverterRun {
    int exitCode = 0;
    QByteArray out;  // UTF-8
    QByteArray err;  // UTF-8
};

// One line of the converter's output: the text in UTF-8 and a line end.
QByteArray ConverterLine(const QString& text);
// A run that ends with exitCode and text as the one line on standard error.
ConverterRun ConverterFailure(int exitCode, const QString& text);
// "scrivane-convert: cannot read FILE: WHY", exit 2.
ConverterRun ConverterCannotRead(const QString& file, const QString& why);
// Why a path that is not a regular file cannot be read: "not a file" or "no such file".
QString NotAFileReason(const QString& path);
// Reads the paper a converter mode works on into rows. Nothing when it was
// read; else the run to end with: a path that is not a file or a workbook
// that cannot be read (exit 2), or a sheet the import refuses (exit 1,
// "Invalid format" and why; with json also {"valid": false} on standard output).
std::optional<ConverterRun> ReadConverterPaper(const QString& path, bool json,
                                               std::vector<QuestionRecord>& rows);

// A workbook conversion as the command line asks for it: INPUT printed as
// JSON, or written as the Excel 97-2003 workbook OUTPUT.
struct WorkbookJob {
    QString input;
    QString output;
    bool json = false;
};

ConverterRun RunConverter(const WorkbookJob& job);

// Appends text as a JSON string, quoted and escaped.
void AppendJsonString(QByteArray& out, const QString& text);

// The table as the converter prints it: {"valid": true, "questions": [...]}
// with Score as the shortest decimal of its single-precision value.
QByteArray PaperJson(QuestionTable& table);

}  // namespace scrivane
