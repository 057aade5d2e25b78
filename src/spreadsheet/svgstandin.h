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

// Makes the workbook writers draw SVG stand-ins with SvgStandIn. Kept apart
// from the writers so that a program that only reads workbooks loads
// neither Qt Gui nor Qt Svg.
void InstallSvgStandIn();

}  // namespace scrivane
