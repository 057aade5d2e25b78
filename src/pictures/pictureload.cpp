#include "pictures/pictureload.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>

#include "core/paperrules.h"
#include "pictures/svgcheck.h"

namespace scrivane {

namespace {

QString Subject(const QString& name) {
    return name.isEmpty() ? QStringLiteral("The pasted picture")
                          : QStringLiteral("The picture %1").arg(name);
}

PictureTaken Refused(const QString& name, const QString& why) {
    return {{}, QStringLiteral("%1 %2.").arg(Subject(name), why)};
}

QString TooManyBytes(long long bytes) {
    return QStringLiteral("is too large: %1 MB, more than the %2 MB a picture may take")
        .arg(double(bytes) / (1024 * 1024), 0, 'f', 1)
        .arg(kMaxPictureFileBytes / (1024 * 1024));
}

QString TooManyPixels(QSize size) {
    return QStringLiteral(
               "is too large: %1 × %2 pixels, more than the %3 megapixels a picture may have")
        .arg(size.width())
        .arg(size.height())
        .arg(kMaxPicturePixels / 1000000);
}

bool TooLarge(QSize size) {
    return (long long)size.width() * size.height() > kMaxPicturePixels;
}

QByteArray AsPng(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    return writer.write(image) ? png : QByteArray();
}

QString WithSuffix(const QString& name, const QString& suffix) {
    if (name.isEmpty()) return name;
    const QFileInfo info(name);
    return info.completeBaseName() + u'.' + suffix;
}

}  // namespace

QString PictureFormatOf(const QByteArray& data) {
    if (data.startsWith("\x89PNG\r\n\x1a\n")) return QStringLiteral("png");
    if (data.startsWith("\xFF\xD8\xFF")) return QStringLiteral("jpeg");
    if (data.startsWith("GIF87a") || data.startsWith("GIF89a")) return QStringLiteral("gif");
    if (LooksLikeSvg(data)) return QStringLiteral("svg");
    return {};
}

QImage DecodeRasterPicture(const QByteArray& data, const QString& format, QString* why) {
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    // The format is the one told by the content: the reader never guesses
    // another (an SVG in particular is never drawn unchecked).
    QImageReader reader(&buffer, format.toLatin1());
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && TooLarge(size)) {
        *why = TooManyPixels(size);
        return {};
    }
    QImage image;
    if (!size.isValid() || !reader.read(&image) || image.isNull()) {
        *why =
            QStringLiteral("is damaged: it cannot be read as a %1 picture").arg(format.toUpper());
        return {};
    }
    return image;
}

PictureTaken TakePictureData(const QByteArray& data, const QString& name) {
    if (data.size() > kMaxPictureFileBytes) return Refused(name, TooManyBytes(data.size()));
    const QString format = PictureFormatOf(data);
    if (format.isEmpty())
        return Refused(name, QStringLiteral("is not a picture the paper can hold: only PNG, "
                                            "JPEG, GIF and SVG pictures are taken"));
    if (format == u"svg") {
        const QString why = SvgRefusal(data);
        if (!why.isEmpty()) return Refused(name, QStringLiteral("is not taken: the SVG ") + why);
        return {{data, format, name}, {}};
    }
    QString why;
    const QImage image = DecodeRasterPicture(data, format, &why);
    if (image.isNull()) return Refused(name, why);
    // A GIF is kept as its first frame; PNG and JPEG as they came.
    if (format == u"gif")
        return {{AsPng(image), QStringLiteral("png"), WithSuffix(name, "png")}, {}};
    return {{data, format, name}, {}};
}

PictureTaken TakePictureFile(const QString& path) {
    const QFileInfo info(path);
    const QString name = info.fileName();
    if (!info.isFile())
        return Refused(name.isEmpty() ? path : name,
                       QStringLiteral("cannot be taken: it is not a file"));
    // The size is known before anything is read.
    if (info.size() > kMaxPictureFileBytes) return Refused(name, TooManyBytes(info.size()));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Refused(name, QStringLiteral("cannot be read: %1").arg(file.errorString()));
    // Read at most one byte past the limit: a file that grew is still refused.
    const QByteArray data = file.read(kMaxPictureFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return Refused(name, QStringLiteral("cannot be read: %1").arg(file.errorString()));
    return TakePictureData(data, name);
}

PictureTaken TakePictureImage(const QImage& image, const QString& name) {
    if (image.isNull()) return Refused(name, QStringLiteral("is empty"));
    if (TooLarge(image.size())) return Refused(name, TooManyPixels(image.size()));
    const QByteArray png = AsPng(image);
    if (png.isEmpty()) return Refused(name, QStringLiteral("cannot be kept as PNG"));
    if (png.size() > kMaxPictureFileBytes) return Refused(name, TooManyBytes(png.size()));
    return {{png, QStringLiteral("png"), name}, {}};
}

QString PictureFileFilter() {
    return QStringLiteral(
        "Pictures (*.png *.jpg *.jpeg *.gif *.svg)|*.png *.jpg *.jpeg *.gif *.svg");
}

bool HasPictureSuffix(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == u"png" || suffix == u"jpg" || suffix == u"jpeg" || suffix == u"gif" ||
           suffix == u"svg";
}

}  // namespace scrivane
