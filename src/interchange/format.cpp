#include "interchange/format.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace scrivane::interchange {

const std::vector<FormatInfo>& Formats() {
    static const std::vector<FormatInfo> formats = {
        {Format::Xls, QStringLiteral("xls"), QStringLiteral("Excel 97-2003 workbook"),
         QStringLiteral(".xls")},
        {Format::Xlsx, QStringLiteral("xlsx"), QStringLiteral("Excel workbook"),
         QStringLiteral(".xlsx")},
        {Format::Ods, QStringLiteral("ods"), QStringLiteral("OpenDocument spreadsheet"),
         QStringLiteral(".ods")},
        {Format::Csv, QStringLiteral("csv"), QStringLiteral("CSV"), QStringLiteral(".csv")},
        {Format::Moodle, QStringLiteral("moodle"), QStringLiteral("Moodle XML"),
         QStringLiteral(".xml")},
        {Format::Gift, QStringLiteral("gift"), QStringLiteral("GIFT"), QStringLiteral(".gift")},
        {Format::Aiken, QStringLiteral("aiken"), QStringLiteral("Aiken"), QStringLiteral(".txt")},
    };
    return formats;
}

const FormatInfo& InfoOf(Format format) {
    for (const FormatInfo& info : Formats())
        if (info.format == format) return info;
    return Formats().front();
}

std::optional<Format> FormatByName(const QString& name) {
    for (const FormatInfo& info : Formats())
        if (info.name.compare(name, Qt::CaseInsensitive) == 0) return info.format;
    return std::nullopt;
}

std::optional<Format> FormatOfExtension(const QString& path) {
    const QString suffix = u'.' + QFileInfo(path).suffix().toLower();
    if (suffix == QStringLiteral(".tpf")) return Format::Xls;
    for (const FormatInfo& info : Formats())
        if (info.extension == suffix) return info.format;
    return std::nullopt;
}

QString FilterOf(Format format) {
    const FormatInfo& info = InfoOf(format);
    return QStringLiteral("%1 (*%2)|*%2").arg(info.description, info.extension);
}

std::optional<Format> DetectFormat(const QByteArray& content) {
    if (content.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) return Format::Xls;
    if (content.startsWith("PK\x03\x04")) {
        // An OpenDocument package names its type in the stored "mimetype" member first.
        return content.left(256).contains("application/vnd.oasis.opendocument.spreadsheet")
                   ? Format::Ods
                   : Format::Xlsx;
    }
    QByteArrayView text(content);
    if (text.startsWith("\xEF\xBB\xBF")) text = text.sliced(3);
    const QByteArrayView start = text.trimmed();
    if (start.startsWith("<?xml") || start.startsWith("<quiz")) return Format::Moodle;

    const qsizetype end = text.indexOf('\n');
    QByteArrayView firstLine = end < 0 ? text : text.first(end);
    if (firstLine.startsWith("\"")) firstLine = firstLine.sliced(1);
    if (firstLine.startsWith("Question NO")) return Format::Csv;

    const QString whole = QString::fromUtf8(text);
    static const QRegularExpression answerLine(QStringLiteral("^ANSWER\\s*:\\s*[A-Z]\\s*$"),
                                               QRegularExpression::MultilineOption);
    if (answerLine.match(whole).hasMatch()) return Format::Aiken;
    // A GIFT answer block opens with its first answer (= ~ or a weight), a
    // number (#) or true/false; JSON and prose braces do not.
    static const QRegularExpression answerBlock(
        QStringLiteral("(^|[^\\\\])\\{\\s*([=~#]|(T|F|TRUE|FALSE)\\s*[}#])"));
    if (answerBlock.match(whole).hasMatch()) return Format::Gift;
    if (firstLine.contains(',') || firstLine.contains(';') || firstLine.contains('\t'))
        return Format::Csv;
    return std::nullopt;
}

}  // namespace scrivane::interchange
