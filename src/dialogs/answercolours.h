// The colours the answer entry windows mark choices with: green for a chosen
// letter, red for a warning, the button face for anything not chosen.
#pragma once

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <QWidget>

namespace scrivane {

inline const QColor kChosenGreen{0, 255, 0};
inline const QColor kWarningRed{255, 0, 0};
inline const QColor kLabelBlack{0, 0, 0};

inline QColor ButtonFace() {
    return QApplication::palette().color(QPalette::Button);
}

// The back colour of a check box, option button or label, painted by the
// widget itself so that it shows whatever the style. Buttons fill with the
// Button role and labels with Window; both carry the colour.
inline void SetBackColour(QWidget& w, const QColor& colour) {
    QPalette p = w.palette();
    p.setColor(QPalette::Window, colour);
    p.setColor(QPalette::Button, colour);
    w.setPalette(p);
    w.setAutoFillBackground(true);
}

inline void SetForeColour(QWidget& w, const QColor& colour) {
    QPalette p = w.palette();
    p.setColor(QPalette::WindowText, colour);
    w.setPalette(p);
}

}  // namespace scrivane
