// The answer sheet that a scanner reads back: its code reads back to what was
// written and nothing else, the digests follow what they cover, a full sheet
// fits one page with every bubble apart, and the printed code survives a
// 150 dpi JPEG scan.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QtMath>
#include <functional>

#include "print/layout/answersheet.h"
#include "printtestsupport.h"
#include "sheetscan.h"

using namespace scrivane;
using namespace scrivane::test;

namespace {

using Paper = std::vector<QuestionRecord>;

SheetCode SampleCode() {
    SheetCode code;
    code.paperDigest = QStringLiteral("0123456789ABCDEF");
    code.textDigest = QStringLiteral("FEDCBA9876543210");
    code.version = QStringLiteral("C");
    code.versions = {4, true, false, 679717, 5};
    code.idDigits = 7;
    return code;
}

bool SameCode(const SheetCode& a, const SheetCode& b) {
    return a.paperDigest == b.paperDigest && a.textDigest == b.textDigest &&
           a.version == b.version && a.sheetPage == b.sheetPage && a.sheetPages == b.sheetPages &&
           a.versions.count == b.versions.count &&
           a.versions.shuffleQuestions == b.versions.shuffleQuestions &&
           a.versions.shuffleOptions == b.versions.shuffleOptions &&
           a.versions.seed == b.versions.seed &&
           a.versions.blankOptionLetters == b.versions.blankOptionLetters &&
           a.versions.keptOptions == b.versions.keptOptions && a.idDigits == b.idDigits &&
           a.letterPaper == b.letterPaper;
}

// 100 questions of six options, every fourth with several answers.
Paper FullPaper() {
    Paper paper;
    for (int i = 0; i < 100; ++i)
        paper.push_back(Question(1, i % 4 ? "B" : "ACE", QStringLiteral("Question %1").arg(i + 1),
                                 {"one", "two", "three", "four", "five", "six"}));
    return paper;
}

PrintSettings SheetSettings(const Paper& paper, VersionSettings versions, int idDigits) {
    PrintSettings settings;
    settings.heading = QStringLiteral("Physics test");
    settings.paper = false;
    settings.key = false;
    settings.answerSheet = true;
    settings.versions = versions;
    settings.idDigits = idDigits;
    settings.paperDigest = PaperDigest(paper, ModeLetters(versions));
    settings.textDigest = TextDigest(paper);
    return settings;
}

QRectF Square(const QJsonObject& marker) {
    const double side = marker["size"].toDouble();
    return {marker["x"].toDouble() - side / 2, marker["y"].toDouble() - side / 2, side, side};
}

}  // namespace

class AnswerSheetTest : public QObject {
    Q_OBJECT
private slots:
    void codeRoundTrip();
    void codeRefusesOtherTexts_data();
    void codeRefusesOtherTexts();
    void digestsCoverWhatTheyName();
    void fullSheetFitsOnePage_data();
    void fullSheetFitsOnePage();
    void blankRenderShowsMarkersAndCode();
    void printedCodeReadsFromAJpegScan();
    void identityMakesTheSecondFormat_data();
    void identityMakesTheSecondFormat();
    void starStandsClearOfBubbleA_data();
    void starStandsClearOfBubbleA();
    void longHeadingIsPrintedWhole();
};

void AnswerSheetTest::codeRoundTrip() {
    SheetCode widest = SampleCode();
    widest.version = QStringLiteral("Z");
    widest.versions = {26, true, true, 4294967295u, 6};
    widest.idDigits = 10;
    widest.letterPaper = true;
    SheetCode plain = SampleCode();
    plain.version = QStringLiteral("A");
    plain.versions = {1, false, false, 0, 6};
    plain.idDigits = 0;
    // A sheet printed before options were kept by references reads by the
    // first rule.
    SheetCode before = SampleCode();
    before.versions.keptOptions = KeptOptionsRule::Phrases;
    QVERIFY(before.Encode().contains(":4:1:679717:"));
    QVERIFY(SampleCode().Encode().contains(":4:5:679717:"));
    for (const SheetCode& code : {SampleCode(), widest, plain, before}) {
        const QByteArray text = code.Encode();
        QVERIFY(text.startsWith("SCRV1"));
        // Within the QR code's alphanumeric mode, and short, so the code stays small.
        QVERIFY2(text.size() <= 72, text.constData());
        for (char c : text)
            QVERIFY2(QByteArray("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ:").contains(c),
                     text.constData());
        const auto back = SheetCode::Decode(text);
        QVERIFY2(back, text.constData());
        QVERIFY(SameCode(*back, code));
        QCOMPARE(back->Encode(), text);
    }
}

