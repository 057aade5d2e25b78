// Preparing the page and locating the sheet on it: the corner markers among
// the square shapes the page shows, and the code.
#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <opencv2/imgproc.hpp>

#include "grading/read/readstages.h"

namespace scrivane::sheetread {

namespace {

// Pages are searched at about 200 dpi whatever they were scanned at: the
// markers and bubbles are large enough, and a 600 dpi page costs no more.
constexpr int kWorkLongSide = 2400;
// A page whose short side has fewer pixels cannot show a sheet's bubbles.
constexpr int kMinWorkSide = 200;

// Square shapes are searched from half the markers' expected side to 1.7
// times it: that side is guessed from the page's pixels as if the page were
// all sheet, and scans are cut and photos framed unevenly.
constexpr double kSquareMinSide = 0.5, kSquareMaxSide = 1.7;
// Dark is darker than the mean of a window of 2.5 marker sides by this many
// grey levels: the marker stands out whole, paper grain and a copier's
// grey do not.
constexpr double kDarkOverWindow = 12;
// The side ratios under which a shape counts as square: the student
// number's writing boxes are taller than wide, markers are square.
constexpr double kSquareSides = 0.75;
// A solid shape covers this much of its simplified outline.
constexpr double kSolidCover = 0.8;
// A square fills all of its enclosing rectangle, a filled circle π/4 (0.785)
// of it: filled bubbles, whose outlines simplify to four points as well,
// stay under this.
constexpr double kSquareNotCircle = 0.84;
// A marker is solid with a hole under this share of its area (ink specks),
// hollow with one over the next (the printed frame leaves about half), and
// the hollow one holds nothing over the third (a QR finder pattern holds a
// square).
constexpr double kSolidHole = 0.08, kHollowHole = 0.12, kHollowInner = 0.05;

// The largest square shapes tried as markers: a noisy page may show many.
constexpr std::size_t kMaxMarkerShapes = 14;
// Four markers are printed the same size: the smallest of a set is at least
// this share of the largest, perspective and a torn edge allowed for.
constexpr double kMarkersAlike = 0.55;
// Three markers place the fourth when they stand at a right angle, within
// this cosine (about 11.5 degrees) for perspective.
constexpr double kRightAngleCosine = 0.2;

// A photo may show the sheet small, with the table around it: squares are
// searched again at this share of the expected size.
constexpr double kSmallSheet = 0.55;

// Square-looking dark shapes of about the markers' size: solid ones, and
// hollow ones whose hole holds nothing large (a QR finder pattern holds a
// square, so it is neither).
std::vector<SquareShape> FindSquares(const cv::Mat& grey, double expectedSide) {
    const double minSide = expectedSide * kSquareMinSide, maxSide = expectedSide * kSquareMaxSide;
    cv::Mat binary;
    int block = int(expectedSide * 2.5) | 1;
    block = std::max(block, 15);
    cv::adaptiveThreshold(grey, binary, 255, cv::ADAPTIVE_THRESH_MEAN_C, cv::THRESH_BINARY_INV,
                          block, kDarkOverWindow);
    std::vector<std::vector<cv::Point>> contours;
    std::vector<cv::Vec4i> hierarchy;
    cv::findContours(binary, contours, hierarchy, cv::RETR_TREE, cv::CHAIN_APPROX_SIMPLE);
    std::vector<SquareShape> found;
    for (std::size_t i = 0; i < contours.size(); ++i) {
        // Outer boundaries only: an even depth in the tree.
        int depth = 0;
        for (int p = hierarchy[i][3]; p >= 0; p = hierarchy[std::size_t(p)][3]) ++depth;
        if (depth % 2) continue;
        const cv::Rect box = cv::boundingRect(contours[i]);
        if (box.width < minSide * 0.7 || box.height < minSide * 0.7 || box.width > maxSide * 1.5 ||
            box.height > maxSide * 1.5)
            continue;
        const double area = cv::contourArea(contours[i]);
        if (area < minSide * minSide || area > maxSide * maxSide) continue;
        std::vector<cv::Point> poly;
        cv::approxPolyDP(contours[i], poly, 0.06 * cv::arcLength(contours[i], true), true);
        if (poly.size() != 4 || !cv::isContourConvex(poly)) continue;
        std::array<double, 4> sides{};
        for (int k = 0; k < 4; ++k)
            sides[std::size_t(k)] = Dist(poly[std::size_t(k)], poly[std::size_t((k + 1) % 4)]);
        const auto [lo, hi] = std::minmax_element(sides.begin(), sides.end());
        if (*lo < kSquareSides * *hi) continue;
        const double polyArea = cv::contourArea(poly);
        if (area < kSolidCover * polyArea) continue;
        if (area < kSquareNotCircle * cv::minAreaRect(contours[i]).size.area()) continue;
        // The largest hole, and whether something large sits inside it.
        double hole = 0, inner = 0;
        for (int c = hierarchy[i][2]; c >= 0; c = hierarchy[std::size_t(c)][0]) {
            const double a = cv::contourArea(contours[std::size_t(c)]);
            if (a <= hole) continue;
            hole = a;
            inner = 0;
            for (int g = hierarchy[std::size_t(c)][2]; g >= 0; g = hierarchy[std::size_t(g)][0])
                inner = std::max(inner, cv::contourArea(contours[std::size_t(g)]));
        }
        SquareShape shape;
        if (hole < kSolidHole * area) {
            shape.hollow = false;
        } else if (hole > kHollowHole * area && inner < kHollowInner * area) {
            shape.hollow = true;
        } else {
            continue;
        }
        const cv::Moments m = cv::moments(poly);
        shape.centre = cv::Point2f(float(m.m10 / m.m00), float(m.m01 / m.m00));
        shape.side = std::sqrt(polyArea);
        found.push_back(shape);
    }
    return found;
}

// The indexes of four image points in clockwise order as seen (the image's y
// grows downwards), from the one furthest anticlockwise of the left.
std::array<int, 4> Clockwise(const std::array<cv::Point2f, 4>& p) {
    cv::Point2f c(0, 0);
    for (const auto& q : p) c += q * 0.25f;
    std::array<int, 4> order{0, 1, 2, 3};
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        return std::atan2(p[std::size_t(a)].y - c.y, p[std::size_t(a)].x - c.x) <
               std::atan2(p[std::size_t(b)].y - c.y, p[std::size_t(b)].x - c.x);
    });
    return order;
}

