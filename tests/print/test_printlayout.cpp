// The printed pages read back through pdftotext: every question and option in
// each version's order, keys that name the paper's correct texts, whole
// questions on a page, every script and long texts without loss.
#include <QLocale>
#include <QProcess>
#include <QTest>

#include "printtestsupport.h"

using namespace scrivane;
using namespace scrivane::test;

namespace {

using Paper = std::vector<QuestionRecord>;

Paper SmallPaper() {
    return {
        Question(5, "B", "Capital of France?", {"Berlin", "Paris", "Rome", "Madrid", "", ""}),
        Question(2.5f, "AC", "Prime numbers\nchoose two", {"two", "four", "three", "nine", "", ""}),
        Question(1, "D", "Fruit?", {"Apple", "Banana", "Cherry", "All of the above", "", ""}),
        Question(3, "E", "Gaps",
                 {"first option, long enough that two of them do not fit beside each other", "",
                  "third", "fourth", "None of the above", ""}),
        Question(4, "BD", "Six of them", {"u1", "u2", "u3", "u4", "u5", "u6"}),
    };
}

PrintSettings Only(bool paper, bool key, bool sheet, VersionSettings versions) {
    PrintSettings settings;
    settings.heading = QStringLiteral("Physics test");
    settings.paper = paper;
    settings.key = key;
    settings.answerSheet = sheet;
    settings.versions = versions;
    return settings;
}

// The text of the pages that the page map gives to each version's part.
QStringList TextByVersion(const QStringList& pages, const PrintLayout& layout, PrintPart part,
                          int versions) {
    QStringList texts(versions);
    std::vector<bool> taken(std::size_t(pages.size()), false);
    for (const PlacedBlock& block : layout.PageMap()) {
        if (block.part != part) continue;
        for (int p = block.firstPage; p <= block.lastPage; ++p) {
            if (taken[std::size_t(p)]) continue;
            taken[std::size_t(p)] = true;
            texts[block.version] += pages[p];
        }
    }
    return texts;
}

}  // namespace

class PrintLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void papersInEachVersionsOrder();
    void keysNameTheCorrectTexts();
    void fixedSeedGivesTheSamePages();
    void questionsStayWhole();
    void scriptsAndLongTexts();
    void marksAndHeadings();
    void pagesByPartWithCopies();
    void seedLineOnEveryKeyPage_data();
    void seedLineOnEveryKeyPage();
    void severalAnswersAndBlankOptions();
};

void PrintLayoutTest::papersInEachVersionsOrder() {
    QTemporaryDir dir;
    const Paper paper = SmallPaper();
    for (const VersionSettings& versions :
         {VersionSettings{1, false, false, 0}, VersionSettings{3, true, true, 77}}) {
        const auto built = BuildVersions(paper, versions);
        PrintLayout layout(built, Only(true, false, false, versions));
        const QString pdf = RenderPdf(dir, layout);
        QVERIFY(!pdf.isEmpty());
        const QStringList pages = PdfPages(pdf);
        QCOMPARE(pages.size(), layout.PageCount());
        const QStringList texts = TextByVersion(pages, layout, PrintPart::Paper, versions.count);
        for (int v = 0; v < versions.count; ++v) {
            const QString text = Squeezed(texts[v]);
            if (versions.count > 1)
                QVERIFY(text.contains(QStringLiteral("Version") + built[v].name));
            QVERIFY(text.contains(QStringLiteral("Questions:5Totalmarks:15.5")));
            qsizetype at = 0;
            for (std::size_t i = 0; i < built[v].questions.size(); ++i) {
                const PrintedQuestion& q = built[v].questions[i];
                at = text.indexOf(Squeezed(QStringLiteral("%1.%2").arg(i + 1).arg(q.title)), at);
                QVERIFY2(at >= 0, qPrintable(q.title));
                for (const PrintedOption& option : q.options) {
                    at = text.indexOf(Squeezed(QString(option.letter) + u'.' + option.text), at);
                    QVERIFY2(at >= 0, qPrintable(option.text));
                }
            }
        }
        // Without option shuffling the stored letters stay, gaps and all;
        // short options stand in two columns, long ones one below the other.
        if (!versions.shuffleOptions) {
            QVERIFY(Squeezed(texts[0]).contains(QStringLiteral("C.third")));
            QVERIFY(!Squeezed(texts[0]).contains(QStringLiteral("B.third")));
            static const QRegularExpression twoColumns(QStringLiteral("A\\. Berlin +B\\. Paris"));
            static const QRegularExpression oneColumn(QStringLiteral("C\\. third *\\n"));
            QVERIFY(texts[0].contains(twoColumns));
            QVERIFY(texts[0].contains(oneColumn));
        }
    }
}

