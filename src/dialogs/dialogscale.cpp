#include "dialogs/dialogscale.h"

#include <QDialog>
#include <QLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVariant>
#include <cmath>
#include <vector>

namespace scrivane {

namespace {

int Scaled(int value, double scale) {
    return int(std::lround(value * scale));
}

QRect Scaled(const QRect& r, double scale) {
    return {Scaled(r.x(), scale), Scaled(r.y(), scale), Scaled(r.width(), scale),
            Scaled(r.height(), scale)};
}

// Positions, sizes and fonts of the dialog's own design, scaled together.
void ScaleDesign(QDialog& dialog, double scale) {
    const QList<QWidget*> children = dialog.findChildren<QWidget*>();
    // Fonts set on a control keep their proportion to the dialog's font.
    std::vector<std::pair<QWidget*, double>> ownFonts;
    for (QWidget* w : children)
        if (w->testAttribute(Qt::WA_SetFont) && (w->font().resolveMask() & QFont::SizeResolved) &&
            w->font().pointSizeF() > 0)
            ownFonts.emplace_back(w, w->font().pointSizeF());
    QFont font = dialog.font();
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() * scale);
        dialog.setFont(font);
    }
    for (auto& [w, points] : ownFonts) {
        QFont own = w->font();
        own.setPointSizeF(points * scale);
        w->setFont(own);
    }
    // Controls placed by a layout follow it; the others are placed by hand.
    for (QWidget* w : children) {
        if (w->isWindow()) continue;
        const QWidget* parent = w->parentWidget();
        if (parent && parent->layout() && parent->layout()->indexOf(w) >= 0) continue;
        w->setGeometry(Scaled(w->geometry(), scale));
    }
    // The style draws the choices' marks at its own size unless told.
    const int mark = Scaled(dialog.style()->pixelMetric(QStyle::PM_IndicatorWidth), scale);
    dialog.setStyleSheet(dialog.styleSheet() +
                         QStringLiteral("QRadioButton::indicator, QCheckBox::indicator "
                                        "{ width: %1px; height: %1px; }")
                             .arg(mark));
    // A dialog with a layout sizes itself from its scaled contents.
    if (dialog.layout()) return;
    const QSize size(Scaled(dialog.width(), scale), Scaled(dialog.height(), scale));
    if (dialog.minimumSize() == dialog.maximumSize())
        dialog.setFixedSize(size);
    else
        dialog.resize(size);
}

// Moves the dialog's controls into a scroll area of the size that fits.
void Scroll(QDialog& dialog, const QSize& fit) {
    const QSize design = dialog.size();
    auto* body = new QWidget;
    body->setObjectName(QStringLiteral("ScrollBody"));
    for (QObject* child : dialog.children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w || w->isWindow()) continue;
        const QRect at = w->geometry();
        const bool hidden = w->isHidden();
        w->setParent(body);
        w->setGeometry(at);
        w->setHidden(hidden);
    }
    body->setFixedSize(design);
    auto* area = new QScrollArea(&dialog);
    area->setObjectName(QStringLiteral("ScrollArea"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidget(body);
    const bool fixed = dialog.minimumSize() == dialog.maximumSize();
    dialog.setMinimumSize(0, 0);
    dialog.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (fixed)
        dialog.setFixedSize(fit);
    else
        dialog.resize(fit);
    area->setGeometry(0, 0, fit.width(), fit.height());
    auto* layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(area);
}

}  // namespace

double OwnerLayoutScale(const QWidget& widget) {
    for (const QWidget* w = &widget; w; w = w->parentWidget()) {
        bool ok = false;
        const double scale = w->property(kLayoutScaleProperty).toDouble(&ok);
        if (ok && scale > 0) return scale;
    }
    return 1.0;
}

void FitDialog(QDialog& dialog, double scale, const QRect& available) {
    if (std::abs(scale - 1.0) > 0.01) ScaleDesign(dialog, scale);
    if (available.isEmpty()) return;
    // The frame the window manager adds is left free as well.
    const QSize room(available.width() - 16, available.height() - 48);
    QSize size = dialog.size();
    if (size.width() <= room.width() && size.height() <= room.height()) return;
    if (dialog.layout()) {
        // Its layout shrinks it as far as its contents let it.
        dialog.resize(size.boundedTo(room));
        return;
    }
    const int bar = dialog.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    // A scroll bar for one direction takes room from the other.
    if (size.height() > room.height()) size = {size.width() + bar, room.height()};
    if (size.width() > room.width())
        size = {room.width(), std::min(size.height() + bar, room.height())};
    Scroll(dialog, size);
}

}  // namespace scrivane
