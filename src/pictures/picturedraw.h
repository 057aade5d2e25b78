// Drawing a kept picture again: its size, a thumbnail, and the picture in a
// rectangle of any painter (a widget, an image, a printer or a PDF), an SVG
// as vectors. A picture is checked again before it is drawn, so a picture
// read from a hostile file is drawn as nothing, never followed.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QSize>

#include "core/pictures.h"

namespace scrivane {

// Its own size in pixels (an SVG's default size); empty when it cannot be
// drawn.
QSize PictureSize(const Picture& picture);

// The picture decoded for the screen, scaled down (never up) to fit within
// bound with its aspect kept; null when it cannot be drawn.
QImage PictureImage(const Picture& picture, QSize bound);

// Draws the picture filling target (the caller keeps the aspect, see
// FitPicture); an SVG is drawn as vectors. False, with nothing drawn, when
// the picture cannot be drawn.
bool DrawPicture(QPainter& painter, const QRectF& target, const Picture& picture);

// The largest size of natural's aspect within bound, never larger than
// natural times maxScale.
QSizeF FitPicture(QSizeF natural, QSizeF bound, double maxScale = 1.0);

}  // namespace scrivane