double QuadArea(const std::array<cv::Point2f, 4>& q) {
    double a = 0;
    for (int i = 0; i < 4; ++i) {
        const auto& p = q[std::size_t(i)];
        const auto& n = q[std::size_t((i + 1) % 4)];
        a += double(p.x) * n.y - double(n.x) * p.y;
    }
    return std::abs(a) / 2;
}

// The markers' centres as the layout places them, and the proportions a set
// of four must have to be them.
struct LayoutShape {
    std::array<cv::Point2f, 4> markers;  // points, in the layout's order
    int hollow = 3;
    double aspect = 1.41;     // height over width between marker centres
    double sideRatio = 0.04;  // marker side over that width
};

LayoutShape ShapeOf(const SheetPageLayout& layout) {
    LayoutShape s;
    for (std::size_t i = 0; i < 4 && i < layout.markers.size(); ++i) {
        s.markers[i] = ToPoint(layout.markers[i].centre);
        if (layout.markers[i].hollow) s.hollow = int(i);
    }
    const double width = Dist(s.markers[0], s.markers[1]);
    s.aspect = Dist(s.markers[1], s.markers[2]) / std::max(1.0, width);
    s.sideRatio = layout.markers.empty() ? 0.04 : layout.markers[0].size / std::max(1.0, width);
    return s;
}

// The area of a quadrilateral whose points are already in the layout's order,
// when it has the layout's proportions; 0 when it is no sheet. Perspective
// shortens the far edge and a camera may cut a page a little, within these;
// a sheet turned a quarter would have its proportions inverted.
constexpr double kAspectLow = 0.75, kAspectHigh = 1.33;        // of the layout's height over width
constexpr double kOppositeSides = 0.6;                         // the shorter of two over the longer
constexpr double kMarkerSizeLow = 0.6, kMarkerSizeHigh = 1.6;  // of the side the width expects
double PlausibleSheetArea(const std::array<cv::Point2f, 4>& q, const LayoutShape& shape,
                          double smallest, double largest) {
    std::vector<cv::Point> poly;
    for (const auto& p : q) poly.emplace_back(cv::Point(int(p.x), int(p.y)));
    if (!cv::isContourConvex(poly)) return 0;
    const double top = Dist(q[0], q[1]), right = Dist(q[1], q[2]), bottom = Dist(q[2], q[3]),
                 left = Dist(q[3], q[0]);
    const double width = (top + bottom) / 2, height = (left + right) / 2;
    if (width <= 0 || height <= 0) return 0;
    const double ratio = height / width;
    if (ratio < shape.aspect * kAspectLow || ratio > shape.aspect * kAspectHigh) return 0;
    if (std::min(top, bottom) < kOppositeSides * std::max(top, bottom) ||
        std::min(left, right) < kOppositeSides * std::max(left, right))
        return 0;
    const double expected = shape.sideRatio * width;
    if (smallest < kMarkerSizeLow * expected || largest > kMarkerSizeHigh * expected) return 0;
    return QuadArea(q);
}

