// The batch on pages of its own making (in order, bounded, a bad page and a
// bad file going on, cancelling), and a read page turned into the paper's
// questions and letters through a shuffled version.
#include <QTest>
#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "grading/batch/batch.h"
#include "grading/batch/batchrunner.h"
#include "grading/batch/sheettranslator.h"

using namespace scrivane;

namespace {

struct Counters {
    std::atomic<int> alive{0}, most{0}, reads{0};
};

class FakeSource : public PageSource {
public:
    explicit FakeSource(Counters& counters) : counters_(counters) {}
    int PageCount(const QString& file, QString* error) override {
        if (file == "damaged.pdf") {
            *error = QStringLiteral("the PDF is damaged");
            return 0;
        }
        return file == "long.pdf" ? 20 : 3;
    }
    PageRead Read(const QString& file, int page,
                  const std::optional<SheetCode>& printedWith) override {
        ++counters_.reads;
        if (file.startsWith("print")) return Printed(file, page, printedWith);
        // Pages finish out of order.
        std::this_thread::sleep_for(std::chrono::milliseconds((page * 7) % 5));
        if (file == "bad.png" && page == 2) throw std::runtime_error("boom");
        const int alive = ++counters_.alive;
        for (int most = counters_.most;
             alive > most && !counters_.most.compare_exchange_weak(most, alive);) {
        }
        PageRead read;
        read.status = PageRead::Status::Read;
        read.reasons << QStringLiteral("%1 %2").arg(file).arg(page);
        return read;
    }

private:
    // print.pdf: page 1's code is damaged, pages 2 and 3 printed with seed 7;
    // print-mixed.pdf: page 3 printed with seed 8 instead.
    static PageRead Printed(const QString& file, int page,
                            const std::optional<SheetCode>& printedWith) {
        PageRead read;
        if (page == 1 && !printedWith) {
            read.codeMissing = true;
            read.reasons << QStringLiteral("no code");
            return read;
        }
        read.status = PageRead::Status::Read;
        SheetCode code;
        code.paperDigest = QStringLiteral("0123456789ABCDEF");
        code.textDigest = code.paperDigest;
        code.version = QStringLiteral("A");
        code.versions.seed = page == 3 && file == "print-mixed.pdf" ? 8 : 7;
        read.code = page == 1 ? printedWith : code;
        read.reasons << QStringLiteral("seed %1").arg(read.code->versions.seed);
        return read;
    }

    Counters& counters_;
};

}  // namespace

class BatchTest : public QObject {
    Q_OBJECT
private slots:
    void handsOnEveryPageInOrder();
    void keepsFewPagesInMemory();
    void cancels();
    void runsInTheBackground();
    void pageToSheetThroughShuffledVersion();
    void aDamagedCodeWaitsForTheOthers();
    void skipsThePagesReadBefore();
    void closingNeverWaitsOnABlockedRead();
};

// A pile cut off before: only its other pages are read, each told with
// its file's page count.
void BatchTest::skipsThePagesReadBefore() {
    Counters counters;
    GradingBatch batch([&] { return std::make_unique<FakeSource>(counters); }, 2);
    batch.SkipPages([](const QString& file, int page) { return file == "a.pdf" && page != 2; });
    QStringList seen;
    QVERIFY(batch.Run({"a.pdf", "b.pdf", "damaged.pdf"}, [&](BatchPage& page) {
        seen << QStringLiteral("%1/%2 of %3").arg(page.file).arg(page.page).arg(page.filePages);
    }));
    QCOMPARE(seen, (QStringList{"a.pdf/2 of 3", "b.pdf/1 of 3", "b.pdf/2 of 3", "b.pdf/3 of 3",
                                "damaged.pdf/1 of 0"}));
}

namespace {

// A read that does not return until let go: a network folder that hangs.
struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    std::atomic<bool> entered{false}, ended{false};
};

class BlockedSource : public PageSource {
public:
    explicit BlockedSource(std::shared_ptr<Gate> gate) : gate_(std::move(gate)) {}
    ~BlockedSource() override { gate_->ended = true; }
    int PageCount(const QString&, QString*) override {
        gate_->entered = true;
        std::unique_lock lock(gate_->mutex);
        gate_->opened.wait(lock, [this] { return gate_->open; });
        return 1;
    }
    PageRead Read(const QString&, int, const std::optional<SheetCode>&) override { return {}; }

private:
    std::shared_ptr<Gate> gate_;
};

}  // namespace