void AnswerSheetTest::codeRefusesOtherTexts_data() {
    QTest::addColumn<QByteArray>("text");
    const QByteArray good = SampleCode().Encode();
    QCOMPARE(good, QByteArray("SCRV1:0123456789ABCDEF:FEDCBA9876543210:C:1:1:4:5:679717:7:5:A"));
    const QList<QByteArray> fields = good.split(':');
    auto with = [&](int field, const QByteArray& value) {
        QList<QByteArray> changed = fields;
        changed[field] = value;
        return changed.join(':');
    };
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("tag alone") << QByteArray("SCRV1");
    QTest::newRow("a URL") << QByteArray("https://example.org/SCRV1");
    QTest::newRow("another format") << with(0, "SCRV2");
    QTest::newRow("field missing") << fields.mid(0, 11).join(':');
    QTest::newRow("field more") << good + ":A";
    QTest::newRow("short digest") << with(1, "0123456789ABCDE");
    QTest::newRow("lower-case digest") << with(2, "fedcba9876543210");
    QTest::newRow("digest not hex") << with(1, "0123456789ABCDEG");
    QTest::newRow("version past the count") << with(3, "E");
    QTest::newRow("version two letters") << with(3, "AB");
    QTest::newRow("version lower-case") << with(3, "c");
    QTest::newRow("page 0") << with(4, "0");
    QTest::newRow("page past the count") << with(4, "2");
    QTest::newRow("27 versions") << with(6, "27");
    QTest::newRow("flags 8") << with(7, "8");
    QTest::newRow("seed too big") << with(8, "4294967296");
    QTest::newRow("seed with sign") << with(8, "+679717");
    QTest::newRow("leading zero") << with(9, "07");
    QTest::newRow("11 digits") << with(9, "11");
    QTest::newRow("4 blank letters") << with(10, "4");
    QTest::newRow("paper X") << with(11, "X");
    QTest::newRow("blank inside") << with(8, "6797 7");
    QTest::newRow("not ASCII") << with(11, "\xc3\x84");
    QTest::newRow("huge") << good + QByteArray(100000, 'A');
}

void AnswerSheetTest::codeRefusesOtherTexts() {
    QFETCH(QByteArray, text);
    QVERIFY(!SheetCode::Decode(text));
}

