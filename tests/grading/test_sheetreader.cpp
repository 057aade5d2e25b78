#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <thread>

#include "grading/read/sheetreader.h"
#include "scangen/hugepicture.h"
#include "scangen/evaluate.h"
#include "scangen/scangen.h"

using namespace scrivane;
using namespace scrivane::scangen;

namespace {

struct Tally {
    int bubbles = 0, wrong = 0, unclear = 0, questions = 0, reviewed = 0;
};

// Compares every bubble of a read page with the truth; a bubble read the
// wrong way without being flagged unclear is a failure, an unclear one is
// counted.
QString Compare(const PageRead& read, const Sheet& sheet, Tally& tally) {
    if (read.status != PageRead::Status::Read) return "not read: " + read.reasons.join("; ");
    const QString version = sheet.truth["version"].toString();
    if (read.version != version)
        return QStringLiteral("version %1 read as %2").arg(version, read.version);
    if (read.bubbles.size() != sheet.filling.marks.size())
        return QStringLiteral("bubble count differs");
    QString student(sheet.filling.student.size(), QChar(u'?'));
    std::map<int, bool> questionUnclear;
    QStringList faults;
    for (std::size_t i = 0; i < read.bubbles.size(); ++i) {
        const BubbleRead& b = read.bubbles[i];
        const Mark truth = sheet.filling.marks[i];
        ++tally.bubbles;
        if (b.mark == BubbleRead::Mark::Unclear) {
            ++tally.unclear;
            if (b.bubble.kind == SheetBubble::Kind::Answer)
                questionUnclear[b.bubble.question] = true;
        } else if ((b.mark == BubbleRead::Mark::Marked) != Counts(truth)) {
            ++tally.wrong;
            faults << QStringLiteral("%1%2 %3 read %4 (fill %5)")
                          .arg(b.bubble.kind == SheetBubble::Kind::Answer ? b.bubble.question
                                                                          : b.bubble.position)
                          .arg(b.bubble.kind == SheetBubble::Kind::Answer
                                   ? QString(b.bubble.option)
                                   : QString::number(b.bubble.digit))
                          .arg(MarkName(truth))
                          .arg(b.mark == BubbleRead::Mark::Marked ? "marked" : "empty")
                          .arg(b.fill, 0, 'f', 2);
        }
        if (b.bubble.kind == SheetBubble::Kind::Student && b.mark == BubbleRead::Mark::Marked)
            student[b.bubble.position] = QChar(u'0' + b.bubble.digit);
        if (b.bubble.kind == SheetBubble::Kind::Answer)
            questionUnclear.emplace(b.bubble.question, false);
    }
    for (const auto& [q, unclear] : questionUnclear) {
        ++tally.questions;
        tally.reviewed += unclear;
    }
    if (!faults.isEmpty()) return faults.join(", ");
    if (student != sheet.filling.student && !student.contains(u'?'))
        return QStringLiteral("student %1 read as %2").arg(sheet.filling.student, student);
    return {};
}

// A filled sheet of the run's first version, clean, with `damage` painted
// over it (in points) before it is scanned.
Sheet Damaged(const PrintRun& run,
              const std::function<void(QPainter&, const SheetPageLayout&)>& damage,
              std::uint32_t seed) {
    std::mt19937 random(seed);
    Sheet sheet;
    sheet.distortion = RandomDistortion(random, 0);
    sheet.filling = RandomFilling(run.layouts[0], random);
    QImage page = DrawMarks(RenderBlankSheet(run.layouts[0], run.versions[0], run.codes[0], 200),
                            200, run.layouts[0], sheet.filling, random)
                      .convertToFormat(QImage::Format_RGB32);
    {
        QPainter p(&page);
        p.scale(200.0 / 72, 200.0 / 72);
        damage(p, run.layouts[0]);
    }
    sheet.image = Distort(page, 200, sheet.distortion, random);
    sheet.truth = Truth(run.layouts[0], sheet.filling, sheet.distortion);
    return sheet;
}

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {};
    f.write(bytes);
    return path;
}

ScanImage AsScan(const QImage& image, double dpi = 200) {
    return {image, dpi, {}};
}

const PrintRun& Run() {
    static const PrintRun run = Print(SamplePaper(100, 11), QStringLiteral("ABCDE"), 3, 11);
    return run;
}

const SheetReader& Reader() {
    static const SheetReader reader(Run().paper, Run().modeLetters);
    return reader;
}

}  // namespace

