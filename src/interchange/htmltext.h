// Question texts between plain text and the HTML that learning platforms keep.
#pragma once

#include <QString>
#include <QStringList>

namespace scrivane::interchange {

// What a text lost on its way from HTML to plain text.
struct HtmlLosses {
    bool picture = false;  // an <img> (or other embedded object) was left out
    QStringList markup;    // the names of other tags dropped: "table", "strong"
    QStringList images;    // the src of every <img>, in order, references decoded
    int otherObjects = 0;  // embedded objects other than <img> (svg, video...)
};

// HTML as the plain text a paper holds: tags dropped, every named and
// numeric character reference decoded, <br> and the ends of paragraphs,
// divisions, list items and headings as line breaks, blanks and line breaks
// at both ends trimmed. Superscripts and subscripts stay readable: as
// Unicode's super- and subscript characters where all of them have one
// ("x²", "H₂O"), else as "x^(2n)" and "H_(aq)". Line breaks in the HTML
// source around tags are layout and go; elsewhere they read as a blank.
// `losses`, when given, learns of pictures and markup that were dropped.
QString HtmlToPlain(const QString& html, HtmlLosses* losses = nullptr);

// Plain text as HTML: &, <, > and " escaped, line breaks (\n, \r\n or \r)
// as <br>, tabs as &#9;.
QString PlainToHtml(const QString& text);

// Only blanks, tabs, line breaks and no-break spaces trimmed from both ends.
QString TrimBlanks(const QString& text);

}  // namespace scrivane::interchange
