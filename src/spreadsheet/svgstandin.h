// The PNG that a workbook shows in place of an SVG picture, which neither
// BIFF8 nor libxlsxwriter can hold as it is.
#pragma once

#include <QByteArray>

namespace scrivane {

// The SVG drawn to a PNG no larger than a page's width. An SVG that names
// anything outside itself (a document type, an entity, a linked file) is
// not drawn: its stand-in is a plain grey frame, as it is where no
// graphical session runs (the converter), since drawing text needs one.
QByteArray SvgStandIn(const QByteArray& svg);

}  // namespace scrivane
