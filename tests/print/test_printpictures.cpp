// Pictures on paper, read back from the PDF through poppler: each picture
// printed once a place with the PDF holding it once, at its own size or
// smaller to fit its column, never split over pages, SVG as vectors; shuffled
// versions keep each picture with its option, the key shows the answer's
// pictures, and the answer sheet has a bubble for an option that is only a
// picture.
#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QTest>

#include "print/layout/answersheet.h"
#include "printtestsupport.h"

using namespace scrivane;
using namespace scrivane::test;

namespace {

const QString kPictures = QStringLiteral(SCRIVANE_FIXTURES "/pictures/");

Picture FixturePicture(const QString& name, const QString& format) {
    QFile file(kPictures + name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return Picture{file.readAll(), format, name};
}

// A PNG of the given size: a frame and a diagonal, so that it is not empty.
Picture DrawnPng(int width, int height, const QString& name) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setPen(QPen(Qt::black, 8));
        painter.drawRect(image.rect().adjusted(4, 4, -4, -4));
        painter.drawLine(0, 0, width, height);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return Picture{bytes, QStringLiteral("png"), name};
}

// One image as pdfimages lists it.
struct PdfImage {
    int page = 0, width = 0, height = 0, object = 0;
    double xPpi = 0, yPpi = 0;
};

QList<PdfImage> PdfImages(const QString& pdf) {
    QProcess process;
    process.start(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
    if (!process.waitForFinished(60000)) return {};
    QList<PdfImage> images;
    // page num type width height color comp bpc enc interp object ID x-ppi y-ppi size ratio
    const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n');
    for (const QString& line : lines.mid(2)) {
        const QStringList f = line.simplified().split(u' ');
        if (f.size() < 14 || f[2] != u"image") continue;
        images.append({f[0].toInt(), f[3].toInt(), f[4].toInt(), f[10].toInt(), f[12].toDouble(),
                       f[13].toDouble()});
    }
    return images;
}

QList<PdfImage> Sized(const QList<PdfImage>& images, int width, int height) {
    QList<PdfImage> found;
    for (const PdfImage& image : images)
        if (image.width == width && image.height == height) found << image;
    return found;
}

QImage RenderedPage(const QTemporaryDir& dir, const QString& pdf, int page) {
    const QString stem = dir.filePath(QStringLiteral("page%1").arg(page));
    QProcess::execute(QStringLiteral("pdftoppm"),
                      {QStringLiteral("-r"), QStringLiteral("100"), QStringLiteral("-f"),
                       QString::number(page), QStringLiteral("-l"), QString::number(page),
                       QStringLiteral("-singlefile"), QStringLiteral("-png"), pdf, stem});
    return QImage(stem + QStringLiteral(".png"));
}

int CountNear(const QImage& image, const QColor& colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                         std::abs(c.blue() - colour.blue()) <
                     60;
        }
    return count;
}

PrintSettings Settings(int versions, bool shuffle) {
    PrintSettings settings;
    settings.heading = QStringLiteral("Geography");
    settings.versions.count = versions;
    settings.versions.shuffleOptions = shuffle;
    settings.versions.shuffleQuestions = shuffle;
    settings.versions.seed = 4242;
    return settings;
}

// A map under a title, graphs and a photo as options, a photo as the answer.
std::vector<QuestionRecord> PicturePaper() {
    QuestionRecord river = Question(2, "B", "Which river is marked on the map?",
                                    {"The Rhine", "The Danube", "The Elbe", "", "", ""});
    river.Pictures[kPictureTitle] = {FixturePicture(QStringLiteral("river map.png"), "png")};
    QuestionRecord graphs =
        Question(1, "A", "Which graph shows a stone that falls?", {"", "", "Neither", "", "", ""});
    graphs.Pictures[PictureBoxOfItem(0)] = {FixturePicture(QStringLiteral("graph_a.svg"), "svg")};
    graphs.Pictures[PictureBoxOfItem(1)] = {FixturePicture(QStringLiteral("graph_b.svg"), "svg")};
    graphs.Pictures[PictureBoxOfItem(2)] = {FixturePicture(QStringLiteral("rock.jpg"), "jpeg")};
    QuestionRecord rock = Question(1, "B", "Which is a rock?", {"Sand", "", "", "", "", ""});
    rock.Pictures[PictureBoxOfItem(1)] = {FixturePicture(QStringLiteral("rock.jpg"), "jpeg")};
    return {river, graphs, rock};
}

}  // namespace

