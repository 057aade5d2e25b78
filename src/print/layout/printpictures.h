// Pictures on the printed page: each made ready once however often it is
// printed (so a PDF holds each picture once), sized to the room it has, and
// drawn inside the print's text documents as an object of their own, an SVG
// as vectors.
#pragma once

#include <QHash>
#include <QObject>
#include <QSizeF>
#include <QTextCharFormat>
#include <QTextObjectInterface>
#include <memory>
#include <optional>
#include <vector>

#include "core/pictures.h"

class QPainter;
class QTextDocument;

namespace scrivane {

class PrintPictures : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    static constexpr int kObjectType = QTextFormat::UserObject + 33;
    // The picture's height in device pixels, in the format Format gives.
    static constexpr int kHeightProperty = QTextFormat::UserProperty + 3;

    PrintPictures();
    ~PrintPictures() override;

    // Lets the document's layout draw the pictures inserted with Format.
    void Attach(QTextDocument* document);

    // The character that stands for the picture in a line `width` device
    // pixels wide, no taller than `height`, on a device of `dpi`: scaled down
    // to fit, never enlarged past its own size (a bitmap's pixels at 300 to
    // the inch, an SVG's width and height as it states them), its aspect
    // kept. Nothing when the picture cannot be drawn.
    std::optional<QTextCharFormat> Format(const Picture& picture, double width, double height,
                                          double dpi);

    // Draws the picture as large as fits in `box`, centred, its aspect kept;
    // false when it cannot be drawn.
    bool DrawFitted(QPainter& painter, const Picture& picture, const QRectF& box);

    QSizeF intrinsicSize(QTextDocument* document, int position, const QTextFormat& format) override;
    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* document, int position,
                    const QTextFormat& format) override;

private:
    struct Prepared;
    // The index of the picture made ready, -1 when it cannot be drawn.
    int Prepare(const Picture& picture);
    void Draw(QPainter& painter, const Prepared& prepared, const QRectF& rect) const;

    std::vector<std::unique_ptr<Prepared>> prepared_;
    QHash<QByteArray, int> index_;  // by the picture's bytes
};

}  // namespace scrivane