void BatchTest::closingNeverWaitsOnABlockedRead() {
    const auto gate = std::make_shared<Gate>();
    bool handedOn = false;
    {
        BatchRunner runner([gate] { return std::make_unique<BlockedSource>(gate); }, 2);
        connect(&runner, &BatchRunner::PageRead, this, [&] { handedOn = true; });
        runner.Start({"fifo.png"});
        QTRY_VERIFY(gate->entered.load());
        runner.Cancel();
    }  // the window closes: its runner goes while the read still hangs
    QVERIFY(!gate->ended);
    {
        const std::lock_guard lock(gate->mutex);
        gate->open = true;
    }
    gate->opened.notify_all();
    // The thread let go ends on its own, and hands nothing on to the runner gone.
    QTRY_VERIFY(gate->ended.load());
    QTest::qWait(100);
    QVERIFY(!handedOn);
}

// Whatever order the pages are read in, a sheet whose code is damaged is read
// with the print settings of the others when they agree, and only then.
void BatchTest::aDamagedCodeWaitsForTheOthers() {
    for (const QString& file : {QStringLiteral("print.pdf"), QStringLiteral("print-mixed.pdf")}) {
        Counters counters;
        GradingBatch batch([&] { return std::make_unique<FakeSource>(counters); }, 2);
        QStringList seen;
        batch.Run({file}, [&](BatchPage& page) {
            seen << QStringLiteral("%1: %2").arg(page.index).arg(page.read.reasons.join(u';'));
        });
        if (file == "print.pdf")
            QCOMPARE(seen, (QStringList{"1: seed 7", "2: seed 7", "0: seed 7"}));
        else
            QCOMPARE(seen, (QStringList{"1: seed 7", "2: seed 8", "0: no code"}));
    }
}

void BatchTest::handsOnEveryPageInOrder() {
    Counters counters;
    GradingBatch batch([&] { return std::make_unique<FakeSource>(counters); }, 2);
    QStringList seen;
    const bool finished = batch.Run({"a.pdf", "damaged.pdf", "bad.png"}, [&](BatchPage& page) {
        QCOMPARE(page.index, int(seen.size()));
        QCOMPARE(page.total, 7);
        if (page.read.status == PageRead::Status::Read) --counters.alive;
        seen << QStringLiteral("%1/%2: %3")
                    .arg(page.file)
                    .arg(page.page)
                    .arg(page.read.reasons.join(u';'));
    });
    QVERIFY(finished);
    QCOMPARE(seen,
             (QStringList{"a.pdf/1: a.pdf 1", "a.pdf/2: a.pdf 2", "a.pdf/3: a.pdf 3",
                          "damaged.pdf/1: the PDF is damaged", "bad.png/1: bad.png 1",
                          "bad.png/2: the page could not be read: boom", "bad.png/3: bad.png 3"}));
}

void BatchTest::keepsFewPagesInMemory() {
    Counters counters;
    GradingBatch batch([&] { return std::make_unique<FakeSource>(counters); }, 2);
    int pages = 0;
    batch.Run({"long.pdf"}, [&](BatchPage&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));  // a slow consumer
        --counters.alive;
        ++pages;
    });
    QCOMPARE(pages, 20);
    // Two threads read at most four pages ahead of the one being handed on.
    QVERIFY2(counters.most <= 5, qPrintable(QString::number(counters.most)));
}

void BatchTest::cancels() {
    Counters counters;
    GradingBatch batch([&] { return std::make_unique<FakeSource>(counters); }, 2);
    int pages = 0;
    const bool finished = batch.Run({"long.pdf"}, [&](BatchPage&) {
        if (++pages == 2) batch.Cancel();
    });
    QVERIFY(!finished);
    QCOMPARE(pages, 2);
    QVERIFY(counters.reads < 20);
}

void BatchTest::runsInTheBackground() {
    Counters counters;
    BatchRunner runner([&] { return std::make_unique<FakeSource>(counters); }, 2);
    QStringList seen;
    std::optional<bool> completed;
    connect(&runner, &BatchRunner::PageRead, this, [&](const BatchPage& page) {
        QCOMPARE(QThread::currentThread(), thread());  // delivered to the receiver's thread
        seen << QStringLiteral("%1/%2").arg(page.file).arg(page.page);
    });
    connect(&runner, &BatchRunner::Finished, this, [&](bool done) { completed = done; });
    runner.Start({"a.pdf", "damaged.pdf"});
    QTRY_VERIFY(completed.has_value());
    QVERIFY(*completed);
    QCOMPARE(seen, (QStringList{"a.pdf/1", "a.pdf/2", "a.pdf/3", "damaged.pdf/1"}));
}

