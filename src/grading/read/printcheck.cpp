#include "grading/read/printcheck.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "grading/read/readstages.h"
#include "print/versions/versions.h"

namespace scrivane {

namespace {

using sheetread::MeanIn;
using sheetread::PaperIn;

// The version the squares show, or an empty text when they cannot be told
// (a black end missing, a square neither black nor white).
QString SquaresVersion(const cv::Mat& upright, double scale, const QRectF& squares) {
    const double paper = PaperIn(
        upright, scale,
        squares.adjusted(-squares.height(), -squares.height(), squares.height(), squares.height()));
    if (paper < 1) return {};
    const double side = squares.width() / kVersionSquares;
    int index = 0;
    for (int i = 0; i < kVersionSquares; ++i) {
        const QRectF inside(squares.left() + side * (i + 0.3), squares.top() + side * 0.3,
                            side * 0.4, side * 0.4);
        const double grey = MeanIn(upright, scale, inside);
        if (grey < 0) return {};
        const double dark = 1 - grey / paper;
        // Between the two, the square is not told surely either way.
        if (dark > 0.3 && dark < 0.5) return {};
        const bool black = dark >= 0.5;
        if (i == 0 || i == kVersionSquares - 1) {
            if (!black) return {};
        } else {
            index = index * 2 + (black ? 1 : 0);
        }
    }
    return index < kMaxVersions ? VersionName(index) : QString();
}

// Whether a column of the student number grid is printed there: its ten
// rings darken the circle of their radius, where blank paper stays white.
// 1 printed, 0 not, -1 not told surely.
int ColumnPrinted(const cv::Mat& upright, double scale, const std::vector<SheetBubble>& column) {
    std::vector<double> rings;
    for (const SheetBubble& bubble : column) {
        const double paper =
            PaperIn(upright, scale,
                    QRectF(bubble.centre.x() - bubble.r * 1.6, bubble.centre.y() - bubble.r * 1.6,
                           bubble.r * 3.2, bubble.r * 3.2));
        if (paper < 1) return -1;
        // The darkest point across the ring's line, along 24 rays: a sheet
        // placed a pixel off still finds its ring.
        std::vector<double> along;
        for (int k = 0; k < 24; ++k) {
            const double angle = k * 2 * std::numbers::pi / 24;
            double darkest = 0;
            for (double f = 0.8; f <= 1.2001; f += 0.05) {
                const int x =
                    int(std::lround((bubble.centre.x() + std::cos(angle) * bubble.r * f) * scale));
                const int y =
                    int(std::lround((bubble.centre.y() + std::sin(angle) * bubble.r * f) * scale));
                if (x < 0 || y < 0 || x >= upright.cols || y >= upright.rows) return -1;
                darkest = std::max(darkest, 1 - upright.at<uchar>(y, x) / paper);
            }
            along.push_back(darkest);
        }
        std::nth_element(along.begin(), along.begin() + 12, along.end());
        rings.push_back(along[12]);
    }
    std::nth_element(rings.begin(), rings.begin() + long(rings.size() / 2), rings.end());
    const double ring = rings[rings.size() / 2];
    if (ring >= 0.22) return 1;
    if (ring <= 0.1) return 0;
    return -1;
}

// The student number's places the grid shows, counted from the left until a
// column is missing; -1 when a column cannot be told.
int GridPlaces(const cv::Mat& upright, double scale, const SheetPageLayout& layout, int expected) {
    // Where every column would stand: the grid grows to the right from the
    // same place whatever its size.
    const SheetPageLayout widest =
        LayOutAnswerSheet(PaperVersion{}, kMaxIdDigits, layout.size.width() > 600);
    std::vector<std::vector<SheetBubble>> columns(kMaxIdDigits);
    for (const SheetBubble& bubble : widest.bubbles)
        if (bubble.kind == SheetBubble::Kind::Student)
            columns[std::size_t(bubble.position)].push_back(bubble);
    // Past the grid's last column comes a gap before the version's text:
    // only the column that would stand in it is looked at.
    const int last = std::min(expected, kMaxIdDigits - 1);
    for (int position = 0; position <= last; ++position) {
        const int printed = ColumnPrinted(upright, scale, columns[std::size_t(position)]);
        if (printed < 0) return -1;
        if (printed == 0) return position;
    }
    return last + 1;
}

}  // namespace

QStringList PrintDisagreements(const cv::Mat& upright, double scale, const SheetPageLayout& layout,
                               const SheetCode& code) {
    QStringList reasons;
    const QString squares = SquaresVersion(upright, scale, layout.versionSquares);
    if (!squares.isEmpty() && squares != code.version)
        reasons << QStringLiteral("the code says version %1, the squares say %2")
                       .arg(code.version, squares);
    // A sheet without a grid prints the version's text where a first column
    // would stand: nothing to count there.
    if (code.idDigits > 0) {
        const int places = GridPlaces(upright, scale, layout, code.idDigits);
        if (places >= 0 && places != code.idDigits)
            reasons << QStringLiteral("the code says %1 student number places, the sheet shows %2")
                           .arg(code.idDigits)
                           .arg(places > code.idDigits ? QStringLiteral("more")
                                                       : QString::number(places));
    }
    return reasons;
}

}  // namespace scrivane