void AnswerSheetTest::digestsCoverWhatTheyName() {
    const Paper base{
        Question(2, "B", "Capital of France?", {"Berlin", "Paris", "Rome", "", "", ""}),
        Question(1, "AC", "Primes", {"two", "four", "three", "nine", "", ""}),
    };
    const QString single = QStringLiteral("ABCDE");
    const QString paper = PaperDigest(base, single), texts = TextDigest(base);
    QCOMPARE(paper.size(), 16);
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{16}$")).match(texts).hasMatch());
    QCOMPARE(ModeLetters(VersionSettings{1, false, false, 0, 5}), single);
    QCOMPARE(ModeLetters(VersionSettings{}), QStringLiteral("ABCDEF"));

    struct Change {
        const char* name;
        std::function<void(Paper&)> apply;
        bool paperChanges, textsChange;
    };
    const std::vector<Change> changes{
        {"answer", [](Paper& p) { p[0].Answer = AnswerTextToMask("AC"); }, false, false},
        {"mark", [](Paper& p) { p[1].Score = 5; }, false, false},
        {"blanks at the ends", [](Paper& p) { p[0].Title += "  "; }, false, false},
        {"title", [](Paper& p) { p[0].Title = "Capital of Italy?"; }, false, true},
        {"option text", [](Paper& p) { p[0].Items[2] = "Lyon"; }, false, true},
        {"option filled", [](Paper& p) { p[0].Items[3] = "Madrid"; }, true, true},
        {"option emptied", [](Paper& p) { p[1].Items[3] = " "; }, true, true},
        {"option pinned", [](Paper& p) { p[1].Items[3] = "All of the above"; }, true, true},
        {"options name letters", [](Paper& p) { p[1].Items[3] = "Both A and C"; }, true, true},
        {"question added", [](Paper& p) { p.push_back(p[0]); }, true, true},
        {"questions swapped", [](Paper& p) { std::swap(p[0], p[1]); }, true, true},
    };
    for (const Change& change : changes) {
        Paper changed = base;
        change.apply(changed);
        QVERIFY2((PaperDigest(changed, single) != paper) == change.paperChanges, change.name);
        QVERIFY2((TextDigest(changed) != texts) == change.textsChange, change.name);
    }
    QVERIFY(PaperDigest(base, QStringLiteral("ABCDEF")) != paper);
    // Each rule of kept options gives its own digest where they differ, so a
    // sheet is matched by the rule it was printed with.
    QCOMPARE(PaperDigest(base, single, KeptOptionsRule::Phrases), paper);
    Paper vitamins = base;
    vitamins[0].Items = {"Vitamin C", "Vitamin A", "Vitamin D", "", "", ""};
    QVERIFY(PaperDigest(vitamins, single, KeptOptionsRule::Phrases) !=
            PaperDigest(vitamins, single, KeptOptionsRule::References));
    // Without option texts the sheet offers the mode's letters, and F where
    // the answer names it.
    Paper quick = base;
    quick.push_back(Question(1, "E", "", {}));
    Paper quickF = base;
    quickF.push_back(Question(1, "F", "", {}));
    QCOMPARE(PaperDigest(quick, single) == PaperDigest(quickF, single), false);
    QCOMPARE(PaperDigest(quick, QStringLiteral("ABCDEF")),
             PaperDigest(quickF, QStringLiteral("ABCDEF")));
}

void AnswerSheetTest::fullSheetFitsOnePage_data() {
    QTest::addColumn<bool>("letter");
    QTest::newRow("A4") << false;
    QTest::newRow("Letter") << true;
}

