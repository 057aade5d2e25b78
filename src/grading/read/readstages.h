// The sheet reader's stages, in the order a page goes through them: prepare
// the page, locate the markers and the code, register the sheet (where every
// point of its layout stands on the page), calibrate the ink (the paper's
// white and the print's black), classify each bubble. Which sheet it is (the
// code checked against the paper) sits between locating and registering, in
// the reader itself, as it needs the paper. Private to the reading library.
#pragma once

#include <QImage>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cmath>
#include <opencv2/core.hpp>
#include <optional>
#include <vector>

#include "grading/read/pageread.h"
#include "grading/read/scanfilereader.h"
#include "print/layout/answersheet.h"

namespace scrivane::sheetread {

// Bubbles are judged on the page turned upright at this resolution: a
// bubble's inside is then some 400 pixels, enough to tell a dot from a fill.
constexpr double kUprightDpi = 150;
constexpr double kUprightScale = kUprightDpi / 72;

// A grey QImage's pixels as an OpenCV matrix, without copying.
inline cv::Mat Wrap(const QImage& grey) {
    return cv::Mat(grey.height(), grey.width(), CV_8UC1, const_cast<uchar*>(grey.constBits()),
                   std::size_t(grey.bytesPerLine()));
}

inline double Dist(cv::Point2f a, cv::Point2f b) {
    return std::hypot(double(a.x - b.x), double(a.y - b.y));
}

// A point carried by a homography. Defined out of line: inlined, the
// compiler may keep the quotient unrounded, and placements would differ in
// their last bits from one caller to another.
cv::Point2f Apply(const cv::Matx33d& h, cv::Point2f p);

// Image pixels per layout point near a point of the layout.
inline double ScaleAt(const cv::Matx33d& h, cv::Point2f p) {
    const cv::Point2f a = Apply(h, p);
    return std::sqrt(Dist(a, Apply(h, p + cv::Point2f(1, 0))) *
                     Dist(a, Apply(h, p + cv::Point2f(0, 1))));
}

inline cv::Point2f ToPoint(const QPointF& p) {
    return cv::Point2f(float(p.x()), float(p.y()));
}

// The mean grey of a region (points) of an upright page at `scale` pixels a
// point, or -1 when the region is not all on the page.
inline double MeanIn(const cv::Mat& upright, double scale, const QRectF& r) {
    const cv::Rect pixels(int(r.x() * scale), int(r.y() * scale),
                          std::max(1, int(r.width() * scale)),
                          std::max(1, int(r.height() * scale)));
    if ((pixels & cv::Rect(0, 0, upright.cols, upright.rows)) != pixels) return -1;
    return cv::mean(upright(pixels))[0];
}

// The paper's white in a region (points) of an upright page: the grey that
// nine tenths of its pixels are darker than, which a mark or print beside
// cannot darken. 0 off the page.
inline double PaperIn(const cv::Mat& upright, double scale, const QRectF& r) {
    const cv::Rect pixels =
        cv::Rect(int(r.x() * scale), int(r.y() * scale), std::max(1, int(r.width() * scale)),
                 std::max(1, int(r.height() * scale))) &
        cv::Rect(0, 0, upright.cols, upright.rows);
    if (pixels.area() == 0) return 0;
    cv::Mat values = upright(pixels).clone().reshape(1, 1);
    cv::sort(values, values, cv::SORT_ASCENDING);
    return values.at<uchar>(0, int(values.cols * 0.9));
}

// The part of the image that shows `rect` (points), upright at `scale` pixels
// per point.
cv::Mat WarpRegion(const cv::Mat& image, const cv::Matx33d& toImage, const QRectF& rect,
                   double scale);

// Prepare: the page in grey with its long side at most kWorkLongSide, or
// nothing with the reason in *reasons (an empty or tiny page).
std::optional<cv::Mat> Prepare(const ScanImage& page, QStringList* reasons);

// A square-looking dark shape of about the markers' size: a marker, perhaps.
struct SquareShape {
    cv::Point2f centre;
    double side = 0;
    bool hollow = false;
};

// The four markers in the layout's order (top-left, top-right, bottom-right,
// bottom-left of the upright page), in image pixels; one of them may have
// been placed from the other three.
struct Corners {
    std::array<cv::Point2f, 4> points;
};

// Locate: what the page shows of the sheet before it is known which sheet it
// is: its marker-like squares, the four markers chosen against the layouts of
// each paper size, and the code.
struct Located {
    std::vector<SquareShape> squares;
    std::optional<Corners> corners;
    int sizeIndex = 0;  // of the provisional layouts that the corners fit
    std::optional<SheetCode> code;
    // The code's corners on the page, as printed: top-left, top-right,
    // bottom-right, bottom-left.
    std::optional<std::array<cv::Point2f, 4>> codeSeen;
};
// provisional: the markers and code of every version, A4 and Letter.
Located Locate(const cv::Mat& work, const std::array<SheetPageLayout, 2>& provisional);

// The layout points to image pixels of the markers chosen.
cv::Matx33d MarkersToImage(const SheetPageLayout& layout, const Corners& corners);

// The version from its row of squares, or an empty text when they say none.
QString ReadVersionSquares(const cv::Mat& image, const cv::Matx33d& toImage, const QRectF& squares);

// Register: where the sheet stands on the page, by every reference the
// picture shows (the markers, the code's corners and the printed rings of
// the bubbles), and whether that is sure.
struct Placement {
    cv::Matx33d toImage;                                // layout points to page pixels
    cv::Mat upright;                                    // the page turned upright by toImage
    std::array<std::optional<cv::Point2f>, 4> markers;  // those it rests on
    // Per bubble: its ring's centre from where the layout puts it (points).
    std::vector<std::optional<QPointF>> offsets;
    bool sure = false;
};
// Nothing when neither markers nor the code's corners place the sheet.
std::optional<Placement> Register(const cv::Mat& work, const Located& found,
                                  const SheetPageLayout& layout);

// Calibrate ink: what white and black look like on this page.
struct Ink {
    // The paper's white around each point of the upright page, at a quarter
    // of its resolution: uneven light and a copier's grey.
    cv::Mat paper;
    // How dark the printed black came out, 0.2 to 1: a copy of a copy prints
    // marks as faintly as its markers.
    double black = 1;
};
Ink CalibrateInk(const Placement& placement, const SheetPageLayout& layout);

// How dark the inside of a bubble is, beyond white.
struct Darkness {
    double dark = 0;    // mean darkness
    double strong = 0;  // share of strongly dark pixels
};
// The bubbles of the blank sheet, as printed: what a scan shows beyond them
// is the student's.
struct BlankSheet {
    std::vector<Darkness> bubbles;  // in the order of the layout's bubbles
};
// render: the blank sheet drawn upright at kUprightDpi, grey.
BlankSheet MeasureBlank(const QImage& render, const SheetPageLayout& layout);

// Classify: each bubble marked, empty or unclear against the blank sheet,
// light pencil judged again against the sheet's own marks, and every bubble
// unclear on a sheet not placed surely. `work` is the page searched.
std::vector<BubbleRead> Classify(const cv::Mat& work, const Placement& placement, const Ink& ink,
                                 const SheetPageLayout& layout, const BlankSheet& blank);

}  // namespace scrivane::sheetread
