// What a read sheet can be trusted for: every page of a multi-page scan read
// as its own page whatever the threads do, a file given twice read once, a
// sheet of another paper told apart by the paper's identity, and a code that
// disagrees with the print it stands on (its version squares, its student
// number grid) sent to review.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>
#include <random>

#include "grading/batch/batch.h"
#include "grading/read/sheetreader.h"
#include "grading/batch/scanpages.h"
#include "scangen/scangen.h"
#include "spreadsheet/codec/ole2.h"
#include "spreadsheet/codec/source.h"
#include "spreadsheet/paperio.h"

using namespace scrivane;
using namespace scrivane::scangen;

namespace {

// The sample paper the TIFF fixtures were printed from.
const PrintRun& FixtureRun() {
    static const PrintRun run = Print(SamplePaper(40, 21), QStringLiteral("ABCDE"), 3, 21);
    return run;
}

const PrintRun& Run() {
    static const PrintRun run = Print(SamplePaper(30, 4), QStringLiteral("ABCDE"), 3, 4);
    return run;
}

// The student number the marked digits give, '?' for a place without one.
QString StudentOf(const PageRead& read) {
    QString student;
    for (const BubbleRead& b : read.bubbles) {
        if (b.bubble.kind != SheetBubble::Kind::Student) continue;
        if (student.size() <= b.bubble.position) student.resize(b.bubble.position + 1, QChar(u'?'));
        if (b.mark == BubbleRead::Mark::Marked)
            student[b.bubble.position] = QChar(u'0' + b.bubble.digit);
    }
    return student;
}

// <file>.truth.json: {"pages": [{"width", "height", "student", "version"}, ...]}.
QJsonArray TruthOf(const QString& file) {
    QFile truth(file + ".truth.json");
    if (!truth.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(truth.readAll()).object()["pages"].toArray();
}

// A clean scan of the run's version v as its codes say, pen marks at random.
ScanImage Scanned(const PrintRun& run, int v, std::uint32_t seed, int style = 0) {
    std::mt19937 random(seed);
    const Sheet sheet = MakeSheet(run, v, RandomDistortion(random, style), 200, random);
    return {sheet.image, 200, {}};
}

class CountingSource : public PageSource {
public:
    explicit CountingSource(QStringList& read) : read_(read) {}
    int PageCount(const QString&, QString*) override { return 2; }
    PageRead Read(const QString& file, int page, const std::optional<SheetCode>&) override {
        read_ << QStringLiteral("%1 %2").arg(QFileInfo(file).fileName()).arg(page);
        return {};
    }

private:
    QStringList& read_;
};

}  // namespace

class TestSheetTrust : public QObject {
    Q_OBJECT
private slots:
    void tiffPagesAreReadAsThemselves_data();
    void tiffPagesAreReadAsThemselves();
    void tiffPilesReadManyTimesOver();
    void fileGivenTwiceIsReadOnce();
    void sheetsOfAnotherPaper_data();
    void sheetsOfAnotherPaper();
    void codeAgainstThePrint_data();
    void codeAgainstThePrint();
    void identityKeptBesideTheCells();
};

void TestSheetTrust::tiffPagesAreReadAsThemselves_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QList<int>>("order");
    for (const char* file : {"scan-four-pages-g4.tif", "scan-four-pages-lzw.tif"}) {
        const QString path = QStringLiteral(SCRIVANE_FIXTURES "/") + file;
        QTest::addRow("%s in order", file) << path << QList<int>{1, 2, 3, 4};
        QTest::addRow("%s backwards", file) << path << QList<int>{4, 3, 2, 1};
        QTest::addRow("%s each page twice", file) << path << QList<int>{2, 2, 3, 3, 1, 1};
        QTest::addRow("%s as two threads share them", file) << path << QList<int>{1, 3, 4, 2};
    }
}

// Pages of unequal sizes tell each other apart: a page read for another
// shows the other's size.
void TestSheetTrust::tiffPagesAreReadAsThemselves() {
    QFETCH(QString, file);
    QFETCH(QList<int>, order);
    const QJsonArray truth = TruthOf(file);
    QCOMPARE(truth.size(), 4);
    ScanFileReader scans;
    QString error;
    QCOMPARE(scans.PageCount(file, &error), 4);
    for (int page : order) {
        const ScanImage image = scans.Page(file, page);
        QVERIFY2(image.error.isEmpty(), qPrintable(image.error));
        const QJsonObject expected = truth[page - 1].toObject();
        QCOMPARE(image.image.size(), QSize(expected["width"].toInt(), expected["height"].toInt()));
    }
}