// Through the JSON that the converter writes: every bubble on the page, at
// least 4 mm across and clear of its neighbours, the markers in the corners
// outside everything else.
void AnswerSheetTest::fullSheetFitsOnePage() {
    QFETCH(bool, letter);
    const Paper paper = FullPaper();
    const VersionSettings versions{2, true, true, 11, 6};
    const auto built = BuildVersions(paper, versions);
    std::vector<std::pair<int, SheetPageLayout>> pages;
    for (int v = 0; v < 2; ++v)
        pages.emplace_back(v + 3, LayOutAnswerSheet(built[std::size_t(v)], 10, letter));
    const QJsonArray json =
        QJsonDocument::fromJson(SheetLayoutJson(pages)).object()["pages"].toArray();
    QCOMPARE(json.size(), 2);
    const double mm = 72 / 25.4;
    for (int v = 0; v < 2; ++v) {
        const QJsonObject page = json[v].toObject();
        QCOMPARE(page["page"].toInt(), v + 3);
        QCOMPARE(page["version"].toString(), VersionName(v));
        QCOMPARE(page["sheet_page"].toInt(), 1);
        const QRectF paperRect(0, 0, page["width"].toDouble(), page["height"].toDouble());
        QCOMPARE(paperRect.width(), letter ? 612.0 : 595.0);
        QCOMPARE(paperRect.height(), letter ? 792.0 : 842.0);

        const QJsonArray bubbles = page["bubbles"].toArray();
        QCOMPARE(bubbles.size(), 600 + 100);
        std::vector<QRectF> boxes;
        QRectF answers;
        QSet<QString> seen;
        for (const QJsonValue& value : bubbles) {
            const QJsonObject b = value.toObject();
            const double r = b["r"].toDouble();
            QVERIFY(2 * r >= 4 * mm - 0.01);
            const QRectF box(b["x"].toDouble() - r, b["y"].toDouble() - r, 2 * r, 2 * r);
            QVERIFY(paperRect.adjusted(8 * mm, 8 * mm, -8 * mm, -8 * mm).contains(box));
            boxes.push_back(box);
            answers |= box;
            const QString kind = b["kind"].toString();
            const QString key =
                kind == "answer"
                    ? QStringLiteral("%1%2").arg(b["question"].toInt()).arg(b["option"].toString())
                    : QStringLiteral("s%1:%2").arg(b["position"].toInt()).arg(b["digit"].toInt());
            QVERIFY2(!seen.contains(key), qPrintable(key));
            seen.insert(key);
            if (kind == "answer") {
                const int question = b["question"].toInt();
                QCOMPARE(b["source"].toInt(),
                         built[std::size_t(v)].questions[std::size_t(question - 1)].source);
            }
        }
        // At least 1.5 mm of paper between any two bubbles.
        for (std::size_t i = 0; i < boxes.size(); ++i)
            for (std::size_t j = i + 1; j < boxes.size(); ++j) {
                const QPointF d = boxes[i].center() - boxes[j].center();
                QVERIFY(std::hypot(d.x(), d.y()) >=
                        (boxes[i].width() + boxes[j].width()) / 2 + 1.5 * mm);
            }

        const QJsonArray markers = page["markers"].toArray();
        QCOMPARE(markers.size(), 4);
        int hollow = 0;
        for (const QJsonValue& value : markers) {
            const QJsonObject marker = value.toObject();
            const QRectF square = Square(marker);
            QVERIFY(std::abs(square.width() - 7 * mm) < 1);
            QVERIFY(paperRect.contains(square));
            QVERIFY(!square.intersects(answers));
            QVERIFY(!square.intersects(pages[std::size_t(v)].second.code));
            hollow += marker["kind"].toString() == "hollow";
        }
        QCOMPARE(hollow, 1);
        QCOMPARE(markers[3].toObject()["kind"].toString(), QStringLiteral("hollow"));
        // The code with its quiet zone and the version squares stand apart from every bubble.
        const SheetPageLayout& layout = pages[std::size_t(v)].second;
        for (const QRectF& box : boxes) {
            QVERIFY(!box.intersects(layout.code.adjusted(-4 * mm, -4 * mm, 4 * mm, 4 * mm)));
            QVERIFY(!box.intersects(layout.versionSquares));
        }
    }
}

void AnswerSheetTest::blankRenderShowsMarkersAndCode() {
    const Paper paper = FullPaper();
    const auto versions = BuildVersions(paper, {2, false, false, 0, 6});
    const SheetPageLayout layout = LayOutAnswerSheet(versions[1], 8, false);
    SheetCode code = SampleCode();
    code.version = QStringLiteral("B");
    const QImage blank = RenderBlankSheet(layout, versions[1], code, 150);
    QCOMPARE(blank.format(), QImage::Format_Grayscale8);
    QCOMPARE(blank.size(), QSize(1240, 1755));  // 595 x 842 points
    const auto pixel = [&](QPointF points) {
        return qGray(blank.pixel((points * 150 / 72).toPoint()));
    };
    for (const SheetMarker& marker : layout.markers)
        QCOMPARE(pixel(marker.centre) > 128, marker.hollow);
    // The squares: black, 00001 for B, black.
    const QRectF squares = layout.versionSquares;
    const double side = squares.width() / kVersionSquares;
    QString bits;
    for (int k = 0; k < kVersionSquares; ++k)
        bits += pixel({squares.left() + (k + 0.5) * side, squares.center().y()}) < 128 ? '1' : '0';
    QCOMPARE(bits, QStringLiteral("1000011"));
    QCOMPARE(ReadQr(blank), code.Encode());
}