class TestSheetReader : public QObject {
    Q_OBJECT
private slots:
    void readsScansOfEveryKind_data();
    void readsScansOfEveryKind();
    void readsScanFixtures_data();
    void readsScanFixtures();
    void refusesPagesThatAreNoSheetOfThePaper_data();
    void refusesPagesThatAreNoSheetOfThePaper();
    void texts_digest_and_corrected_answers();
    void damagedCodeIsReadFromTheVersionSquares();
    void tornCornerIsPlacedByTheOtherThree_data();
    void tornCornerIsPlacedByTheOtherThree();
    void sheetSmallInAPhoto();
    void photoWithCornersOutOfThePicture_data();
    void photoWithCornersOutOfThePicture();
    void doodleBesideAMissingMarker_data();
    void doodleBesideAMissingMarker();
    void bentSheetIsNotPlacedSurely();
    void lightPencilIsJudgedAgainstTheSheet_data();
    void lightPencilIsJudgedAgainstTheSheet();
    void evaluationOverGeneratedSheets();
    void readsFromSeveralThreads();
    void scanFiles();
    void hostileScanFiles_data();
    void hostileScanFiles();
    void scanFileMessages_data();
    void scanFileMessages();
    void transparentScanIsReadOnWhite();
    void aPdfPictureBeyondTheLimitsIsRefused();
    void readsSheetsByTheRuleTheyWerePrintedWith();
};

void TestSheetReader::readsScansOfEveryKind_data() {
    QTest::addColumn<int>("style");
    QTest::newRow("flatbed") << 0;
    QTest::newRow("crooked scan-to-PDF, turned any way") << 1;
    QTest::newRow("upside down, JPEG") << 2;
    QTest::newRow("copy of a copy") << 3;
    QTest::newRow("phone photo") << 4;
    QTest::newRow("phone photo in perspective") << 5;
}

void TestSheetReader::readsScansOfEveryKind() {
    QFETCH(int, style);
    std::mt19937 random(1000 + style);
    Tally tally;
    for (int i = 0; i < 3; ++i) {
        const Sheet sheet = MakeSheet(Run(), i, RandomDistortion(random, style), 200, random);
        const PageRead read = Reader().Read(AsScan(sheet.image));
        const QString fault = Compare(read, sheet, tally);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QVERIFY2(read.reasons.isEmpty(), qPrintable(read.reasons.join("; ")));
        QCOMPARE(read.upright.size(), (read.layout.size * 150 / 72).toSize());
    }
    QCOMPARE(tally.wrong, 0);
    QVERIFY2(
        tally.reviewed * 100 <= tally.questions * 3,
        qPrintable(
            QStringLiteral("%1 of %2 questions unclear").arg(tally.reviewed).arg(tally.questions)));
}

void TestSheetReader::readsScanFixtures_data() {
    QTest::addColumn<QString>("file");
    QTest::newRow("crooked 150 dpi scan") << "scan-crooked-a.jpg";
    QTest::newRow("copy of a copy, upside down") << "scan-copy-of-copy-b.jpg";
    QTest::newRow("phone photo, upside down") << "scan-phone-photo-c.jpg";
}

// Scans kept as files: a change to the sheet's layout or code that would stop
// sheets already printed from being read fails here.
void TestSheetReader::readsScanFixtures() {
    QFETCH(QString, file);
    static const PrintRun run = Print(SamplePaper(40, 21), QStringLiteral("ABCDE"), 3, 21);
    static const SheetReader reader(run.paper, run.modeLetters);
    const QString path = QStringLiteral(SCRIVANE_FIXTURES "/") + file;
    QFile truthFile(path + ".truth.json");
    QVERIFY(truthFile.open(QIODevice::ReadOnly));
    const QJsonObject truth = QJsonDocument::fromJson(truthFile.readAll()).object();
    ScanFileReader scans;
    const ScanImage page = scans.Page(path, 1);
    QCOMPARE(page.dpi, 150.0);
    const PageRead read = reader.Read(page);
    QCOMPARE(read.status, PageRead::Status::Read);
    QVERIFY2(read.reasons.isEmpty(), qPrintable(read.reasons.join("; ")));
    QCOMPARE(read.version, truth["version"].toString());
    const QJsonArray bubbles = truth["bubbles"].toArray();
    QCOMPARE(read.bubbles.size(), std::size_t(bubbles.size()));
    QString student;
    for (std::size_t i = 0; i < read.bubbles.size(); ++i) {
        const BubbleRead& b = read.bubbles[i];
        const QJsonObject t = bubbles[int(i)].toObject();
        QCOMPARE(b.bubble.kind == SheetBubble::Kind::Answer, t["kind"].toString() == "answer");
        QVERIFY2(b.mark != BubbleRead::Mark::Unclear, qPrintable(t["mark"].toString()));
        QVERIFY2((b.mark == BubbleRead::Mark::Marked) == t["counts"].toBool(),
                 qPrintable(QStringLiteral("bubble %1 (%2) fill %3")
                                .arg(i)
                                .arg(t["mark"].toString())
                                .arg(b.fill)));
        if (b.bubble.kind == SheetBubble::Kind::Student && b.mark == BubbleRead::Mark::Marked)
            student += QString::number(b.bubble.digit);
    }
    QCOMPARE(student, truth["student"].toString());
}

