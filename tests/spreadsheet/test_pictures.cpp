// Pictures in a paper file: written as the workbook's own drawing, read back
// byte for byte with their boxes and names, invisible to what reads only the
// question sheet, and lost alone when their records are damaged.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "core/paperrules.h"
#include "interchange/workbooks.h"
#include "spreadsheet/codec/reader.h"
#include "spreadsheet/paperio.h"
#include "spreadsheet/svgstandin.h"

using namespace scrivane;

namespace {

QByteArray Encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage Drawing(int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

const QByteArray kSvg =
    "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"120\" "
    "height=\"80\"><rect x=\"10\" y=\"10\" width=\"100\" height=\"60\" fill=\"#3060c0\"/>"
    "<text x=\"20\" y=\"50\">y = kx</text></svg>\n";

// Three questions: pictures in a title, two in one option (their order
// kept), an SVG in option F, a name beyond ASCII; the third has none.
std::vector<QuestionRecord> PaperWithPictures() {
    std::vector<QuestionRecord> rows(3);
    for (std::size_t k = 0; k < rows.size(); ++k) {
        rows[k].QuestionNo = std::int16_t(k + 1);
        rows[k].Score = 2;
        rows[k].Answer = 1;
        rows[k].Title = QStringLiteral("Question %1").arg(k + 1);
        for (std::size_t i = 0; i < 4; ++i) rows[k].Items[i] = QStringLiteral("option %1").arg(i);
    }
    rows[0].Pictures[kPictureTitle] = {{Encoded(Drawing(400, 300, 0xFF2080C0), "PNG"),
                                        QStringLiteral("png"), QStringLiteral(u"地图.png")}};
    rows[0].Pictures[PictureBoxOfItem(1)] = {
        {Encoded(Drawing(64, 48, 0xFFC04020), "JPEG"), QStringLiteral("jpeg"),
         QStringLiteral("photo.jpg")},
        {Encoded(Drawing(20, 20, 0xFF000000), "PNG"), QStringLiteral("png"), QString()}};
    rows[1].Items[5].clear();
    rows[1].Pictures[PictureBoxOfItem(5)] = {
        {kSvg, QStringLiteral("svg"), QStringLiteral("graph.svg")}};
    return rows;
}

std::vector<QuestionRecord> WithoutPictures(std::vector<QuestionRecord> rows) {
    for (QuestionRecord& row : rows) row.Pictures = {};
    return rows;
}

codec::Workbook ReadBook(const QString& path) {
    return codec::ReadWorkbookFile(QFile::encodeName(path).toStdString());
}

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Save(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QJsonObject XlrdSheet(const QString& path) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(SCRIVANE_XLRD_CHECK), path});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) return {};
    const QJsonObject dump = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    return dump.value("sheets").toArray().at(0).toObject();
}

// Overwrites the 4 bytes after the first place where `after` occurs.
bool Patch(QByteArray& file, const QByteArray& after, quint32 value) {
    const qsizetype at = file.indexOf(after);
    if (at < 0) return false;
    for (int i = 0; i < 4; ++i) file[at + after.size() + i] = char(value >> (8 * i));
    return true;
}

}  // namespace

class PicturesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InstallSvgStandIn(); }
    void roundTripKeepsEveryPicture();
    void questionSheetStaysAsItWas();
    void otherReadersSeeTheSameCells();
    void damagedPicturesAreLeftOut_data();
    void damagedPicturesAreLeftOut();
    void picturesBeyondTheFileLimitAreRefused();
    void svgStandInDrawsNothingOutsideIt_data();
    void svgStandInDrawsNothingOutsideIt();
    void workbooksCarryPictures_data();
    void workbooksCarryPictures();
};

void PicturesTest::roundTripKeepsEveryPicture() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("paper.tpf"));
    const auto paper = PaperWithPictures();
    QCOMPARE(WritePaperFile(path, paper).outcome, ExportResult::Written);

    std::vector<QuestionRecord> back;
    const ImportReport report = ReadPaperFile(path, back);
    QCOMPARE(report.outcome, ImportReport::Outcome::Imported);
    QVERIFY2(report.notes.isEmpty(), qPrintable(report.notes.join(u'\n')));
    QCOMPARE(back.size(), paper.size());
    for (std::size_t k = 0; k < paper.size(); ++k) {
        for (int box = 0; box < kPictureBoxes; ++box) {
            const auto& want = paper[k].Pictures[std::size_t(box)];
            const auto& got = back[k].Pictures[std::size_t(box)];
            QCOMPARE(got.size(), want.size());
            for (qsizetype i = 0; i < want.size(); ++i) {
                QCOMPARE(got[i].Format, want[i].Format);
                QCOMPARE(got[i].Name, want[i].Name);
                QVERIFY(got[i].Data == want[i].Data);
            }
        }
    }
    QVERIFY(back == paper);

    // The workbook shows the SVG by a PNG of its own drawing.
    const codec::Workbook book = ReadBook(path);
    QVERIFY(std::any_of(book.sheets[0].pictures.begin(), book.sheets[0].pictures.end(),
                        [](const codec::SheetPicture& p) { return p.format == "svg"; }));
}