void AnswerSheetTest::printedCodeReadsFromAJpegScan() {
    QTemporaryDir dir;
    const Paper paper = FullPaper();
    const VersionSettings versions{2, true, true, 987654321, 6};
    PrintSettings settings = SheetSettings(paper, versions, 10);
    settings.key = true;
    PrintLayout layout(BuildVersions(paper, versions), settings);
    const QString pdf = RenderPdf(dir, layout);
    QVERIFY(!pdf.isEmpty());
    QCOMPARE(layout.SheetPages().size(), std::size_t(2));
    const auto& [pageNumber, sheet] = layout.SheetPages()[1];
    QCOMPARE(sheet.version, QStringLiteral("B"));
    const QImage scan = ScanPdfPage(pdf, pageNumber, 150, 75);
    QVERIFY(!scan.isNull());

    const auto code = SheetCode::Decode(ReadQr(scan));
    QVERIFY(code);
    SheetCode expected;
    expected.paperDigest = settings.paperDigest;
    expected.textDigest = settings.textDigest;
    expected.version = QStringLiteral("B");
    expected.versions = versions;
    expected.idDigits = 10;
    QVERIFY(SameCode(*code, expected));
    // The sheet's text is there for a teacher, the footer is not.
    const QString text = PdfText(pdf).section(u'\f', pageNumber - 1, pageNumber - 1);
    QVERIFY(text.contains(QStringLiteral("Version B")));
    QVERIFY(text.contains(QStringLiteral("Student number")));
    QVERIFY(text.contains(QStringLiteral(u"\u2731 mark all that apply")));
    QVERIFY(!text.contains(QStringLiteral("Page 1 of")));
}

void AnswerSheetTest::identityMakesTheSecondFormat_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    SheetCode code = SampleCode();
    code.paperId = QStringLiteral("00C0FFEE00C0FFEE");
    const QByteArray good = code.Encode();
    QCOMPARE(good, QByteArray("SCRV2:0123456789ABCDEF:FEDCBA9876543210:C:1:1:4:5:679717:7:5:A:"
                              "00C0FFEE00C0FFEE"));
    const QByteArray first = SampleCode().Encode();
    QTest::newRow("the identity") << good << true;
    QTest::newRow("without it") << good.left(good.lastIndexOf(':')) << false;
    QTest::newRow("SCRV1 with one") << first + ":00C0FFEE00C0FFEE" << false;
    QTest::newRow("lower-case identity")
        << QByteArray(first).replace("SCRV1", "SCRV2") + ":00c0ffee00c0ffee" << false;
    QTest::newRow("15 digits") << good.chopped(1) << false;
    QTest::newRow("all zeros") << good.left(good.lastIndexOf(':') + 1) + QByteArray(16, '0')
                               << false;
}

// A sheet printed with the paper's identity carries it as a thirteenth field
// of a new format; the format printed before stays as it was.
void AnswerSheetTest::identityMakesTheSecondFormat() {
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    const auto code = SheetCode::Decode(text);
    QCOMPARE(bool(code), valid);
    if (!valid) return;
    QCOMPARE(code->paperId, QStringLiteral("00C0FFEE00C0FFEE"));
    QCOMPARE(code->Format(), 2);
    QVERIFY(SameCode(*code, SampleCode()));
    QCOMPARE(code->Encode(), text);
    QCOMPARE(SampleCode().Format(), 1);
}

void AnswerSheetTest::starStandsClearOfBubbleA_data() {
    QTest::addColumn<QString>("paperId");
    QTest::addColumn<bool>("clear");
    QTest::newRow("printed with an identity") << QStringLiteral("00C0FFEE00C0FFEE") << true;
    // Sheets printed before are painted as they were printed.
    QTest::newRow("printed before") << QString() << false;
}

