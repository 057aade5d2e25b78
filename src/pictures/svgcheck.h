// The check an SVG picture passes before it is kept or drawn: it must stand
// alone. A DOCTYPE or entity declaration (the billion laughs), a script or
// an event handler, and any reference to something outside the picture
// itself (a file, a web address, an external style sheet) refuse it, so that
// drawing it never reads anything else.
#pragma once

#include <QByteArray>
#include <QString>

namespace scrivane {

// Whether data starts like an SVG document (an XML document whose first
// element is <svg>); reads no further than needed.
bool LooksLikeSvg(const QByteArray& data);

// Empty when the SVG may be drawn; otherwise why not, as the end of a
// sentence ("declares a DOCTYPE or entities").
QString SvgRefusal(const QByteArray& data);

}  // namespace scrivane
