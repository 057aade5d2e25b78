// Reading what a dialog shows: its controls by name and their colours.
#pragma once

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <QTest>
#include <QWidget>

namespace scrivane::test {

inline const QColor kGreen{0, 255, 0};
inline const QColor kRed{255, 0, 0};
inline const QColor kBlack{0, 0, 0};
inline QColor Face() {
    return QApplication::palette().color(QPalette::Button);
}

// The colour the widget fills its background with, as it is painted.
inline QColor Back(const QWidget* w) {
    if (!w->autoFillBackground()) return QColor();
    return w->palette().color(w->backgroundRole());
}
inline QColor Fore(const QWidget* w) {
    return w->palette().color(QPalette::WindowText);
}

// The named control, failing the test when it is missing.
template <typename T>
T* Control(const QWidget& window, const QString& name) {
    T* w = window.findChild<T*>(name);
    if (!w) qFatal("no control %s", qPrintable(name));
    return w;
}

}  // namespace scrivane::test