class PrintPicturesTest : public QObject {
    Q_OBJECT

private slots:
    void picturesInThePdf();
    void scaledToTheColumnAndNeverSplit();
    void versionsKeepPicturesWithOptions();
    void pictureOnlyOptionHasItsBubble();
    void unsafePictureIsNamedNotDrawn();
};

// Each picture is printed where it belongs in every version and the key
// shows the answer's photo; the PDF holds each bitmap once, at 300 dpi (its
// own size), and the SVG graphs as vectors.
void PrintPicturesTest::picturesInThePdf() {
    const std::vector<QuestionRecord> paper = PicturePaper();
    const PrintSettings settings = Settings(2, true);
    PrintLayout layout(BuildVersions(paper, settings.versions), settings);
    const QTemporaryDir dir;
    const QString pdf = RenderPdf(dir, layout);
    QVERIFY(!pdf.isEmpty());
    QCOMPARE(layout.PageCount(), 4);  // two papers, then two keys

    if (qEnvironmentVariableIsSet("KEEP_PDF")) QFile::copy(pdf, qEnvironmentVariable("KEEP_PDF"));
    const QList<PdfImage> images = PdfImages(pdf);
    const QList<PdfImage> maps = Sized(images, 120, 80), photos = Sized(images, 64, 48);
    QCOMPARE(images.size(), maps.size() + photos.size());  // no SVG as a bitmap
    QCOMPARE(maps.size(), 2);
    QCOMPARE(photos.size(), 2 + 2 + 2);  // twice on each paper, once on each key
    QSet<int> mapObjects, photoObjects, pages;
    for (const PdfImage& map : maps) {
        mapObjects << map.object;
        QCOMPARE(map.xPpi, 300.0);
        QCOMPARE(map.yPpi, 300.0);
    }
    for (const PdfImage& photo : photos) {
        photoObjects << photo.object;
        pages << photo.page;
        // On a paper at its own size, on a key smaller.
        QVERIFY(photo.page <= 2 ? photo.xPpi == 300 : photo.xPpi > 300);
    }
    QCOMPARE(mapObjects.size(), 1);
    QCOMPARE(photoObjects.size(), 1);
    QCOMPARE(pages, (QSet<int>{1, 2, 3, 4}));

    // No bitmap of them, yet the graphs' red line and blue curve are drawn.
    for (int page = 1; page <= 2; ++page) {
        const QImage shown = RenderedPage(dir, pdf, page);
        QVERIFY(CountNear(shown, QColor(0xc0, 0x30, 0x20)) > 50);
        QVERIFY(CountNear(shown, QColor(0x20, 0x40, 0xc0)) > 50);
    }
}

// A picture wider than its column is scaled down to it, aspect kept; tall
// ones each go whole onto a page of their own, printed at their full pixels.
void PrintPicturesTest::scaledToTheColumnAndNeverSplit() {
    QuestionRecord wide = Question(1, "A", "Wide", {"yes", "no", "", "", "", ""});
    wide.Pictures[kPictureTitle] = {DrawnPng(3000, 300, QStringLiteral("wide.png"))};
    QuestionRecord tall = Question(1, "A", "Tall", {"yes", "no", "", "", "", ""});
    tall.Pictures[PictureBoxOfItem(1)] = {DrawnPng(600, 3000, QStringLiteral("a.png")),
                                          DrawnPng(601, 3000, QStringLiteral("b.png")),
                                          DrawnPng(602, 3000, QStringLiteral("c.png"))};
    PrintSettings settings = Settings(1, false);
    settings.key = false;
    PrintLayout layout(BuildVersions({wide, tall}, settings.versions), settings);
    const QTemporaryDir dir;
    const QString pdf = RenderPdf(dir, layout);
    QVERIFY(!pdf.isEmpty());

    if (qEnvironmentVariableIsSet("KEEP_PDF")) QFile::copy(pdf, qEnvironmentVariable("KEEP_PDF"));
    const QList<PdfImage> images = PdfImages(pdf);
    QCOMPARE(images.size(), 4);
    // Wider than any page prints, it is held at 300 dpi of 7.5 inches.
    const PdfImage wideImage = Sized(images, 2250, 225).value(0);
    // A4 less two margins of 18 mm is 493 points; the title's indent takes some.
    const double widthPoints = 2250 / wideImage.xPpi * 72;
    QVERIFY2(widthPoints < 493 && widthPoints > 440, qPrintable(QString::number(widthPoints)));
    QCOMPARE(qRound(wideImage.xPpi), qRound(wideImage.yPpi));
    QSet<int> pages;
    for (int width : {600, 601, 602}) {
        const QList<PdfImage> found = Sized(images, width, 3000);
        QCOMPARE(found.size(), 1);  // a split picture would be on two pages
        QVERIFY(found[0].yPpi > 300);
        QCOMPARE(qRound(found[0].xPpi), qRound(found[0].yPpi));
        pages << found[0].page;
    }
    QCOMPARE(pages.size(), 3);
    QCOMPARE(layout.PageCount(), 4);
}

