// Question texts between plain text and the HTML that learning platforms keep.
#pragma once

#include <QString>

namespace scrivane::interchange {

// HTML as the plain text a paper holds: tags dropped, entities decoded, <br>
// and the ends of paragraphs, divisions, list items and headings as line
// breaks, blanks and line breaks at both ends trimmed. Line breaks in the
// HTML source around tags are layout and go; elsewhere they read as a blank.
QString HtmlToPlain(const QString& html);

// Plain text as HTML: &, <, > and " escaped, line breaks (\n, \r\n or \r)
// as <br>, tabs as &#9;.
QString PlainToHtml(const QString& text);

// Only blanks, tabs, line breaks and no-break spaces trimmed from both ends.
QString TrimBlanks(const QString& text);

}  // namespace scrivane::interchange
