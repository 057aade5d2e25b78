#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QtTest>
#include <thread>

#include "grading/read/pageread.h"
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
};

void TestSheetReader::readsScansOfEveryKind_data() {
    QTest::addColumn<int>("style");
    QTest::newRow("flatbed") << 0;
    QTest::newRow("crooked scan-to-PDF, turned any way") << 1;
    QTest::newRow("upside down, JPEG") << 2;
    QTest::newRow("copy of a copy") << 3;
    QTest::newRow("phone photo") << 4;
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

QTEST_MAIN(TestSheetReader)
#include "test_sheetreader.moc"
