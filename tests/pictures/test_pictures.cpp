// Taking pictures in and drawing them: the formats kept, the limits, damaged
// files and hostile SVGs refused with their reason, and nothing outside a
// picture ever read.
#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include "core/paperrules.h"
#include "pictures/picturedraw.h"
#include "pictures/pictureload.h"

using namespace scrivane;

namespace {

QString Fixture(const char* name) {
    return QStringLiteral(SCRIVANE_FIXTURES "/pictures/") + QLatin1String(name);
}

QByteArray Encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return bytes;
}

QImage Filled(QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class TestPictures : public QObject {
    Q_OBJECT
private slots:
    // PNG, JPEG and SVG come in as their bytes; a GIF as its first frame.
    void KeepsFormats() {
        const QImage red = Filled({30, 20}, Qt::red);
        for (const char* format : {"png", "jpeg"}) {
            const QByteArray bytes = Encoded(red, format);
            const PictureTaken taken = TakePictureData(bytes, QStringLiteral("a.") + format);
            QVERIFY2(taken.Ok(), qPrintable(taken.error));
            QCOMPARE(taken.picture.Data, bytes);
            QCOMPARE(taken.picture.Format, QString::fromLatin1(format));
            QCOMPARE(PictureSize(taken.picture), QSize(30, 20));
        }
        const QByteArray square = Read(Fixture("square-blue.svg"));
        const PictureTaken svg = TakePictureFile(Fixture("square-blue.svg"));
        QVERIFY2(svg.Ok(), qPrintable(svg.error));
        QCOMPARE(svg.picture.Data, square);
        QCOMPARE(svg.picture.Name, QStringLiteral("square-blue.svg"));
        QCOMPARE(svg.picture.Format, QStringLiteral("svg"));
        QCOMPARE(PictureSize(svg.picture), QSize(40, 20));

        const PictureTaken gif = TakePictureFile(Fixture("two-frames-red-blue.gif"));
        QVERIFY2(gif.Ok(), qPrintable(gif.error));
        QCOMPARE(gif.picture.Format, QStringLiteral("png"));
        QCOMPARE(gif.picture.Name, QStringLiteral("two-frames-red-blue.png"));
        const QImage frame = QImage::fromData(gif.picture.Data, "png");
        QCOMPARE(frame.size(), QSize(4, 4));
        QCOMPARE(frame.pixelColor(2, 2), QColor(Qt::red));

        // A clipboard image becomes PNG.
        const PictureTaken pasted = TakePictureImage(red);
        QVERIFY(pasted.Ok());
        QCOMPARE(pasted.picture.Format, QStringLiteral("png"));
        QCOMPARE(QImage::fromData(pasted.picture.Data).pixelColor(0, 0), QColor(Qt::red));
    }

    // Every refusal names the picture and says why; nothing is kept.
    void RefusesWithReason_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("reason");
        QByteArray png = Encoded(Filled({50, 50}, Qt::green), "png");
        QTest::newRow("damaged png") << png.left(png.size() / 2) << "is damaged";
        QTest::newRow("damaged jpeg") << QByteArray("\xFF\xD8\xFF\xE0 broken", 12) << "is damaged";
        QTest::newRow("bmp") << Encoded(Filled({4, 4}, Qt::red), "bmp")
                             << "only PNG, JPEG, GIF and SVG";
        QTest::newRow("text") << QByteArray("hello") << "only PNG, JPEG, GIF and SVG";
        const std::pair<const char*, const char*> svgs[] = {
            {"not-well-formed.svg", "is damaged"},
            {"billion-laughs.svg", "declares a DOCTYPE or entities"},
            {"image-etc-passwd.svg", "refers to /etc/passwd outside itself"},
            {"use-file-url.svg", "refers to file:///etc/passwd#a outside itself"},
            {"import-css.svg", "refers to an external style sheet outside itself"},
            {"css-url.svg", "refers to pic.svg#g outside itself"},
            {"stylesheet-pi.svg", "refers to an external style sheet outside itself"},
            {"script.svg", "holds a script"},
            {"onload.svg", "holds a script"}};
        for (const auto& [file, reason] : svgs) {
            QFile svg(Fixture(file));
            QVERIFY(svg.open(QIODevice::ReadOnly));
            QTest::newRow(file) << svg.readAll() << reason;
        }
    }
    void RefusesWithReason() {
        QFETCH(QByteArray, data);
        QFETCH(QString, reason);
        const PictureTaken taken = TakePictureData(data, QStringLiteral("x.pic"));
        QVERIFY(!taken.Ok());
        QVERIFY2(taken.error.startsWith(QStringLiteral("The picture x.pic ")),
                 qPrintable(taken.error));
        QVERIFY2(taken.error.contains(reason), qPrintable(taken.error));
        QVERIFY(taken.picture.Data.isEmpty());
        // Drawn from a paper file that carried it anyway, it draws nothing.
        QImage page(20, 20, QImage::Format_ARGB32);
        QPainter painter(&page);
        const QString format = data.startsWith('<') ? QStringLiteral("svg") : QStringLiteral("png");
        QVERIFY(!DrawPicture(painter, QRectF(0, 0, 20, 20), {data, format, {}}));
    }

    // References inside the picture itself are fine.
    void SvgInnerReferences() {
        const PictureTaken taken = TakePictureFile(Fixture("inner-references.svg"));
        QVERIFY2(taken.Ok(), qPrintable(taken.error));
    }

    // The limits: the file's size before it is read, the pixels from the
    // header before decoding, and a pasted image's pixels.
    void Limits() {
        const PictureTaken huge = TakePictureFile(Fixture("header-9000x9000.png"));
        QVERIFY(!huge.Ok());
        QVERIFY2(
            huge.error.contains(QStringLiteral("9000 × 9000 pixels, more than the 40 megapixels")),
            qPrintable(huge.error));

        QTemporaryDir dir;
        const QString big = dir.filePath(QStringLiteral("big.png"));
        QFile file(big);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(kMaxPictureFileBytes + 1));
        file.close();
        const PictureTaken tooBig = TakePictureFile(big);
        QVERIFY2(tooBig.error.contains(QStringLiteral("more than the 10 MB")),
                 qPrintable(tooBig.error));
        QVERIFY(!TakePictureData(QByteArray(kMaxPictureFileBytes + 1, 'x'), {}).Ok());

        QVERIFY(TakePictureFile(dir.path()).error.contains(QStringLiteral("it is not a file")));
        QCOMPARE(TakePictureFile(dir.filePath(QStringLiteral("gone.png"))).Ok(), false);

        const PictureTaken wide = TakePictureImage(QImage(8000, 5001, QImage::Format_Mono));
        QCOMPARE(wide.error, QStringLiteral("The pasted picture is too large: 8000 × 5001 pixels, "
                                            "more than the 40 megapixels a picture may have."));
    }

    // Drawn into a painter's rectangle, filling it; an SVG as vectors, a
    // thumbnail never enlarged.
    void Draws() {
        const Picture svg{Read(Fixture("square-blue.svg")), QStringLiteral("svg"), {}};
        QImage page(80, 40, QImage::Format_ARGB32);
        page.fill(Qt::white);
        {
            QPainter painter(&page);
            QVERIFY(DrawPicture(painter, QRectF(0, 0, 80, 40), svg));
        }
        QCOMPARE(page.pixelColor(79, 39), QColor(Qt::blue));
        QCOMPARE(PictureImage(svg, {20, 20}).size(), QSize(20, 10));

        const Picture png{Encoded(Filled({30, 20}, Qt::red), "png"), QStringLiteral("png"), {}};
        QCOMPARE(PictureImage(png, {300, 300}).size(), QSize(30, 20));
        QCOMPARE(PictureImage(png, {15, 15}).size(), QSize(15, 10));
        QCOMPARE(FitPicture({300, 100}, {150, 150}), QSizeF(150, 50));
        QCOMPARE(FitPicture({30, 10}, {150, 150}), QSizeF(30, 10));
    }
};

QTEST_MAIN(TestPictures)
#include "test_pictures.moc"
