#include "interchange/htmltext.h"

#include <QByteArrayView>
#include <algorithm>
#include <iterator>
#include <vector>

namespace scrivane::interchange {

namespace {

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == QChar(0xA0);
}

bool IsLayoutSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// The tags whose end (or, for br, whose presence) breaks the line.
bool BreaksLine(const QString& name, bool closing) {
    if (name == u"br") return true;
    if (!closing) return false;
    static const QStringList blocks = {
        QStringLiteral("p"),  QStringLiteral("div"), QStringLiteral("li"), QStringLiteral("tr"),
        QStringLiteral("h1"), QStringLiteral("h2"),  QStringLiteral("h3"), QStringLiteral("h4"),
        QStringLiteral("h5"), QStringLiteral("h6"),  QStringLiteral("pre")};
    return blocks.contains(name);
}

struct NamedEntity {
    const char* name;
    const char* text;  // UTF-8
};
constexpr NamedEntity kNamedEntities[] = {
#include "interchange/htmlentities.inc"
};

// Numeric references to the C1 controls stand for the Windows-1252
// characters of those bytes, as browsers read them.
constexpr char16_t kC1[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                              0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                              0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                              0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

// The text of an entity without its & and ;, or nothing when unknown.
QString Entity(QStringView name) {
    if (name.startsWith(u'#')) {
        bool ok = false;
        const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
        const uint code = name.sliced(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
        if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {};
        if (code >= 0x80 && code <= 0x9F) return QString(QChar(kC1[code - 0x80]));
        // fromUcs4 drops a byte-order mark, which a reference stands for.
        if (code <= 0xFFFF) return QString(QChar(char16_t(code)));
        const char32_t c = code;
        return QString::fromUcs4(&c, 1);
    }
    const QByteArray key = name.toLatin1();
    const auto* end = std::end(kNamedEntities);
    const auto* found = std::lower_bound(
        std::begin(kNamedEntities), end, key,
        [](const NamedEntity& e, const QByteArray& k) { return QByteArrayView(e.name) < k; });
    if (found == end || QByteArrayView(found->name) != key) return {};
    return QString::fromUtf8(found->text);
}

// The longest name of a named reference, with room for a numeric one.
constexpr qsizetype kLongestEntity = 34;

// Tags that only lay the text out, which plain text does without a word.
bool IsLayoutTag(const QString& name) {
    static const QStringList layout = {
        QStringLiteral("p"),    QStringLiteral("div"),    QStringLiteral("span"),
        QStringLiteral("br"),   QStringLiteral("li"),     QStringLiteral("ul"),
        QStringLiteral("ol"),   QStringLiteral("h1"),     QStringLiteral("h2"),
        QStringLiteral("h3"),   QStringLiteral("h4"),     QStringLiteral("h5"),
        QStringLiteral("h6"),   QStringLiteral("pre"),    QStringLiteral("html"),
        QStringLiteral("body"), QStringLiteral("head"),   QStringLiteral("meta"),
        QStringLiteral("font"), QStringLiteral("a"),      QStringLiteral("sup"),
        QStringLiteral("sub"),  QStringLiteral("script"), QStringLiteral("style"),
        QStringLiteral("wbr"),  QStringLiteral("nobr"),   QStringLiteral("")};
    return layout.contains(name);
}

bool IsPictureTag(const QString& name) {
    return name == u"img" || name == u"svg" || name == u"object" || name == u"embed" ||
           name == u"video" || name == u"audio" || name == u"iframe" || name == u"picture" ||
           name == u"canvas";
}

// The value of attribute `name` in the tag html[from, to), quoted or not,
// with its character references decoded; empty when the tag has none.
QString AttributeOf(const QString& html, qsizetype from, qsizetype to, QStringView name);

// A superscript or subscript in Unicode's characters when every character
// of it has one, else marked: "^(2n)", "_(aq)".
QString Raised(const QString& text, bool super) {
    static const QString plain = QStringLiteral("0123456789+-\u2212=()ni");
    static const QString supers = QStringLiteral(
        "\u2070\u00B9\u00B2\u00B3\u2074\u2075\u2076\u2077\u2078\u2079"
        "\u207A\u207B\u207B\u207C\u207D\u207E\u207F\u2071");
    static const QString plainSub = QStringLiteral("0123456789+-\u2212=()aeoxhklmnpst");
    static const QString subs = QStringLiteral(
        "\u2080\u2081\u2082\u2083\u2084\u2085\u2086\u2087\u2088\u2089"
        "\u208A\u208B\u208B\u208C\u208D\u208E"
        "\u2090\u2091\u2092\u2093\u2095\u2096\u2097\u2098\u2099\u209A\u209B\u209C");
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return text;
    const QString& from = super ? plain : plainSub;
    const QString& to = super ? supers : subs;
    QString out;
    for (QChar c : trimmed) {
        const qsizetype at = from.indexOf(c);
        if (at < 0) return (super ? QStringLiteral("^(") : QStringLiteral("_(")) + trimmed + u')';
        out += to[at];
    }
    return out;
}

}  // namespace

QString TrimBlanks(const QString& text) {
    qsizetype first = 0, last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.mid(first, last - first);
}

QString HtmlToPlain(const QString& html, HtmlLosses* losses) {
    QString out;
    // The open superscripts and subscripts: whether super, and where its text starts.
    std::vector<std::pair<bool, qsizetype>> raised;
    out.reserve(html.size());
    bool afterTag = true;   // the start counts as a tag boundary
    bool skipping = false;  // inside script or style
    qsizetype i = 0;
    const qsizetype n = html.size();
    while (i < n) {
        const QChar c = html[i];
        if (c == u'<' && i + 1 < n &&
            (html[i + 1].isLetter() || html[i + 1] == u'/' || html[i + 1] == u'!')) {
            qsizetype end;
            if (html.mid(i, 4) == u"<!--") {
                end = html.indexOf(u"-->", i + 4);
                end = end < 0 ? n : end + 3;
            } else {
                // The tag ends at the first > outside a quoted attribute.
                QChar quote;
                end = i + 1;
                while (end < n && (html[end] != u'>' || !quote.isNull())) {
                    if (html[end] == u'"' || html[end] == u'\'')
                        quote = quote.isNull() ? html[end] : (quote == html[end] ? QChar() : quote);
                    ++end;
                }
                const bool closing = html[i + 1] == u'/';
                qsizetype nameStart = i + (closing ? 2 : 1), nameEnd = nameStart;
                while (nameEnd < end && html[nameEnd].isLetterOrNumber()) ++nameEnd;
                const QString name = html.mid(nameStart, nameEnd - nameStart).toLower();
                if (name == u"script" || name == u"style") skipping = !closing;
                if (!skipping && BreaksLine(name, closing)) out += u'\n';
                if (name == u"sup" || name == u"sub") {
                    const bool super = name == u"sup";
                    if (!closing) {
                        raised.emplace_back(super, out.size());
                    } else if (!raised.empty() && raised.back().first == super) {
                        const qsizetype from = std::min(raised.back().second, out.size());
                        raised.pop_back();
                        out = out.left(from) + Raised(out.mid(from), super);
                    }
                } else if (losses && !closing) {
                    if (IsPictureTag(name)) {
                        losses->picture = true;
                        if (name == u"img")
                            losses->images << AttributeOf(html, nameEnd, end, u"src");
                        else
                            ++losses->otherObjects;
                    }
                    else if (!IsLayoutTag(name) && !losses->markup.contains(name))
                        losses->markup << name;
                }
                end = end < n ? end + 1 : n;
            }
            i = end;
            afterTag = true;
            continue;
        }
        if (skipping) {
            ++i;
            continue;
        }
        if (IsLayoutSpace(c)) {
            qsizetype end = i;
            bool layout = false;
            while (end < n && IsLayoutSpace(html[end])) {
                layout = layout || html[end] != u' ';
                ++end;
            }
            const bool beforeTag = end == n || html[end] == u'<';
            if (!layout)
                out += html.mid(i, end - i);
            else if (!afterTag && !beforeTag)
                out += u' ';
            i = end;
            afterTag = false;
            continue;
        }
        afterTag = false;
        if (c == u'&') {
            // Entities are short: look no further than a dozen characters.
            qsizetype semi = i + 1;
            while (semi < n && semi - i <= kLongestEntity && html[semi] != u';') ++semi;
            if (semi < n && html[semi] == u';' && semi > i + 1) {
                const QString decoded = Entity(QStringView(html).sliced(i + 1, semi - i - 1));
                if (!decoded.isEmpty()) {
                    out += decoded;
                    i = semi + 1;
                    continue;
                }
            }
        }
        out += c;
        ++i;
    }
    return TrimBlanks(out);
}

namespace {

QString AttributeOf(const QString& html, qsizetype from, qsizetype to, QStringView name) {
    qsizetype i = from;
    while (i < to) {
        while (i < to && (html[i].isSpace() || html[i] == u'/')) ++i;
        const qsizetype nameStart = i;
        while (i < to && !html[i].isSpace() && html[i] != u'=' && html[i] != u'/') ++i;
        const QStringView attribute = QStringView(html).sliced(nameStart, i - nameStart);
        while (i < to && html[i].isSpace()) ++i;
        QString value;
        if (i < to && html[i] == u'=') {
            ++i;
            while (i < to && html[i].isSpace()) ++i;
            qsizetype valueStart = i, valueEnd;
            if (i < to && (html[i] == u'"' || html[i] == u'\'')) {
                const QChar quote = html[i];
                valueStart = ++i;
                while (i < to && html[i] != quote) ++i;
                valueEnd = i;
                if (i < to) ++i;
            } else {
                while (i < to && !html[i].isSpace()) ++i;
                valueEnd = i;
            }
            value = html.mid(valueStart, valueEnd - valueStart);
        }
        if (attribute.compare(name, Qt::CaseInsensitive) == 0)
            // The value's references decoded as text's are; it holds no tags.
            return HtmlToPlain(value.replace(u'<', QStringLiteral("&lt;")));
        if (nameStart == i) ++i;  // a stray character: step over it
    }
    return {};
}

}  // namespace

QString PlainToHtml(const QString& text) {
    QString out = text.toHtmlEscaped();
    // Every line end breaks the line; a lone \r would read as a blank.
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    out.replace(u'\n', QStringLiteral("<br>"));
    // A tab in HTML source is only a blank; as a reference it stays a tab.
    out.replace(u'\t', QStringLiteral("&#9;"));
    return out;
}

}  // namespace scrivane::interchange
