// Dialogs scale with the window that owns them, and fit the screen they are
// shown on: a dialog too tall for the screen scrolls.
#pragma once

#include <QRect>

class QDialog;
class QWidget;

namespace scrivane {

// The property through which a window tells the scale of its layout (its
// font factor) to the dialogs it owns.
inline constexpr const char* kLayoutScaleProperty = "layoutScale";

// The layout scale of the window that owns widget; 1 when none is told.
double OwnerLayoutScale(const QWidget& widget);

// Scales a dialog designed at factor 1 by scale (positions, sizes and fonts)
// and, where it is still taller or wider than available, puts its contents
// into a scroll area that fits. Run once, before the dialog is shown.
void FitDialog(QDialog& dialog, double scale, const QRect& available);

}  // namespace scrivane