// Between the star of a question with several answers and its bubble A at
// least a millimetre of paper stays white, as the PDF prints it: closer, a
// printer's spread ink joins them.
void AnswerSheetTest::starStandsClearOfBubbleA() {
    QFETCH(QString, paperId);
    QFETCH(bool, clear);
    QTemporaryDir dir;
    const Paper paper = FullPaper();
    PrintSettings settings = SheetSettings(paper, {1, false, false, 0, 6}, 8);
    settings.paperId = paperId;
    PrintLayout layout(BuildVersions(paper, settings.versions), settings);
    const QString pdf = RenderPdf(dir, layout);
    QVERIFY(!pdf.isEmpty());
    const auto& [pageNumber, sheet] = layout.SheetPages().front();
    const int dpi = 400;
    const double scale = dpi / 72.0, mm = 72 / 25.4;
    const QImage page = ScanPdfPage(pdf, pageNumber, dpi);
    QVERIFY(!page.isNull());
    // The narrowest white gap, row by row over the star's height, between
    // the ring's line and what stands left of it: none where they touch.
    int starred = 0;
    double narrowest = 1e9;
    for (const SheetBubble& bubble : sheet.bubbles) {
        if (bubble.kind != SheetBubble::Kind::Answer || bubble.option != u'A' ||
            bubble.question % 4 != 1)
            continue;
        ++starred;
        const auto dark = [&](int x, int y) { return qGray(page.pixel(x, y)) < 128; };
        for (int y = int((bubble.centre.y() - mm) * scale);
             y <= int((bubble.centre.y() + mm) * scale); ++y) {
            // Just outside the ring's line, 0.28 mm wide, with a pixel to spare.
            const int x = int(std::lround((bubble.centre.x() - bubble.r - 0.25 * mm) * scale));
            int gap = 0;
            while (gap < int(2 * mm * scale) && !dark(x - gap, y)) ++gap;
            narrowest = std::min(narrowest, gap / scale / mm);
        }
    }
    QCOMPARE(starred, 25);
    if (clear)
        QVERIFY2(narrowest >= 1, qPrintable(QString::number(narrowest)));
    else
        QVERIFY2(narrowest < 1, qPrintable(QString::number(narrowest)));
}

void AnswerSheetTest::longHeadingIsPrintedWhole() {
    QTemporaryDir dir;
    const Paper paper = FullPaper();
    PrintSettings settings = SheetSettings(paper, {1, false, false, 0, 6}, 8);
    settings.heading = QStringLiteral(
        "Year 11 Physics, end of term examination: forces, energy and waves. Mark your answers "
        "in pencil and write your student number in the boxes");
    settings.paperId = QStringLiteral("00C0FFEE00C0FFEE");
    PrintLayout layout(BuildVersions(paper, settings.versions), settings);
    const QString pdf = RenderPdf(dir, layout);
    QVERIFY(!pdf.isEmpty());
    const QString text = Squeezed(PdfText(pdf, false));
    QVERIFY2(text.contains(Squeezed(settings.heading)), qPrintable(text.left(400)));
    QVERIFY(!text.contains(QStringLiteral(u"…")));
    // It stays above the name line and clear of the code's quiet zone.
    const auto sheets = layout.SheetPages();
    QCOMPARE(sheets.size(), std::size_t(1));
    const QImage page = ScanPdfPage(pdf, sheets[0].first, 150);
    const double scale = 150.0 / 72, mm = 72 / 25.4;
    for (int y = int(15 * mm * scale); y < int(17 * mm * scale); ++y)
        for (int x = int(30 * mm * scale); x < page.width() - int(30 * mm * scale); ++x)
            QVERIFY2(qGray(page.pixel(x, y)) > 128,
                     qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
}

QTEST_MAIN(AnswerSheetTest)
#include "test_answersheet.moc"
