// Taking a picture in: a file, or an image from the clipboard, becomes a
// Picture, or is refused with the reason and nothing kept. PNG and JPEG are
// kept as their bytes, a GIF as its first frame in PNG, an SVG as its bytes
// once it passes the check; a file over the size limit is not read at all
// and an image over the pixel limit is refused from its header, before it
// is decoded.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include "core/pictures.h"

namespace scrivane {

struct PictureTaken {
    Picture picture;  // valid when error is empty
    QString error;    // a whole sentence naming the picture
    bool Ok() const { return error.isEmpty(); }
};

// The picture of a file.
PictureTaken TakePictureFile(const QString& path);
// The picture of bytes read elsewhere; name is the name it came with.
PictureTaken TakePictureData(const QByteArray& data, const QString& name);
// A clipboard image, kept as PNG.
PictureTaken TakePictureImage(const QImage& image, const QString& name = {});

// The file-name patterns of the pictures taken, for a file dialog
// ("Description (patterns)|patterns").
QString PictureFileFilter();
// Whether a file's name ends as a picture's does (.png, .jpg, .jpeg, .gif,
// .svg), for a drop that may be a picture or a paper.
bool HasPictureSuffix(const QString& path);

}  // namespace scrivane

namespace scrivane {

// The format of a picture's bytes, told by their content: "png", "jpeg",
// "gif", "svg", or empty for anything else.
QString PictureFormatOf(const QByteArray& data);

// Decodes a PNG, JPEG or GIF (its first frame), its size read from the
// header and checked against the pixel limit first; a null image, with why
// set to the end of a sentence, when it is refused or damaged.
QImage DecodeRasterPicture(const QByteArray& data, const QString& format, QString* why);

}  // namespace scrivane
