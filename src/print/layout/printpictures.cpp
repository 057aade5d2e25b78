#include "print/layout/printpictures.h"

#include <QAbstractTextDocumentLayout>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextDocument>
#include <algorithm>

#include "core/paperrules.h"
#include "pictures/pictureload.h"
#include "pictures/svgcheck.h"

namespace scrivane {

namespace {

constexpr int kIndex = QTextFormat::UserProperty + 1;
constexpr int kWidth = QTextFormat::UserProperty + 2;
constexpr int kHeight = PrintPictures::kHeightProperty;

constexpr double kBitmapDpi = 300;  // a bitmap's own size on paper
constexpr double kSvgDpi = 96;      // an SVG's pixels are CSS pixels
// No page prints wider or taller than this: a photo of more pixels is made
// smaller once, to 300 to the inch at this size, before the PDF takes it.
constexpr QSize kMaxPrintedPixels(int(7.5 * kBitmapDpi), int(10 * kBitmapDpi));

}  // namespace

struct PrintPictures::Prepared {
    QImage image;
    std::unique_ptr<QSvgRenderer> svg;
    QSizeF inches;  // its own size on paper
    bool lossless = true;
};

PrintPictures::PrintPictures() = default;
PrintPictures::~PrintPictures() = default;

void PrintPictures::Attach(QTextDocument* document) {
    document->documentLayout()->registerHandler(kObjectType, this);
}

int PrintPictures::Prepare(const Picture& picture) {
    if (const auto found = index_.constFind(picture.Data); found != index_.constEnd())
        return *found;
    auto prepared = std::make_unique<Prepared>();
    bool ok = false;
    // Checked as every picture is before it is drawn: an SVG that reaches
    // outside itself is not drawn, nor a bitmap past the limits.
    if (picture.Format == u"svg") {
        if (SvgRefusal(picture.Data).isEmpty()) {
            prepared->svg = std::make_unique<QSvgRenderer>(picture.Data);
            const QSizeF size = prepared->svg->defaultSize();
            ok = prepared->svg->isValid() && !size.isEmpty();
            prepared->inches = size / kSvgDpi;
        }
    } else if (picture.Data.size() <= kMaxPictureFileBytes) {
        QString why;
        prepared->image = DecodeRasterPicture(picture.Data, PictureFormatOf(picture.Data), &why);
        if (!prepared->image.isNull()) {
            ok = true;
            prepared->inches = QSizeF(prepared->image.size()) / kBitmapDpi;
            if (prepared->image.width() > kMaxPrintedPixels.width() ||
                prepared->image.height() > kMaxPrintedPixels.height())
                prepared->image = prepared->image.scaled(kMaxPrintedPixels, Qt::KeepAspectRatio,
                                                         Qt::SmoothTransformation);
            // A photograph may be compressed as one; a diagram stays sharp.
            prepared->lossless = picture.Format != u"jpeg";
        }
    }
    const int index = ok ? int(prepared_.size()) : -1;
    if (ok) prepared_.push_back(std::move(prepared));
    index_.insert(picture.Data, index);
    return index;
}

std::optional<QTextCharFormat> PrintPictures::Format(const Picture& picture, double width,
                                                     double height, double dpi) {
    const int index = Prepare(picture);
    if (index < 0) return std::nullopt;
    const QSizeF own = prepared_[std::size_t(index)]->inches * dpi;
    const double scale = std::min({1.0, width / own.width(), height / own.height()});
    QTextCharFormat format;
    format.setObjectType(kObjectType);
    format.setProperty(kIndex, index);
    format.setProperty(kWidth, own.width() * scale);
    format.setProperty(kHeight, own.height() * scale);
    return format;
}

bool PrintPictures::DrawFitted(QPainter& painter, const Picture& picture, const QRectF& box) {
    const int index = Prepare(picture);
    if (index < 0) return false;
    const Prepared& prepared = *prepared_[std::size_t(index)];
    const QSizeF size = prepared.inches.scaled(box.size(), Qt::KeepAspectRatio);
    Draw(painter, prepared,
         QRectF(box.center() - QPointF(size.width(), size.height()) / 2, size));
    return true;
}

QSizeF PrintPictures::intrinsicSize(QTextDocument*, int, const QTextFormat& format) {
    return {format.doubleProperty(kWidth), format.doubleProperty(kHeight)};
}

void PrintPictures::drawObject(QPainter* painter, const QRectF& rect, QTextDocument*, int,
                               const QTextFormat& format) {
    const int index = format.intProperty(kIndex);
    if (index >= 0 && index < int(prepared_.size()))
        Draw(*painter, *prepared_[std::size_t(index)], rect);
}

void PrintPictures::Draw(QPainter& painter, const Prepared& prepared, const QRectF& rect) const {
    painter.save();
    if (prepared.svg) {
        // As vectors: the PDF holds the drawing, not a bitmap of it.
        prepared.svg->render(&painter, rect);
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setRenderHint(QPainter::LosslessImageRendering, prepared.lossless);
        // The same image every time, so that a PDF holds it once.
        painter.drawImage(rect, prepared.image);
    }
    painter.restore();
}

}  // namespace scrivane
