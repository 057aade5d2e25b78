#include "interchange/format.h"

#include <QFileInfo>
#include <QRegularExpression>

#include "interchange/textfile.h"

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

namespace {

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == QChar(0xFEFF) || c == QChar(0xA0);
}

QStringView Trimmed(QStringView line) {
    qsizetype from = 0, to = line.size();
    while (from < to && IsBlank(line[from])) ++from;
    while (to > from && IsBlank(line[to - 1])) --to;
    return line.sliced(from, to - from);
}

// "ANSWER: B", the line that ends an Aiken question, in any case; or an
// ANSWER line in capitals that names something else, which the Aiken reader
// then refuses with its line.
bool IsAikenAnswer(QStringView line) {
    static constexpr QStringView capitals = u"ANSWER:";
    if (line.size() <= 40 && line.startsWith(capitals)) return true;
    static const QRegularExpression answer(QStringLiteral("^ANSWER\\s*:\\s*[A-Z]$"),
                                           QRegularExpression::CaseInsensitiveOption);
    static constexpr QStringView keyword = u"answer";
    return line.size() <= 32 && line.startsWith(keyword, Qt::CaseInsensitive) &&
           answer.match(line).hasMatch();
}

// Follows a text for the opening of a GIFT answer block: an unescaped { whose
// first answer starts with = ~ or a weight, a number (#) or true/false. JSON
// and prose braces are not one.
class GiftBlockFinder {
public:
    // Scans a piece of a line that is not a comment; true once a block is found.
    bool Scan(QStringView piece) {
        qsizetype i = 0;
        while (i < piece.size()) {
            if (!afterBrace_) {
                // Straight to the next brace; the backslashes before it tell
                // whether it is escaped.
                const qsizetype brace = piece.indexOf(u'{', i);
                if (brace < 0) return false;
                qsizetype k = brace;
                while (k > i && piece[k - 1] == u'\\') --k;
                afterBrace_ = (brace - k) % 2 == 0;
                i = brace + 1;
                continue;
            }
            const QChar c = piece[i++];
            if (c.isSpace()) continue;
            if (word_.isEmpty() && (c == u'=' || c == u'~' || c == u'#')) return true;
            if (c.isLetter() && word_.size() < 5) {
                word_ += c.toUpper();
                continue;
            }
            const bool trueFalse =
                word_ == u"T" || word_ == u"F" || word_ == u"TRUE" || word_ == u"FALSE";
            if (trueFalse && (c == u'}' || c == u'#')) return true;
            Reset();
            if (c == u'{' || c == u'\\') --i;  // read again as any other character
        }
        return false;
    }

private:
    void Reset() {
        afterBrace_ = false;
        word_.clear();
    }
    bool afterBrace_ = false;
    QString word_;
};

}  // namespace

std::optional<Format> DetectFormat(QByteArrayView content) {
    if (content.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) return Format::Xls;
    if (content.startsWith("PK\x03\x04")) {
        // An OpenDocument package names its type in the stored "mimetype" member first.
        return content.first(std::min<qsizetype>(content.size(), 256))
                       .contains("application/vnd.oasis.opendocument.spreadsheet")
                   ? Format::Ods
                   : Format::Xlsx;
    }
    // A text that cannot be decoded whole is still recognised, so that its
    // reader names what is wrong with it.
    const EncodedText text(content);

    // The whole text is looked at, a line at a time, past blank lines and
    // comments: the first line that says something tells XML and the CSV
    // header. A file whose questions end with ANSWER lines is Aiken whatever
    // braces its texts hold ("int x[] = {~0};"); GIFT is told by its
    // question blocks when no question ends so.
    TextLines lines(text, 1 << 16, true, true);
    QString piece;
    bool lineStart = true, comment = false, seenFirst = false, separated = false;
    bool giftBlock = false, afterOption = false, xmlComment = false;
    GiftBlockFinder gift;
    static const QRegularExpression optionLine(QStringLiteral("^[A-Za-z][.)](\\s|$)"));
    while (lines.Next(piece)) {
        const bool wholeLine = lineStart && lines.LineEnded();
        const QStringView trimmed = Trimmed(piece);
        if (lineStart) comment = trimmed.startsWith(u"//");
        if (!seenFirst && !trimmed.isEmpty() && !comment) {
            seenFirst = true;
            if (trimmed.startsWith(u"<?xml") || trimmed.startsWith(u"<quiz")) return Format::Moodle;
            // An XML comment first is Moodle XML, unless the file turns
            // out to be Aiken whose first title starts so.
            xmlComment = trimmed.startsWith(u"<!--");
            if (trimmed.startsWith(u"Question NO") || trimmed.startsWith(u"\"Question NO"))
                return Format::Csv;
            separated = trimmed.contains(u',') || trimmed.contains(u';') || trimmed.contains(u'\t');
        }
        if (!comment && !giftBlock) giftBlock = gift.Scan(piece);
        if (wholeLine && IsAikenAnswer(trimmed) && (afterOption || (!giftBlock && !xmlComment)))
            return Format::Aiken;
        if (wholeLine && !trimmed.isEmpty()) afterOption = optionLine.match(trimmed).hasMatch();
        lineStart = lines.LineEnded();
    }
    if (xmlComment) return Format::Moodle;
    if (giftBlock) return Format::Gift;
    if (separated) return Format::Csv;
    return std::nullopt;
}

}  // namespace scrivane::interchange
