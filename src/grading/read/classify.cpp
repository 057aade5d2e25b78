// Calibrating the ink and classifying the bubbles: how dark each bubble is
// beyond the blank sheet's print, against the paper's white and the print's
// black on this page, and whether that makes it marked, empty or unclear.
#include <algorithm>
#include <map>
#include <opencv2/imgproc.hpp>

#include "grading/read/readstages.h"

namespace scrivane::sheetread {

namespace {

// A bubble counts the darkness of its inside, clear of the printed outline, so
// that a sheet placed a pixel or two off does not read its own circle.
constexpr double kInnerRadius = 0.75;
// A pixel is strongly dark beyond the blank sheet by this much: pen and
// pencil strokes are, an erased mark, a smudge or a copier's grey are not.
constexpr double kStrong = 0.4;

// The paper's white is the lightest grey over a square one and a half of
// the largest bubble's diameters wide, smoothed, at a quarter of the upright
// resolution: a filled bubble never darkens its own white.
constexpr double kPaperScale = 0.25;
// The printed black is measured inside each solid marker (clear of its edge
// by 30% of its side) against the paper's white within 60% of a side
// around it.
constexpr double kBlackInset = 0.3, kWhiteAround = 0.6;
// The printed black comes out no lighter than this: fainter still, the
// page is no sheet to be read.
constexpr double kFaintestBlack = 0.2;

// The share of a bubble's inside the blank sheet leaves for a mark is taken
// as at least this, should a bubble's letter cover nearly all of it.
constexpr double kMinFree = 0.05;
// Filled bubbles in pencil or pen, half-filled ones, ticks and crosses darken
// much of the inside or lay strong strokes across it; an erased mark or a
// smudge darkens a little without strong strokes, a dot strongly but over
// little. Tuned on the generated mix of every kind of scan and mark.
constexpr double kMarkedFill = 0.32;                               // marked by darkness alone
constexpr double kMarkedStrokeFill = 0.14, kMarkedStrokes = 0.14;  // marked by strong strokes
constexpr double kEmptyFill = 0.11, kEmptyStrokes = 0.07;          // empty under both

// Light pencil against the sheet's own marks: only on a sheet of at least
// this many bubbles, where the empty bubbles' level can be told.
constexpr std::size_t kMinBubblesToJudge = 10;
// The empty bubbles' top: their median and five times their spread (the
// median deviation scaled to a standard deviation's), at least 0.04 over
// their median, the spread at least 0.01.
constexpr double kMadToDeviation = 1.4826, kEmptySpreads = 5, kMinEmptyMargin = 0.04,
                 kMinSpread = 0.01;
// The marks must be at least five, over a quarter of the groups, and stand
// 0.12 above the empty bubbles' level: else there is no group of marks to
// judge by. A doubtful bubble counts when it is past half-way between the
// two levels.
constexpr std::size_t kMinMarks = 5;
constexpr double kMinMarkGap = 0.12, kMarkHalfway = 0.5;

// Mean darkness and share of strongly dark pixels inside a bubble of an
// upright image, against the paper's white there and the print's black.
Darkness Measure(const cv::Mat& upright, const SheetBubble& bubble, double white, double black) {
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
    const double contrast = 1 / std::clamp(black, kFaintestBlack, 1.0);
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
    if (fills.size() < kMinBubblesToJudge) return;
    auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    // Most bubbles of any sheet are empty: their level and spread.
    const double empty = median(fills);
    std::vector<double> deviations;
    for (double f : fills) deviations.push_back(std::abs(f - empty));
    const double spread = std::max(kMinSpread, kMadToDeviation * median(deviations));
    const double emptyTop = empty + std::max(kMinEmptyMargin, kEmptySpreads * spread);
    // The marks: the darkest bubble of each group that stands above the rest.
    std::vector<double> marks;
    for (const auto& [key, members] : groups) {
        (void)key;
        double top = 0;
        for (std::size_t i : members) top = std::max(top, bubbles[i].fill);
        if (top > emptyTop) marks.push_back(top);
    }
    if (marks.size() < kMinMarks || marks.size() * 4 < groups.size()) return;
    const double markLevel = median(marks);
    if (markLevel - empty < kMinMarkGap) return;
    const double threshold = empty + kMarkHalfway * (markLevel - empty);
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

// Whether the page searched shows the whole of a bubble where the placement
// puts it, a pixel clear of its edge.
bool InFrame(const cv::Matx33d& toImage, const SheetBubble& bubble, const cv::Size& frame) {
    bool inFrame = true;
    for (const auto& [dx, dy] : {std::pair{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}) {
        const cv::Point2f corner =
            Apply(toImage, cv::Point2f(float(bubble.centre.x() + dx * bubble.r),
                                       float(bubble.centre.y() + dy * bubble.r)));
        inFrame = inFrame && corner.x >= 1 && corner.y >= 1 && corner.x < frame.width - 1 &&
                  corner.y < frame.height - 1;
    }
    return inFrame;
}

}  // namespace

Ink CalibrateInk(const Placement& placement, const SheetPageLayout& layout) {
    const cv::Mat& upright = placement.upright;
    Ink ink;
    {
        cv::Mat small;
        cv::resize(upright, small, cv::Size(), kPaperScale, kPaperScale, cv::INTER_AREA);
        double maxR = 0;
        for (const auto& b : layout.bubbles) maxR = std::max(maxR, b.r);
        const int k = std::max(3, int(std::ceil(maxR * 3 * kUprightScale / 4)) | 1);
        cv::dilate(small, ink.paper, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(k, k)));
        cv::GaussianBlur(ink.paper, ink.paper, cv::Size(k, k), 0);
    }
    // Only the markers the picture shows count.
    std::vector<double> levels;
    for (std::size_t m = 0; m < layout.markers.size(); ++m) {
        const SheetMarker& marker = layout.markers[m];
        if (marker.hollow || !placement.markers[m]) continue;
        const QRectF square(marker.centre - QPointF(marker.size / 2, marker.size / 2),
                            QSizeF(marker.size, marker.size));
        const double in = marker.size * kBlackInset, out = marker.size * kWhiteAround;
        const QRectF inside = square.adjusted(in, in, -in, -in);
        const double white = PaperIn(upright, kUprightScale, square.adjusted(-out, -out, out, out));
        if (white < 1) continue;
        const cv::Rect pixels =
            cv::Rect(int(inside.x() * kUprightScale), int(inside.y() * kUprightScale),
                     std::max(1, int(inside.width() * kUprightScale)),
                     std::max(1, int(inside.height() * kUprightScale))) &
            cv::Rect(0, 0, upright.cols, upright.rows);
        if (pixels.area() == 0) continue;
        levels.push_back(1 - cv::mean(upright(pixels))[0] / white);
    }
    if (!levels.empty()) {
        std::sort(levels.begin(), levels.end());
        ink.black = std::clamp(levels[levels.size() / 2], kFaintestBlack, 1.0);
    }
    return ink;
}

BlankSheet MeasureBlank(const QImage& render, const SheetPageLayout& layout) {
    BlankSheet blank;
    const cv::Mat image = Wrap(render);
    for (const SheetBubble& bubble : layout.bubbles)
        blank.bubbles.push_back(Measure(image, bubble, 255, 1));
    return blank;
}

std::vector<BubbleRead> Classify(const cv::Mat& work, const Placement& placement, const Ink& ink,
                                 const SheetPageLayout& layout, const BlankSheet& blank) {
    std::vector<BubbleRead> bubbles;
    bubbles.reserve(layout.bubbles.size());
    const cv::Size frame(work.cols, work.rows);
    for (std::size_t i = 0; i < layout.bubbles.size(); ++i) {
        SheetBubble bubble = layout.bubbles[i];
        BubbleRead read;
        read.bubble = bubble;
        // A bubble the picture does not show whole is never read as empty.
        if (!InFrame(placement.toImage, bubble, frame)) {
            read.mark = BubbleRead::Mark::Unclear;
            bubbles.push_back(read);
            continue;
        }
        // Judged where its own ring stands, when the ring shows.
        if (placement.offsets[i]) bubble.centre += *placement.offsets[i];
        const int bx =
            std::clamp(int(bubble.centre.x() * kUprightScale * kPaperScale), 0, ink.paper.cols - 1);
        const int by =
            std::clamp(int(bubble.centre.y() * kUprightScale * kPaperScale), 0, ink.paper.rows - 1);
        const double white = ink.paper.at<uchar>(by, bx);
        const Darkness& expected = blank.bubbles[i];
        const Darkness seen = Measure(placement.upright, bubble, white, ink.black);
        const double extra = std::max(0.0, seen.dark - expected.dark);
        const double strong = std::max(0.0, seen.strong - expected.strong);
        read.fill = std::clamp(extra / std::max(kMinFree, 1 - expected.dark), 0.0, 1.0);
        read.strong = strong;
        if (read.fill >= kMarkedFill ||
            (read.fill >= kMarkedStrokeFill && strong >= kMarkedStrokes))
            read.mark = BubbleRead::Mark::Marked;
        else if (read.fill < kEmptyFill && strong < kEmptyStrokes)
            read.mark = BubbleRead::Mark::Empty;
        else
            read.mark = BubbleRead::Mark::Unclear;
        bubbles.push_back(read);
    }
    JudgeAgainstTheSheet(bubbles);
    // Placed, but not surely: nothing is read as if it were.
    if (!placement.sure)
        for (BubbleRead& read : bubbles) read.mark = BubbleRead::Mark::Unclear;
    return bubbles;
}

}  // namespace scrivane::sheetread
