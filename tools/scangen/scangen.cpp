#include "scangen.h"

#include <QBuffer>
#include <QImageWriter>
#include <QJsonArray>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <map>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

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
                const QPainterPath& clip) {
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
        p.setPen(QPen(Ink(std::min(0.95, darkness + Uniform(random, 0.05, 0.25))),
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
        case Mark::Erased: {
            // What an eraser leaves: a faint grey, a few fainter streaks.
            p.setPen(Qt::NoPen);
            p.setBrush(Ink(Uniform(random, 0.04, 0.12)));
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

}  // namespace

bool Counts(Mark mark) {
    return mark == Mark::Pencil || mark == Mark::Pen || mark == Mark::Half || mark == Mark::Tick ||
           mark == Mark::Cross;
}

QString MarkName(Mark mark) {
    static const char* const names[] = {"none",  "pencil", "pen", "half",  "tick",
                                        "cross", "erased", "dot", "smudge"};
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
            {"dark_bed", darkBed}};
}

Distortion RandomDistortion(std::mt19937& random, int style) {
    if (style < 0 || style > 4) style = std::uniform_int_distribution<int>(0, 4)(random);
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

Filling RandomFilling(const SheetPageLayout& layout, std::mt19937& random) {
    Filling f;
    f.marks.assign(layout.bubbles.size(), Mark::None);
    std::map<int, std::vector<std::size_t>> questions;
    std::map<int, std::vector<std::size_t>> digits;
    for (std::size_t i = 0; i < layout.bubbles.size(); ++i) {
        const SheetBubble& b = layout.bubbles[i];
        if (b.kind == SheetBubble::Kind::Answer)
            questions[b.question].push_back(i);
        else
            digits[b.position].push_back(i);
    }
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

QImage Distort(const QImage& page, double dpi, const Distortion& d, std::mt19937& random) {
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
    if (d.photo) {
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
    cv::Mat out;
    cv::warpPerspective(image, out, cv::Mat(transform), size, cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                        cv::Scalar(border));
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
    if (d.jpegQuality > 0) {
        std::vector<uchar> bytes;
        cv::imencode(".jpg", out, bytes, {cv::IMWRITE_JPEG_QUALITY, d.jpegQuality});
        out = cv::imdecode(bytes, cv::IMREAD_GRAYSCALE);
    }
    QImage result = ToImage(out);
    result.setDotsPerMeterX(int(std::lround(dpi / 0.0254)));
    result.setDotsPerMeterY(int(std::lround(dpi / 0.0254)));
    return result;
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
    const std::size_t v = std::size_t(version);
    Sheet sheet;
    sheet.distortion = distortion;
    sheet.filling = RandomFilling(run.layouts[v], random);
    const QImage blank = RenderBlankSheet(run.layouts[v], run.versions[v], run.codes[v], dpi);
    sheet.image = Distort(DrawMarks(blank, dpi, run.layouts[v], sheet.filling, random), dpi,
                          distortion, random);
    sheet.truth = Truth(run.layouts[v], sheet.filling, distortion);
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