void TestSheetReader::refusesPagesThatAreNoSheetOfThePaper_data() {
    QTest::addColumn<QImage>("page");
    QTest::addColumn<QString>("reason");
    QImage blank(1654, 2339, QImage::Format_Grayscale8);
    blank.fill(250);
    QTest::newRow("blank page") << blank << "no corner markers were found";

    QImage questions(1654, 2339, QImage::Format_RGB32);
    questions.fill(Qt::white);
    {
        QPainter p(&questions);
        p.setFont(QFont(QStringLiteral("DejaVu Sans"), 30));
        for (int i = 0; i < 30; ++i)
            p.drawText(150, 150 + i * 70,
                       QStringLiteral("%1. Which of these holds? (A) one (B) two").arg(i + 1));
        p.fillRect(150, 2200, 40, 40, Qt::black);  // a square somewhere is no sheet
    }
    QTest::newRow("question page") << questions << "this page is not an answer sheet";

    // The same number of questions, but different options filled.
    std::vector<QuestionRecord> other = Run().paper;
    other[4].Items[4] = QString();
    other[4].Items[3] = QStringLiteral("moved");
    std::mt19937 random(3);
    const PrintRun otherRun = Print(other, QStringLiteral("ABCDE"), 3, 11);
    QTest::newRow("another paper's sheet")
        << MakeSheet(otherRun, 1, RandomDistortion(random, 1), 200, random).image
        << "this sheet belongs to another paper, or the paper's questions changed "
           "since printing";
    QTest::newRow("tiny image") << QImage(40, 60, QImage::Format_Grayscale8) << "too small";
}

void TestSheetReader::refusesPagesThatAreNoSheetOfThePaper() {
    QFETCH(QImage, page);
    QFETCH(QString, reason);
    const PageRead read = Reader().Read(AsScan(page));
    QCOMPARE(read.status, PageRead::Status::Unreadable);
    QVERIFY2(read.reasons.join(" ").contains(reason), qPrintable(read.reasons.join("; ")));
    QVERIFY(read.bubbles.empty());
}

