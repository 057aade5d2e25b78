#include "grading/ui/sheetview.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>

namespace scrivane {

const QColor SheetView::kMarked(30, 110, 220, 120);
const QColor SheetView::kDoubt(230, 120, 0, 150);

class SheetCanvas : public QWidget {
public:
    explicit SheetCanvas(SheetView& view) : view_(view) {
        setObjectName(QStringLiteral("SheetCanvas"));
        setCursor(Qt::PointingHandCursor);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().base());
        if (view_.image_.isNull()) {
            painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, view_.empty_);
            return;
        }
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(view_.zoom_, view_.zoom_);
        painter.drawImage(0, 0, view_.image_);
        for (const ViewBubble& b : view_.bubbles_) {
            const QPointF centre = view_.toPixels_.map(b.bubble.centre);
            const double r = view_.toPixels_.map(QLineF(0, 0, b.bubble.r, 0)).length();
            QColor outline = b.look == ViewBubble::Look::Doubt ? SheetView::kDoubt.darker()
                                                               : QColor(30, 110, 220);
            painter.setPen(QPen(outline, std::max(1.0, r / 6)));
            painter.setBrush(b.look == ViewBubble::Look::Marked  ? QBrush(SheetView::kMarked)
                             : b.look == ViewBubble::Look::Doubt ? QBrush(SheetView::kDoubt)
                                                                 : Qt::NoBrush);
            painter.drawEllipse(centre, r * 1.15, r * 1.15);
        }
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton || view_.image_.isNull()) return;
        const QPointF at = event->position() / view_.zoom_;
        int best = -1;
        double bestDistance = 0;
        for (std::size_t i = 0; i < view_.bubbles_.size(); ++i) {
            const ViewBubble& b = view_.bubbles_[i];
            const QPointF centre = view_.toPixels_.map(b.bubble.centre);
            const double r = view_.toPixels_.map(QLineF(0, 0, b.bubble.r, 0)).length();
            const double d = QLineF(centre, at).length();
            if (d <= r * 1.3 && (best < 0 || d < bestDistance)) {
                best = int(i);
                bestDistance = d;
            }
        }
        if (best >= 0) emit view_.BubbleClicked(best);
    }

private:
    SheetView& view_;
};

SheetView::SheetView(QWidget* parent) : QScrollArea(parent) {
    setObjectName(QStringLiteral("ViewSheet"));
    setWidget(new SheetCanvas(*this));
    setAlignment(Qt::AlignCenter);
    setFocusPolicy(Qt::StrongFocus);
    setToolTip(QStringLiteral("Click a bubble to mark or unmark it; Ctrl+wheel or + and - zoom"));
    Clear();
}

void SheetView::Show(const QImage& upright, const QTransform& toPixels,
                     std::vector<ViewBubble> bubbles) {
    image_ = upright;
    toPixels_ = toPixels;
    bubbles_ = std::move(bubbles);
    Resize();
}

void SheetView::ShowLooks(const std::vector<ViewBubble::Look>& looks) {
    for (std::size_t i = 0; i < bubbles_.size() && i < looks.size(); ++i)
        bubbles_[i].look = looks[i];
    widget()->update();
}

void SheetView::Clear(const QString& why) {
    image_ = QImage();
    bubbles_.clear();
    empty_ = why;
    Resize();
}

void SheetView::SetZoom(double zoom) {
    zoom_ = std::clamp(zoom, 0.1, 4.0);
    Resize();
}

QPoint SheetView::BubbleAt(int index) const {
    const QPointF centre = toPixels_.map(bubbles_.at(std::size_t(index)).bubble.centre);
    return (centre * zoom_).toPoint();
}

void SheetView::Resize() {
    if (image_.isNull())
        widget()->resize(viewport()->size());
    else
        widget()->resize((QSizeF(image_.size()) * zoom_).toSize());
    widget()->update();
}

void SheetView::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) return QScrollArea::wheelEvent(event);
    SetZoom(zoom_ * (event->angleDelta().y() > 0 ? 1.25 : 0.8));
}

void SheetView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Plus || event->key() == Qt::Key_Equal)
        SetZoom(zoom_ * 1.25);
    else if (event->key() == Qt::Key_Minus)
        SetZoom(zoom_ * 0.8);
    else
        QScrollArea::keyPressEvent(event);
}

}  // namespace scrivane
