#include "grading/ui/scorechart.h"

#include <QPainter>
#include <algorithm>

namespace scrivane {

ScoreChart::ScoreChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ChartScores"));
    setMinimumHeight(140);
}

void ScoreChart::Show(const std::vector<double>& percentages, const QStringList& absent) {
    std::fill(bins_.begin(), bins_.end(), 0);
    for (double p : percentages) ++bins_[std::size_t(std::clamp(int(p / 10), 0, 9))];
    absent_ = absent;
    setToolTip(absent.isEmpty()
                   ? QString()
                   : QStringLiteral("Absent: %1").arg(absent.join(QStringLiteral(", "))));
    update();
}

void ScoreChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const QFontMetrics metrics = fontMetrics();
    const int line = metrics.height();
    // The absent students take the lines under the axis they need.
    const QString absent = absent_.isEmpty() ? QString()
                                             : QStringLiteral("Absent (%1): %2")
                                                   .arg(absent_.size())
                                                   .arg(absent_.join(QStringLiteral(", ")));
    const QRect absentBox(4, height() - 2 * line - 2, width() - 8, 2 * line);
    const int bottom = height() - line - 4 - (absent.isEmpty() ? 0 : 2 * line);
    const int top = line;
    const int left = 4 + metrics.horizontalAdvance(QStringLiteral("000"));
    const int width = this->width() - left - 6;
    const int most = std::max(1, *std::max_element(bins_.begin(), bins_.end()));
    painter.setPen(palette().text().color());
    painter.drawLine(left, bottom, left + width, bottom);
    for (int i = 0; i < 10; ++i) {
        const int x = left + i * width / 10;
        const int w = width / 10 - 2;
        const int h = (bottom - top) * bins_[std::size_t(i)] / most;
        painter.fillRect(x + 1, bottom - h, w, h, QColor(30, 110, 220));
        if (bins_[std::size_t(i)] > 0)
            painter.drawText(QRect(x, bottom - h - line, w + 2, line), Qt::AlignCenter,
                             QString::number(bins_[std::size_t(i)]));
        painter.drawText(QRect(x - 10, bottom + 2, 20, line), Qt::AlignCenter,
                         QString::number(i * 10));
    }
    painter.drawText(QRect(left + width - 20, bottom + 2, 30, line), Qt::AlignCenter,
                     QStringLiteral("100"));
    painter.drawText(QRect(0, 0, this->width(), line), Qt::AlignCenter,
                     QStringLiteral("Sheets by percentage"));
    if (!absent.isEmpty()) painter.drawText(absentBox, Qt::AlignLeft | Qt::TextWordWrap, absent);
}

}  // namespace scrivane