// Shuffled in every way, each option keeps its pictures, a picture-only
// option is printed, and the answer follows its picture.
void PrintPicturesTest::versionsKeepPicturesWithOptions() {
    const std::vector<QuestionRecord> paper = PicturePaper();
    VersionSettings settings = Settings(6, true).versions;
    for (const PaperVersion& version : BuildVersions(paper, settings))
        for (const PrintedQuestion& q : version.questions) {
            const QuestionRecord& record = paper[std::size_t(q.source - 1)];
            QCOMPARE(q.titlePictures, record.Pictures[kPictureTitle]);
            int filled = 0;
            for (int i = 0; i < 6; ++i) filled += IsFilledOption(record, i);
            QCOMPARE(int(q.options.size()), filled);
            for (std::size_t k = 0; k < q.options.size(); ++k) {
                const int box = PictureBoxOfItem(q.options[k].sourceLetter.unicode() - u'A');
                QCOMPARE(q.options[k].pictures, record.Pictures[std::size_t(box)]);
                const bool correct = record.Answer & (1u << (box - 1));
                QCOMPARE(bool(q.answer & (1u << k)), correct);
            }
        }
}

// The answer sheet offers a bubble for every filled option, a picture alone
// filling one.
void PrintPicturesTest::pictureOnlyOptionHasItsBubble() {
    const std::vector<QuestionRecord> paper = PicturePaper();
    const std::vector<PaperVersion> versions = BuildVersions(paper, VersionSettings{});
    const SheetPageLayout sheet = LayOutAnswerSheet(versions[0], 0, false);
    QStringList bubbles;
    for (const SheetBubble& bubble : sheet.bubbles)
        if (bubble.kind == SheetBubble::Kind::Answer)
            bubbles << QStringLiteral("%1%2").arg(bubble.question).arg(bubble.option);
    QCOMPARE(bubbles, (QStringList{"1A", "1B", "1C", "2A", "2B", "2C", "3A", "3B"}));
}

// An SVG that names a file outside itself (read from a hostile bank) is not
// drawn: its place says so, and the rest prints.
void PrintPicturesTest::unsafePictureIsNamedNotDrawn() {
    QuestionRecord q = Question(1, "A", "Which file?", {"none", "all", "", "", "", ""});
    q.Pictures[kPictureTitle] = {Picture{
        "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
        "width=\"100\" height=\"100\"><image xlink:href=\"/etc/passwd\" width=\"100\" "
        "height=\"100\"/></svg>",
        QStringLiteral("svg"), QStringLiteral("passwd.svg")}};
    PrintSettings settings = Settings(1, false);
    settings.key = false;
    PrintLayout layout(BuildVersions({q}, settings.versions), settings);
    const QTemporaryDir dir;
    const QString pdf = RenderPdf(dir, layout);
    QVERIFY(!pdf.isEmpty());
    const QString text = PdfText(pdf);
    QVERIFY(text.contains(QStringLiteral("[picture passwd.svg cannot be drawn]")));
    QVERIFY(text.contains(QStringLiteral("A. none")));
    QVERIFY(!text.contains(QStringLiteral("root:")));
    QVERIFY(PdfImages(pdf).isEmpty());
}

QTEST_MAIN(PrintPicturesTest)
#include "test_printpictures.moc"