// Every page once and as itself, on two threads, run after run.
void TestSheetTrust::tiffPilesReadManyTimesOver() {
    const QString g4 = QStringLiteral(SCRIVANE_FIXTURES "/scan-four-pages-g4.tif");
    const QString lzw = QStringLiteral(SCRIVANE_FIXTURES "/scan-four-pages-lzw.tif");
    QStringList expected;
    for (const QString& file : {g4, lzw})
        for (const QJsonValue& page : TruthOf(file))
            expected << page["version"].toString() + ' ' + page["student"].toString();
    const SheetReader sheets(FixtureRun().paper, FixtureRun().modeLetters);
    for (int run = 0; run < 6; ++run) {
        QStringList read;
        GradingBatch batch(ScanPageSources(sheets, 150), 2);
        QVERIFY(batch.Run({g4, lzw}, [&](BatchPage& page) {
            read << page.read.version + ' ' + StudentOf(page.read);
        }));
        QCOMPARE(read, expected);
    }
}

void TestSheetTrust::fileGivenTwiceIsReadOnce() {
    QTemporaryDir dir;
    for (const char* name : {"pile.pdf", "more.pdf"}) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QVERIFY(QFile::link(dir.filePath("pile.pdf"), dir.filePath("link.pdf")));
    QStringList read;
    GradingBatch batch([&read] { return std::make_unique<CountingSource>(read); }, 1);
    QStringList handed;
    QVERIFY(
        batch.Run({dir.filePath("pile.pdf"), dir.filePath("more.pdf"), dir.filePath("./pile.pdf"),
                   dir.filePath("link.pdf"), dir.filePath("pile.pdf")},
                  [&](BatchPage& page) {
                      handed << QStringLiteral("%1 %2 of %3")
                                    .arg(QFileInfo(page.file).fileName())
                                    .arg(page.page)
                                    .arg(page.total);
                  }));
    QCOMPARE(handed, (QStringList{"pile.pdf 1 of 4", "pile.pdf 2 of 4", "more.pdf 1 of 4",
                                  "more.pdf 2 of 4"}));
    QCOMPARE(read.size(), 4);
}

void TestSheetTrust::sheetsOfAnotherPaper_data() {
    QTest::addColumn<QString>("printedWith");  // the identity on the sheets
    QTest::addColumn<QString>("paperHas");     // the identity of the paper graded
    QTest::addColumn<int>("questions");        // of the paper graded, of Run()'s 30
    QTest::addColumn<bool>("read");
    QTest::addColumn<QString>("reason");
    const QString mine = QStringLiteral("0123456789ABCDEF"),
                  other = QStringLiteral("FEDCBA9876543210");
    QTest::newRow("its own paper") << mine << mine << 30 << true << QString();
    QTest::newRow("another paper of the same questions")
        << mine << other << 30 << false << "this sheet belongs to another paper";
    QTest::newRow("its own paper, a question deleted since")
        << mine << mine << 29 << false << "the paper's questions changed since printing";
    QTest::newRow("a paper file without an identity")
        << mine << QString() << 30 << true
        << "the paper file has no identity to check this sheet by: make sure it is this paper's "
           "sheet";
    QTest::newRow("printed before papers had one") << QString() << mine << 30 << true << QString();
    QTest::newRow("printed before, a question deleted since")
        << QString() << mine << 29 << false
        << "this sheet belongs to another paper, or the paper's questions changed since printing";
}

// Two papers without texts print alike; the identity tells their sheets
// apart, and a sheet printed before papers had one reads as it always did.
void TestSheetTrust::sheetsOfAnotherPaper() {
    QFETCH(QString, printedWith);
    QFETCH(QString, paperHas);
    QFETCH(int, questions);
    QFETCH(bool, read);
    QFETCH(QString, reason);
    std::vector<QuestionRecord> blank(30);
    for (std::size_t i = 0; i < blank.size(); ++i) {
        blank[i].QuestionNo = std::int16_t(i + 1);
        blank[i].Score = 1;
        blank[i].Answer = AnswerMask(1 << (i % 5));
    }
    PrintRun run = Print(blank, QStringLiteral("ABCDE"), 2, 9);
    for (SheetCode& code : run.codes) code.paperId = printedWith;
    QCOMPARE(QString::fromLatin1(run.codes[0].Encode().left(5)),
             printedWith.isEmpty() ? QStringLiteral("SCRV1") : QStringLiteral("SCRV2"));
    std::vector<QuestionRecord> graded = blank;
    graded.resize(std::size_t(questions));
    const SheetReader sheets(graded, QStringLiteral("ABCDE"), paperHas);
    const PageRead page = sheets.Read(Scanned(run, 1, 3));
    QCOMPARE(page.status == PageRead::Status::Read, read);
    QCOMPARE(page.reasons.join("; "), reason);
    if (read) QCOMPARE(page.version, QStringLiteral("B"));
}