// The cells are those of the same paper without pictures; only the rows
// holding pictures grow to show them.
void PicturesTest::questionSheetStaysAsItWas() {
    QTemporaryDir dir;
    const QString with = dir.filePath(QStringLiteral("with.tpf"));
    const QString without = dir.filePath(QStringLiteral("without.tpf"));
    QCOMPARE(WritePaperFile(with, PaperWithPictures()).outcome, ExportResult::Written);
    QCOMPARE(WritePaperFile(without, WithoutPictures(PaperWithPictures())).outcome,
             ExportResult::Written);
    const codec::Workbook a = ReadBook(with), b = ReadBook(without);
    QCOMPARE(a.sheets.size(), std::size_t(1));
    QVERIFY(a.sheets[0].cells == b.sheets[0].cells);
    QVERIFY(a.sheets[0].columnWidths == b.sheets[0].columnWidths);
    QVERIFY(a.sheets[0].wrapColumns == b.sheets[0].wrapColumns);
    QCOMPARE(a.sheets[0].pictures.size(), std::size_t(4));
    QVERIFY(b.sheets[0].pictures.empty());
    // A paper without pictures keeps a workbook without any drawing.
    QVERIFY(!Bytes(without).contains(QByteArrayLiteral("ScrivanePictures")) &&
            !Bytes(without).contains(QByteArray::fromHex("0f0000f0")));
}

void PicturesTest::otherReadersSeeTheSameCells() {
    QTemporaryDir dir;
    const QString with = dir.filePath(QStringLiteral("with.tpf"));
    const QString without = dir.filePath(QStringLiteral("without.tpf"));
    QCOMPARE(WritePaperFile(with, PaperWithPictures()).outcome, ExportResult::Written);
    QCOMPARE(WritePaperFile(without, WithoutPictures(PaperWithPictures())).outcome,
             ExportResult::Written);
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral("-c"), QStringLiteral("import xlrd")});
    if (!probe.waitForFinished(60000) || probe.exitCode() != 0)
        QSKIP("python3-xlrd is not installed");
    const QJsonObject a = XlrdSheet(with), b = XlrdSheet(without);
    QVERIFY(!a.isEmpty());
    QCOMPARE(a.value("cells"), b.value("cells"));
    QCOMPARE(a.value("columns"), b.value("columns"));
    QCOMPARE(a.value("name"), b.value("name"));
}

void PicturesTest::damagedPicturesAreLeftOut_data() {
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<int>("pictures");  // what still reads
    QTest::addColumn<bool>("names");    // the names still read
    // The drawing group (its container's length) runs past its record.
    QTest::newRow("drawing group") << QByteArray::fromHex("0f0000f0") << 0xFFFFFFF0u << 0 << false;
    // The sheet's drawing container runs past its records.
    QTest::newRow("sheet drawing") << QByteArray::fromHex("0f0002f0") << 0x7FFFFFFFu << 0 << false;
    // The first picture names a store entry that does not exist.
    QTest::newRow("store entry") << QByteArray::fromHex("0441") << 0x00007FFFu << 3 << true;
    // The list of names and SVG sources is of an unknown kind: the pictures
    // read as the workbook shows them, without names.
    QTest::newRow("names list") << QByteArray("SPIC") << 0xFFFFFFFFu << 4 << false;
}

void PicturesTest::damagedPicturesAreLeftOut() {
    QFETCH(QByteArray, after);
    QFETCH(quint32, value);
    QFETCH(int, pictures);
    QFETCH(bool, names);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("paper.tpf"));
    QCOMPARE(WritePaperFile(path, PaperWithPictures()).outcome, ExportResult::Written);
    QByteArray file = Bytes(path);
    QVERIFY(Patch(file, after, value));
    Save(path, file);

    std::vector<QuestionRecord> back;
    const ImportReport report = ReadPaperFile(path, back);
    QCOMPARE(report.outcome, ImportReport::Outcome::Imported);
    QVERIFY(WithoutPictures(back) == WithoutPictures(PaperWithPictures()));
    QVERIFY(!report.notes.isEmpty());
    int count = 0;
    bool named = false;
    for (const QuestionRecord& row : back)
        for (const auto& box : row.Pictures) {
            count += int(box.size());
            for (const Picture& picture : box) named = named || !picture.Name.isEmpty();
        }
    QCOMPARE(count, pictures);
    QCOMPARE(named, names);
}