void TestSheetReader::texts_digest_and_corrected_answers() {
    std::mt19937 random(8);
    const Sheet sheet = MakeSheet(Run(), 2, RandomDistortion(random, 2), 200, random);
    // A corrected answer grades the same sheets without doubt.
    std::vector<QuestionRecord> corrected = Run().paper;
    corrected[0].Answer = corrected[0].Answer == 1 ? 2 : 1;
    const PageRead clean = SheetReader(corrected, Run().modeLetters).Read(AsScan(sheet.image));
    QCOMPARE(clean.status, PageRead::Status::Read);
    QVERIFY2(clean.reasons.isEmpty(), qPrintable(clean.reasons.join("; ")));
    QCOMPARE(clean.code->version, QStringLiteral("C"));

    std::vector<QuestionRecord> retitled = Run().paper;
    retitled[7].Title += QStringLiteral(" (corrected)");
    const PageRead read = SheetReader(retitled, Run().modeLetters).Read(AsScan(sheet.image));
    QCOMPARE(read.reasons, QStringList{"the paper's texts changed since printing"});
    Tally tally;
    const QString fault = Compare(read, sheet, tally);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

void TestSheetReader::damagedCodeIsReadFromTheVersionSquares() {
    const Sheet damaged = Damaged(
        Run(),
        [](QPainter& p, const SheetPageLayout& layout) {
            p.fillRect(layout.code.adjusted(5, 5, -5, -5), QColor(200, 200, 200));
        },
        21);
    // Alone, nothing tells the print settings: the page waits for them.
    const SheetReader fresh(Run().paper, Run().modeLetters);
    const PageRead refused = fresh.Read(AsScan(damaged.image));
    QCOMPARE(refused.status, PageRead::Status::Unreadable);
    QVERIFY(refused.codeMissing);
    QVERIFY(refused.reasons.join(" ").contains("code could not be read"));

    // Given the settings of another sheet of the same print, it reads.
    std::mt19937 random(4);
    const PageRead other =
        fresh.Read(AsScan(MakeSheet(Run(), 1, RandomDistortion(random, 0), 200, random).image));
    QCOMPARE(other.status, PageRead::Status::Read);
    const PageRead read = fresh.Read(AsScan(damaged.image), other.code);
    QCOMPARE(
        read.reasons,
        QStringList{"the sheet's code could not be read; its version was read from the squares"});
    Tally tally;
    const QString fault = Compare(read, damaged, tally);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

void TestSheetReader::tornCornerIsPlacedByTheOtherThree_data() {
    QTest::addColumn<int>("corner");
    QTest::newRow("solid top-right") << 1;
    QTest::newRow("hollow bottom-left") << 3;
}

void TestSheetReader::tornCornerIsPlacedByTheOtherThree() {
    QFETCH(int, corner);
    const Sheet torn = Damaged(
        Run(),
        [corner](QPainter& p, const SheetPageLayout& layout) {
            const SheetMarker& m = layout.markers[std::size_t(corner)];
            // The corner of the paper torn off diagonally, the marker with it.
            const QPointF page(corner == 1 || corner == 2 ? layout.size.width() : 0,
                               corner >= 2 ? layout.size.height() : 0);
            const QPointF toward = (m.centre - page) * 2 + (m.centre - page) /
                                                               (m.centre - page).manhattanLength() *
                                                               m.size * 2;
            const QPointF tear[3] = {page, page + QPointF(toward.x(), 0),
                                     page + QPointF(0, toward.y())};
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawPolygon(tear, 3);
        },
        30 + corner);
    // The code's corners and the bubbles' rings place it as surely as a
    // fourth marker would.
    const PageRead read = Reader().Read(AsScan(torn.image));
    QVERIFY2(read.reasons.isEmpty(), qPrintable(read.reasons.join("; ")));
    Tally tally;
    const QString fault = Compare(read, torn, tally);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

void TestSheetReader::sheetSmallInAPhoto() {
    std::mt19937 random(91);
    const Sheet sheet = MakeSheet(Run(), 2, RandomDistortion(random, 4), 200, random);
    // The sheet takes half the photo's height, a table all around it.
    QImage photo(sheet.image.size() * 2, QImage::Format_Grayscale8);
    photo.fill(90);
    {
        QPainter p(&photo);
        p.drawImage(QPoint(sheet.image.width() / 2, sheet.image.height() / 3), sheet.image);
    }
    Tally tally;
    const QString fault =
        Compare(Reader().Read(AsScan(photo.scaled(sheet.image.size(), Qt::KeepAspectRatio,
                                                  Qt::SmoothTransformation))),
                sheet, tally);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

void TestSheetReader::photoWithCornersOutOfThePicture_data() {
    QTest::addColumn<int>("cut");
    QTest::addColumn<bool>("whole");  // the code and every bubble in the picture
    QTest::newRow("top-left corner") << 1 << true;
    QTest::newRow("top-right corner") << 2 << true;
    QTest::newRow("bottom-right corner") << 4 << true;
    QTest::newRow("hollow bottom-left corner") << 8 << true;
    QTest::newRow("top side") << (1 | 2) << true;
    QTest::newRow("bottom side") << (4 | 8) << true;
    // The student number's first column stands nearer the left edge than the
    // markers' inner side, and the code nearer the right.
    QTest::newRow("left side") << (1 | 8) << false;
    QTest::newRow("right side") << (2 | 4) << false;
}

void TestSheetReader::photoWithCornersOutOfThePicture() {
    QFETCH(int, cut);
    QFETCH(bool, whole);
    std::mt19937 random(700 + cut);
    const Sheet sheet = MakeCutPhoto(Run(), cut % 3, cut, 200, random);
    QVERIFY(!sheet.image.isNull());
    QCOMPARE(sheet.truth["distortion"].toObject()["cut_corners"].toInt(), cut);
    const PageRead read = Reader().Read(AsScan(sheet.image));
    if (whole) {
        QVERIFY2(read.reasons.isEmpty(), qPrintable(read.reasons.join("; ")));
        Tally tally;
        const QString fault = Compare(read, sheet, tally);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QVERIFY2(tally.reviewed * 100 <= tally.questions * 3,
                 qPrintable(QStringLiteral("%1 questions unclear").arg(tally.reviewed)));
        return;
    }
    // What the picture cuts is never read as empty: the page is told
    // unreadable with its reason, or read with what is cut left unclear.
    if (read.status == PageRead::Status::Unreadable) {
        QVERIFY(!read.reasons.isEmpty());
        return;
    }
    Evaluation evaluation;
    evaluation.Add(read, sheet, QStringLiteral("cut"));
    QVERIFY2(evaluation.wrong == 0 && evaluation.studentsWrong == 0,
             qPrintable(evaluation.faults.join("; ")));
}

void TestSheetReader::doodleBesideAMissingMarker_data() {
    QTest::addColumn<int>("marker");
    QTest::newRow("top-right torn, a square drawn beside it") << 1;
    QTest::newRow("bottom-right torn, a square drawn beside it") << 2;
    QTest::newRow("top-left torn, a square drawn beside it") << 0;
}

// A dark square 15 mm from a torn-off marker looks like the marker: a
// placement by it would read every bubble blank. The other references refuse
// it; the sheet reads as it is, or goes to review with every answer unclear.
void TestSheetReader::doodleBesideAMissingMarker() {
    QFETCH(int, marker);
    std::mt19937 random(800 + marker);
    for (const int style : {0, 1, 5}) {
        Distortion d = RandomDistortion(random, style);
        d.tornMarker = marker;
        d.doodle = true;
        const Sheet sheet = MakeSheet(Run(), marker % 3, d, 200, random);
        const PageRead read = Reader().Read(AsScan(sheet.image));
        QCOMPARE(read.status, PageRead::Status::Read);
        if (!read.reasons.isEmpty()) {
            QCOMPARE(read.reasons,
                     QStringList{"the sheet could not be placed surely: check every answer"});
            for (const BubbleRead& b : read.bubbles) QCOMPARE(b.mark, BubbleRead::Mark::Unclear);
            continue;
        }
        Tally tally;
        const QString fault = Compare(read, sheet, tally);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }
}

// A sheet bowed as it went through the scanner: its four markers stand where
// they should, its middle 1.5 mm lower. No placement by points fits it to a
// quarter of a bubble's radius, so every answer is left to check.
void TestSheetReader::bentSheetIsNotPlacedSurely() {
    std::mt19937 random(901);
    Sheet sheet = MakeSheet(Run(), 0, RandomDistortion(random, 0), 200, random);
    QImage bent(sheet.image.size(), QImage::Format_Grayscale8);
    const double sag = 1.5 / 25.4 * 200;
    for (int y = 0; y < bent.height(); ++y) {
        uchar* line = bent.scanLine(y);
        for (int x = 0; x < bent.width(); ++x) {
            const double dy =
                sag * std::sin(M_PI * x / bent.width()) * std::sin(M_PI * y / bent.height());
            const int from = std::clamp(int(std::lround(y - dy)), 0, bent.height() - 1);
            line[x] = sheet.image.constScanLine(from)[x];
        }
    }
    const PageRead read = Reader().Read(AsScan(bent));
    QCOMPARE(read.status, PageRead::Status::Read);
    QCOMPARE(read.reasons, QStringList{"the sheet could not be placed surely: check every answer"});
    for (const BubbleRead& b : read.bubbles) QCOMPARE(b.mark, BubbleRead::Mark::Unclear);
}

void TestSheetReader::lightPencilIsJudgedAgainstTheSheet_data() {
    QTest::addColumn<int>("style");
    QTest::newRow("flatbed") << 0;
    QTest::newRow("copy of a copy") << 3;
    QTest::newRow("phone photo") << 4;
}

// Marks made lightly but alike are read as marks: few answers are left to
// check, and the one changed with an erasure beside its mark is one of them.
void TestSheetReader::lightPencilIsJudgedAgainstTheSheet() {
    QFETCH(int, style);
    std::mt19937 random(950 + style);
    const Filling filling = LightPencilFilling(Run().layouts[1], random);
    const Sheet sheet = MakeSheet(Run(), 1, RandomDistortion(random, style), 200, random, filling);
    const PageRead read = Reader().Read(AsScan(sheet.image));
    Tally tally;
    const QString fault = Compare(read, sheet, tally);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    QVERIFY2(tally.reviewed <= 3,
             qPrintable(QStringLiteral("%1 answers to review").arg(tally.reviewed)));
    bool erasureUnclear = false, erasure = false;
    for (std::size_t i = 0; i < read.bubbles.size(); ++i) {
        if (filling.marks[i] != Mark::Rubbed) continue;
        erasure = true;
        for (const BubbleRead& b : read.bubbles)
            if (b.bubble.kind == SheetBubble::Kind::Answer &&
                b.bubble.question == read.bubbles[i].bubble.question)
                erasureUnclear = erasureUnclear || b.mark == BubbleRead::Mark::Unclear;
    }
    QVERIFY(erasure);
    QVERIFY(erasureUnclear);
}

// A share of the evaluation the benchmark runs over 300 sheets: every kind of
// scan and photo at 150, 200 and 300 dpi.
void TestSheetReader::evaluationOverGeneratedSheets() {
    std::mt19937 random(2026);
    Evaluation evaluation;
    for (int i = 0; i < 20; ++i) {
        double dpi = 200;
        const Sheet sheet = EvaluationSheet(Run(), i, random, &dpi);
        QVERIFY(!sheet.image.isNull());
        evaluation.Add(Reader().Read(AsScan(sheet.image, dpi)), sheet,
                       QStringLiteral("sheet %1").arg(i));
    }
    const QString summary = evaluation.Summary();
    QVERIFY2(
        evaluation.wrong == 0 && evaluation.studentsWrong == 0 && evaluation.versionsWrong == 0,
        qPrintable(summary + "; " + evaluation.faults.join("; ")));
    QCOMPARE(evaluation.unreadableWithoutReason, 0);
    QVERIFY2(evaluation.DoubtfulPercent() <= 2,
             qPrintable(summary + "; " + evaluation.faults.join("; ")));
}

void TestSheetReader::readsFromSeveralThreads() {
    std::mt19937 random(55);
    std::vector<Sheet> sheets;
    for (int i = 0; i < 3; ++i)
        sheets.push_back(MakeSheet(Run(), i, RandomDistortion(random, 1), 200, random));
    // A fresh reader, so that the threads race to render the blank sheets.
    const SheetReader reader(Run().paper, Run().modeLetters);
    std::vector<std::vector<PageRead>> results(2);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < results.size(); ++t)
        threads.emplace_back([&, t] {
            for (const Sheet& sheet : sheets)
                results[t].push_back(reader.Read(AsScan(sheet.image)));
        });
    for (auto& thread : threads) thread.join();
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        Tally tally;
        QVERIFY(Compare(results[0][i], sheets[i], tally).isEmpty());
        QCOMPARE(results[0][i].version, results[1][i].version);
        for (std::size_t b = 0; b < results[0][i].bubbles.size(); ++b)
            QCOMPARE(results[0][i].bubbles[b].fill, results[1][i].bubbles[b].fill);
    }
}

void TestSheetReader::scanFiles() {
    QTemporaryDir dir;
    std::mt19937 random(66);
    const Sheet first = MakeSheet(Run(), 0, RandomDistortion(random, 0), 200, random);
    const Sheet second = MakeSheet(Run(), 1, RandomDistortion(random, 2), 200, random);

    // A scan-to-PDF of two pages, rendered back one at a time.
    const QString pdf = dir.filePath("pile.pdf");
    {
        QPdfWriter writer(pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(200);
        QPainter painter(&writer);
        painter.drawImage(QRect(QPoint(0, 0), first.image.size().scaled(painter.viewport().size(),
                                                                        Qt::KeepAspectRatio)),
                          first.image);
        writer.newPage();
        painter.drawImage(QRect(QPoint(0, 0), second.image.size().scaled(painter.viewport().size(),
                                                                         Qt::KeepAspectRatio)),
                          second.image);
    }
    ScanFileReader scans(150);
    QString error;
    QCOMPARE(scans.PageCount(pdf, &error), 2);
    QVERIFY(error.isEmpty());
    const ScanImage page2 = scans.Page(pdf, 2);
    QVERIFY(page2.error.isEmpty());
    QCOMPARE(page2.dpi, 200.0);
    QVERIFY(qAbs(page2.image.width() - 1654) <= 1 && qAbs(page2.image.height() - 2339) <= 1);
    QCOMPARE(Reader().Read(page2).version, QStringLiteral("B"));
    QCOMPARE(Reader().Read(scans.Page(pdf, 1)).version, QStringLiteral("A"));
    QVERIFY(scans.Page(pdf, 3).error.contains("no page 3"));

    // Images: their own resolution, or the fallback when they carry none.
    const QString png = WriteFile(dir, "sheet.png", Encode(first.image, 0, 300));
    const QString jpeg = WriteFile(dir, "sheet.jpg", Encode(second.image, 70, 200));
    QImage plain = second.image;
    plain.setDotsPerMeterX(2835);  // 72 dpi: what tools write that know nothing
    plain.setDotsPerMeterY(2835);
    const QString bare = WriteFile(dir, "bare.png", [&] {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        plain.save(&buffer, "PNG");
        return bytes;
    }());
    QCOMPARE(scans.PageCount(png, &error), 1);
    QCOMPARE(qRound(scans.Page(png, 1).dpi), 300);
    QCOMPARE(scans.Page(bare, 1).dpi, 150.0);
    QCOMPARE(Reader().Read(scans.Page(jpeg, 1)).version, QStringLiteral("B"));

    // A 600 dpi page passes Qt's own allocation limit, and is decoded scaled
    // down with its resolution following.
    const QImage fine =
        first.image.scaled(first.image.size() * 3, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QString large = WriteFile(dir, "fine.png", Encode(fine, 0, 600));
    const ScanImage decoded = scans.Page(large, 1);
    QVERIFY2(decoded.error.isEmpty(), qPrintable(decoded.error));
    QCOMPARE(std::max(decoded.image.width(), decoded.image.height()), 3600);
    QVERIFY(qAbs(decoded.dpi * std::max(fine.width(), fine.height()) / 3600 - 600) < 1);
    QCOMPARE(Reader().Read(decoded).version, QStringLiteral("A"));

    // A multi-page TIFF, read forwards and back.
    const QString tiff = QStringLiteral(SCRIVANE_FIXTURES "/scan-three-pages.tif");
    QCOMPARE(scans.PageCount(tiff, &error), 3);
    const int levels[] = {77, 204, 255};
    for (int p : {1, 3, 2, 1}) {
        const ScanImage image = scans.Page(tiff, p);
        QVERIFY2(image.error.isEmpty(), qPrintable(image.error));
        QCOMPARE(qGray(image.image.pixel(5, 5)), levels[p - 1]);
    }
}

void TestSheetReader::hostileScanFiles_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("reason");
    QTest::newRow("damaged PDF") << QByteArray("%PDF-1.4\n1 0 obj << /Type /Catalog >> garbage")
                                 << "a.pdf" << false << "the PDF is damaged";
    QTest::newRow("text file") << QByteArray("number,name\n1,Ada\n") << "list.csv" << false
                               << "neither a PDF nor an image";
    QFile huge(QStringLiteral(SCRIVANE_FIXTURES "/scan-huge-20000.png"));
    QVERIFY(huge.open(QIODevice::ReadOnly));
    QTest::newRow("20000 x 20000 pixels")
        << huge.readAll() << "huge.png" << true
        << "the image is too large to be a scanned page (20000 × 20000 pixels)";
    QByteArray truncated = Encode(QImage(800, 1000, QImage::Format_Grayscale8), 80, 200);
    truncated.truncate(300);
    QTest::newRow("truncated JPEG") << truncated << "cut.jpg" << true << "the image";
}

void TestSheetReader::hostileScanFiles() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    QFETCH(bool, opens);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = WriteFile(dir, name, bytes);
    ScanFileReader scans;
    QString error;
    const int pages = scans.PageCount(path, &error);
    QCOMPARE(pages > 0, opens);
    const ScanImage page = scans.Page(path, 1);
    QVERIFY(page.image.isNull());
    QVERIFY2((opens ? page.error : error).contains(reason), qPrintable(opens ? page.error : error));
    // The page's reason carries on into the reading, which goes on.
    const PageRead read = Reader().Read(page);
    QCOMPARE(read.status, PageRead::Status::Unreadable);
    QCOMPARE(read.reasons, QStringList{page.error});
    QCOMPARE(scans.PageCount(dir.filePath("missing.pdf"), &error), 0);
    QCOMPARE(error, QStringLiteral("the file does not exist"));
}

namespace {

quint32 Crc32(const QByteArray& bytes) {
    quint32 crc = 0xFFFFFFFF;
    for (const char byte : bytes) {
        crc ^= uchar(byte);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

// A PNG's chunk with its length and checksum.
QByteArray PngChunk(const char* type, const QByteArray& data) {
    QByteArray chunk;
    const quint32 size = quint32(data.size());
    for (int shift : {24, 16, 8, 0}) chunk += char((size >> shift) & 0xFF);
    const QByteArray body = QByteArray(type) + data;
    chunk += body;
    const quint32 crc = Crc32(body);
    for (int shift : {24, 16, 8, 0}) chunk += char((crc >> shift) & 0xFF);
    return chunk;
}

// The header of a 16-bit RGBA PNG of side × side pixels: what a reader
// judges it by before decoding, so the picture itself need not be there.
QByteArray DeepPngHeader(quint32 side) {
    QByteArray header;
    for (int i = 0; i < 2; ++i)
        for (int shift : {24, 16, 8, 0}) header += char((side >> shift) & 0xFF);
    header += QByteArray("\x10\x06\x00\x00\x00", 5);  // 16 bits, RGBA, no interlace
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", header) +
           PngChunk("IDAT", QByteArray(16, '\0')) + PngChunk("IEND", {});
}

}  // namespace

void TestSheetReader::scanFileMessages_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("opens");  // the reason comes with the page, not the file
    QTest::addColumn<QString>("reason");
    QTest::newRow("a named pipe") << "pipe" << false
                                  << "the file is a pipe or a device, not a file";
    QTest::newRow("a folder named x.png") << "folder" << false << "the file is a folder";
    QTest::newRow("no read permission")
        << "unreadable" << false << "the file cannot be read: permission denied";
    QTest::newRow("links in a loop")
        << "loop" << false << "the file cannot be read: its links lead round in a loop";
    QTest::newRow("a JPEG cut short")
        << "cut" << true << "the image is damaged: the file ends before the picture does";
    QTest::newRow("a 16-bit PNG of 8944 × 8944")
        << "deep" << true
        << "the image is too large to read at its colour depth (8944 × 8944 pixels, 64 bits a "
           "pixel)";
}

void TestSheetReader::scanFileMessages() {
    QFETCH(QString, kind);
    QFETCH(bool, opens);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QString path = dir.filePath("x.png");
    if (kind == "pipe") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == "folder") {
        QVERIFY(QDir(dir.path()).mkdir("x.png"));
    } else if (kind == "unreadable") {
        if (::geteuid() == 0) QSKIP("root reads a file without read permission");
        WriteFile(dir, "x.png", Encode(QImage(100, 100, QImage::Format_Grayscale8), 0, 200));
        QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
    } else if (kind == "loop") {
        QVERIFY(QFile::link(dir.filePath("y.png"), path));
        QVERIFY(QFile::link(path, dir.filePath("y.png")));
    } else if (kind == "cut") {
        std::mt19937 random(3);
        const Sheet sheet = MakeSheet(Run(), 0, RandomDistortion(random, 0), 200, random);
        QByteArray bytes = Encode(sheet.image, 80, 200);
        bytes.truncate(bytes.size() * 6 / 10);
        path = WriteFile(dir, "cut.jpg", bytes);
    } else if (kind == "deep") {
        path = WriteFile(dir, "deep.png", DeepPngHeader(8944));
    }
    // Never waited on, whatever stands in the scan's place.
    ScanFileReader scans;
    QString error;
    QCOMPARE(scans.PageCount(path, &error) > 0, opens);
    const ScanImage page = scans.Page(path, 1);
    QVERIFY(page.image.isNull());
    QCOMPARE(opens ? page.error : error, reason);
}

void TestSheetReader::transparentScanIsReadOnWhite() {
    // A sheet saved with its paper transparent (black where nothing is drawn).
    std::mt19937 random(4);
    const Sheet sheet = MakeSheet(Run(), 1, RandomDistortion(random, 0), 200, random);
    QImage clear(sheet.image.size(), QImage::Format_ARGB32);
    for (int y = 0; y < clear.height(); ++y)
        for (int x = 0; x < clear.width(); ++x)
            clear.setPixel(x, y, qRgba(0, 0, 0, 255 - qGray(sheet.image.pixel(x, y))));
    QTemporaryDir dir;
    const QString path = dir.filePath("clear.png");
    QVERIFY(clear.save(path, "PNG"));
    ScanFileReader scans;
    const ScanImage page = scans.Page(path, 1);
    QVERIFY2(page.error.isEmpty(), qPrintable(page.error));
    // The paper comes back as it was scanned, not black.
    QVERIFY(qAbs(qGray(page.image.pixel(2, 2)) - qGray(sheet.image.pixel(2, 2))) <= 1);
    QCOMPARE(Reader().Read(page).version, QStringLiteral("B"));
}

void TestSheetReader::aPdfPictureBeyondTheLimitsIsRefused() {
    // 20,000² pictures in a PDF of a few megabytes, drawn straight and
    // through a form, beside pages whose pictures are small.
    QTemporaryDir dir;
    const QString pdf = WriteFile(
        dir, "huge.pdf",
        scangen::HugePicturePdf({{20000, false}, {300, false}, {20000, true}, {300, true}}));
    ScanFileReader scans;
    QString error;
    QCOMPARE(scans.PageCount(pdf, &error), 4);
    for (int page : {1, 3}) {
        const ScanImage refused = scans.Page(pdf, page);
        QVERIFY(refused.image.isNull());
        QCOMPARE(refused.error, QStringLiteral("the page holds a picture too large to read"));
    }
    for (int page : {2, 4}) {
        const ScanImage drawn = scans.Page(pdf, page);
        QVERIFY2(drawn.error.isEmpty(), qPrintable(drawn.error));
        QVERIFY(!drawn.image.isNull());
    }
}

// A sheet printed before options were kept by references ("Vitamin C" kept
// the order whole) is read by that rule, and one printed now by the new one:
// the same reader grades both.
void TestSheetReader::readsSheetsByTheRuleTheyWerePrintedWith() {
    std::vector<QuestionRecord> paper = SamplePaper(12, 5);
    paper[0].Items = {"Vitamin C", "Vitamin A", "Vitamin D", "Vitamin B", "Vitamin E", ""};
    paper[1].Items = {"Type O", "Type AB", "Type A", "Type B", "", ""};
    const QString letters = QStringLiteral("ABCDE");
    const SheetReader reader(paper, letters);
    for (KeptOptionsRule rule : {KeptOptionsRule::Phrases, KeptOptionsRule::References}) {
        PrintRun run = Print(paper, letters, 3, 21);
        for (SheetCode& code : run.codes) {
            code.versions.keptOptions = rule;
            code.paperDigest = PaperDigest(paper, letters, rule);
        }
        run.versions = BuildVersions(paper, run.codes[0].versions);
        run.layouts.clear();
        for (const PaperVersion& v : run.versions)
            run.layouts.push_back(LayOutAnswerSheet(v, kDefaultIdDigits, false));
        std::mt19937 random(31);
        for (int v = 0; v < 3; ++v) {
            const Sheet sheet = MakeSheet(run, v, Distortion{}, 200, random);
            const PageRead read = reader.Read(AsScan(sheet.image));
            Tally tally;
            const QString fault = Compare(read, sheet, tally);
            QVERIFY2(fault.isEmpty(), qPrintable(fault));
            QCOMPARE(read.code->versions.keptOptions, rule);
        }
    }
}

QTEST_MAIN(TestSheetReader)
#include "test_sheetreader.moc"