void PrintLayoutTest::keysNameTheCorrectTexts() {
    QTemporaryDir dir;
    const Paper paper = SmallPaper();
    const VersionSettings versions{4, true, true, 123456};
    const auto built = BuildVersions(paper, versions);
    PrintLayout layout(built, Only(false, true, false, versions));
    const QStringList texts =
        TextByVersion(PdfPages(RenderPdf(dir, layout)), layout, PrintPart::Key, versions.count);
    // No., Answer, Mark and the number in the paper; blocks of rows may stand
    // side by side.
    static const QRegularExpression row(QStringLiteral("(\\d+) +([A-F]+|\\?) +([\\d.]+) +(\\d+)"));
    for (int v = 0; v < versions.count; ++v) {
        QVERIFY(Squeezed(texts[v]).contains(QStringLiteral("Answerkey")));
        QVERIFY(Squeezed(texts[v]).contains(QStringLiteral("Total15.5")));
        int rows = 0;
        for (auto it = row.globalMatch(texts[v]); it.hasNext(); ++rows) {
            const auto match = it.next();
            const PrintedQuestion& q =
                built[v].questions[std::size_t(match.captured(1).toInt() - 1)];
            QCOMPARE(match.captured(4).toInt(), q.source);
            const QuestionRecord& record = paper[std::size_t(q.source - 1)];
            QStringList printed, stored;
            for (const QChar letter : match.captured(2))
                for (const PrintedOption& option : q.options)
                    if (option.letter == letter) printed << option.text;
            for (int i = 0; i < 6; ++i)
                if (record.Answer & (1u << i)) stored << record.Items[std::size_t(i)];
            printed.sort();
            stored.sort();
            QCOMPARE(printed, stored);
        }
        QCOMPARE(rows, int(paper.size()));
    }
}

void PrintLayoutTest::fixedSeedGivesTheSamePages() {
    QTemporaryDir dir;
    const VersionSettings versions{2, true, true, 31337};
    QString texts[3];
    for (int i = 0; i < 3; ++i) {
        VersionSettings these = versions;
        if (i == 2) these.seed = 31338;
        PrintLayout layout(BuildVersions(SmallPaper(), these), Only(true, true, true, these));
        texts[i] = PdfText(RenderPdf(dir, layout, QStringLiteral("run%1.pdf").arg(i)));
    }
    QVERIFY(!texts[0].isEmpty());
    QCOMPARE(texts[1], texts[0]);
    QVERIFY(texts[2] != texts[0]);
}

void PrintLayoutTest::questionsStayWhole() {
    QTemporaryDir dir;
    Paper paper;
    for (int i = 0; i < 100; ++i) {
        const QString title =
            QStringLiteral("Question %1 ").arg(i) +
            QStringLiteral("with a title that runs on. ").repeated(1 + (i * 7) % 23);
        paper.push_back(
            Question(1, "A", title,
                     {QStringLiteral("alpha %1").arg(i), QStringLiteral("beta"),
                      QStringLiteral("gamma ").repeated(i % 3 ? 1 : 30), "delta", "", ""}));
    }
    // One question taller than a page runs on over the next.
    paper[50].Title = QStringLiteral("Tall %1. ").repeated(900).arg(50);
    const VersionSettings versions{2, true, false, 5};
    PrintLayout layout(BuildVersions(paper, versions), Only(true, true, true, versions));
    const QString pdf = RenderPdf(dir, layout);
    QVERIFY(!pdf.isEmpty());
    int questions = 0, tall = 0;
    for (const PlacedBlock& block : layout.PageMap()) {
        if (block.part == PrintPart::AnswerSheet) QCOMPARE(block.lastPage, block.firstPage);
        if (block.part != PrintPart::Paper || block.question < 0) continue;
        ++questions;
        if (block.lastPage != block.firstPage) ++tall;
    }
    QCOMPARE(questions, 200);
    QCOMPARE(tall, 2);  // the tall question in each version, and no other
    const QStringList pages = PdfPages(pdf);
    QCOMPARE(pages.size(), layout.PageCount());
    QVERIFY(Squeezed(pages.join(QString())).contains(Squeezed(paper[50].Title)));
    // Every page's footer counts the pages of its own part.
    const QString firstPage = PdfText(pdf).section(u'\f', 0, 0);
    QVERIFY(firstPage.contains(QStringLiteral("Page 1 of ")));
    QVERIFY(firstPage.contains(QStringLiteral("Physics test")));
}

