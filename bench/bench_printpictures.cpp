// Printing a 100-question paper with 50 pictures (diagrams as PNG, photos as
// JPEG, graphs as SVG, under titles and as options) in four shuffled
// versions with keys and answer sheets to PDF, against the same paper
// without its pictures: the pictures may cost at most as much again.
#include <benchmark/benchmark.h>
#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include "print/layout/printlayout.h"
#include "print/versions/versions.h"

using namespace scrivane;

namespace {

QByteArray Encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 85);
    return bytes;
}

// A diagram: shapes and lines on white, different for every n.
Picture Diagram(int n) {
    QImage image(600, 400, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 3));
    for (int k = 0; k < 12; ++k)
        painter.drawLine((k * 53 + n * 17) % 600, (k * 31) % 400, (k * 97 + n) % 600,
                         (k * 71 + n * 5) % 400);
    painter.setBrush(QColor::fromHsv((n * 37) % 360, 160, 220));
    painter.drawEllipse(QPointF(300, 200), 60 + n % 40, 40 + n % 30);
    painter.end();
    return {Encoded(image, "PNG"), QStringLiteral("png"), QStringLiteral("diagram%1.png").arg(n)};
}

// A photo: smooth colour everywhere, as a camera's is.
Picture Photo(int n) {
    QImage image(800, 600, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb((x * 255 / 800 + n * 9) % 256, (y * 255 / 600 + x / 7) % 256,
                           (n * 41 + (x ^ y) / 9) % 256);
    }
    return {Encoded(image, "JPEG"), QStringLiteral("jpeg"), QStringLiteral("photo%1.jpg").arg(n)};
}

Picture Graph(int n) {
    QString points;
    for (int x = 0; x <= 20; ++x)
        points += QStringLiteral("%1,%2 ").arg(10 + x * 14).arg(190 - ((x * x * (n + 3)) % 170));
    const QString svg = QStringLiteral(
                            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"320\" "
                            "height=\"200\"><rect x=\"1\" y=\"1\" width=\"318\" height=\"198\" "
                            "fill=\"none\" stroke=\"black\"/><polyline points=\"%1\" fill=\"none\" "
                            "stroke=\"#c03020\" stroke-width=\"3\"/><text x=\"260\" y=\"190\" "
                            "font-size=\"12\">time</text></svg>")
                            .arg(points);
    return {svg.toUtf8(), QStringLiteral("svg"), QStringLiteral("graph%1.svg").arg(n)};
}

std::vector<QuestionRecord> HundredQuestions(bool pictures) {
    std::vector<QuestionRecord> paper;
    int made = 0;
    for (int i = 1; i <= 100; ++i) {
        QuestionRecord q;
        q.QuestionNo = std::int16_t(i);
        q.Score = 2.5f;
        q.Answer = AnswerMask(1u << (i % 4));
        q.Title = QStringLiteral("Question %1: which of these statements about the experiment "
                                 "holds?")
                      .arg(i);
        for (int k = 0; k < 4; ++k) q.Items[std::size_t(k)] = QStringLiteral("Option %1").arg(k);
        if (i % 5 == 0)
            q.Items[1] = QStringLiteral("a long option that runs over several lines ").repeated(6);
        if (i % 10 == 0) q.Items[4] = QStringLiteral("None of the above");
        // Every other question has a picture: a diagram under the title, a
        // photo as an option, or a graph beside an option's text.
        if (pictures && i % 2 == 0) {
            switch (made % 3) {
                case 0: q.Pictures[kPictureTitle] = {Diagram(made)}; break;
                case 1: q.Pictures[PictureBoxOfItem(2)] = {Photo(made)}; break;
                default: q.Pictures[PictureBoxOfItem(3)] = {Graph(made)}; break;
            }
            ++made;
        }
        paper.push_back(q);
    }
    return paper;
}

void PrintPdf(benchmark::State& state, bool pictures) {
    QTemporaryDir dir;
    const auto paper = HundredQuestions(pictures);
    PrintSettings settings;
    settings.heading = QStringLiteral("Physics");
    settings.answerSheet = true;
    settings.versions = {4, true, true, 12345};
    const QString path = dir.filePath(QStringLiteral("paper.pdf"));
    for (auto _ : state) {
        PrintLayout layout(BuildVersions(paper, settings.versions), settings);
        if (!WritePdf(path, layout).isEmpty()) state.SkipWithError("PDF not written");
    }
    state.counters["pdf_bytes"] = double(QFileInfo(path).size());
}

void BM_PrintPdfWithoutPictures(benchmark::State& state) {
    PrintPdf(state, false);
}
void BM_PrintPdfWithFiftyPictures(benchmark::State& state) {
    PrintPdf(state, true);
}

}  // namespace

BENCHMARK(BM_PrintPdfWithoutPictures)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintPdfWithFiftyPictures)->Unit(benchmark::kMillisecond);