// Puts four image points with one hollow among them into the layout's order:
// going round clockwise from the hollow one as the layout goes round from its
// hollow marker, which turns a page scanned sideways or upside down.
std::array<cv::Point2f, 4> InLayoutOrder(const std::array<cv::Point2f, 4>& points, int hollowIndex,
                                         int layoutHollow) {
    const std::array<int, 4> order = Clockwise(points);
    int start = 0;
    while (order[std::size_t(start)] != hollowIndex) ++start;
    std::array<cv::Point2f, 4> out;
    for (int k = 0; k < 4; ++k)
        out[std::size_t((layoutHollow + k) % 4)] =
            points[std::size_t(order[std::size_t((start + k) % 4)])];
    return out;
}

// The four shapes that make the largest plausible sheet, one of them hollow;
// failing that, three at a right angle with the fourth placed from them.
std::optional<Corners> ChooseCorners(std::vector<SquareShape> found, const LayoutShape& shape) {
    // Students' marks are round and text is small, so few shapes pass; keep
    // the largest should a noisy page give many.
    std::sort(found.begin(), found.end(),
              [](const SquareShape& a, const SquareShape& b) { return a.side > b.side; });
    if (found.size() > kMaxMarkerShapes) found.resize(kMaxMarkerShapes);
    const int n = int(found.size());
    std::optional<Corners> best;
    double bestArea = 0;
    for (int a = 0; a < n; ++a)
        for (int b = a + 1; b < n; ++b)
            for (int c = b + 1; c < n; ++c)
                for (int d = c + 1; d < n; ++d) {
                    const std::array<int, 4> idx{a, b, c, d};
                    int hollow = -1, hollows = 0;
                    double lo = 1e9, hi = 0;
                    std::array<cv::Point2f, 4> pts;
                    for (int k = 0; k < 4; ++k) {
                        const SquareShape& cand = found[std::size_t(idx[std::size_t(k)])];
                        pts[std::size_t(k)] = cand.centre;
                        if (cand.hollow) hollow = k, ++hollows;
                        lo = std::min(lo, cand.side), hi = std::max(hi, cand.side);
                    }
                    if (hollows != 1 || lo < kMarkersAlike * hi) continue;
                    const auto ordered = InLayoutOrder(pts, hollow, shape.hollow);
                    const double area = PlausibleSheetArea(ordered, shape, lo, hi);
                    if (area > bestArea) {
                        bestArea = area;
                        best = Corners{ordered};
                    }
                }
    if (best) return best;
    // A corner torn off or folded: three markers at a right angle place the
    // fourth, the missing one being the hollow one when all three are solid.
    for (int a = 0; a < n; ++a)
        for (int b = a + 1; b < n; ++b)
            for (int c = b + 1; c < n; ++c) {
                const std::array<int, 3> idx{a, b, c};
                int hollows = 0;
                double lo = 1e9, hi = 0;
                for (int i : idx) {
                    const SquareShape& cand = found[std::size_t(i)];
                    hollows += cand.hollow;
                    lo = std::min(lo, cand.side), hi = std::max(hi, cand.side);
                }
                if (hollows > 1 || lo < kMarkersAlike * hi) continue;
                for (int corner = 0; corner < 3; ++corner) {
                    const SquareShape& cc = found[std::size_t(idx[std::size_t(corner)])];
                    const SquareShape& c1 = found[std::size_t(idx[std::size_t((corner + 1) % 3)])];
                    const SquareShape& c2 = found[std::size_t(idx[std::size_t((corner + 2) % 3)])];
                    const cv::Point2f u = c1.centre - cc.centre, v = c2.centre - cc.centre;
                    const double cosine =
                        (double(u.x) * v.x + double(u.y) * v.y) /
                        std::max(1e-9, Dist(c1.centre, cc.centre) * Dist(c2.centre, cc.centre));
                    if (std::abs(cosine) > kRightAngleCosine) continue;
                    std::array<cv::Point2f, 4> pts{cc.centre, c1.centre, c2.centre,
                                                   c1.centre + c2.centre - cc.centre};
                    int hollow = 3;
                    if (cc.hollow) hollow = 0;
                    if (c1.hollow) hollow = 1;
                    if (c2.hollow) hollow = 2;
                    const auto ordered = InLayoutOrder(pts, hollow, shape.hollow);
                    const double area = PlausibleSheetArea(ordered, shape, lo, hi);
                    if (area > bestArea) {
                        bestArea = area;
                        best = Corners{ordered};
                    }
                }
            }
    return best;
}