void PrintLayoutTest::scriptsAndLongTexts() {
    QTemporaryDir dir;
    const QString longOption = QStringLiteral("Long%1 ").repeated(600).arg(7).left(3000);
    const Paper paper{
        Question(2, "A", QStringLiteral(u"下列哪个城市是中国的首都？"),
                 {QStringLiteral(u"北京"), QStringLiteral(u"上海"), QStringLiteral(u"東京"), "", "",
                  ""}),
        Question(2, "B", QStringLiteral(u"ما هي عاصمة مصر؟"),
                 {QStringLiteral(u"الإسكندرية"), QStringLiteral(u"القاهرة"), "", "", "", ""}),
        Question(2, "C", QStringLiteral(u"Ποια είναι η πρωτεύουσα; Какая столица?"),
                 {QStringLiteral(u"Αθήνα"), QStringLiteral(u"Москва"), QStringLiteral(u"Ελσίνκι"),
                  "", "", ""}),
        Question(2, "A", QStringLiteral("A long option"), {longOption, "short", "", "", "", ""}),
    };
    PrintLayout layout(BuildVersions(paper, {}), Only(true, false, false, {}));
    const QString pdf = RenderPdf(dir, layout);
    // Poppler may give Arabic letters in their presentation forms.
    const auto plain = [](const QString& text) {
        return Squeezed(text).normalized(QString::NormalizationForm_KC);
    };
    const QString text = plain(PdfText(pdf, false));
    for (const QuestionRecord& record : paper) {
        QVERIFY2(text.contains(plain(record.Title)), qPrintable(record.Title));
        for (const QString& item : record.Items)
            QVERIFY2(text.contains(plain(item)), qPrintable(item.left(40)));
    }
    // The fonts travel inside the PDF.
    QProcess fonts;
    fonts.start(QStringLiteral("pdffonts"), {pdf});
    QVERIFY(fonts.waitForFinished(60000));
    const QStringList lines = QString::fromUtf8(fonts.readAllStandardOutput()).split(u'\n');
    int listed = 0;
    for (const QString& line : lines.mid(2)) {
        if (line.trimmed().isEmpty()) continue;
        ++listed;
        QVERIFY2(line.contains(QStringLiteral(" yes ")), qPrintable(line));
    }
    QVERIFY(listed >= 2);
}

void PrintLayoutTest::marksAndHeadings() {
    QTemporaryDir dir;
    const Paper paper{Question(1, "A", "One", {"a", "b", "", "", "", ""}),
                      Question(2.5f, "B", "Two", {"a", "b", "", "", "", ""})};
    PrintSettings settings = Only(true, true, false, {});
    settings.subheading = QStringLiteral("Second line");
    PrintLayout layout(BuildVersions(paper, {}), settings, QLocale(QLocale::German));
    const QString text = PdfText(RenderPdf(dir, layout));
    QVERIFY(text.contains(QStringLiteral("(1 point)")));
    QVERIFY(text.contains(QStringLiteral("(2,5 points)")));
    QVERIFY(text.contains(QStringLiteral("Second line")));
    QVERIFY(text.contains(QStringLiteral("Name: ___")));
    QVERIFY(!text.contains(QStringLiteral("Version A")));  // one version is not named
    QVERIFY(!text.contains(QStringLiteral("Paper No.")));  // nor its order

    settings.marks = settings.nameLines = false;
    PrintLayout plain(BuildVersions(paper, {}), settings);
    const QString bare = PdfText(RenderPdf(dir, plain, QStringLiteral("bare.pdf")));
    QVERIFY(!bare.contains(QStringLiteral("point")));
    QVERIFY(!bare.contains(QStringLiteral("Name:")));
}

