#include <ZXing/ReadBarcode.h>

#include <QHash>
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <mutex>
#include <numeric>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>
#include <tuple>

#include "grading/read/pageread.h"
#include "grading/read/printcheck.h"
#include "print/versions.h"

namespace scrivane {

namespace {

// Pages are searched at about 200 dpi whatever they were scanned at: the
// markers and bubbles are large enough, and a 600 dpi page costs no more.
constexpr int kWorkLongSide = 2400;
// Bubbles are judged on the page turned upright at this resolution.
constexpr double kUprightDpi = 150;
constexpr double kUprightScale = kUprightDpi / 72;

// A bubble counts the darkness of its inside, clear of the printed outline, so
// that a sheet placed a pixel or two off does not read its own circle.
constexpr double kInnerRadius = 0.75;
// A pixel is strongly dark beyond the blank sheet by this much: pen and
// pencil strokes are, an erased mark, a smudge or a copier's grey are not.
constexpr double kStrong = 0.4;

const QString kNoMarkers =
    QStringLiteral("no corner markers were found: this page is not an answer sheet");
const QString kOtherPaper = QStringLiteral(
    "this sheet belongs to another paper, or the paper's questions changed since printing");
const QString kTextsChanged = QStringLiteral("the paper's texts changed since printing");
// A sheet printed with an identity, read against a paper file without one (a
// copy saved by another program, a paper never printed): only its questions
// say it is this paper's.
const QString kNoIdentity = QStringLiteral(
    "the paper file has no identity to check this sheet by: make sure it is "
    "this paper's sheet");
const QString kNotPlacedSurely =
    QStringLiteral("the sheet could not be placed surely: check every answer");

cv::Mat Wrap(const QImage& grey) {
    return cv::Mat(grey.height(), grey.width(), CV_8UC1, const_cast<uchar*>(grey.constBits()),
                   std::size_t(grey.bytesPerLine()));
}

struct Candidate {
    cv::Point2f centre;
    double side = 0;
    bool hollow = false;
};

double Dist(cv::Point2f a, cv::Point2f b) {
    return std::hypot(double(a.x - b.x), double(a.y - b.y));
}

// Square-looking dark shapes of about the markers' size: solid ones, and
// hollow ones whose hole holds nothing large (a QR finder pattern holds a
// square, so it is neither).
std::vector<Candidate> FindSquares(const cv::Mat& grey, double expectedSide) {
    const double minSide = expectedSide * 0.5, maxSide = expectedSide * 1.7;
    cv::Mat binary;
    int block = int(expectedSide * 2.5) | 1;
    block = std::max(block, 15);
    cv::adaptiveThreshold(grey, binary, 255, cv::ADAPTIVE_THRESH_MEAN_C, cv::THRESH_BINARY_INV,
                          block, 12);
    std::vector<std::vector<cv::Point>> contours;
    std::vector<cv::Vec4i> hierarchy;
    cv::findContours(binary, contours, hierarchy, cv::RETR_TREE, cv::CHAIN_APPROX_SIMPLE);
    std::vector<Candidate> found;
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
        // The student number's boxes are taller than wide; markers are square.
        if (*lo < 0.75 * *hi) continue;
        const double polyArea = cv::contourArea(poly);
        if (area < 0.8 * polyArea) continue;
        // A filled bubble's outline simplifies to four points as well, but a
        // circle fills less of its enclosing square than a square does.
        if (area < 0.84 * cv::minAreaRect(contours[i]).size.area()) continue;
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
        Candidate candidate;
        if (hole < 0.08 * area) {
            candidate.hollow = false;
        } else if (hole > 0.12 * area && inner < 0.05 * area) {
            candidate.hollow = true;
        } else {
            continue;
        }
        const cv::Moments m = cv::moments(poly);
        candidate.centre = cv::Point2f(float(m.m10 / m.m00), float(m.m01 / m.m00));
        candidate.side = std::sqrt(polyArea);
        found.push_back(candidate);
    }
    return found;
}

// The four markers in the layout's order (top-left, top-right, bottom-right,
// bottom-left of the upright page), from the shapes found on the image.
struct Corners {
    std::array<cv::Point2f, 4> points;  // image pixels, in the layout's order
    bool guessed = false;               // one was placed from the other three
};

// Orders four image points clockwise as seen, starting at index `first`.
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

// Checks a quadrilateral whose points are already in the layout's order
// against the layout's proportions; gives its area, or 0 when it is no sheet.
double Plausible(const std::array<cv::Point2f, 4>& q, double aspect, double sideRatio,
                 double smallest, double largest) {
    std::vector<cv::Point> poly;
    for (const auto& p : q) poly.emplace_back(cv::Point(int(p.x), int(p.y)));
    if (!cv::isContourConvex(poly)) return 0;
    const double top = Dist(q[0], q[1]), right = Dist(q[1], q[2]), bottom = Dist(q[2], q[3]),
                 left = Dist(q[3], q[0]);
    const double width = (top + bottom) / 2, height = (left + right) / 2;
    if (width <= 0 || height <= 0) return 0;
    // Perspective shortens the far edge, and a page may be cut by the camera
    // a little; a sheet turned a quarter would have its proportions inverted.
    const double ratio = height / width;
    if (ratio < aspect * 0.75 || ratio > aspect * 1.33) return 0;
    if (std::min(top, bottom) < 0.6 * std::max(top, bottom) ||
        std::min(left, right) < 0.6 * std::max(left, right))
        return 0;
    const double expected = sideRatio * width;
    if (smallest < 0.6 * expected || largest > 1.6 * expected) return 0;
    return QuadArea(q);
}

struct LayoutShape {
    std::array<cv::Point2f, 4> markers;  // points, in the layout's order
    int hollow = 3;
    double aspect = 1.41;     // height over width between marker centres
    double sideRatio = 0.04;  // marker side over that width
};

LayoutShape ShapeOf(const SheetPageLayout& layout) {
    LayoutShape s;
    for (std::size_t i = 0; i < 4 && i < layout.markers.size(); ++i) {
        s.markers[i] =
            cv::Point2f(float(layout.markers[i].centre.x()), float(layout.markers[i].centre.y()));
        if (layout.markers[i].hollow) s.hollow = int(i);
    }
    const double width = Dist(s.markers[0], s.markers[1]);
    s.aspect = Dist(s.markers[1], s.markers[2]) / std::max(1.0, width);
    s.sideRatio = layout.markers.empty() ? 0.04 : layout.markers[0].size / std::max(1.0, width);
    return s;
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

std::optional<Corners> ChooseCorners(std::vector<Candidate> found, const LayoutShape& shape) {
    // Students' marks are round and text is small, so few shapes pass; keep
    // the largest should a noisy page give many.
    std::sort(found.begin(), found.end(),
              [](const Candidate& a, const Candidate& b) { return a.side > b.side; });
    if (found.size() > 14) found.resize(14);
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
                        const Candidate& cand = found[std::size_t(idx[std::size_t(k)])];
                        pts[std::size_t(k)] = cand.centre;
                        if (cand.hollow) hollow = k, ++hollows;
                        lo = std::min(lo, cand.side), hi = std::max(hi, cand.side);
                    }
                    if (hollows != 1 || lo < 0.55 * hi) continue;
                    const auto ordered = InLayoutOrder(pts, hollow, shape.hollow);
                    const double area = Plausible(ordered, shape.aspect, shape.sideRatio, lo, hi);
                    if (area > bestArea) {
                        bestArea = area;
                        best = Corners{ordered, false};
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
                    const Candidate& cand = found[std::size_t(i)];
                    hollows += cand.hollow;
                    lo = std::min(lo, cand.side), hi = std::max(hi, cand.side);
                }
                if (hollows > 1 || lo < 0.55 * hi) continue;
                for (int corner = 0; corner < 3; ++corner) {
                    const Candidate& cc = found[std::size_t(idx[std::size_t(corner)])];
                    const Candidate& c1 = found[std::size_t(idx[std::size_t((corner + 1) % 3)])];
                    const Candidate& c2 = found[std::size_t(idx[std::size_t((corner + 2) % 3)])];
                    const cv::Point2f u = c1.centre - cc.centre, v = c2.centre - cc.centre;
                    const double cosine =
                        (double(u.x) * v.x + double(u.y) * v.y) /
                        std::max(1e-9, Dist(c1.centre, cc.centre) * Dist(c2.centre, cc.centre));
                    if (std::abs(cosine) > 0.2) continue;
                    std::array<cv::Point2f, 4> pts{cc.centre, c1.centre, c2.centre,
                                                   c1.centre + c2.centre - cc.centre};
                    int hollow = 3;
                    if (cc.hollow) hollow = 0;
                    if (c1.hollow) hollow = 1;
                    if (c2.hollow) hollow = 2;
                    const auto ordered = InLayoutOrder(pts, hollow, shape.hollow);
                    const double area = Plausible(ordered, shape.aspect, shape.sideRatio, lo, hi);
                    if (area > bestArea) {
                        bestArea = area;
                        best = Corners{ordered, true};
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

// The part of the image that shows `rect` (points), upright at `scale` pixels
// per point.
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

// The version from its row of squares: black ends, five bits between.
QString ReadVersionSquares(const cv::Mat& image, const cv::Matx33d& toImage,
                           const QRectF& squares) {
    const double scale = 4;
    const cv::Mat row = WarpRegion(image, toImage, squares, scale);
    const double side = squares.width() / kVersionSquares * scale;
    const double paper = [&] {
        const cv::Mat around = WarpRegion(image, toImage,
                                          squares.adjusted(-squares.height(), -squares.height(),
                                                           squares.height(), squares.height()),
                                          1);
        double hi = 0;
        cv::minMaxLoc(around, nullptr, &hi);
        return hi;
    }();
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

// The mean grey of a part of an upright page (points), or -1 off the page.
double MeanIn(const cv::Mat& upright, const QRectF& r) {
    const cv::Rect pixels(int(r.x() * kUprightScale), int(r.y() * kUprightScale),
                          std::max(1, int(r.width() * kUprightScale)),
                          std::max(1, int(r.height() * kUprightScale)));
    if ((pixels & cv::Rect(0, 0, upright.cols, upright.rows)) != pixels) return -1;
    return cv::mean(upright(pixels))[0];
}

// Whether the upright page shows the marker as printed: a solid one dark at
// its centre, a hollow one light at its centre inside a dark frame, both on
// lighter paper around.
bool MarkerStands(const cv::Mat& upright, const SheetMarker& marker) {
    const double s = marker.size;
    const QPointF c = marker.centre;
    auto at = [&](double dx, double dy, double w, double h) {
        return MeanIn(upright, QRectF(c.x() + dx - w / 2, c.y() + dy - h / 2, w, h));
    };
    double paper = 0;
    for (const auto& [dx, dy] : {std::pair{-s, 0.0}, {s, 0.0}, {0.0, -s}, {0.0, s}})
        paper = std::max(paper, at(dx, dy, s * 0.3, s * 0.3));
    if (paper <= 0) return false;
    const double centre = at(0, 0, s * 0.3, s * 0.3);
    if (centre < 0) return false;
    if (!marker.hollow) return centre < paper * 0.55;
    // The frame's four sides, sampled across their width.
    const double edge = s / 2 - s * 0.044;
    double frame = 0;
    for (const auto& [dx, dy, w, h] : {std::tuple{-edge, 0.0, s * 0.08, s * 0.5},
                                       {edge, 0.0, s * 0.08, s * 0.5},
                                       {0.0, -edge, s * 0.5, s * 0.08},
                                       {0.0, edge, s * 0.5, s * 0.08}})
        frame = std::max(frame, at(dx, dy, w, h));
    return centre > paper * 0.7 && frame >= 0 && frame < paper * 0.75;
}

// Registration: the sheet is placed by every reference it prints and the
// image shows (the corner markers that are whole, the code's corners and the
// printed rings of the bubbles), in perspective, and the placement is
// measured before any bubble is judged.

// A point the sheet prints: where the layout puts it (points) and where the
// image shows it (pixels of the page searched).
struct Reference {
    cv::Point2f layout;
    cv::Point2f image;
};

cv::Point2f Apply(const cv::Matx33d& h, cv::Point2f p) {
    const cv::Vec3d v = h * cv::Vec3d(p.x, p.y, 1);
    const double w = std::abs(v[2]) < 1e-12 ? 1e-12 : v[2];
    return cv::Point2f(float(v[0] / w), float(v[1] / w));
}

// Image pixels per layout point near a point of the layout.
double ScaleAt(const cv::Matx33d& h, cv::Point2f p) {
    const cv::Point2f a = Apply(h, p);
    return std::sqrt(Dist(a, Apply(h, p + cv::Point2f(1, 0))) *
                     Dist(a, Apply(h, p + cv::Point2f(0, 1))));
}

// The code's corners as references, from the corners found on an image that
// `regionToImage` carries to the page searched.
std::vector<Reference> CodeReferences(const QRectF& code, const std::array<cv::Point2f, 4>& seen,
                                      const cv::Matx33d& regionToImage) {
    const std::array<cv::Point2f, 4> printed{cv::Point2f(float(code.left()), float(code.top())),
                                             cv::Point2f(float(code.right()), float(code.top())),
                                             cv::Point2f(float(code.right()), float(code.bottom())),
                                             cv::Point2f(float(code.left()), float(code.bottom()))};
    std::vector<Reference> refs;
    for (std::size_t k = 0; k < 4; ++k) refs.push_back({printed[k], Apply(regionToImage, seen[k])});
    return refs;
}

// A homography over the references that leaves out those disagreeing with the
// rest by more than `tolerance` pixels: one wrong point (a doodle taken for a
// marker) does not move it. `kept` says which were used.
std::optional<cv::Matx33d> RobustFit(const std::vector<Reference>& refs, double tolerance,
                                     std::vector<uchar>* kept) {
    if (refs.size() < 4) return std::nullopt;
    std::vector<cv::Point2f> from, to;
    for (const Reference& r : refs) from.push_back(r.layout), to.push_back(r.image);
    std::vector<uchar> mask;
    // OpenCV's RANSAC draws its samples from a fixed seed: the same page
    // gives the same placement on every thread.
    const cv::Mat h = cv::findHomography(from, to, refs.size() > 4 ? cv::RANSAC : 0, tolerance,
                                         mask, 2000, 0.999);
    if (h.empty()) return std::nullopt;
    if (kept) *kept = mask.size() == refs.size() ? mask : std::vector<uchar>(refs.size(), 1);
    return cv::Matx33d(h);
}

// The markers that stand near where a placement puts them, solid or hollow as
// printed and of about their size; `reach` in marker sides.
std::array<std::optional<cv::Point2f>, 4> MatchMarkers(const std::vector<Candidate>& squares,
                                                       const SheetPageLayout& layout,
                                                       const cv::Matx33d& toImage, double reach) {
    std::array<std::optional<cv::Point2f>, 4> found;
    for (std::size_t m = 0; m < 4 && m < layout.markers.size(); ++m) {
        const SheetMarker& marker = layout.markers[m];
        const cv::Point2f centre(float(marker.centre.x()), float(marker.centre.y()));
        const cv::Point2f predicted = Apply(toImage, centre);
        const double side = marker.size * ScaleAt(toImage, centre);
        double best = reach * side;
        for (const Candidate& c : squares) {
            if (c.hollow != marker.hollow || c.side < 0.6 * side || c.side > 1.6 * side) continue;
            const double d = Dist(c.centre, predicted);
            if (d < best) best = d, found[m] = c.centre;
        }
    }
    return found;
}

// The placement by the markers and the code's corners, starting from a first
// one; which markers it rests on in `markersUsed`.
cv::Matx33d PlaceByReferences(const cv::Matx33d& first, const std::vector<Candidate>& squares,
                              const SheetPageLayout& layout, const std::vector<Reference>& code,
                              std::array<std::optional<cv::Point2f>, 4>* markersUsed) {
    cv::Matx33d fit = first;
    markersUsed->fill(std::nullopt);
    // Wide first, as a placement by three markers or by the code alone may be
    // well off at the far corners; then close to the better placement.
    for (const double reach : {2.0, 0.6}) {
        const auto markers = MatchMarkers(squares, layout, fit, reach);
        std::vector<Reference> refs = code;
        std::vector<std::size_t> which;
        for (std::size_t m = 0; m < 4; ++m)
            if (markers[m]) {
                const QPointF c = layout.markers[m].centre;
                refs.push_back({cv::Point2f(float(c.x()), float(c.y())), *markers[m]});
                which.push_back(m);
            }
        const double side = layout.markers.empty()
                                ? 10
                                : layout.markers[0].size *
                                      ScaleAt(fit, cv::Point2f(float(layout.size.width() / 2),
                                                               float(layout.size.height() / 2)));
        std::vector<uchar> kept;
        const auto h = RobustFit(refs, std::max(3.0, 0.25 * side), &kept);
        if (!h) {
            // Too few to fit again: the first placement stands, on these.
            *markersUsed = markers;
            break;
        }
        fit = *h;
        markersUsed->fill(std::nullopt);
        for (std::size_t k = 0; k < which.size(); ++k)
            if (kept[code.size() + k]) (*markersUsed)[which[k]] = markers[which[k]];
    }
    return fit;
}

// The printed ring of an empty bubble on the upright page: dark on the ring,
// light just inside and just outside it, whatever is printed in its middle. Its
// centre's offset from `centre` (upright pixels), searched within `reach`;
// nothing when no ring stands out there (a filled bubble hides its ring).
std::optional<cv::Point2f> FindRing(const cv::Mat& upright, cv::Point2f centre, double radius,
                                    int reach) {
    constexpr int kSamples = 24;
    const double inside = radius - 2.5, outside = radius + 2.5;
    const int cx = int(std::lround(centre.x)), cy = int(std::lround(centre.y));
    const int margin = int(std::ceil(outside)) + reach + 2;
    if (cx - margin < 0 || cy - margin < 0 || cx + margin >= upright.cols ||
        cy + margin >= upright.rows)
        return std::nullopt;
    // The samples as steps from the pixel at the centre, so that each offset
    // tried costs three reads per sample.
    const auto step = std::ptrdiff_t(upright.step);
    std::array<std::ptrdiff_t, kSamples> in{}, ring{}, out{};
    const double fx = centre.x - cx, fy = centre.y - cy;
    for (int k = 0; k < kSamples; ++k) {
        const double ux = std::cos(2 * M_PI * k / kSamples), uy = std::sin(2 * M_PI * k / kSamples);
        auto at = [&](double r) {
            return std::ptrdiff_t(std::lround(fy + uy * r)) * step + std::lround(fx + ux * r);
        };
        in[std::size_t(k)] = at(inside);
        ring[std::size_t(k)] = at(radius);
        out[std::size_t(k)] = at(outside);
    }
    const uchar* origin = upright.ptr<uchar>(cy) + cx;
    auto score = [&](int dx, int dy) {
        const uchar* p = origin + dy * step + dx;
        int sum = 0;
        for (std::size_t k = 0; k < kSamples; ++k)
            sum += std::min(p[in[k]], p[out[k]]) - p[ring[k]];
        return double(sum) / kSamples;
    };
    double best = -1e9;
    int bx = 0, by = 0;
    for (int dy = -reach; dy <= reach; dy += 3)
        for (int dx = -reach; dx <= reach; dx += 3)
            if (const double s = score(dx, dy); s > best) best = s, bx = dx, by = dy;
    const int gx = bx, gy = by;
    for (int dy = std::max(-reach, gy - 2); dy <= std::min(reach, gy + 2); ++dy)
        for (int dx = std::max(-reach, gx - 2); dx <= std::min(reach, gx + 2); ++dx)
            if (const double s = score(dx, dy); s > best) best = s, bx = dx, by = dy;
    // The paper's white there: the ring stands out from it, or is not there.
    const double paper = origin[by * step + bx + out[0]];
    if (best < std::max(12.0, 0.12 * paper)) return std::nullopt;
    // Between pixels, from the scores beside the best.
    auto between = [](double before, double here, double after) {
        const double d = before - 2 * here + after;
        return d < 0 ? std::clamp(0.5 * (before - after) / d, -0.5, 0.5) : 0.0;
    };
    return cv::Point2f(
        float(cx - centre.x + bx + between(score(bx - 1, by), best, score(bx + 1, by))),
        float(cy - centre.y + by + between(score(bx, by - 1), best, score(bx, by + 1))));
}

// What the rings say of a placement: each bubble's ring where it was found,
// in layout points, and the placement fitted over them and the markers.
struct RingFit {
    cv::Matx33d toImage;                            // layout points to page pixels
    std::vector<std::optional<cv::Point2f>> rings;  // per bubble, in page pixels
    bool moved = false;  // the fit moved some bubble by more than two pixels
};

RingFit FitRings(const cv::Mat& upright, const cv::Matx33d& toImage, double uprightScale,
                 const SheetPageLayout& layout, const std::vector<Reference>& markers, int reach) {
    RingFit out;
    out.toImage = toImage;
    out.rings.resize(layout.bubbles.size());
    std::vector<Reference> refs = markers;
    const cv::Matx33d fromUpright(1 / uprightScale, 0, 0, 0, 1 / uprightScale, 0, 0, 0, 1);
    double smallest = 1e9;
    for (std::size_t i = 0; i < layout.bubbles.size(); ++i) {
        const SheetBubble& b = layout.bubbles[i];
        smallest = std::min(smallest, b.r);
        const cv::Point2f at(float(b.centre.x() * uprightScale),
                             float(b.centre.y() * uprightScale));
        const auto offset = FindRing(upright, at, b.r * uprightScale, reach);
        if (!offset) continue;
        out.rings[i] = Apply(toImage * fromUpright, at + *offset);
        refs.push_back({cv::Point2f(float(b.centre.x()), float(b.centre.y())), *out.rings[i]});
    }
    if (refs.size() < 12) return out;
    const double px = ScaleAt(
        toImage, cv::Point2f(float(layout.size.width() / 2), float(layout.size.height() / 2)));
    const auto fit = RobustFit(refs, std::max(1.0, 0.25 * smallest * px), nullptr);
    if (!fit) return out;
    for (const SheetBubble& b : layout.bubbles) {
        const cv::Point2f c(float(b.centre.x()), float(b.centre.y()));
        if (Dist(Apply(*fit, c), Apply(toImage, c)) > 2) out.moved = true;
    }
    out.toImage = *fit;
    return out;
}

// Whether the placement is sure: the bubbles of every question (and every
// column of the student number) whose rings were found stand where it puts
// them, within a quarter of their radius, a bubble whose ring a mark hides or
// bends being outvoted by its neighbours; and a placement resting on fewer than
// four markers is confirmed by the rings of most questions.
bool PlacedSurely(const RingFit& fit, const SheetPageLayout& layout, int markersUsed) {
    std::map<std::pair<int, int>, std::vector<double>> groups;  // (kind, question or place)
    for (std::size_t i = 0; i < layout.bubbles.size(); ++i) {
        const SheetBubble& b = layout.bubbles[i];
        const auto key = b.kind == SheetBubble::Kind::Answer ? std::pair{0, b.question}
                                                             : std::pair{1, b.position};
        auto& residuals = groups[key];
        if (!fit.rings[i]) continue;
        const cv::Point2f c(float(b.centre.x()), float(b.centre.y()));
        const cv::Point2f placed = Apply(fit.toImage, c);
        residuals.push_back(Dist(placed, *fit.rings[i]) / ScaleAt(fit.toImage, c) / b.r);
    }
    int verified = 0;
    for (auto& [key, residuals] : groups) {
        (void)key;
        if (residuals.size() < 2) continue;
        ++verified;
        std::sort(residuals.begin(), residuals.end());
        if (residuals[(residuals.size() - 1) / 2] > 0.25) return false;
    }
    return markersUsed >= 4 || verified * 2 >= int(groups.size());
}

// How a bubble looks on the blank sheet, to be taken off what the scan shows.
struct BlankBubble {
    double dark = 0;    // mean darkness of the inside
    double strong = 0;  // share of strongly dark pixels
};

struct Blank {
    std::vector<BlankBubble> bubbles;
};

struct Disc {
    double dark = 0;
    double strong = 0;
};

// Mean darkness and share of dark pixels inside a bubble of an upright image,
// against the paper's white there.
Disc Measure(const cv::Mat& upright, const SheetBubble& bubble, double white, double black) {
    const double cx = bubble.centre.x() * kUprightScale, cy = bubble.centre.y() * kUprightScale;
    const double radius = bubble.r * kInnerRadius * kUprightScale;
    const int x0 = std::max(0, int(std::floor(cx - radius))),
              x1 = std::min(upright.cols - 1, int(std::ceil(cx + radius)));
    const int y0 = std::max(0, int(std::floor(cy - radius))),
              y1 = std::min(upright.rows - 1, int(std::ceil(cy + radius)));
    double sum = 0;
    int count = 0, strong = 0;
    const double r2 = radius * radius;
    const double inverse = 1 / std::max(1.0, white);
    const double contrast = 1 / std::clamp(black, 0.2, 1.0);
    for (int y = y0; y <= y1; ++y) {
        const uchar* line = upright.ptr<uchar>(y);
        for (int x = x0; x <= x1; ++x) {
            const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            if (dx * dx + dy * dy > r2) continue;
            const double dark = std::clamp((1 - line[x] * inverse) * contrast, 0.0, 1.0);
            sum += dark;
            strong += dark > kStrong;
            ++count;
        }
    }
    if (count == 0) return {};
    return {sum / count, double(strong) / count};
}

// Where the sheet stands on the page: the placement by every reference the
// picture shows, the page turned upright by it, and whether it is sure.
struct Placement {
    cv::Matx33d toImage;                                // layout points to page pixels
    cv::Mat upright;                                    // the page turned upright by toImage
    std::array<std::optional<cv::Point2f>, 4> markers;  // those it rests on
    // Per bubble: its ring's centre from where the layout puts it (points).
    std::vector<std::optional<QPointF>> offsets;
    bool sure = false;
};

Placement Place(const cv::Mat& work, const cv::Matx33d& first,
                const std::vector<Candidate>& squares, const std::vector<Reference>& code,
                const SheetPageLayout& layout) {
    Placement p;
    p.toImage = PlaceByReferences(first, squares, layout, code, &p.markers);
    std::vector<Reference> markers;
    for (std::size_t m = 0; m < 4; ++m)
        if (p.markers[m]) {
            const QPointF c = layout.markers[m].centre;
            markers.push_back({cv::Point2f(float(c.x()), float(c.y())), *p.markers[m]});
        }
    const QRectF whole(QPointF(0, 0), layout.size);
    p.upright = WarpRegion(work, p.toImage, whole, kUprightScale);
    // Far from the references the first placement may be a few pixels off:
    // the rings are searched widely, then again closely once they moved it.
    RingFit fit;
    int reach = 15;
    for (int pass = 0; pass < 3; ++pass) {
        fit = FitRings(p.upright, p.toImage, kUprightScale, layout, markers, reach);
        if (!fit.moved) break;
        p.toImage = fit.toImage;
        p.upright = WarpRegion(work, p.toImage, whole, kUprightScale);
        reach = 6;
    }
    // The markers it rests on are those standing where the rings put them:
    // with three markers and the code, a doodle beside a torn corner fits
    // as well as the fourth marker would, until the rings say otherwise.
    int standing = 0, fallen = 0;
    for (std::size_t m = 0; m < 4; ++m) {
        if (!p.markers[m]) continue;
        const QPointF c = layout.markers[m].centre;
        const cv::Point2f at(float(c.x()), float(c.y()));
        // A few pixels of slack: a clean print's rings may pull the fit a
        // little over three pixels off the markers at the page's far side.
        const double tolerance = std::max(
            4.0,
            0.25 *
                (layout.bubbles.empty() ? layout.markers[m].size / 3 : layout.bubbles.front().r) *
                ScaleAt(fit.toImage, at));
        if (Dist(Apply(fit.toImage, at), *p.markers[m]) > tolerance)
            p.markers[m].reset(), ++fallen;
        else
            ++standing;
    }
    // Rings alone could be taken a whole bubble off across a region; the
    // code's corners and all markers but one must agree with them.
    bool codeAgrees = true;
    for (const Reference& r : code) {
        const double r0 = layout.bubbles.empty() ? 6 : layout.bubbles.front().r;
        codeAgrees = codeAgrees && Dist(Apply(fit.toImage, r.layout), r.image) <=
                                       std::max(3.0, 0.5 * r0 * ScaleAt(fit.toImage, r.layout));
    }
    p.sure = PlacedSurely(fit, layout, standing) && codeAgrees && fallen <= 1;
    const cv::Matx33d back = p.toImage.inv();
    p.offsets.resize(layout.bubbles.size());
    for (std::size_t i = 0; i < layout.bubbles.size(); ++i) {
        if (!fit.rings[i]) continue;
        const SheetBubble& b = layout.bubbles[i];
        const cv::Point2f at = Apply(back, *fit.rings[i]);
        const QPointF offset(at.x - b.centre.x(), at.y - b.centre.y());
        if (std::hypot(offset.x(), offset.y()) <= 0.5 * b.r) p.offsets[i] = offset;
    }
    return p;
}

// Light pencil throughout leaves every mark between empty and filled: each
// doubtful bubble is judged again against the sheet's own marks. Where it is
// the darkest of its question (or of its place in the student number), its
// siblings are as light as the sheet's empty bubbles, and the sheet's marks
// form a group of their own clearly darker than the empty bubbles, it is
// marked. An erasure beside a mark is darker than the empty bubbles, so that
// question stays unclear.
void JudgeAgainstTheSheet(std::vector<BubbleRead>& bubbles) {
    std::map<std::pair<int, int>, std::vector<std::size_t>> groups;
    std::vector<double> fills;
    for (std::size_t i = 0; i < bubbles.size(); ++i) {
        const SheetBubble& b = bubbles[i].bubble;
        groups[b.kind == SheetBubble::Kind::Answer ? std::pair{0, b.question}
                                                   : std::pair{1, b.position}]
            .push_back(i);
        fills.push_back(bubbles[i].fill);
    }
    if (fills.size() < 10) return;
    auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    // Most bubbles of any sheet are empty: their level and spread.
    const double empty = median(fills);
    std::vector<double> deviations;
    for (double f : fills) deviations.push_back(std::abs(f - empty));
    const double spread = std::max(0.01, 1.4826 * median(deviations));
    const double emptyTop = empty + std::max(0.04, 5 * spread);
    // The marks: the darkest bubble of each group that stands above the rest.
    std::vector<double> marks;
    for (const auto& [key, members] : groups) {
        (void)key;
        double top = 0;
        for (std::size_t i : members) top = std::max(top, bubbles[i].fill);
        if (top > emptyTop) marks.push_back(top);
    }
    if (marks.size() < 5 || marks.size() * 4 < groups.size()) return;
    const double markLevel = median(marks);
    if (markLevel - empty < 0.12) return;
    const double threshold = empty + 0.5 * (markLevel - empty);
    for (const auto& [key, members] : groups) {
        (void)key;
        if (members.size() < 2) continue;
        std::size_t darkest = members.front();
        for (std::size_t i : members)
            if (bubbles[i].fill > bubbles[darkest].fill) darkest = i;
        if (bubbles[darkest].mark != BubbleRead::Mark::Unclear) continue;
        if (bubbles[darkest].fill < threshold) continue;
        bool siblingsEmpty = true;
        for (std::size_t i : members)
            if (i != darkest)
                siblingsEmpty = siblingsEmpty && bubbles[i].mark == BubbleRead::Mark::Empty &&
                                bubbles[i].fill <= emptyTop;
        if (siblingsEmpty) bubbles[darkest].mark = BubbleRead::Mark::Marked;
    }
}

}  // namespace

struct SheetReader::Impl {
    std::vector<QuestionRecord> paper;
    QString modeLetters;
    QString paperDigest;
    QString textDigest;
    // The markers and code stand where they do on every version of a paper
    // size; these layouts place them before the code tells the version.
    std::array<SheetPageLayout, 2> provisional;  // A4, Letter

    mutable std::mutex mutex;
    mutable std::map<QByteArray, std::shared_ptr<const std::vector<PaperVersion>>> versions;
    mutable std::map<QByteArray, std::shared_ptr<const Blank>> blanks;
    std::shared_ptr<const std::vector<PaperVersion>> VersionsFor(
        const VersionSettings& settings) const {
        const QByteArray key = QByteArray::number(settings.count) + ':' +
                               QByteArray::number(settings.seed) + ':' +
                               QByteArray::number(int(settings.shuffleQuestions)) +
                               QByteArray::number(int(settings.shuffleOptions)) + ':' +
                               QByteArray::number(settings.blankOptionLetters) + ':' +
                               QByteArray::number(int(settings.keptOptions));
        {
            std::lock_guard lock(mutex);
            if (auto it = versions.find(key); it != versions.end()) return it->second;
        }
        auto built =
            std::make_shared<const std::vector<PaperVersion>>(BuildVersions(paper, settings));
        std::lock_guard lock(mutex);
        return versions.emplace(key, std::move(built)).first->second;
    }

    std::shared_ptr<const Blank> BlankFor(const SheetPageLayout& layout,
                                          const PaperVersion& version,
                                          const SheetCode& code) const {
        const QByteArray key = code.Encode();
        {
            std::lock_guard lock(mutex);
            if (auto it = blanks.find(key); it != blanks.end()) return it->second;
        }
        const QImage render = RenderBlankSheet(layout, version, code, kUprightDpi)
                                  .convertToFormat(QImage::Format_Grayscale8);
        auto blank = std::make_shared<Blank>();
        const cv::Mat image = Wrap(render);
        for (const SheetBubble& bubble : layout.bubbles) {
            const Disc disc = Measure(image, bubble, 255, 1);
            blank->bubbles.push_back({disc.dark, disc.strong});
        }
        std::lock_guard lock(mutex);
        return blanks.emplace(key, std::move(blank)).first->second;
    }

    PageRead Read(const ScanImage& page, const std::optional<SheetCode>& printedWith) const;
    // The paper's digest by the kept-options rule a sheet was printed with,
    // so that sheets printed under the first rule are still this paper's.
    QString legacyPaperDigest;
    const QString& PaperDigestFor(const SheetCode& code) const {
        return code.versions.keptOptions == kCurrentKeptOptionsRule ? paperDigest
                                                                    : legacyPaperDigest;
    }

    // The paper's identity, empty for a paper never printed with one.
    QString paperId;
    // Why a sheet with this code is not one of this paper, or an empty
    // text. Where the sheet and the paper both carry an identity it decides,
    // and the digests tell what changed; else the digests alone.
    QString IdentityRefusal(const SheetCode& code) const {
        const bool bothKnown = !code.paperId.isEmpty() && !paperId.isEmpty();
        if (bothKnown && code.paperId != paperId)
            return QStringLiteral("this sheet belongs to another paper");
        if (code.paperDigest == PaperDigestFor(code)) return {};
        return bothKnown ? QStringLiteral("the paper's questions changed since printing")
                         : kOtherPaper;
    }
};

PageRead SheetReader::Impl::Read(const ScanImage& page,
                                 const std::optional<SheetCode>& printedWith) const {
    PageRead out;
    if (page.image.isNull()) {
        out.reasons << (page.error.isEmpty() ? QStringLiteral("the page is empty") : page.error);
        return out;
    }
    // The page in grey at about 200 dpi.
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
    if (std::min(work.cols, work.rows) < 200) {
        out.reasons << QStringLiteral("the page is too small to be a scanned sheet");
        return out;
    }

    // The markers, placed against each paper size until the code is read.
    const double sheetLong = std::max(work.cols, work.rows);
    const double expectedSide =
        provisional[0].markers.empty()
            ? sheetLong * 0.024
            : sheetLong * provisional[0].markers[0].size / provisional[0].size.height();
    std::optional<SheetCode> code;
    // The code's corners on the page, as printed: top-left, top-right,
    // bottom-right, bottom-left.
    std::optional<std::array<cv::Point2f, 4>> codeSeen;
    std::optional<Corners> corners;
    cv::Matx33d toImage;
    int sizeIndex = 0;
    auto place = [&](const std::vector<Candidate>& squares) {
        for (int s = 0; s < 2 && !code; ++s) {
            const LayoutShape shape = ShapeOf(provisional[std::size_t(s)]);
            const std::optional<Corners> c = ChooseCorners(squares, shape);
            if (!c) continue;
            if (!corners) corners = c, sizeIndex = s, toImage = Homography(shape, *c);
            const cv::Matx33d h = Homography(shape, *c);
            const QRectF codeRect = provisional[std::size_t(s)].code;
            const double margin = codeRect.width() * 0.3;
            const double scale = std::clamp(300.0 / codeRect.width(), 2.0, 5.0);
            const QRectF region = codeRect.adjusted(-margin, -margin, margin, margin);
            const auto decoded = DecodeCode(WarpRegion(work, h, region, scale));
            if (!decoded) continue;
            code = decoded->code;
            corners = c, sizeIndex = s, toImage = h;
            const cv::Matx33d fromRegion(1 / scale, 0, region.x(), 0, 1 / scale, region.y(), 0, 0,
                                         1);
            codeSeen = std::array<cv::Point2f, 4>{};
            for (std::size_t k = 0; k < 4; ++k)
                (*codeSeen)[k] = Apply(h * fromRegion, decoded->corners[k]);
        }
    };
    std::vector<Candidate> squares = FindSquares(work, expectedSide);
    place(squares);
    if (!corners) {
        // A photo may show the sheet small, with the table around it.
        std::vector<Candidate> small = FindSquares(work, expectedSide * 0.55);
        place(small);
        squares.insert(squares.end(), small.begin(), small.end());
    }
    if (!code) {
        // The whole page, should the code stand elsewhere than expected or
        // two markers be out of the picture: the code's own corners then
        // place the sheet.
        // A white border stands for the quiet zone a picture cut close to
        // the code leaves out.
        const int pad = std::max(8, int(sheetLong / 100));
        cv::Mat padded;
        cv::copyMakeBorder(work, padded, pad, pad, pad, pad, cv::BORDER_CONSTANT, cv::Scalar(255));
        if (const auto decoded = DecodeCode(padded)) {
            code = decoded->code;
            sizeIndex = code->letterPaper ? 1 : 0;
            const SheetPageLayout& layout = provisional[std::size_t(sizeIndex)];
            codeSeen = decoded->corners;
            for (cv::Point2f& q : *codeSeen) q -= cv::Point2f(float(pad), float(pad));
            if (auto c = ChooseCorners(squares, ShapeOf(layout))) corners = c;
        }
    }
    if (!corners && !code) {
        out.reasons << (squares.empty()
                            ? kNoMarkers
                            : QStringLiteral("the four corner markers were not found: this page is "
                                             "not an answer sheet, or a corner is missing"));
        return out;
    }
    if (!code) {
        const cv::Matx33d h = Homography(ShapeOf(provisional[std::size_t(sizeIndex)]), *corners);
        const QString version =
            ReadVersionSquares(work, h, provisional[std::size_t(sizeIndex)].versionSquares);
        if (version.isEmpty() || !printedWith ||
            printedWith->paperDigest != PaperDigestFor(*printedWith)) {
            out.reasons << QStringLiteral(
                "the sheet's code could not be read: this page is not an answer sheet, "
                "or its code is damaged");
            out.codeMissing = !version.isEmpty();
            return out;
        }
        code = printedWith;
        code->version = version;
        out.reasons << QStringLiteral(
            "the sheet's code could not be read; its version was read from the squares");
    }
    out.code = code;
    if (const QString refusal = IdentityRefusal(*code); !refusal.isEmpty()) {
        out.reasons = QStringList{refusal};
        return out;
    }
    if (!code->paperId.isEmpty() && paperId.isEmpty()) out.reasons << kNoIdentity;
    if (code->textDigest != textDigest) out.reasons << kTextsChanged;

    const auto built = VersionsFor(code->versions);
    const auto it = std::find_if(built->begin(), built->end(),
                                 [&](const PaperVersion& v) { return v.name == code->version; });
    if (it == built->end()) {
        out.reasons =
            QStringList{QStringLiteral("the sheet's version %1 is not one the paper was printed in")
                            .arg(code->version)};
        return out;
    }
    const PaperVersion& version = *it;
    out.version = version.name;
    out.layout = LayOutAnswerSheet(version, code->idDigits, code->letterPaper);
    if (out.layout.markers.size() != 4) {
        out.reasons = QStringList{QStringLiteral("the sheet's layout has no corner markers")};
        return out;
    }
    // The first placement: by the markers chosen, or else by the code alone.
    const std::vector<Reference> codeCorners =
        codeSeen ? CodeReferences(out.layout.code, *codeSeen, cv::Matx33d::eye())
                 : std::vector<Reference>{};
    if (corners) {
        toImage = Homography(ShapeOf(out.layout), *corners);
    } else if (const auto h = RobustFit(codeCorners, 1e9, nullptr)) {
        toImage = *h;
    } else {
        out.reasons = QStringList{kNoMarkers};
        return out;
    }
    const Placement placement = Place(work, toImage, squares, codeCorners, out.layout);
    const cv::Mat& upright = placement.upright;
    toImage = placement.toImage;

    // The paper's white around each bubble: uneven light and a copier's grey
    // are taken off before any darkness is judged.
    cv::Mat background;
    {
        cv::Mat small;
        cv::resize(upright, small, cv::Size(), 0.25, 0.25, cv::INTER_AREA);
        double maxR = 0;
        for (const auto& b : out.layout.bubbles) maxR = std::max(maxR, b.r);
        const int k = std::max(3, int(std::ceil(maxR * 3 * kUprightScale / 4)) | 1);
        cv::dilate(small, background, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(k, k)));
        cv::GaussianBlur(background, background, cv::Size(k, k), 0);
    }
    // How dark the printed black came out: a copy of a copy prints the marks
    // as faintly as its markers. Only the markers the picture shows count.
    const double black = [&] {
        std::vector<double> levels;
        for (std::size_t m = 0; m < out.layout.markers.size(); ++m) {
            const SheetMarker& marker = out.layout.markers[m];
            if (marker.hollow || !placement.markers[m]) continue;
            const QRectF square(marker.centre - QPointF(marker.size / 2, marker.size / 2),
                                QSizeF(marker.size, marker.size));
            const cv::Rect all(0, 0, upright.cols, upright.rows);
            auto pixels = [&](const QRectF& r) {
                return cv::Rect(int(r.x() * kUprightScale), int(r.y() * kUprightScale),
                                std::max(1, int(r.width() * kUprightScale)),
                                std::max(1, int(r.height() * kUprightScale))) &
                       all;
            };
            const cv::Rect inside = pixels(square.adjusted(marker.size * 0.3, marker.size * 0.3,
                                                           -marker.size * 0.3, -marker.size * 0.3));
            const cv::Rect around = pixels(square.adjusted(-marker.size * 0.6, -marker.size * 0.6,
                                                           marker.size * 0.6, marker.size * 0.6));
            if (inside.area() == 0 || around.area() == 0) continue;
            cv::Mat values = upright(around).clone().reshape(1, 1);
            cv::sort(values, values, cv::SORT_ASCENDING);
            const double white = values.at<uchar>(0, int(values.cols * 0.9));
            if (white < 1) continue;
            levels.push_back(1 - cv::mean(upright(inside))[0] / white);
        }
        if (levels.empty()) return 1.0;
        std::sort(levels.begin(), levels.end());
        return std::clamp(levels[levels.size() / 2], 0.2, 1.0);
    }();
    // Every marker the placement rests on must stand where it puts it, solid
    // or hollow as printed: a student number box or a mark taken for a marker
    // would place every bubble wrong.
    bool sure = placement.sure;
    for (std::size_t m = 0; m < out.layout.markers.size(); ++m)
        if (placement.markers[m] && !MarkerStands(upright, out.layout.markers[m])) sure = false;
    out.reasons << PrintDisagreements(upright, kUprightScale, out.layout, *code);
    const auto blank = BlankFor(out.layout, version, *code);
    out.bubbles.reserve(out.layout.bubbles.size());
    const cv::Rect frame(0, 0, work.cols, work.rows);
    for (std::size_t i = 0; i < out.layout.bubbles.size(); ++i) {
        SheetBubble bubble = out.layout.bubbles[i];
        BubbleRead read;
        read.bubble = bubble;
        // A bubble the picture does not show whole is never read as empty.
        bool inFrame = true;
        for (const auto& [dx, dy] : {std::pair{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}) {
            const cv::Point2f corner =
                Apply(toImage, cv::Point2f(float(bubble.centre.x() + dx * bubble.r),
                                           float(bubble.centre.y() + dy * bubble.r)));
            inFrame = inFrame && corner.x >= 1 && corner.y >= 1 && corner.x < frame.width - 1 &&
                      corner.y < frame.height - 1;
        }
        if (!inFrame) {
            read.mark = BubbleRead::Mark::Unclear;
            out.bubbles.push_back(read);
            continue;
        }
        // Judged where its own ring stands, when the ring shows.
        if (placement.offsets[i]) bubble.centre += *placement.offsets[i];
        const int bx =
            std::clamp(int(bubble.centre.x() * kUprightScale / 4), 0, background.cols - 1);
        const int by =
            std::clamp(int(bubble.centre.y() * kUprightScale / 4), 0, background.rows - 1);
        const double white = background.at<uchar>(by, bx);
        const BlankBubble& expected = blank->bubbles[i];
        const Disc disc = Measure(upright, bubble, white, black);
        const double extra = std::max(0.0, disc.dark - expected.dark);
        const double strong = std::max(0.0, disc.strong - expected.strong);
        read.fill = std::clamp(extra / std::max(0.05, 1 - expected.dark), 0.0, 1.0);
        read.strong = strong;
        // Filled bubbles in pencil or pen, half-filled ones, ticks and crosses
        // darken much of the inside or lay strong strokes across it; an erased
        // mark or a smudge darkens a little without strong strokes, a dot
        // strongly but over little.
        if (read.fill >= 0.32 || (read.fill >= 0.14 && strong >= 0.14))
            read.mark = BubbleRead::Mark::Marked;
        else if (read.fill < 0.11 && strong < 0.07)
            read.mark = BubbleRead::Mark::Empty;
        else
            read.mark = BubbleRead::Mark::Unclear;
        out.bubbles.push_back(read);
    }
    JudgeAgainstTheSheet(out.bubbles);
    if (!sure) {
        // Placed, but not surely: nothing is read as if it were.
        for (BubbleRead& read : out.bubbles) read.mark = BubbleRead::Mark::Unclear;
        out.reasons << kNotPlacedSurely;
    }
    out.upright = QImage(upright.data, upright.cols, upright.rows, int(upright.step),
                         QImage::Format_Grayscale8)
                      .copy();
    out.pointsToUpright = QTransform::fromScale(kUprightScale, kUprightScale);
    out.status = PageRead::Status::Read;
    return out;
}

SheetReader::SheetReader(std::vector<QuestionRecord> paper, QString modeLetters)
    : impl_(std::make_unique<Impl>()) {
    impl_->paperDigest = PaperDigest(paper, modeLetters);
    impl_->legacyPaperDigest = PaperDigest(paper, modeLetters, KeptOptionsRule::Phrases);
    impl_->textDigest = TextDigest(paper);
    VersionSettings settings;
    settings.blankOptionLetters = int(modeLetters.size());
    const std::vector<PaperVersion> plain = BuildVersions(paper, settings);
    const PaperVersion first = plain.empty() ? PaperVersion{} : plain.front();
    impl_->provisional[0] = LayOutAnswerSheet(first, kDefaultIdDigits, false);
    impl_->provisional[1] = LayOutAnswerSheet(first, kDefaultIdDigits, true);
    impl_->paper = std::move(paper);
    impl_->modeLetters = std::move(modeLetters);
}

SheetReader::SheetReader(std::vector<QuestionRecord> paper, QString modeLetters, QString paperId)
    : SheetReader(std::move(paper), std::move(modeLetters)) {
    impl_->paperId = std::move(paperId);
}

SheetReader::~SheetReader() = default;

PageRead SheetReader::Read(const ScanImage& page,
                           const std::optional<SheetCode>& printedWith) const {
    try {
        return impl_->Read(page, printedWith);
    } catch (const std::exception& e) {
        // OpenCV reports what it cannot do by throwing; one page never stops
        // the others.
        PageRead out;
        out.reasons << QStringLiteral("the page could not be read: %1")
                           .arg(QString::fromLocal8Bit(e.what()));
        return out;
    }
}

}  // namespace scrivane
