// Registration: the sheet is placed by every reference it prints and the
// image shows (the corner markers that are whole, the code's corners and the
// printed rings of the bubbles), in perspective, and the placement is
// measured before any bubble is judged.
#include <algorithm>
#include <map>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>
#include <tuple>

#include "grading/read/readstages.h"

namespace scrivane::sheetread {

namespace {

// A fit leaves out a reference that disagrees with the rest by more than a
// quarter of a marker's side (and at least 3 pixels): a doodle taken for a
// marker is that far off, a marker's centre found on a blurred photo is not.
constexpr double kMarkerFitSlack = 0.25, kMarkerFitMinPx = 3.0;
// Markers are looked for first within two sides of where the first placement
// puts them (by three markers or the code alone it may be well off at the
// far corners), then within 0.6 of a side of the better placement.
constexpr double kWideReach = 2.0, kCloseReach = 0.6;
// A shape is taken for a marker from 0.6 to 1.6 times the size the
// placement expects there.
constexpr double kMarkerSizeLow = 0.6, kMarkerSizeHigh = 1.6;

// A ring is told by the grey just inside and just outside it being lighter
// than on it, this many upright pixels either side of its radius: the
// printed line is about 1.6 pixels wide at 150 dpi.
constexpr double kRingBand = 2.5;
// The ring stands out when it is darker than the lighter of its sides by
// 12 grey levels and by 12% of the paper's white: the faintest copy's
// printed line does, a bubble's letter and a filled bubble's edge do not.
constexpr double kRingContrast = 12, kRingContrastShare = 0.12;
// The rings are searched this far (upright pixels) around where the first
// placement puts them, then, once they moved it, within the next.
constexpr int kRingFirstReach = 15, kRingNextReach = 6;
// The rings refit the placement at most this many times.
constexpr int kRingPasses = 3;
// Fewer references than these (markers and rings) leave the placement as
// the markers and the code made it: too few rings to outvote a wrong one.
constexpr std::size_t kMinRingReferences = 12;
// The rings' fit leaves out a ring more than a quarter of the smallest
// bubble's radius from the rest (at least a pixel): a ring a mark bends.
constexpr double kRingFitSlack = 0.25;
// The fit turns the page again only when it moves a bubble by more than this
// (page pixels); smaller moves are taken by each bubble's own ring.
constexpr double kRingFitMoves = 2;

// A marker the placement rests on must stand within a quarter of a bubble's
// radius of where the rings' fit puts it, or within this many pixels, or it
// is taken for a doodle and left out. The floor would be 3 pixels, as for the
// code's corners, but on a clean sheet printed by the converter and rendered
// at 150 dpi the rings' fit lies a little over 3 pixels off the two markers
// at the page's far side, for a cause not yet found: 4 keeps such a sheet
// sure, and a doodle stands much further off.
constexpr double kMarkerAgreesRadius = 0.25, kMarkerAgreesMinPx = 4.0;
// The code's corners must stand within half a bubble's radius of where the
// rings' fit puts them, 3 pixels at least: rings alone could be taken a
// whole bubble off across a region.
constexpr double kCodeAgreesRadius = 0.5, kCodeAgreesMinPx = 3.0;
// A bubble is judged where its own ring stands when that is within half its
// radius of where the layout puts it; further off, the ring found is
// something else.
constexpr double kOwnRingReach = 0.5;

// The placement is sure when, within every question (and every place of the
// student number), the median ring stands within a quarter of the radius of
// where it puts the bubble.
constexpr double kGroupResidual = 0.25;

// A reference the sheet prints: where the layout puts it (points) and where
// the image shows it (pixels of the page searched).
struct Reference {
    cv::Point2f layout;
    cv::Point2f image;
};

// The code's corners as references, from the corners found on the page.
std::vector<Reference> CodeReferences(const QRectF& code, const std::array<cv::Point2f, 4>& seen) {
    const std::array<cv::Point2f, 4> printed{cv::Point2f(float(code.left()), float(code.top())),
                                             cv::Point2f(float(code.right()), float(code.top())),
                                             cv::Point2f(float(code.right()), float(code.bottom())),
                                             cv::Point2f(float(code.left()), float(code.bottom()))};
    std::vector<Reference> refs;
    for (std::size_t k = 0; k < 4; ++k) refs.push_back({printed[k], seen[k]});
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
std::array<std::optional<cv::Point2f>, 4> MatchMarkers(const std::vector<SquareShape>& squares,
                                                       const SheetPageLayout& layout,
                                                       const cv::Matx33d& toImage, double reach) {
    std::array<std::optional<cv::Point2f>, 4> found;
    for (std::size_t m = 0; m < 4 && m < layout.markers.size(); ++m) {
        const SheetMarker& marker = layout.markers[m];
        const cv::Point2f centre = ToPoint(marker.centre);
        const cv::Point2f predicted = Apply(toImage, centre);
        const double side = marker.size * ScaleAt(toImage, centre);
        double best = reach * side;
        for (const SquareShape& c : squares) {
            if (c.hollow != marker.hollow || c.side < kMarkerSizeLow * side ||
                c.side > kMarkerSizeHigh * side)
                continue;
            const double d = Dist(c.centre, predicted);
            if (d < best) best = d, found[m] = c.centre;
        }
    }
    return found;
}

// The placement by the markers and the code's corners, starting from a first
// one; which markers it rests on in `markersUsed`.
cv::Matx33d PlaceByReferences(const cv::Matx33d& first, const std::vector<SquareShape>& squares,
                              const SheetPageLayout& layout, const std::vector<Reference>& code,
                              std::array<std::optional<cv::Point2f>, 4>* markersUsed) {
    cv::Matx33d fit = first;
    markersUsed->fill(std::nullopt);
    for (const double reach : {kWideReach, kCloseReach}) {
        const auto markers = MatchMarkers(squares, layout, fit, reach);
        std::vector<Reference> refs = code;
        std::vector<std::size_t> which;
        for (std::size_t m = 0; m < 4; ++m)
            if (markers[m]) {
                refs.push_back({ToPoint(layout.markers[m].centre), *markers[m]});
                which.push_back(m);
            }
        const double side = layout.markers.empty()
                                ? 10
                                : layout.markers[0].size *
                                      ScaleAt(fit, cv::Point2f(float(layout.size.width() / 2),
                                                               float(layout.size.height() / 2)));
        std::vector<uchar> kept;
        const auto h = RobustFit(refs, std::max(kMarkerFitMinPx, kMarkerFitSlack * side), &kept);
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
    const double inside = radius - kRingBand, outside = radius + kRingBand;
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
    // Every third offset, then every one around the best of those.
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
    if (best < std::max(kRingContrast, kRingContrastShare * paper)) return std::nullopt;
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
    bool moved = false;  // the fit moved some bubble by more than kRingFitMoves
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
        refs.push_back({ToPoint(b.centre), *out.rings[i]});
    }
    if (refs.size() < kMinRingReferences) return out;
    const double px = ScaleAt(
        toImage, cv::Point2f(float(layout.size.width() / 2), float(layout.size.height() / 2)));
    const auto fit = RobustFit(refs, std::max(1.0, kRingFitSlack * smallest * px), nullptr);
    if (!fit) return out;
    for (const SheetBubble& b : layout.bubbles) {
        const cv::Point2f c = ToPoint(b.centre);
        if (Dist(Apply(*fit, c), Apply(toImage, c)) > kRingFitMoves) out.moved = true;
    }
    out.toImage = *fit;
    return out;
}

// Whether the placement is sure: the bubbles of every question (and every
// column of the student number) whose rings were found stand where it puts
// them, within kGroupResidual of their radius, a bubble whose ring a mark
// hides or bends being outvoted by its neighbours; and a placement resting on
// fewer than four markers is confirmed by the rings of most questions.
bool PlacedSurely(const RingFit& fit, const SheetPageLayout& layout, int markersUsed) {
    std::map<std::pair<int, int>, std::vector<double>> groups;  // (kind, question or place)
    for (std::size_t i = 0; i < layout.bubbles.size(); ++i) {
        const SheetBubble& b = layout.bubbles[i];
        const auto key = b.kind == SheetBubble::Kind::Answer ? std::pair{0, b.question}
                                                             : std::pair{1, b.position};
        auto& residuals = groups[key];
        if (!fit.rings[i]) continue;
        const cv::Point2f c = ToPoint(b.centre);
        const cv::Point2f placed = Apply(fit.toImage, c);
        residuals.push_back(Dist(placed, *fit.rings[i]) / ScaleAt(fit.toImage, c) / b.r);
    }
    int verified = 0;
    for (auto& [key, residuals] : groups) {
        (void)key;
        if (residuals.size() < 2) continue;
        ++verified;
        std::sort(residuals.begin(), residuals.end());
        if (residuals[(residuals.size() - 1) / 2] > kGroupResidual) return false;
    }
    return markersUsed >= 4 || verified * 2 >= int(groups.size());
}

// Whether the upright page shows the marker as printed: a solid one dark at
// its centre (under 55% of the paper's white around), a hollow one light at
// its centre (over 70%) inside a dark frame (under 75%: the frame is thin and
// blurs), both on lighter paper around. Each is sampled over a patch of 30%
// of the marker's side, clear of its edges.
bool MarkerStands(const cv::Mat& upright, const SheetMarker& marker) {
    const double s = marker.size;
    const QPointF c = marker.centre;
    auto at = [&](double dx, double dy, double w, double h) {
        return MeanIn(upright, kUprightScale, QRectF(c.x() + dx - w / 2, c.y() + dy - h / 2, w, h));
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

// The placement measured against every reference: what the rings say, which
// markers stand where they put them, and whether the code agrees.
Placement Place(const cv::Mat& work, const cv::Matx33d& first,
                const std::vector<SquareShape>& squares, const std::vector<Reference>& code,
                const SheetPageLayout& layout) {
    Placement p;
    p.toImage = PlaceByReferences(first, squares, layout, code, &p.markers);
    std::vector<Reference> markers;
    for (std::size_t m = 0; m < 4; ++m)
        if (p.markers[m]) markers.push_back({ToPoint(layout.markers[m].centre), *p.markers[m]});
    const QRectF whole(QPointF(0, 0), layout.size);
    p.upright = WarpRegion(work, p.toImage, whole, kUprightScale);
    // Far from the references the first placement may be a few pixels off:
    // the rings are searched widely, then again closely once they moved it.
    RingFit fit;
    int reach = kRingFirstReach;
    for (int pass = 0; pass < kRingPasses; ++pass) {
        fit = FitRings(p.upright, p.toImage, kUprightScale, layout, markers, reach);
        if (!fit.moved) break;
        p.toImage = fit.toImage;
        p.upright = WarpRegion(work, p.toImage, whole, kUprightScale);
        reach = kRingNextReach;
    }
    // The markers it rests on are those standing where the rings put them:
    // with three markers and the code, a doodle beside a torn corner fits
    // as well as the fourth marker would, until the rings say otherwise.
    int standing = 0, fallen = 0;
    for (std::size_t m = 0; m < 4; ++m) {
        if (!p.markers[m]) continue;
        const cv::Point2f at = ToPoint(layout.markers[m].centre);
        const double tolerance = std::max(
            kMarkerAgreesMinPx,
            kMarkerAgreesRadius *
                (layout.bubbles.empty() ? layout.markers[m].size / 3 : layout.bubbles.front().r) *
                ScaleAt(fit.toImage, at));
        if (Dist(Apply(fit.toImage, at), *p.markers[m]) > tolerance)
            p.markers[m].reset(), ++fallen;
        else
            ++standing;
    }
    bool codeAgrees = true;
    for (const Reference& r : code) {
        const double r0 = layout.bubbles.empty() ? 6 : layout.bubbles.front().r;
        codeAgrees =
            codeAgrees &&
            Dist(Apply(fit.toImage, r.layout), r.image) <=
                std::max(kCodeAgreesMinPx, kCodeAgreesRadius * r0 * ScaleAt(fit.toImage, r.layout));
    }
    // All markers but one must agree with the rings.
    p.sure = PlacedSurely(fit, layout, standing) && codeAgrees && fallen <= 1;
    const cv::Matx33d back = p.toImage.inv();
    p.offsets.resize(layout.bubbles.size());
    for (std::size_t i = 0; i < layout.bubbles.size(); ++i) {
        if (!fit.rings[i]) continue;
        const SheetBubble& b = layout.bubbles[i];
        const cv::Point2f at = Apply(back, *fit.rings[i]);
        const QPointF offset(at.x - b.centre.x(), at.y - b.centre.y());
        if (std::hypot(offset.x(), offset.y()) <= kOwnRingReach * b.r) p.offsets[i] = offset;
    }
    return p;
}

}  // namespace

std::optional<Placement> Register(const cv::Mat& work, const Located& found,
                                  const SheetPageLayout& layout) {
    // The first placement: by the markers chosen, or else by the code alone.
    const std::vector<Reference> codeCorners =
        found.codeSeen ? CodeReferences(layout.code, *found.codeSeen) : std::vector<Reference>{};
    cv::Matx33d first;
    if (found.corners) {
        first = MarkersToImage(layout, *found.corners);
    } else if (const auto h = RobustFit(codeCorners, 1e9, nullptr)) {
        first = *h;
    } else {
        return std::nullopt;
    }
    Placement placement = Place(work, first, found.squares, codeCorners, layout);
    // Every marker the placement rests on must stand where it puts it, solid
    // or hollow as printed: a student number box or a mark taken for a marker
    // would place every bubble wrong.
    for (std::size_t m = 0; m < layout.markers.size(); ++m)
        if (placement.markers[m] && !MarkerStands(placement.upright, layout.markers[m]))
            placement.sure = false;
    return placement;
}

}  // namespace scrivane::sheetread