// Every version's papers, then the sheets, then the keys; copies repeat each
// version's paper and sheet together, and never a key.
void PrintLayoutTest::pagesByPartWithCopies() {
    QTemporaryDir dir;
    Paper paper = SmallPaper();
    paper[0].Title = QStringLiteral("Long. ").repeated(700);  // a paper of several pages
    const VersionSettings versions{2, true, true, 5};
    PrintLayout layout(BuildVersions(paper, versions), Only(true, true, true, versions));
    const auto labels = [&](int copies) {
        const QString path = dir.filePath(QStringLiteral("copies%1.pdf").arg(copies));
        {
            QPdfWriter writer(path);
            writer.setPageSize(QPageSize(QPageSize::A4));
            writer.setResolution(600);
            if (!layout.Render(writer, copies)) return QStringList();
        }
        QStringList pages = PdfText(path).split(u'\f');
        pages.removeLast();
        QStringList found;
        for (const QString& page : pages) {
            const QString part = page.contains(QStringLiteral("Seed "))          ? "K"
                                 : page.contains(QStringLiteral("Answer sheet")) ? "S"
                                                                                 : "P";
            found << part + (page.contains(QStringLiteral("Version B")) ? "B" : "A");
        }
        return found;
    };
    // The same parts, each version's pages together, in this order.
    const QStringList once = labels(1);
    QStringList parts = once;
    parts.removeDuplicates();
    QCOMPARE(parts, (QStringList{"PA", "PB", "SA", "SB", "KA", "KB"}));
    QCOMPARE(once.count(QStringLiteral("PA")), 3);
    QCOMPARE(layout.PageCount(), once.size());
    QStringList copies;
    for (const QString& part : parts)
        for (int c = 0; c < (part.startsWith(u'K') ? 1 : 3); ++c)
            for (int n = 0; n < once.count(part); ++n) copies << part;
    QCOMPARE(labels(3), copies);
    QCOMPARE(layout.PageCount(), copies.size());
    // The page map names the pages of the first copy.
    for (const PlacedBlock& block : layout.PageMap())
        if (block.part == PrintPart::Key)
            QCOMPARE(block.firstPage, copies.size() - 2 + block.version);
}

void PrintLayoutTest::seedLineOnEveryKeyPage_data() {
    QTest::addColumn<bool>("questions");
    QTest::addColumn<bool>("options");
    QTest::addColumn<QString>("line");
    QTest::newRow("both") << true << true
                          << QStringLiteral("Seed 679717 \u00B7 questions and options shuffled");
    QTest::newRow("questions") << true << false
                               << QStringLiteral("Seed 679717 \u00B7 questions shuffled");
    QTest::newRow("options") << false << true
                             << QStringLiteral("Seed 679717 \u00B7 options shuffled");
    QTest::newRow("neither") << false << false << QStringLiteral("Seed 679717 \u00B7 not shuffled");
}

void PrintLayoutTest::seedLineOnEveryKeyPage() {
    QFETCH(bool, questions);
    QFETCH(bool, options);
    QFETCH(QString, line);
    QTemporaryDir dir;
    Paper paper;
    for (int i = 0; i < 100; ++i)
        paper.push_back(Question(1, "A", QStringLiteral("Q%1").arg(i), {"a", "b", "", "", "", ""}));
    const VersionSettings versions{2, questions, options, 679717};
    PrintLayout layout(BuildVersions(paper, versions), Only(true, true, false, versions));
    QStringList pages = PdfText(RenderPdf(dir, layout)).split(u'\f');
    pages.removeLast();
    int keyPages = 0;
    for (const PlacedBlock& block : layout.PageMap()) {
        for (int p = block.firstPage; p <= block.lastPage; ++p) {
            const bool key = block.part == PrintPart::Key;
            QVERIFY2(pages[p].contains(line) == key, qPrintable(pages[p].left(200)));
            keyPages += key;
        }
    }
    QVERIFY(keyPages >= 4);  // two pages of a hundred rows for each version
}

// "(choose all that apply)" follows a title whose answer has several
// letters; a question without option texts prints the mode's letters and
// its key its answer.
void PrintLayoutTest::severalAnswersAndBlankOptions() {
    QTemporaryDir dir;
    const Paper paper{Question(1, "AC", "Primes", {"two", "four", "three", "", "", ""}),
                      Question(1, "B", "One answer", {"x", "y", "", "", "", ""}),
                      Question(1, "D", "", {"", "", "", "", "", ""}),
                      Question(1, "CE", "Written on the board", {"", "", "", "", "", ""})};
    VersionSettings versions{1, false, true, 9};
    versions.blankOptionLetters = BlankOptionLetters(0);
    PrintLayout layout(BuildVersions(paper, versions), Only(true, true, false, versions));
    const QString text = PdfText(RenderPdf(dir, layout));
    QVERIFY(text.contains(
        QRegularExpression(QStringLiteral("1\\. +Primes \\(choose all that apply\\)"))));
    QVERIFY(!text.contains(QStringLiteral("One answer (choose")));
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("3\\. +A B C D E +\\(1 point\\)"))));
    QVERIFY(text.contains(
        QRegularExpression(QStringLiteral("4\\. +Written on the board \\(choose all that apply\\) "
                                          "+\\(1 point\\)\\s+A ?B ?C ?D ?E\\n"))));
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("\\b3 +D +1\\b"))));
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("\\b4 +CE +1\\b"))));
}

QTEST_MAIN(PrintLayoutTest)
#include "test_printlayout.moc"