void TestSheetTrust::codeAgainstThePrint_data() {
    QTest::addColumn<int>("printedDigits");  // the grid on the sheet
    QTest::addColumn<int>("codeDigits");     // what its code says
    QTest::addColumn<QString>("codeVersion");
    QTest::addColumn<int>("style");  // of the scan (scangen's styles)
    QTest::addColumn<QString>("reason");
    for (int style = 0; style <= 4; ++style)
        QTest::addRow("agreeing, scan style %d", style) << 8 << 8 << "A" << style << QString();
    QTest::newRow("agreeing, no grid") << 0 << 0 << "A" << 0 << QString();
    QTest::newRow("agreeing, ten places") << 10 << 10 << "A" << 1 << QString();
    QTest::newRow("a version B code on a version A sheet")
        << 8 << 8 << "B" << 0 << "the code says version B, the squares say A";
    QTest::newRow("forged version, photographed")
        << 8 << 8 << "C" << 4 << "the code says version C, the squares say A";
    QTest::newRow("a grid smaller than the code says")
        << 6 << 8 << "A" << 0 << "the code says 8 student number places, the sheet shows 6";
    QTest::newRow("a grid larger than the code says")
        << 8 << 6 << "A" << 1 << "the code says 6 student number places, the sheet shows more";
}

// A sheet printed as version A whose code was made to say otherwise.
void TestSheetTrust::codeAgainstThePrint() {
    QFETCH(int, printedDigits);
    QFETCH(int, codeDigits);
    QFETCH(QString, codeVersion);
    QFETCH(int, style);
    QFETCH(QString, reason);
    PrintRun run = Print(Run().paper, Run().modeLetters, 3, 4, printedDigits);
    run.codes[0].idDigits = codeDigits;
    run.codes[0].version = codeVersion;
    const SheetReader sheets(run.paper, run.modeLetters);
    const PageRead page = sheets.Read(Scanned(run, 0, 11 + std::uint32_t(style), style));
    QVERIFY2(page.status == PageRead::Status::Read, qPrintable(page.reasons.join("; ")));
    QStringList disagreements;
    for (const QString& r : page.reasons)
        if (r.startsWith("the code says")) disagreements << r;
    QCOMPARE(disagreements.join("; "), reason);
}

// The identity is a stream of its own in the paper file: the workbook's
// stream, and so every cell, stays byte for byte, and a file that is no
// compound file is told that it cannot keep one.
void TestSheetTrust::identityKeptBesideTheCells() {
    QTemporaryDir dir;
    const QString paper = dir.filePath("paper.tpf");
    QVERIFY(WritePaperFile(paper, Run().paper).WasWritten());
    QCOMPARE(ReadPaperIdentity(paper), QString());
    const auto workbookStream = [](const QString& path) {
        const codec::detail::FileSource source(std::filesystem::path(path.toStdString()));
        return codec::detail::CompoundFile(source).ReadStream("Workbook", 1 << 24);
    };
    const std::vector<std::uint8_t> before = workbookStream(paper);
    for (const QString id : {"0123456789ABCDEF", "FEDCBA9876543210"}) {
        QCOMPARE(WritePaperIdentity(paper, id), QString());
        QCOMPARE(ReadPaperIdentity(paper), id);
        QVERIFY(workbookStream(paper) == before);
    }
    std::vector<QuestionRecord> rows;
    QCOMPARE(ReadPaperFile(paper, rows).outcome, ImportReport::Outcome::Imported);
    QCOMPARE(rows.size(), Run().paper.size());
    QCOMPARE(WritePaperIdentity(paper, "not an identity"),
             QStringLiteral("the paper's identity is not valid"));

    QFile text(dir.filePath("paper.csv"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("Question NO,Mark\n");
    text.close();
    QCOMPARE(WritePaperIdentity(text.fileName(), "0123456789ABCDEF"),
             QStringLiteral("only a paper file (.tpf or .xls) keeps an identity"));
    QCOMPARE(ReadPaperIdentity(text.fileName()), QString());
}

QTEST_MAIN(TestSheetTrust)
#include "test_sheettrust.moc"
