#include "interchange/htmltext.h"

#include <QHash>

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

// The text of an entity without its & and ;, or nothing when unknown.
QString Entity(QStringView name) {
    static const QHash<QString, char16_t> named = {
        {QStringLiteral("amp"), u'&'},      {QStringLiteral("lt"), u'<'},
        {QStringLiteral("gt"), u'>'},       {QStringLiteral("quot"), u'"'},
        {QStringLiteral("apos"), u'\''},    {QStringLiteral("nbsp"), 0xA0},
        {QStringLiteral("ndash"), 0x2013},  {QStringLiteral("mdash"), 0x2014},
        {QStringLiteral("lsquo"), 0x2018},  {QStringLiteral("rsquo"), 0x2019},
        {QStringLiteral("ldquo"), 0x201C},  {QStringLiteral("rdquo"), 0x201D},
        {QStringLiteral("hellip"), 0x2026}, {QStringLiteral("times"), 0xD7},
        {QStringLiteral("divide"), 0xF7},   {QStringLiteral("deg"), 0xB0},
        {QStringLiteral("plusmn"), 0xB1},   {QStringLiteral("euro"), 0x20AC},
        {QStringLiteral("copy"), 0xA9},     {QStringLiteral("laquo"), 0xAB},
        {QStringLiteral("raquo"), 0xBB}};
    if (name.startsWith(u'#')) {
        bool ok = false;
        const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
        const uint code = name.sliced(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
        if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {};
        // fromUcs4 drops a byte-order mark, which a reference stands for.
        if (code <= 0xFFFF) return QString(QChar(char16_t(code)));
        const char32_t c = code;
        return QString::fromUcs4(&c, 1);
    }
    const auto it = named.find(name.toString());
    return it == named.end() ? QString() : QString(QChar(*it));
}

}  // namespace

QString TrimBlanks(const QString& text) {
    qsizetype first = 0, last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.mid(first, last - first);
}

QString HtmlToPlain(const QString& html) {
    QString out;
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
            while (semi < n && semi - i <= 12 && html[semi] != u';') ++semi;
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
