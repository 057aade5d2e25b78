// Small graphs drawn as SVG for the documentation's sample papers: what a
// science teacher puts in a question, and each graph the bytes of a file.
#pragma once

#include <QByteArray>
#include <QString>

#include "core/pictures.h"

namespace scrivane::sample {

// A distance-time or speed-time graph through the points (x, y), both 0 to
// 10, with its axes named.
inline Picture Graph(const QString& name, const QString& xAxis, const QString& yAxis,
                     const QString& points) {
    const QString svg = QStringLiteral(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"240\" height=\"160\" "
        "viewBox=\"0 0 240 160\">"
        "<rect width=\"240\" height=\"160\" fill=\"white\"/>"
        "<path d=\"M30 10 V130 H230\" fill=\"none\" stroke=\"black\" stroke-width=\"2\"/>"
        "<path d=\"M26 16 L30 8 L34 16 M222 126 L230 130 L222 134\" fill=\"none\" "
        "stroke=\"black\" stroke-width=\"2\"/>"
        "<polyline points=\"%1\" fill=\"none\" stroke=\"#1f5fbf\" stroke-width=\"3\"/>"
        "<text x=\"230\" y=\"150\" font-family=\"sans-serif\" font-size=\"13\" "
        "text-anchor=\"end\">%2</text>"
        "<text x=\"36\" y=\"14\" font-family=\"sans-serif\" font-size=\"13\">%3</text>"
        "</svg>\n");
    // The points come in 0 to 10 and are placed inside the axes.
    QStringList placed;
    for (const QString& point : points.split(u' ', Qt::SkipEmptyParts)) {
        const QStringList xy = point.split(u',');
        placed << QStringLiteral("%1,%2")
                      .arg(30 + xy.value(0).toDouble() * 19)
                      .arg(130 - xy.value(1).toDouble() * 11);
    }
    return Picture{svg.arg(placed.join(u' '), xAxis, yAxis).toUtf8(), QStringLiteral("svg"), name};
}

}  // namespace scrivane::sample
