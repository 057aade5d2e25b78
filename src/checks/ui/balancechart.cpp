#include "checks/ui/balancechart.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace scrivane {

BalanceChart::BalanceChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ChartBalance"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void BalanceChart::SetBalance(const AnswerBalance& balance) {
    balance_ = balance;
    QStringList tip;
    for (int i = 0; i < balance_.letters; ++i)
        tip << QStringLiteral("%1: %2 (about %3 expected)")
                   .arg(QChar(u'A' + i))
                   .arg(balance_.counts[std::size_t(i)])
                   .arg(qRound(balance_.expected[std::size_t(i)]));
    setToolTip(tip.join(u'\n'));
    update();
}

QSize BalanceChart::sizeHint() const {
    return {320, 180};
}

QSize BalanceChart::minimumSizeHint() const {
    return {160, 100};
}

void BalanceChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    painter.fillRect(rect(), pal.base());

    const QFontMetrics fm = fontMetrics();
    const int letters = balance_.letters;
    const int textHeight = fm.height();
    const QRect plot = rect().adjusted(8, textHeight + 6, -8, -(textHeight + 6));
    if (plot.width() <= 0 || plot.height() <= 0) return;

    double top = 1;
    for (int i = 0; i < letters; ++i)
        top = std::max(
            {top, double(balance_.counts[std::size_t(i)]), balance_.expected[std::size_t(i)]});
    const auto yOf = [&](double value) { return plot.bottom() - value / top * plot.height(); };

    const double slot = double(plot.width()) / letters;
    const double barWidth = slot * 0.6;
    const QColor normal = pal.color(QPalette::Highlight);
    const QColor off(0xD0, 0x30, 0x30);
    for (int i = 0; i < letters; ++i) {
        const int count = balance_.counts[std::size_t(i)];
        const bool isOff = std::find(balance_.offLetters.begin(), balance_.offLetters.end(), i) !=
                           balance_.offLetters.end();
        const double x = plot.left() + slot * i + (slot - barWidth) / 2;
        const QRectF bar(x, yOf(count), barWidth, plot.bottom() - yOf(count));
        painter.fillRect(bar, isOff ? off : normal);

        // The expected count, as a dashed line across the bar's slot.
        const double expectedY = yOf(balance_.expected[std::size_t(i)]);
        painter.setPen(QPen(pal.color(QPalette::Text), 1.5, Qt::DashLine));
        painter.drawLine(QPointF(x - 4, expectedY), QPointF(x + barWidth + 4, expectedY));

        painter.setPen(pal.color(QPalette::Text));
        const QRectF slotRect(plot.left() + slot * i, 0, slot, height());
        painter.drawText(QRectF(slotRect.left(), plot.bottom() + 3, slot, textHeight),
                         Qt::AlignCenter, QString(QChar(u'A' + i)));
        painter.drawText(QRectF(slotRect.left(), bar.top() - textHeight - 2, slot, textHeight),
                         Qt::AlignCenter, QString::number(count));
    }
    painter.setPen(pal.color(QPalette::Mid));
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
}

}  // namespace scrivane