cv::Matx33d Homography(const LayoutShape& shape, const Corners& corners) {
    std::vector<cv::Point2f> from(shape.markers.begin(), shape.markers.end());
    std::vector<cv::Point2f> to(corners.points.begin(), corners.points.end());
    return cv::Matx33d(cv::getPerspectiveTransform(from, to));
}

// The sheet's code read from an image, with the corners of its square where
// the image shows them: top-left, top-right, bottom-right, bottom-left of the
// code as printed, whichever way the image is turned.
struct DecodedCode {
    SheetCode code;
    std::array<cv::Point2f, 4> corners;
};

std::optional<DecodedCode> DecodeCode(const cv::Mat& region) {
    const cv::Mat contiguous = region.isContinuous() ? region : region.clone();
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    hints.setTryRotate(true);
    hints.setTryHarder(true);
    const ZXing::ImageView view(contiguous.data, contiguous.cols, contiguous.rows,
                                ZXing::ImageFormat::Lum);
    for (const auto binarizer :
         {ZXing::Binarizer::LocalAverage, ZXing::Binarizer::GlobalHistogram}) {
        hints.setBinarizer(binarizer);
        const ZXing::Result result = ZXing::ReadBarcode(view, hints);
        if (!result.isValid()) continue;
        const auto& bytes = result.bytes();
        if (auto code = SheetCode::Decode(
                QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size())))) {
            DecodedCode decoded{*code, {}};
            const auto& position = result.position();
            for (std::size_t k = 0; k < 4; ++k)
                decoded.corners[k] = cv::Point2f(float(position[k].x), float(position[k].y));
            return decoded;
        }
    }
    return std::nullopt;
}

}  // namespace

cv::Point2f Apply(const cv::Matx33d& h, cv::Point2f p) {
    const cv::Vec3d v = h * cv::Vec3d(p.x, p.y, 1);
    const double w = std::abs(v[2]) < 1e-12 ? 1e-12 : v[2];
    return cv::Point2f(float(v[0] / w), float(v[1] / w));
}

cv::Mat WarpRegion(const cv::Mat& image, const cv::Matx33d& toImage, const QRectF& rect,
                   double scale) {
    const cv::Matx33d fromOut(1 / scale, 0, rect.x(), 0, 1 / scale, rect.y(), 0, 0, 1);
    cv::Mat out;
    cv::warpPerspective(
        image, out, cv::Mat(toImage * fromOut),
        cv::Size(int(std::lround(rect.width() * scale)), int(std::lround(rect.height() * scale))),
        cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT, cv::Scalar(255));
    return out;
}

std::optional<cv::Mat> Prepare(const ScanImage& page, QStringList* reasons) {
    if (page.image.isNull()) {
        *reasons << (page.error.isEmpty() ? QStringLiteral("the page is empty") : page.error);
        return std::nullopt;
    }
    const QImage grey = page.image.format() == QImage::Format_Grayscale8
                            ? page.image
                            : page.image.convertToFormat(QImage::Format_Grayscale8);
    cv::Mat work = Wrap(grey);
    const int longSide = std::max(work.cols, work.rows);
    if (longSide > kWorkLongSide) {
        cv::Mat smaller;
        const double f = double(kWorkLongSide) / longSide;
        cv::resize(work, smaller, cv::Size(), f, f, cv::INTER_AREA);
        work = smaller;
    } else {
        work = work.clone();
    }
    if (std::min(work.cols, work.rows) < kMinWorkSide) {
        *reasons << QStringLiteral("the page is too small to be a scanned sheet");
        return std::nullopt;
    }
    return work;
}