void PicturesTest::picturesBeyondTheFileLimitAreRefused() {
    // Seven pictures just within the limit of one picture file.
    QByteArray big = Encoded(Drawing(8, 8, 0xFFFFFFFF), "PNG");
    big.append(QByteArray(int(kMaxPictureFileBytes) - big.size(), '\0'));
    auto paper = WithoutPictures(PaperWithPictures());
    for (int box = 0; box < kPictureBoxes; ++box)
        paper[0].Pictures[std::size_t(box)] = {{big, QStringLiteral("png"), QString()}};
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("paper.tpf"));
    const ExportResult result = WritePaperFile(path, paper);
    QCOMPARE(result.outcome, ExportResult::Failed);
    QVERIFY2(result.reason.contains(QStringLiteral("64 MiB")), qPrintable(result.reason));
    QVERIFY(!QFile::exists(path));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 0);
}

void PicturesTest::workbooksCarryPictures_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("keepsSvg");
    // .xlsx, written by libxlsxwriter, shows an SVG by its PNG stand-in alone.
    QTest::newRow("xlsx") << QStringLiteral("xlsx") << false;
    QTest::newRow("ods") << QStringLiteral("ods") << true;
}

void PicturesTest::workbooksCarryPictures() {
    QFETCH(QString, format);
    QFETCH(bool, keepsSvg);
    const auto paper = PaperWithPictures();
    const interchange::WrittenBytes written =
        format == u"xlsx" ? interchange::WriteXlsx(paper) : interchange::WriteOds(paper);
    QVERIFY2(written.error.isEmpty(), qPrintable(written.error));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("paper.") + format);
    Save(path, written.bytes);

    std::vector<QuestionRecord> back;
    const ImportReport report = ReadPaperFile(path, back);
    QCOMPARE(report.outcome, ImportReport::Outcome::Imported);
    QVERIFY2(report.notes.isEmpty(), qPrintable(report.notes.join(u'\n')));
    QVERIFY(WithoutPictures(back) == WithoutPictures(paper));
    for (std::size_t k = 0; k < paper.size(); ++k) {
        for (int box = 0; box < kPictureBoxes; ++box) {
            const auto& want = paper[k].Pictures[std::size_t(box)];
            const auto& got = back[k].Pictures[std::size_t(box)];
            QCOMPARE(got.size(), want.size());
            for (qsizetype i = 0; i < want.size(); ++i) {
                QCOMPARE(got[i].Name, want[i].Name);
                if (want[i].Format == u"svg" && !keepsSvg) {
                    QCOMPARE(got[i].Format, QStringLiteral("png"));
                    continue;
                }
                QCOMPARE(got[i].Format, want[i].Format);
                QVERIFY(got[i].Data == want[i].Data);
            }
        }
    }
}

void PicturesTest::svgStandInDrawsNothingOutsideIt_data() {
    QTest::addColumn<QByteArray>("svg");
    QTest::addColumn<QSize>("size");  // of the PNG; 64 x 64 is the plain frame
    QTest::newRow("drawn") << kSvg << QSize(120, 80);
    QTest::newRow("linked file")
        << QByteArray(
               "<svg xmlns=\"http://www.w3.org/2000/svg\" "
               "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"50\" height=\"50\">"
               "<image xlink:href=\"file:///etc/passwd\" width=\"50\" height=\"50\"/></svg>")
        << QSize(64, 64);
    QTest::newRow("billion laughs")
        << QByteArray(
               "<?xml version=\"1.0\"?><!DOCTYPE svg [<!ENTITY a \"aaaaaaaaaa\">"
               "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
               "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>"
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"50\" height=\"50\">"
               "<text>&c;</text></svg>")
        << QSize(64, 64);
    QTest::newRow("not an SVG") << QByteArray("<svg") << QSize(64, 64);
    QTest::newRow("size not a number")
        << QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"nan\" height=\"5\"/>")
        << QSize(64, 64);
}

void PicturesTest::svgStandInDrawsNothingOutsideIt() {
    QFETCH(QByteArray, svg);
    QFETCH(QSize, size);
    const QImage standIn = QImage::fromData(SvgStandIn(svg), "PNG");
    QCOMPARE(standIn.size(), size);
}

QTEST_MAIN(PicturesTest)
#include "test_pictures.moc"
