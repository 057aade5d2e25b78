// The file formats a paper travels in: the workbooks (.xls, .xlsx, .ods),
// CSV, and the learning-platform formats Moodle XML, GIFT and Aiken. A format
// is chosen by name or by a file's extension for writing, and recognised by
// the content for reading.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace scrivane::interchange {

enum class Format { Xls, Xlsx, Ods, Csv, Moodle, Gift, Aiken };

struct FormatInfo {
    Format format;
    QString name;         // as --to takes it: "xls", "moodle", ...
    QString description;  // for file dialogs and messages: "Moodle XML"
    QString extension;    // the one written: ".xml"
};

// The workbook formats, which IMPORT reads its own way.
bool IsWorkbook(Format format);

// Every format, in the order file dialogs list them.
const std::vector<FormatInfo>& Formats();
const FormatInfo& InfoOf(Format format);

std::optional<Format> FormatByName(const QString& name);
// The format an output file's extension stands for: .tpf is a workbook like
// .xls, .txt is Aiken; nothing for an unknown extension.
std::optional<Format> FormatOfExtension(const QString& path);

// The file dialog filter of one format, "Moodle XML (*.xml)|*.xml".
QString FilterOf(Format format);

// The format of a file's content, or nothing when it is none of them: the one
// recognition behind every way a file comes in. Only the start of a workbook
// is looked at; a text file in any encoding the readers take is looked at
// whole, past blank lines and comments.
std::optional<Format> DetectFormat(QByteArrayView content);

}  // namespace scrivane::interchange
