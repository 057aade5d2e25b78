// The picture of one scanned sheet, turned upright and zoomable, with every
// bubble outlined where it was read: marked ones filled in one colour,
// unclear and multiple ones in another. A click on a bubble is reported; so
// are Space, M and E on the bubble the arrow keys chose.
#pragma once

#include <QImage>
#include <QScrollArea>
#include <QTransform>
#include <vector>

#include "core/answercode.h"
#include "print/layout/answersheet.h"

namespace scrivane {

struct ViewBubble {
    SheetBubble bubble;     // where, in the layout's points
    int question = 0;       // answer: the paper's question, from 1
    AnswerMask option = 0;  // answer: the paper's letter of this bubble
    enum class Look { Empty, Marked, Doubt };
    Look look = Look::Empty;
};

class SheetView : public QScrollArea {
    Q_OBJECT
public:
    explicit SheetView(QWidget* parent = nullptr);

    // upright: the page; toPixels: layout points to its pixels.
    void Show(const QImage& upright, const QTransform& toPixels, std::vector<ViewBubble> bubbles);
    void ShowLooks(const std::vector<ViewBubble::Look>& looks);
    void Clear(const QString& why = {});
    const std::vector<ViewBubble>& Bubbles() const { return bubbles_; }
    double Zoom() const { return zoom_; }
    void SetZoom(double zoom);
    // Where bubble index is drawn, in the canvas's pixels (tests click there).
    QPoint BubbleAt(int index) const;
    QWidget* Canvas() const { return widget(); }

    static const QColor kMarked;
    static const QColor kDoubt;

    // The bubble the keys act on (drawn with a ring while the view has
    // focus); -1 for none.
    int CurrentBubble() const { return current_; }
    void SetCurrentBubble(int index);
    // Zooms in on the bubbles (indexes into Bubbles()) and scrolls them into
    // the middle of the view; the first becomes the current bubble.
    void ShowBubbles(const std::vector<int>& indexes);

signals:
    // A click on a bubble, or Space on the current one.
    void BubbleClicked(int index);
    // M (marked) or E (empty) on the current bubble.
    void BubbleSet(int index, bool marked);

protected:
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    friend class SheetCanvas;
    void Resize();
    // The nearest bubble from the current one in the direction of the arrow.
    int Neighbour(int dx, int dy) const;

    QImage image_;
    QTransform toPixels_;
    std::vector<ViewBubble> bubbles_;
    QString empty_;
    double zoom_ = 0.5;
    int current_ = -1;
};

}  // namespace scrivane