Located Locate(const cv::Mat& work, const std::array<SheetPageLayout, 2>& provisional) {
    Located found;
    // The markers' size guessed from the page's, as if it were all sheet.
    const double sheetLong = std::max(work.cols, work.rows);
    const double expectedSide =
        provisional[0].markers.empty()
            ? sheetLong * 0.024
            : sheetLong * provisional[0].markers[0].size / provisional[0].size.height();
    // The markers, placed against each paper size until the code is read;
    // the code is looked for where the markers put it.
    auto place = [&](const std::vector<SquareShape>& squares) {
        for (int s = 0; s < 2 && !found.code; ++s) {
            const LayoutShape shape = ShapeOf(provisional[std::size_t(s)]);
            const std::optional<Corners> c = ChooseCorners(squares, shape);
            if (!c) continue;
            if (!found.corners) found.corners = c, found.sizeIndex = s;
            const cv::Matx33d h = Homography(shape, *c);
            const QRectF codeRect = provisional[std::size_t(s)].code;
            // The code with a margin of a third of its side around it, at
            // about 300 pixels across: enough for its modules, and the
            // reader's time stays small.
            const double margin = codeRect.width() * 0.3;
            const double scale = std::clamp(300.0 / codeRect.width(), 2.0, 5.0);
            const QRectF region = codeRect.adjusted(-margin, -margin, margin, margin);
            const auto decoded = DecodeCode(WarpRegion(work, h, region, scale));
            if (!decoded) continue;
            found.code = decoded->code;
            found.corners = c, found.sizeIndex = s;
            const cv::Matx33d fromRegion(1 / scale, 0, region.x(), 0, 1 / scale, region.y(), 0, 0,
                                         1);
            found.codeSeen = std::array<cv::Point2f, 4>{};
            for (std::size_t k = 0; k < 4; ++k)
                (*found.codeSeen)[k] = Apply(h * fromRegion, decoded->corners[k]);
        }
    };
    found.squares = FindSquares(work, expectedSide);
    place(found.squares);
    if (!found.corners) {
        std::vector<SquareShape> small = FindSquares(work, expectedSide * kSmallSheet);
        place(small);
        found.squares.insert(found.squares.end(), small.begin(), small.end());
    }
    if (!found.code) {
        // The whole page, should the code stand elsewhere than expected or
        // two markers be out of the picture: the code's own corners then
        // place the sheet.
        // A white border stands for the quiet zone a picture cut close to
        // the code leaves out.
        const int pad = std::max(8, int(sheetLong / 100));
        cv::Mat padded;
        cv::copyMakeBorder(work, padded, pad, pad, pad, pad, cv::BORDER_CONSTANT, cv::Scalar(255));
        if (const auto decoded = DecodeCode(padded)) {
            found.code = decoded->code;
            found.sizeIndex = found.code->letterPaper ? 1 : 0;
            found.codeSeen = decoded->corners;
            for (cv::Point2f& q : *found.codeSeen) q -= cv::Point2f(float(pad), float(pad));
            if (auto c = ChooseCorners(found.squares,
                                       ShapeOf(provisional[std::size_t(found.sizeIndex)])))
                found.corners = c;
        }
    }
    return found;
}

cv::Matx33d MarkersToImage(const SheetPageLayout& layout, const Corners& corners) {
    return Homography(ShapeOf(layout), corners);
}

QString ReadVersionSquares(const cv::Mat& image, const cv::Matx33d& toImage,
                           const QRectF& squares) {
    const double scale = 4;
    const cv::Mat row = WarpRegion(image, toImage, squares, scale);
    const double side = squares.width() / kVersionSquares * scale;
    // The paper's white: the lightest pixel a square's height around.
    const double paper = [&] {
        const cv::Mat around = WarpRegion(image, toImage,
                                          squares.adjusted(-squares.height(), -squares.height(),
                                                           squares.height(), squares.height()),
                                          1);
        double hi = 0;
        cv::minMaxLoc(around, nullptr, &hi);
        return hi;
    }();
    // Black ends, five bits between; each square judged by its middle, clear
    // of its outline, black under half the paper's white.
    int index = 0;
    for (int i = 0; i < kVersionSquares; ++i) {
        const cv::Rect inside(int(side * (i + 0.3)), int(row.rows * 0.3),
                              std::max(1, int(side * 0.4)), std::max(1, int(row.rows * 0.4)));
        if ((inside & cv::Rect(0, 0, row.cols, row.rows)) != inside) return {};
        const bool black = cv::mean(row(inside))[0] < paper * 0.5;
        if (i == 0 || i == kVersionSquares - 1) {
            if (!black) return {};
        } else {
            index = index * 2 + (black ? 1 : 0);
        }
    }
    return index < kMaxVersions ? VersionName(index) : QString();
}

}  // namespace scrivane::sheetread