void BatchTest::pageToSheetThroughShuffledVersion() {
    std::vector<QuestionRecord> paper(3);
    paper[0].Answer = AnswerTextToMask("B");
    paper[0].Items = {"one", "two", "three", "four", "", ""};
    paper[1].Answer = AnswerTextToMask("AC");
    paper[1].Items = {"red", "green", "blue", "", "", ""};
    paper[2].Answer = AnswerTextToMask("E");  // no option texts: letters as printed

    SheetCode code;
    code.version = "B";
    code.versions.count = 2;
    code.versions.seed = 11;
    code.versions.shuffleQuestions = true;
    code.versions.shuffleOptions = true;
    code.idDigits = 2;
    const PaperVersion version = BuildVersions(paper, code.versions)[1];
    bool moved = false;
    for (const PrintedQuestion& q : version.questions)
        for (const PrintedOption& option : q.options)
            moved = moved || option.letter != option.sourceLetter;
    QVERIFY(moved);  // else the letters would map back by chance

    // The student marks the right answers, as the sheet prints them.
    PageRead read;
    read.status = PageRead::Status::Read;
    read.code = code;
    read.version = "B";
    read.reasons << QStringLiteral("the paper's texts changed since printing");
    for (std::size_t q = 0; q < version.questions.size(); ++q) {
        const PrintedQuestion& printed = version.questions[q];
        QString letters;
        for (const PrintedOption& option : printed.options) letters += option.letter;
        if (letters.isEmpty()) letters = "ABCDE";
        for (QChar letter : letters) {
            BubbleRead bubble;
            bubble.bubble.question = int(q + 1);
            bubble.bubble.source = printed.source;
            bubble.bubble.option = letter;
            // A question without option texts keeps its letters.
            const AnswerMask key = printed.options.empty()
                                       ? paper[std::size_t(printed.source - 1)].Answer
                                       : printed.answer;
            if (key & (1 << (letter.unicode() - 'A'))) bubble.mark = BubbleRead::Mark::Marked;
            if (printed.source == 3 && letter == 'A') bubble.mark = BubbleRead::Mark::Unclear;
            read.layout.bubbles.push_back(bubble.bubble);
            read.bubbles.push_back(bubble);
        }
    }
    BubbleRead digit;
    digit.bubble.kind = SheetBubble::Kind::Student;
    digit.bubble.position = 0;
    digit.bubble.digit = 4;
    digit.mark = BubbleRead::Mark::Marked;
    read.bubbles.push_back(digit);

    SheetTranslator sheets(paper);
    const SheetRead sheet = sheets.FromPage(read, "pile.pdf", 4);
    QVERIFY(!sheet.unreadable);
    QCOMPARE(sheet.file, "pile.pdf");
    QCOMPARE(sheet.page, 4);
    QCOMPARE(sheet.version, "B");
    QCOMPARE(sheet.reasons, read.reasons);
    QCOMPARE(sheet.answers.size(), std::size_t(3));
    for (std::size_t i = 0; i < 3; ++i) {
        QCOMPARE(sheet.answers[i].question, int(i + 1));
        QCOMPARE(sheet.answers[i].marked, paper[i].Answer);
        int printedAt = 0;
        for (std::size_t q = 0; q < version.questions.size(); ++q)
            if (version.questions[q].source == int(i + 1)) printedAt = int(q + 1);
        QCOMPARE(sheet.answers[i].sheetQuestion, printedAt);
    }
    QCOMPARE(sheet.answers[2].unclear, AnswerMask(1));
    QCOMPARE(sheet.student.size(), std::size_t(2));
    QCOMPARE(sheet.student[0].marked, (unsigned short)(1 << 4));
    QCOMPARE(sheet.student[1].marked, (unsigned short)0);

    read.version = "Q";
    QCOMPARE(sheets.FromPage(read, "pile.pdf", 5).reasons,
             QStringList{"version Q is not one of this paper's versions"});
    PageRead unreadable;
    unreadable.reasons << QStringLiteral("no corner markers were found");
    const SheetRead bad = sheets.FromPage(unreadable, "pile.pdf", 6);
    QVERIFY(bad.unreadable);
    QCOMPARE(bad.reasons, unreadable.reasons);
}

QTEST_GUILESS_MAIN(BatchTest)
#include "test_batch.moc"
