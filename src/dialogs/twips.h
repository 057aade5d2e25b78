// Window layouts are designed in twips (1440 to the inch); these turn them
// into pixels for the screen the widget is on.
#pragma once

#include <QRect>
#include <QWidget>
#include <QtMath>

namespace scrivane {

constexpr double kTwipsPerInch = 1440.0;

inline int TwipsToPixelsX(const QWidget& w, int twips) {
    return qRound(twips * w.logicalDpiX() / kTwipsPerInch);
}
inline int TwipsToPixelsY(const QWidget& w, int twips) {
    return qRound(twips * w.logicalDpiY() / kTwipsPerInch);
}
inline QSize TwipsSize(const QWidget& w, int width, int height) {
    return {TwipsToPixelsX(w, width), TwipsToPixelsY(w, height)};
}
inline QRect TwipsRect(const QWidget& w, int x, int y, int width, int height) {
    return {TwipsToPixelsX(w, x), TwipsToPixelsY(w, y), TwipsToPixelsX(w, width),
            TwipsToPixelsY(w, height)};
}

// Places a child at a twips rectangle, grown to its size hint where the
// design size is too small for the platform's font or indicator.
inline void PlaceAt(QWidget& child, const QWidget& ref, int x, int y, int width, int height) {
    QRect r = TwipsRect(ref, x, y, width, height);
    const QSize hint = child.sizeHint();
    if (hint.isValid()) r.setSize(r.size().expandedTo(hint));
    child.setGeometry(r);
}

}  // namespace scrivane
