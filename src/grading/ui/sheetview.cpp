#include "grading/ui/sheetview.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

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
        // The bubble the keys act on.
        if (view_.hasFocus() && view_.current_ >= 0 &&
            std::size_t(view_.current_) < view_.bubbles_.size()) {
            const ViewBubble& b = view_.bubbles_[std::size_t(view_.current_)];
            const QPointF centre = view_.toPixels_.map(b.bubble.centre);
            const double r = view_.toPixels_.map(QLineF(0, 0, b.bubble.r, 0)).length();
            painter.setPen(QPen(QColor(200, 0, 120), std::max(1.5, r / 4), Qt::DotLine));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(centre, r * 1.6, r * 1.6);
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
        view_.setFocus(Qt::MouseFocusReason);
        if (best >= 0) {
            view_.current_ = best;
            emit view_.BubbleClicked(best);
        }
    }

private:
    SheetView& view_;
};

SheetView::SheetView(QWidget* parent) : QScrollArea(parent) {
    setObjectName(QStringLiteral("ViewSheet"));
    setWidget(new SheetCanvas(*this));
    setAlignment(Qt::AlignCenter);
    setFocusPolicy(Qt::StrongFocus);
    setToolTip(
        QStringLiteral("Click a bubble to mark or unmark it; Ctrl+wheel or + and - zoom. "
                       "Arrow keys choose a bubble, Space marks or unmarks it, M marks it and "
                       "E empties it"));
    Clear();
}

void SheetView::Show(const QImage& upright, const QTransform& toPixels,
                     std::vector<ViewBubble> bubbles) {
    image_ = upright;
    toPixels_ = toPixels;
    bubbles_ = std::move(bubbles);
    current_ = bubbles_.empty() ? -1 : 0;
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
    current_ = -1;
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
    const int key = event->key();
    if (key == Qt::Key_Plus || key == Qt::Key_Equal) {
        SetZoom(zoom_ * 1.25);
    } else if (key == Qt::Key_Minus) {
        SetZoom(zoom_ * 0.8);
    } else if (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up ||
               key == Qt::Key_Down) {
        const int next = Neighbour(key == Qt::Key_Left    ? -1
                                   : key == Qt::Key_Right ? 1
                                                          : 0,
                                   key == Qt::Key_Up     ? -1
                                   : key == Qt::Key_Down ? 1
                                                         : 0);
        if (next >= 0) SetCurrentBubble(next);
    } else if (current_ >= 0 && key == Qt::Key_Space) {
        emit BubbleClicked(current_);
    } else if (current_ >= 0 && (key == Qt::Key_M || key == Qt::Key_E) &&
               !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        emit BubbleSet(current_, key == Qt::Key_M);
    } else {
        QScrollArea::keyPressEvent(event);
    }
}

bool SheetView::event(QEvent* event) {
    // The picture's keys come before the window's shortcuts while it has focus.
    if (event->type() == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (!image_.isNull() &&
            (key == Qt::Key_Space || key == Qt::Key_M || key == Qt::Key_E || key == Qt::Key_Plus ||
             key == Qt::Key_Minus || key == Qt::Key_Equal || key == Qt::Key_Left ||
             key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down)) {
            event->accept();
            return true;
        }
    }
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) widget()->update();
    return QScrollArea::event(event);
}

void SheetView::SetCurrentBubble(int index) {
    if (index < 0 || std::size_t(index) >= bubbles_.size()) return;
    current_ = index;
    const QPoint at = BubbleAt(index);
    ensureVisible(at.x(), at.y(), 60, 60);
    widget()->update();
}

int SheetView::Neighbour(int dx, int dy) const {
    if (current_ < 0 || std::size_t(current_) >= bubbles_.size()) return bubbles_.empty() ? -1 : 0;
    const QPointF from = bubbles_[std::size_t(current_)].bubble.centre;
    int best = -1;
    double bestScore = 0;
    for (std::size_t i = 0; i < bubbles_.size(); ++i) {
        const QPointF d = bubbles_[i].bubble.centre - from;
        // Along the arrow, and as little across it as can be.
        const double along = dx * d.x() + dy * d.y();
        const double across = std::abs(dx ? d.y() : d.x());
        if (along <= 0.5) continue;
        const double score = along + 4 * across;
        if (best < 0 || score < bestScore) {
            best = int(i);
            bestScore = score;
        }
    }
    return best;
}

void SheetView::ShowBubbles(const std::vector<int>& indexes) {
    QRectF area;
    for (int index : indexes) {
        if (index < 0 || std::size_t(index) >= bubbles_.size()) continue;
        const ViewBubble& b = bubbles_[std::size_t(index)];
        const QPointF centre = toPixels_.map(b.bubble.centre);
        const double r = toPixels_.map(QLineF(0, 0, b.bubble.r, 0)).length();
        area |= QRectF(centre - QPointF(r, r), QSizeF(2 * r, 2 * r));
    }
    if (area.isNull()) return;
    // Close enough to judge a mark by, with the whole question in view.
    const double fit = std::min(viewport()->width() * 0.8 / std::max(1.0, area.width()),
                                viewport()->height() * 0.8 / std::max(1.0, area.height()));
    SetZoom(std::min(2.0, fit));
    const QPointF middle = area.center() * zoom_;
    ensureVisible(int(middle.x()), int(middle.y()), viewport()->width() / 2,
                  viewport()->height() / 2);
    current_ = indexes.front();
    widget()->update();
}

}  // namespace scrivane
