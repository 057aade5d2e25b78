#include "spreadsheet/svgstandin.h"

#include "spreadsheet/questionsheet.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <QtNumeric>
#include <algorithm>
#include <cmath>

namespace scrivane {

namespace {

constexpr int kLongestSide = 1200;  // pixels: wider than any cell shows it
constexpr int kFrameSide = 64;

// True when the SVG stands on its own: no document type (and so no entity),
// and every link points inside it or holds its data.
bool SelfContained(const QByteArray& svg) {
    QXmlStreamReader xml(svg);
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
            case QXmlStreamReader::DTD:
            case QXmlStreamReader::EntityReference:
                return false;
            case QXmlStreamReader::StartElement:
                for (const QXmlStreamAttribute& attribute : xml.attributes()) {
                    if (attribute.name() != u"href") continue;
                    const QStringView link = attribute.value().trimmed();
                    if (!link.startsWith(u'#') && !link.startsWith(u"data:", Qt::CaseInsensitive))
                        return false;
                }
                break;
            default:
                break;
        }
    }
    return !xml.hasError();
}

QByteArray Png(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray Frame() {
    QImage image(kFrameSide, kFrameSide, QImage::Format_RGB32);
    image.fill(QColor(0xE0, 0xE0, 0xE0));
    for (int i = 0; i < kFrameSide; ++i)
        for (const auto& [x, y] : {std::pair{i, 0}, std::pair{i, kFrameSide - 1}, std::pair{0, i},
                                   std::pair{kFrameSide - 1, i}})
            image.setPixel(x, y, qRgb(0x80, 0x80, 0x80));
    return Png(image);
}

}  // namespace

QByteArray SvgStandIn(const QByteArray& svg) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()) || !SelfContained(svg))
        return Frame();
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) return Frame();
    QSizeF size = renderer.defaultSize();
    if (size.isEmpty()) size = renderer.viewBoxF().size();
    if (!(size.width() > 0 && size.height() > 0 && qIsFinite(size.width()) &&
          qIsFinite(size.height())))
        return Frame();
    const double scale = std::min(1.0, kLongestSide / std::max(size.width(), size.height()));
    const QSize pixels(std::max(1, int(std::lround(size.width() * scale))),
                       std::max(1, int(std::lround(size.height() * scale))));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        renderer.render(&painter);
    }
    const QByteArray png = Png(image);
    return png.isEmpty() ? Frame() : png;
}

void InstallSvgStandIn() {
    SetSvgDrawer(&SvgStandIn);
}

}  // namespace scrivane
