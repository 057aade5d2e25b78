#include "pictures/picturedraw.h"

#include <QSvgRenderer>
#include <algorithm>

#include "core/paperrules.h"
#include "pictures/pictureload.h"
#include "pictures/svgcheck.h"

namespace scrivane {

namespace {

bool IsSvg(const Picture& picture) {
    return picture.Format == u"svg";
}

// A renderer of a checked SVG, or none. Its bytes are checked every time:
// a picture may come from a file that was never taken in by the editor.
bool LoadSvg(const Picture& picture, QSvgRenderer& renderer) {
    if (picture.Data.size() > kMaxPictureFileBytes || !SvgRefusal(picture.Data).isEmpty())
        return false;
    return renderer.load(picture.Data) && renderer.isValid();
}

QImage Decode(const Picture& picture) {
    if (picture.Data.size() > kMaxPictureFileBytes) return {};
    const QString format = PictureFormatOf(picture.Data);
    if (format.isEmpty() || format == u"svg") return {};
    QString why;
    return DecodeRasterPicture(picture.Data, format, &why);
}

}  // namespace

QSizeF FitPicture(QSizeF natural, QSizeF bound, double maxScale) {
    if (natural.isEmpty() || bound.isEmpty()) return {};
    const double scale =
        std::min({bound.width() / natural.width(), bound.height() / natural.height(), maxScale});
    return natural * scale;
}

QSize PictureSize(const Picture& picture) {
    if (IsSvg(picture)) {
        QSvgRenderer renderer;
        return LoadSvg(picture, renderer) ? renderer.defaultSize() : QSize();
    }
    return Decode(picture).size();
}

QImage PictureImage(const Picture& picture, QSize bound) {
    if (IsSvg(picture)) {
        QSvgRenderer renderer;
        if (!LoadSvg(picture, renderer)) return {};
        QSize natural = renderer.defaultSize();
        if (natural.isEmpty()) natural = bound;
        const QSize size = FitPicture(natural, bound).toSize().expandedTo(QSize(1, 1));
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter, QRectF(QPointF(0, 0), size));
        return image;
    }
    const QImage image = Decode(picture);
    if (image.isNull()) return {};
    if (image.width() <= bound.width() && image.height() <= bound.height()) return image;
    return image.scaled(bound, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

bool DrawPicture(QPainter& painter, const QRectF& target, const Picture& picture) {
    if (IsSvg(picture)) {
        QSvgRenderer renderer;
        if (!LoadSvg(picture, renderer)) return false;
        renderer.render(&painter, target);
        return true;
    }
    const QImage image = Decode(picture);
    if (image.isNull()) return false;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image);
    painter.restore();
    return true;
}

}  // namespace scrivane
