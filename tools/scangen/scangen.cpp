#include "scangen.h"

#include <QBuffer>
#include <QImageWriter>
#include <QJsonArray>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <map>
#include <opencv2/imgproc.hpp>
#include <optional>

namespace scrivane::scangen {

namespace {

double Uniform(std::mt19937& random, double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(random);
}

bool Chance(std::mt19937& random, double p) {
    return Uniform(random, 0, 1) < p;
}

QColor Ink(double darkness) {
    const int v = std::clamp(int(std::lround(255 * (1 - darkness))), 0, 255);
    return QColor(v, v, v);
}

cv::Mat ToMat(const QImage& image) {
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    cv::Mat wrapped(grey.height(), grey.width(), CV_8UC1, const_cast<uchar*>(grey.constBits()),
                    std::size_t(grey.bytesPerLine()));
    return wrapped.clone();
}

QImage ToImage(const cv::Mat& mat) {
    return QImage(mat.data, mat.cols, mat.rows, int(mat.step), QImage::Format_Grayscale8).copy();
}

// A pencil fill: a grey base laid down unevenly, with darker strokes over it.
void PencilFill(QPainter& p, QPointF c, double r, double darkness, std::mt19937& random,
                const QPainterPath& clip, double strokeLo = 0.05, double strokeHi = 0.25) {
    p.save();
    p.setClipPath(clip);
    p.setPen(Qt::NoPen);
    p.setBrush(Ink(darkness));
    p.drawEllipse(c, r, r);
    const double angle = Uniform(random, 0, M_PI);
    for (int i = 0; i < 14; ++i) {
        const double offset = Uniform(random, -r, r);
        const QPointF along(std::cos(angle) * r * 1.2, std::sin(angle) * r * 1.2);
        const QPointF across(-std::sin(angle) * offset, std::cos(angle) * offset);
        p.setPen(QPen(Ink(std::min(0.95, darkness + Uniform(random, strokeLo, strokeHi))),
                      Uniform(random, 0.4, 1.0), Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c + across - along, c + across + along);
    }
    p.restore();
}

void DrawMark(QPainter& p, const SheetBubble& b, Mark mark, std::mt19937& random) {
    const double r = b.r;
    const QPointF c =
        b.centre + QPointF(Uniform(random, -0.12, 0.12) * r, Uniform(random, -0.12, 0.12) * r);
    QPainterPath all;
    const double reach = r * Uniform(random, 0.9, 1.1);
    all.addEllipse(c, reach, reach);
    switch (mark) {
        case Mark::None:
            return;
        case Mark::Pencil:
            PencilFill(p, c, reach, Uniform(random, 0.45, 0.7), random, all);
            return;
        case Mark::Light:
            PencilFill(p, c, reach, Uniform(random, 0.2, 0.27), random, all, 0.02, 0.1);
            return;
        case Mark::Pen:
            p.setPen(Qt::NoPen);
            p.setBrush(Ink(Uniform(random, 0.8, 0.95)));
            p.drawEllipse(c, reach, reach);
            return;
        case Mark::Half: {
            // The half towards a random side, in pen or dark pencil.
            const double angle = Uniform(random, 0, 2 * M_PI);
            QPainterPath half;
            half.moveTo(c);
            half.arcTo(QRectF(c.x() - reach, c.y() - reach, 2 * reach, 2 * reach),
                       angle * 180 / M_PI, Uniform(random, 170, 200));
            half.closeSubpath();
            if (Chance(random, 0.5)) {
                PencilFill(p, c, reach, Uniform(random, 0.55, 0.7), random, half);
            } else {
                p.setPen(Qt::NoPen);
                p.setBrush(Ink(Uniform(random, 0.8, 0.95)));
                p.drawPath(half);
            }
            return;
        }
        case Mark::Tick:
        case Mark::Cross: {
            p.setPen(QPen(Ink(Uniform(random, 0.75, 0.95)), Uniform(random, 1.3, 2.0),
                          Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            auto at = [&](double x, double y) {
                return c + QPointF((x + Uniform(random, -0.08, 0.08)) * r,
                                   (y + Uniform(random, -0.08, 0.08)) * r);
            };
            if (mark == Mark::Tick) {
                const QPointF points[3] = {at(-0.6, 0), at(-0.15, 0.55), at(0.7, -0.75)};
                p.drawPolyline(points, 3);
            } else {
                p.drawLine(at(-0.7, -0.7), at(0.7, 0.7));
                p.drawLine(at(-0.7, 0.7), at(0.7, -0.7));
            }
            return;
        }
        case Mark::Erased:
        case Mark::Rubbed: {
            // What an eraser leaves: a faint grey, a few fainter streaks.
            p.setPen(Qt::NoPen);
            p.setBrush(Ink(mark == Mark::Rubbed ? Uniform(random, 0.12, 0.18)
                                                : Uniform(random, 0.04, 0.12)));
            p.drawEllipse(c, reach, reach);
            for (int i = 0; i < 4; ++i) {
                p.setPen(QPen(Ink(Uniform(random, 0.1, 0.2)), 0.5));
                const double y = Uniform(random, -0.7, 0.7) * r;
                p.drawLine(c + QPointF(-0.6 * r, y),
                           c + QPointF(0.6 * r, y + Uniform(random, -1, 1)));
            }
            return;
        }
        case Mark::Dot: {
            p.setPen(Qt::NoPen);
            p.setBrush(Ink(Uniform(random, 0.7, 0.9)));
            const double d = Uniform(random, 0.5, 1.0);
            p.drawEllipse(
                c + QPointF(Uniform(random, -0.4, 0.4) * r, Uniform(random, -0.4, 0.4) * r), d, d);
            return;
        }
        case Mark::Smudge: {
            QRadialGradient g(c, r * Uniform(random, 0.9, 1.4));
            const double d = Uniform(random, 0.08, 0.16);
            g.setColorAt(0, Ink(d));
            g.setColorAt(1, QColor(255, 255, 255, 0));
            p.setPen(Qt::NoPen);
            p.setBrush(g);
            p.drawEllipse(c, r * 1.4, r * 1.4);
            return;
        }
    }
}

Mark RandomChoice(std::mt19937& random) {
    const double x = Uniform(random, 0, 1);
    if (x < 0.35) return Mark::Pencil;
    if (x < 0.55) return Mark::Pen;
    if (x < 0.7) return Mark::Half;
    if (x < 0.85) return Mark::Tick;
    return Mark::Cross;
}

cv::Mat Multiply(const cv::Mat& image, const cv::Mat& factor) {
    cv::Mat f, out;
    image.convertTo(f, CV_32F);
    cv::multiply(f, factor, f);
    f.convertTo(out, CV_8U);
    return out;
}

void AddNoise(cv::Mat& image, double sd, std::mt19937& random) {
    if (sd <= 0) return;
    cv::Mat noise(image.size(), CV_16S);
    cv::theRNG().state = random();
    cv::randn(noise, 0, sd);
    cv::Mat wide;
    image.convertTo(wide, CV_16S);
    wide += noise;
    wide.convertTo(image, CV_8U);
}

cv::Mat Copy(const cv::Mat& page, std::mt19937& random) {
    // Weaker toner and a grey paper, the copier's own blur and grain.
    cv::Mat out;
    const double toner = Uniform(random, 0.75, 0.9), paper = Uniform(random, 205, 235);
    page.convertTo(out, CV_32F);
    out = paper - (255 - out) * (paper / 255) * toner;
    out.convertTo(out, CV_8U);
    cv::GaussianBlur(out, out, cv::Size(0, 0), 0.7);
    AddNoise(out, 4, random);
    return out;
}

// The picture's frame drawn in from one of its edges so far that the corner
// markers of `corners` (bits as Distortion::cutCorners) are out of it: a single
// one with the code and every bubble kept in, the two of one side with the
// other two markers kept in. Nothing when no edge does.
std::optional<cv::Rect> CutFrame(const SheetPageLayout& layout, const cv::Matx33d& transform,
                                 double px, cv::Size size, int corners, bool whole) {
    auto place = [&](double x, double y) {
        const cv::Vec3d v = transform * cv::Vec3d(x * px, y * px, 1);
        return cv::Point2d(v[0] / v[2], v[1] / v[2]);
    };
    std::vector<cv::Point2d> out, keep;
    auto box = [&](std::vector<cv::Point2d>& into, QRectF r) {
        into.push_back(place(r.left(), r.top()));
        into.push_back(place(r.right(), r.top()));
        into.push_back(place(r.right(), r.bottom()));
        into.push_back(place(r.left(), r.bottom()));
    };
    int count = 0;
    for (std::size_t m = 0; m < layout.markers.size(); ++m) {
        const SheetMarker& marker = layout.markers[m];
        const QRectF square(marker.centre - QPointF(marker.size / 2, marker.size / 2),
                            QSizeF(marker.size, marker.size));
        const bool cut = corners & (1 << m);
        count += cut;
        box(cut ? out : keep, square.adjusted(-1, -1, 1, 1));
    }
    if (whole) {
        const double quiet = 3;  // points of the code's quiet zone that must show
        box(keep, layout.code.adjusted(-quiet, -quiet, quiet, quiet));
        for (const SheetBubble& b : layout.bubbles)
            box(keep,
                QRectF(b.centre - QPointF(b.r * 1.2, b.r * 1.2), QSizeF(b.r * 2.4, b.r * 2.4)));
    }
    std::optional<cv::Rect> best;
    auto consider = [&](cv::Rect r) {
        if (r.width < size.width / 3 || r.height < size.height / 3) return;
        for (const auto& p : keep)
            if (p.x < r.x + 3 || p.y < r.y + 3 || p.x > r.br().x - 3 || p.y > r.br().y - 3) return;
        if (!best || r.area() > best->area()) best = r;
    };
    double lx = 1e9, ly = 1e9, hx = -1e9, hy = -1e9;
    for (const auto& p : out)
        lx = std::min(lx, p.x), ly = std::min(ly, p.y), hx = std::max(hx, p.x),
        hy = std::max(hy, p.y);
    const int W = size.width, H = size.height;
    if (hx + 1 < W) consider(cv::Rect(int(hx) + 1, 0, W - int(hx) - 1, H));
    if (lx > 1) consider(cv::Rect(0, 0, int(lx), H));
    if (hy + 1 < H) consider(cv::Rect(0, int(hy) + 1, W, H - int(hy) - 1));
    if (ly > 1) consider(cv::Rect(0, 0, W, int(ly)));
    return best;
}

}  // namespace

void DamagePage(QPainter& p, const SheetPageLayout& layout, const Distortion& d) {
    if (d.tornMarker < 0 || std::size_t(d.tornMarker) >= layout.markers.size()) return;
    const SheetMarker& m = layout.markers[std::size_t(d.tornMarker)];
    p.save();
    p.setPen(Qt::NoPen);
    // The corner of the paper torn off, the marker with it: white as the
    // scanner's lid behind it.
    const double reach = m.size * 0.9;
    p.fillRect(QRectF(m.centre - QPointF(reach, reach), QSizeF(2 * reach, 2 * reach)), Qt::white);
    if (d.doodle) {
        // A dark square of the marker's size 15 mm from it along the edge.
        const double away = 15 * 72 / 25.4;
        const double dx = m.centre.x() < layout.size.width() / 2 ? away : -away;
        const QPointF c = m.centre + QPointF(dx, 0);
        p.fillRect(QRectF(c - QPointF(m.size / 2, m.size / 2), QSizeF(m.size, m.size)),
                   QColor(25, 25, 25));
    }
    p.restore();
}

bool Counts(Mark mark) {
    return mark == Mark::Pencil || mark == Mark::Pen || mark == Mark::Half || mark == Mark::Tick ||
           mark == Mark::Cross || mark == Mark::Light;
}

QString MarkName(Mark mark) {
    static const char* const names[] = {"none",   "pencil", "pen",    "half",  "tick",  "cross",
                                        "erased", "dot",    "smudge", "light", "rubbed"};
    return QString::fromLatin1(names[int(mark)]);
}

QJsonObject Distortion::ToJson() const {
    return {{"quarter_turns", quarterTurns},
            {"skew", skew},
            {"scale", scale},
            {"shift_x", shiftX},
            {"shift_y", shiftY},
            {"blur", blur},
            {"noise", noise},
            {"jpeg", jpegQuality},
            {"copier", copier},
            {"copies", copies},
            {"photo", photo},
            {"dark_bed", darkBed},
            {"tilt", tilt},
            {"tilt_axis", tiltAxis},
            {"cut_corners", cutCorners},
            {"cut_whole", cutWhole},
            {"torn_marker", tornMarker},
            {"doodle", doodle}};
}

Distortion RandomDistortion(std::mt19937& random, int style) {
    if (style < 0 || style > 5) style = std::uniform_int_distribution<int>(0, 5)(random);
    Distortion d;
    d.scale = Uniform(random, 0.95, 1.05);
    const double shift = d.scale > 1 ? 3 : 8;
    d.shiftX = Uniform(random, -shift, shift);
    d.shiftY = Uniform(random, -shift, shift);
    d.noise = Uniform(random, 1, 5);
    d.blur = Uniform(random, 0.3, 0.9);
    switch (style) {
        case 0:
            d.skew = Uniform(random, -1.5, 1.5);
            break;
        case 1:
            d.quarterTurns = std::uniform_int_distribution<int>(0, 3)(random);
            d.skew = Uniform(random, -10, 10);
            d.darkBed = Chance(random, 0.3);
            d.jpegQuality = 85;
            break;
        case 2:
            d.quarterTurns = 2;
            d.skew = Uniform(random, -4, 4);
            d.jpegQuality = int(Uniform(random, 45, 80));
            d.noise = Uniform(random, 3, 8);
            break;
        case 3:
            d.quarterTurns = Chance(random, 0.5) ? 0 : 2;
            d.skew = Uniform(random, -3, 3);
            d.copier = true;
            d.copies = 2;
            d.jpegQuality = 75;
            break;
        case 5:
            d.tilt = Uniform(random, 5, 15);
            d.tiltAxis = Uniform(random, 0, 360);
            [[fallthrough]];
        default:
            d.quarterTurns = std::uniform_int_distribution<int>(0, 3)(random);
            d.skew = Uniform(random, -8, 8);
            d.photo = true;
            d.blur = Uniform(random, 0.6, 1.3);
            d.noise = Uniform(random, 4, 8);
            d.jpegQuality = int(Uniform(random, 70, 90));
            break;
    }
    return d;
}

// The sheet's bubbles by question and by student-number place, as indices
// into the layout's bubbles.
struct BubbleGroups {
    std::map<int, std::vector<std::size_t>> questions;
    std::map<int, std::vector<std::size_t>> digits;
};

BubbleGroups GroupedBubbles(const SheetPageLayout& layout) {
    BubbleGroups groups;
    for (std::size_t i = 0; i < layout.bubbles.size(); ++i) {
        const SheetBubble& b = layout.bubbles[i];
        if (b.kind == SheetBubble::Kind::Answer)
            groups.questions[b.question].push_back(i);
        else
            groups.digits[b.position].push_back(i);
    }
    return groups;
}

Filling RandomFilling(const SheetPageLayout& layout, std::mt19937& random) {
    Filling f;
    f.marks.assign(layout.bubbles.size(), Mark::None);
    const auto [questions, digits] = GroupedBubbles(layout);
    for (auto& [number, bubbles] : questions) {
        (void)number;
        std::vector<std::size_t> order = bubbles;
        std::shuffle(order.begin(), order.end(), random);
        const double x = Uniform(random, 0, 1);
        if (x < 0.06) {
            continue;
        } else if (x < 0.14 && order.size() > 1) {
            f.marks[order[0]] = Mark::Erased;
            f.marks[order[1]] = RandomChoice(random);
        } else if (x < 0.18 && order.size() > 1) {
            f.marks[order[0]] = RandomChoice(random);
            f.marks[order[1]] = RandomChoice(random);
        } else {
            f.marks[order[0]] = RandomChoice(random);
        }
    }
    for (auto& mark : f.marks) {
        if (mark != Mark::None) continue;
        const double x = Uniform(random, 0, 1);
        if (x < 0.01)
            mark = Mark::Dot;
        else if (x < 0.02)
            mark = Mark::Smudge;
    }
    for (auto& [position, bubbles] : digits) {
        (void)position;
        const int digit = std::uniform_int_distribution<int>(0, int(bubbles.size()) - 1)(random);
        for (std::size_t i : bubbles)
            if (layout.bubbles[i].digit == digit) {
                f.marks[i] = Chance(random, 0.6) ? Mark::Pencil : Mark::Pen;
                f.student += QString::number(digit);
            }
    }
    return f;
}

Filling LightPencilFilling(const SheetPageLayout& layout, std::mt19937& random) {
    Filling f;
    f.marks.assign(layout.bubbles.size(), Mark::None);
    const auto [questions, digits] = GroupedBubbles(layout);
    bool erased = false;
    for (auto& [number, bubbles] : questions) {
        (void)number;
        std::vector<std::size_t> order = bubbles;
        std::shuffle(order.begin(), order.end(), random);
        if (Chance(random, 0.05)) continue;
        f.marks[order[0]] = Mark::Light;
        // One answer changed: the first one rubbed out beside the mark.
        if (!erased && order.size() > 1 && Chance(random, 0.2)) {
            f.marks[order[1]] = Mark::Rubbed;
            erased = true;
        }
    }
    for (auto& [position, bubbles] : digits) {
        (void)position;
        const int digit = std::uniform_int_distribution<int>(0, int(bubbles.size()) - 1)(random);
        for (std::size_t i : bubbles)
            if (layout.bubbles[i].digit == digit) {
                f.marks[i] = Mark::Light;
                f.student += QString::number(digit);
            }
    }
    return f;
}

QImage DrawMarks(const QImage& page, double dpi, const SheetPageLayout& layout,
                 const Filling& filling, std::mt19937& random) {
    QImage canvas = page.convertToFormat(QImage::Format_RGB32);
    {
        QPainter p(&canvas);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(dpi / 72, dpi / 72);
        for (std::size_t i = 0; i < layout.bubbles.size() && i < filling.marks.size(); ++i)
            DrawMark(p, layout.bubbles[i], filling.marks[i], random);
    }
    return canvas.convertToFormat(QImage::Format_Grayscale8);
}

namespace {

QImage DistortPage(const QImage& page, double dpi, const Distortion& d, std::mt19937& random,
                   const SheetPageLayout* layout, bool* cut) {
    cv::Mat image = ToMat(page);
    for (int i = 0; d.copier && i < d.copies; ++i) image = Copy(image, random);

    // The page turned about its centre onto a bed large enough to hold it.
    const double w = image.cols, h = image.rows;
    const double angle = (d.quarterTurns * 90 + d.skew) * M_PI / 180;
    const double cs = std::cos(angle), sn = std::sin(angle);
    const double outW = std::abs(w * cs) + std::abs(h * sn) + 20,
                 outH = std::abs(w * sn) + std::abs(h * cs) + 20;
    const double px = dpi / 72;
    cv::Matx33d toBed(d.scale * cs, -d.scale * sn, 0, d.scale * sn, d.scale * cs, 0, 0, 0, 1);
    const cv::Matx33d centre(1, 0, -w / 2, 0, 1, -h / 2, 0, 0, 1);
    const cv::Matx33d place(1, 0, outW / 2 + d.shiftX * px, 0, 1, outH / 2 + d.shiftY * px, 0, 0,
                            1);
    cv::Matx33d transform = place * toBed * centre;
    cv::Size size{int(outW), int(outH)};
    int border = d.darkBed ? 25 : 250;
    if (d.photo && d.tilt > 0) {
        // A camera leaning `tilt` degrees: the bed as a plane turned about an
        // axis through its middle, seen through a lens of a phone's angle.
        const double margin = 0.08;
        const std::vector<cv::Point2f> from{
            {0, 0}, {float(outW), 0}, {float(outW), float(outH)}, {0, float(outH)}};
        const double f = 1.2 * std::max(outW, outH), t = d.tilt * M_PI / 180,
                     a = d.tiltAxis * M_PI / 180;
        const double ux = std::cos(a), uy = std::sin(a), c = std::cos(t), s = std::sin(t);
        std::vector<cv::Point2f> to;
        for (const auto& q : from) {
            // Rodrigues' turn of (x, y, 0) about (ux, uy, 0).
            const double x = q.x - outW / 2, y = q.y - outH / 2;
            const double along = x * ux + y * uy;
            const double rx = x * c + ux * along * (1 - c), ry = y * c + uy * along * (1 - c),
                         rz = (ux * y - uy * x) * s;
            to.emplace_back(float(f * rx / (f + rz)), float(f * ry / (f + rz)));
        }
        float lx = 1e9f, ly = 1e9f, hx = -1e9f, hy = -1e9f;
        for (const auto& q : to)
            lx = std::min(lx, q.x), ly = std::min(ly, q.y), hx = std::max(hx, q.x),
            hy = std::max(hy, q.y);
        for (auto& q : to) q += cv::Point2f(float(outW * margin) - lx, float(outH * margin) - ly);
        transform = cv::Matx33d(cv::getPerspectiveTransform(from, to)) * transform;
        size = cv::Size(int(hx - lx + 2 * outW * margin), int(hy - ly + 2 * outH * margin));
        border = int(Uniform(random, 60, 130));
    } else if (d.photo) {
        // The camera held a little askew: the bed's corners land elsewhere,
        // on a table seen around the sheet.
        const double margin = 0.08;
        std::vector<cv::Point2f> from{
            {0, 0}, {float(outW), 0}, {float(outW), float(outH)}, {0, float(outH)}};
        std::vector<cv::Point2f> to;
        for (const auto& q : from)
            to.emplace_back(float(q.x + outW * margin + Uniform(random, -0.06, 0.06) * outW),
                            float(q.y + outH * margin + Uniform(random, -0.06, 0.06) * outH));
        transform = cv::Matx33d(cv::getPerspectiveTransform(from, to)) * transform;
        size = cv::Size(int(outW * (1 + 2 * margin)), int(outH * (1 + 2 * margin)));
        border = int(Uniform(random, 60, 130));
    }
    // The frame of the picture drawn in until the corners asked for are out.
    cv::Rect frame(0, 0, size.width, size.height);
    if (cut) *cut = true;
    if (layout && d.cutCorners) {
        const std::optional<cv::Rect> cropped =
            CutFrame(*layout, transform, px, size, d.cutCorners, d.cutWhole);
        if (cropped)
            frame = *cropped;
        else if (cut)
            *cut = false;
    }
    cv::Mat out;
    cv::warpPerspective(image, out, cv::Mat(transform), size, cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                        cv::Scalar(border));
    if (frame.width != size.width || frame.height != size.height) out = out(frame).clone();
    if (d.photo) {
        // Light falling off from one side, and darker towards the corners.
        cv::Mat light(out.size(), CV_32F);
        const double a = Uniform(random, 0, 2 * M_PI), low = Uniform(random, 0.55, 0.8);
        const double cx = out.cols / 2.0, cy = out.rows / 2.0, reach = std::hypot(cx, cy);
        for (int y = 0; y < out.rows; ++y) {
            float* row = light.ptr<float>(y);
            for (int x = 0; x < out.cols; ++x) {
                const double t =
                    ((x - cx) * std::cos(a) + (y - cy) * std::sin(a)) / reach * 0.5 + 0.5;
                const double v = 1 - 0.15 * std::pow(std::hypot(x - cx, y - cy) / reach, 2);
                row[x] = float((low + (1 - low) * t) * v);
            }
        }
        out = Multiply(out, light);
    }
    if (d.blur > 0) cv::GaussianBlur(out, out, cv::Size(0, 0), d.blur);
    AddNoise(out, d.noise, random);
    QImage result = ToImage(out);
    if (d.jpegQuality > 0) {
        // Through JPEG and back, as a scanner's or phone's file is.
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setQuality(d.jpegQuality);
        writer.write(result);
        result = QImage::fromData(bytes, "jpeg").convertToFormat(QImage::Format_Grayscale8);
    }
    result.setDotsPerMeterX(int(std::lround(dpi / 0.0254)));
    result.setDotsPerMeterY(int(std::lround(dpi / 0.0254)));
    return result;
}

}  // namespace

QImage Distort(const QImage& page, double dpi, const Distortion& d, std::mt19937& random) {
    return DistortPage(page, dpi, d, random, nullptr, nullptr);
}

QImage Distort(const QImage& page, double dpi, const Distortion& d, std::mt19937& random,
               const SheetPageLayout& layout, bool* cut) {
    return DistortPage(page, dpi, d, random, &layout, cut);
}

QJsonObject Truth(const SheetPageLayout& layout, const Filling& filling,
                  const Distortion& distortion) {
    QJsonArray bubbles;
    for (std::size_t i = 0; i < layout.bubbles.size() && i < filling.marks.size(); ++i) {
        const SheetBubble& b = layout.bubbles[i];
        QJsonObject o;
        if (b.kind == SheetBubble::Kind::Answer) {
            o = {{"kind", "answer"}, {"question", b.question}, {"option", QString(b.option)}};
        } else {
            o = {{"kind", "student"}, {"position", b.position}, {"digit", b.digit}};
        }
        o["mark"] = MarkName(filling.marks[i]);
        o["counts"] = Counts(filling.marks[i]);
        bubbles.append(o);
    }
    return {{"version", layout.version},
            {"student", filling.student},
            {"distortion", distortion.ToJson()},
            {"bubbles", bubbles}};
}

std::vector<QuestionRecord> SamplePaper(int questions, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<QuestionRecord> paper;
    for (int i = 0; i < questions; ++i) {
        QuestionRecord q;
        q.QuestionNo = std::int16_t(i + 1);
        q.Score = 1;
        q.Title = QStringLiteral("Question %1").arg(i + 1);
        const int options = Chance(random, 0.1) ? 4 : 5;
        for (int o = 0; o < options; ++o)
            q.Items[std::size_t(o)] = QStringLiteral("Option %1%2").arg(i + 1).arg(QChar(u'a' + o));
        q.Answer = AnswerMask(1 << std::uniform_int_distribution<int>(0, options - 1)(random));
        paper.push_back(q);
    }
    return paper;
}

PrintRun Print(std::vector<QuestionRecord> paper, const QString& modeLetters, int versions,
               std::uint32_t seed, int idDigits, bool letterPaper) {
    PrintRun run;
    VersionSettings settings;
    settings.count = versions;
    settings.seed = seed;
    settings.shuffleQuestions = versions > 1;
    settings.shuffleOptions = versions > 1;
    settings.blankOptionLetters = int(modeLetters.size());
    run.versions = BuildVersions(paper, settings);
    for (const PaperVersion& v : run.versions) {
        SheetCode code;
        code.paperDigest = PaperDigest(paper, modeLetters);
        code.textDigest = TextDigest(paper);
        code.version = v.name;
        code.versions = settings;
        code.idDigits = idDigits;
        code.letterPaper = letterPaper;
        run.codes.push_back(code);
        run.layouts.push_back(LayOutAnswerSheet(v, idDigits, letterPaper));
    }
    run.paper = std::move(paper);
    run.modeLetters = modeLetters;
    return run;
}

Sheet MakeSheet(const PrintRun& run, int version, const Distortion& distortion, double dpi,
                std::mt19937& random) {
    const Filling filling = RandomFilling(run.layouts[std::size_t(version)], random);
    return MakeSheet(run, version, distortion, dpi, random, filling);
}

Sheet MakeSheet(const PrintRun& run, int version, const Distortion& distortion, double dpi,
                std::mt19937& random, const Filling& filling) {
    const std::size_t v = std::size_t(version);
    Sheet sheet;
    sheet.distortion = distortion;
    sheet.filling = filling;
    QImage page = DrawMarks(RenderBlankSheet(run.layouts[v], run.versions[v], run.codes[v], dpi),
                            dpi, run.layouts[v], sheet.filling, random);
    if (distortion.tornMarker >= 0) {
        page = page.convertToFormat(QImage::Format_RGB32);
        QPainter p(&page);
        p.scale(dpi / 72, dpi / 72);
        DamagePage(p, run.layouts[v], distortion);
    }
    bool cut = true;
    sheet.image = Distort(page, dpi, distortion, random, run.layouts[v], &cut);
    if (!cut) sheet.image = QImage();
    sheet.truth = Truth(run.layouts[v], sheet.filling, distortion);
    return sheet;
}

Sheet MakeCutPhoto(const PrintRun& run, int version, int cutCorners, double dpi,
                   std::mt19937& random) {
    const Filling filling = RandomFilling(run.layouts[std::size_t(version)], random);
    const bool side = (cutCorners & (cutCorners - 1)) != 0;
    const bool leftOrRight = cutCorners == (1 | 8) || cutCorners == (2 | 4);
    Sheet sheet;
    for (int attempt = 0; attempt < 40 && sheet.image.isNull(); ++attempt) {
        Distortion d = RandomDistortion(random, 5);
        d.cutCorners = cutCorners;
        d.cutWhole = !leftOrRight;
        if (side) {
            // Both markers of a side out and the code in: the camera leans
            // along that side, the sheet square in the picture.
            d.skew = Uniform(random, -0.4, 0.4);
            d.tiltAxis = d.quarterTurns * 90 + d.skew + (Chance(random, 0.5) ? 0 : 180);
        }
        sheet = MakeSheet(run, version, d, dpi, random, filling);
    }
    return sheet;
}

QByteArray Encode(const QImage& image, int jpegQuality, double dpi) {
    QImage copy = image;
    copy.setDotsPerMeterX(int(std::lround(dpi / 0.0254)));
    copy.setDotsPerMeterY(int(std::lround(dpi / 0.0254)));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, jpegQuality > 0 ? "jpeg" : "png");
    if (jpegQuality > 0) writer.setQuality(jpegQuality);
    writer.write(copy);
    return bytes;
}

}  // namespace scrivane::scangen
