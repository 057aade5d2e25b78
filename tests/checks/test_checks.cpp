// The paper checks, the balance of the answer key and the rebalance, on
// plain rows.
#include <QTest>
#include <bit>
#include <functional>
#include <limits>
#include <tuple>

#include "checks/answerbalance.h"
#include "checks/paperchecks.h"
#include "checks/rebalance.h"
#include "checksamples.h"
#include "core/optionpins.h"

Q_DECLARE_METATYPE(std::vector<scrivane::QuestionRecord>)

namespace scrivane::test {

namespace {

using Rows = std::vector<QuestionRecord>;

QStringList Found(const Rows& rows, std::int16_t answerType) {
    QStringList found;
    for (const PaperProblem& p : CheckPaper(rows, answerType))
        found << QStringLiteral("%1 %2").arg(p.question).arg(ProblemId(p.kind));
    return found;
}

Rows Keyed(const QString& key, int options = 5) {
    Rows rows;
    for (int n = 1; n <= key.size(); ++n) {
        QuestionRecord q = CleanQuestion(n, key[n - 1].unicode() - u'A');
        for (int i = 0; i < 6; ++i)
            if (i >= options)
                q.Items[std::size_t(i)].clear();
            else if (i >= 4)
                q.Items[std::size_t(i)] = QStringLiteral("extra %1 of %2").arg(i).arg(n);
        rows.push_back(q);
    }
    return rows;
}

QString KeyOf(const Rows& rows) {
    QString key;
    for (const QuestionRecord& q : rows) {
        const int letter = SingleLetter(q.Answer);
        key += letter < 0 ? QChar(u'.') : QChar(u'A' + letter);
    }
    return key;
}

// An option as a rebalance must keep it: its text with its pictures.
QString OptionWithPictures(const QuestionRecord& q, int item) {
    QString option = q.Items[std::size_t(item)];
    for (const Picture& picture : q.Pictures[std::size_t(PictureBoxOfItem(item))])
        option += u'|' + QString::fromLatin1(picture.Data.toHex());
    return option;
}

// What a question must keep through a rebalance: everything but the order
// of its options (each with its pictures), and its correct option.
void VerifyKeepsQuestions(const Rows& before, const Rows& after) {
    QCOMPARE(after.size(), before.size());
    for (std::size_t r = 0; r < before.size(); ++r) {
        const QuestionRecord& b = before[r];
        const QuestionRecord& a = after[r];
        QCOMPARE(a.Title, b.Title);
        QCOMPARE(a.Score, b.Score);
        QCOMPARE(a.QuestionNo, b.QuestionNo);
        QCOMPARE(a.Pictures[kPictureTitle], b.Pictures[kPictureTitle]);
        QStringList textsBefore, textsAfter;
        for (int i = 0; i < 6; ++i) {
            textsBefore << OptionWithPictures(b, i);
            textsAfter << OptionWithPictures(a, i);
        }
        textsBefore.sort();
        textsAfter.sort();
        QCOMPARE(textsAfter, textsBefore);
        if (SingleLetter(b.Answer) < 0) {
            QVERIFY2(a == b, qPrintable(QStringLiteral("question %1 changed").arg(r + 1)));
            continue;
        }
        QCOMPARE(OptionWithPictures(a, SingleLetter(a.Answer)),
                 OptionWithPictures(b, SingleLetter(b.Answer)));
        const unsigned stay = OptionsThatStay(b);
        for (int i = 0; i < 6; ++i)
            if (stay & (1u << i)) QCOMPARE(a.Items[std::size_t(i)], b.Items[std::size_t(i)]);
    }
}

// Counts within one where the options allow: no question could move its
// answer from a letter to one that is the answer at least two times less.
void VerifyEven(const Rows& rows, std::int16_t answerType) {
    const AnswerBalance balance = MeasureBalance(rows, answerType);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const int letter = SingleLetter(rows[r].Answer);
        if (letter < 0) continue;
        const unsigned stay = OptionsThatStay(rows[r].Items);
        if (stay & (1u << letter)) continue;
        const unsigned choices = AnswerLetters(rows[r], answerType) & ~stay;
        for (int other = 0; other < 6; ++other)
            if ((choices & (1u << other)) &&
                balance.counts[std::size_t(letter)] >= balance.counts[std::size_t(other)] + 2)
                QFAIL(qPrintable(QStringLiteral("question %1 could give %2 to %3 in %4")
                                     .arg(r + 1)
                                     .arg(QChar(u'A' + letter), QChar(u'A' + other), KeyOf(rows))));
    }
    QVERIFY2(balance.longestRun.length <= 3, qPrintable(KeyOf(rows)));
}

}  // namespace

class ChecksTest : public QObject {
    Q_OBJECT
private slots:
    // One small paper per problem, the fault always in question 2.
    void problems_data() {
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<int>("answerType");
        QTest::addColumn<QStringList>("found");
        const auto paper = [](auto&& change) {
            Rows rows = CleanPaper(3);
            change(rows[1]);
            return rows;
        };
        QTest::newRow("clean, multiple") << CleanPaper(8) << 3 << QStringList();
        QTest::newRow("clean, single") << CleanPaper(8) << 0 << QStringList();
        QTest::newRow("no answer")
            << paper([](QuestionRecord& q) { q.Answer = 0; }) << 3 << QStringList{"2 no-answer"};
        QTest::newRow("answer names an empty option")
            << paper([](QuestionRecord& q) { q.Answer = 1 | 16; }) << 3
            << QStringList{"2 answer-empty-option"};
        QTest::newRow("title of blanks") << paper([](QuestionRecord& q) { q.Title = "  \t "; }) << 3
                                         << QStringList{"2 empty-title"};
        QTest::newRow("one option") << paper([](QuestionRecord& q) {
            q.Answer = 1;
            for (int i = 1; i < 6; ++i) q.Items[std::size_t(i)] = "";
        }) << 3 << QStringList{"2 too-few-options"};
        QTest::newRow("gap before a filled option")
            << paper([](QuestionRecord& q) { q.Items[2] = " "; }) << 3
            << QStringList{"2 option-gap"};
        QTest::newRow("same option twice")
            << paper([](QuestionRecord& q) { q.Items[3] = " " + q.Items[1].toUpper() + " "; }) << 3
            << QStringList{"2 duplicate-options"};
        QTest::newRow("same title as an earlier question")
            << paper([](QuestionRecord& q) { q.Title = " QUESTION NUMBER 1? "; }) << 3
            << QStringList{"2 duplicate-question"};
        QTest::newRow("option F where it is hidden") << paper([](QuestionRecord& q) {
            q.Items[4] = "e";
            q.Items[5] = "f";
        }) << 0 << QStringList{"2 hidden-option"};
        QTest::newRow("answer F where it is hidden") << paper([](QuestionRecord& q) {
            q.Items[4] = "e";
            q.Items[5] = "f";
            q.Answer = 32;
        }) << 1 << QStringList{"2 hidden-option"};
        QTest::newRow("option F shown") << paper([](QuestionRecord& q) {
            q.Items[4] = "e";
            q.Items[5] = "f";
            q.Answer = 32;
        }) << 3 << QStringList();
        QTest::newRow("two letters in single-answer mode")
            << paper([](QuestionRecord& q) { q.Answer = 1 | 4; }) << 0
            << QStringList{"2 multiple-in-single"};
        QTest::newRow("two letters in multiple-answer mode")
            << paper([](QuestionRecord& q) { q.Answer = 1 | 4; }) << 4 << QStringList();
        QTest::newRow("mark 0") << paper([](QuestionRecord& q) { q.Score = 0; }) << 3
                                << QStringList{"2 zero-mark"};
        QTest::newRow("empty question") << paper([](QuestionRecord& q) {
            q = QuestionRecord{2, 10, 0, "", {}};
        }) << 3 << QStringList{"2 no-answer", "2 no-option-texts"};
        // Information, named once: questions printed with their letters, and
        // options whose letters read both as names and as references.
        Rows quick = CleanPaper(5);
        for (int n : {2, 3, 5})
            quick[std::size_t(n - 1)] = QuestionRecord{std::int16_t(n), 1, 4, "", {}};
        quick[4].Answer = 32;
        QTest::newRow("quick questions") << quick << 3 << QStringList{"2 no-option-texts"};
        QTest::newRow("quick question answering a hidden F")
            << quick << 0 << QStringList{"2 no-option-texts", "5 hidden-option"};
        QTest::newRow("options name each other") << paper([](QuestionRecord& q) {
            q.Items = {"Vitamin C", "Vitamin A", "Only C", "Vitamin E", "", ""};
        }) << 3 << QStringList{"2 options-kept"};
        QTest::newRow("options refer without names") << paper([](QuestionRecord& q) {
            q.Items = {"Vitamin K", "Zinc", "Both A and B", "Iron", "", ""};
        }) << 3 << QStringList();
        // A picture alone fills an option or the title; options are the same
        // only when their pictures are too. "[picture]" is a text like any.
        const Picture map{"map", "png", {}}, graph{"graph", "png", {}};
        const auto pictured = [&](QuestionRecord& q) {
            q.Title.clear();
            q.Pictures[kPictureTitle] = {map};
            q.Items = {"x", "", "", "x", "[picture]", ""};
            q.Pictures[2] = {map};
            q.Pictures[3] = {graph};
            q.Pictures[4] = {map};
            q.Answer = 2;
        };
        QTest::newRow("pictures fill options and the title")
            << paper(pictured) << 3 << QStringList();
        QTest::newRow("the same text and picture twice") << paper([&](QuestionRecord& q) {
            pictured(q);
            q.Pictures[4] = {map};
            q.Pictures[1] = {map};
        }) << 3 << QStringList{"2 duplicate-options"};
        QTest::newRow("quick question with a picture in an option")
            << paper([&](QuestionRecord& q) {
                   q = QuestionRecord{2, 10, 1, "", {}};
                   q.Pictures[1] = {map};
               })
            << 3 << QStringList{"2 empty-title", "2 too-few-options"};
    }
    void problems() {
        QFETCH(Rows, rows);
        QFETCH(int, answerType);
        QFETCH(QStringList, found);
        QCOMPARE(Found(rows, std::int16_t(answerType)), found);
    }

    void problemTexts() {
        Rows rows = CleanPaper(3);
        rows[2].Title = rows[0].Title;
        rows[2].Answer = 0;
        rows[1].Items = {"x", "", "y", "", "x", ""};
        rows[1].Answer = 2 | 8;
        QStringList lines;
        for (const PaperProblem& p : CheckPaper(rows, 3)) lines << ProblemLine(p);
        QCOMPARE(lines, (QStringList{
                            "Question 2: the answer names options B and D, which are empty",
                            "Question 2: options B and D are empty before a filled option",
                            "Question 2: options A and E have the same text",
                            "Question 3: no answer is set",
                            "Question 3: the title is the same as that of question 1",
                        }));
        // Information reads as itself, and counts as no problem.
        Rows quick;
        for (int n = 1; n <= 22; ++n)
            quick.push_back(QuestionRecord{std::int16_t(n), 1, 2, "", {}});
        quick[20] = CleanQuestion(21, 0);
        quick[20].Items = {"Vitamin A", "Plan B", "Both A and B", "", "", ""};
        lines.clear();
        for (const PaperProblem& p : CheckPaper(quick, 3)) lines << ProblemLine(p);
        QCOMPARE(lines, (QStringList{
                            "questions 1\u201320 and 22 have no option texts: their letters are "
                            "printed",
                            "the options of question 21 name each other: their order is kept",
                        }));
        QVERIFY(ProblemsOnly(CheckPaper(quick, 3)).empty());
        quick.resize(1);
        QCOMPARE(ProblemLine(CheckPaper(quick, 3).at(0)),
                 QStringLiteral("question 1 has no option texts: its letters are printed"));
    }

    void balance_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("findings");
        QTest::addColumn<int>("longest");
        QTest::newRow("even") << "ABCDEABCDEEDCBA" << QStringList() << 2;
        // 30 questions of five options: 6 expected per letter.
        QTest::newRow("C twelve times in thirty")
            << "CACBCDCECACBCDCECACBCDCEABDEAB"
            << QStringList{"C is the answer 12 times in 30; about 6 expected"} << 1;
        QTest::newRow("a run of five")
            << "ABCDEABCDEDDDDDABCEABCEABCEABC"
            << QStringList{"D is the answer to questions 11 to 15 in a row"} << 5;
        QTest::newRow("three in a row is fine") << "AAABBBCCCDDDEEE" << QStringList() << 3;
        QTest::newRow("no one-letter answer") << "" << QStringList() << 0;
    }
    void balance() {
        QFETCH(QString, key);
        QFETCH(QStringList, findings);
        QFETCH(int, longest);
        const AnswerBalance b = MeasureBalance(Keyed(key), 0);
        QCOMPARE(b.Verdict(),
                 findings.isEmpty() ? QStringLiteral("Balanced") : findings.join('\n'));
        QCOMPARE(b.longestRun.length, longest);
        QCOMPARE(b.questions, int(key.size()));
    }

    // The expected count shares each question out over its own options, and
    // questions with several answers or none are left out.
    void expectedFollowsOptions() {
        Rows rows = Keyed("AAAAAAAAAABA", 2);  // only A and B offered
        rows[3].Answer = 0;
        rows[5].Answer = 3;
        const AnswerBalance b = MeasureBalance(rows, 0);
        QCOMPARE(b.questions, 10);
        QCOMPARE(b.expected[0], 5.0);
        QCOMPARE(b.expected[2], 0.0);
        QCOMPARE(b.counts[0], 9);
        QCOMPARE(b.Findings().first(), "A is the answer 9 times in 10; about 5 expected");
        QCOMPARE(b.longestRun, (LetterRun{0, 4, 7}));  // broken by 4 and 6
    }

    void rebalanceKeepsABalancedPaper() {
        const Rows rows = Keyed("ABCDEABCDEEDCBAACEBD");
        const RebalanceResult result = Rebalance(rows, 3);
        QVERIFY(result.changed.empty());
        QVERIFY(result.rows == rows);
    }

    // Twenty questions answered A: fifteen must change, and no more.
    void rebalanceChangesFewest() {
        const Rows rows = Keyed(QString(20, u'A'), 4);
        const RebalanceResult result = Rebalance(rows, 0);
        QCOMPARE(int(result.changed.size()), 15);
        const AnswerBalance b = MeasureBalance(result.rows, 0);
        QCOMPARE((std::array{b.counts[0], b.counts[1], b.counts[2], b.counts[3]}),
                 (std::array{5, 5, 5, 5}));
        QVERIFY(b.longestRun.length <= 3);
        VerifyKeepsQuestions(rows, result.rows);
    }

    // A balanced count with one long run needs only the run broken.
    void rebalanceBreaksRuns() {
        const Rows rows = Keyed("ABCDDDDDABCCBAAB", 4);
        const RebalanceResult result = Rebalance(rows, 0);
        QVERIFY(MeasureBalance(result.rows, 0).longestRun.length <= 3);
        QCOMPARE(result.changed, std::vector<int>{7});
        VerifyEven(result.rows, 0);
    }

    void rebalanceGenerated_data() {
        QTest::addColumn<unsigned>("seed");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("answerType");
        for (unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u})
            for (int count : {12, 40, 100})
                QTest::addRow("seed %u, %d questions", seed, count)
                    << seed << count << (seed % 2 ? 3 : 0);
    }
    void rebalanceGenerated() {
        QFETCH(unsigned, seed);
        QFETCH(int, count);
        QFETCH(int, answerType);
        Rows rows = SkewedPaper(seed, count);
        // Single-answer mode has no several-answer questions to keep.
        if (answerType == 0)
            for (QuestionRecord& q : rows)
                if (std::popcount(unsigned(q.Answer)) > 1) q.Answer = 2;
        const RebalanceResult result = Rebalance(rows, std::int16_t(answerType));
        VerifyKeepsQuestions(rows, result.rows);
        VerifyEven(result.rows, std::int16_t(answerType));
        for (int number : result.changed)
            QVERIFY(!(result.rows[std::size_t(number - 1)] == rows[std::size_t(number - 1)]));
        for (std::size_t r = 0; r < rows.size(); ++r)
            if (!std::count(result.changed.begin(), result.changed.end(), int(r) + 1))
                QVERIFY(result.rows[r] == rows[r]);
        // The same paper rebalances the same way, and a rebalanced one stays.
        QVERIFY(Rebalance(rows, std::int16_t(answerType)).rows == result.rows);
        QVERIFY(Rebalance(result.rows, std::int16_t(answerType)).changed.empty());
    }

    // On small papers every assignment of letters can be tried: among those
    // without a run longer than three, the most even counts, and among those
    // the fewest changed questions, must be what the rebalance reaches.
    void rebalanceMatchesExhaustiveSearch() {
        std::mt19937 random(42);
        for (int trial = 0; trial < 150; ++trial) {
            const int n = 6 + int(random() % 5);
            Rows rows;
            for (int i = 0; i < n; ++i) {
                QuestionRecord q = CleanQuestion(i + 1);
                const int options = 2 + int(random() % 3);
                for (int o = options; o < 6; ++o) q.Items[std::size_t(o)].clear();
                const int letter = trial % 2 ? int(random() % unsigned(options)) : 0;
                if (random() % 6 == 0) q.Items[std::size_t(letter)] = "All of the above";
                q.Answer = random() % 8 == 0 ? 3 : AnswerMask(1u << letter);
                rows.push_back(q);
            }
            std::vector<int> original, letters(std::size_t(n), -1);
            std::vector<unsigned> choices;
            for (const QuestionRecord& q : rows) {
                const int letter = SingleLetter(q.Answer);
                original.push_back(letter);
                const unsigned movable = AnswerLetters(q, 3) & ~OptionsThatStay(q.Items);
                choices.push_back(letter < 0                 ? 0u
                                  : movable & (1u << letter) ? movable
                                                             : 1u << letter);
            }
            long bestSquares = std::numeric_limits<long>::max();
            int bestChanges = 0;
            const std::function<void(std::size_t)> tryFrom = [&](std::size_t q) {
                if (q == letters.size()) {
                    for (const LetterRun& run : LetterRuns(letters))
                        if (run.length > 3) return;
                    std::array<long, 6> counts{};
                    int changes = 0;
                    for (std::size_t i = 0; i < letters.size(); ++i) {
                        if (letters[i] >= 0) ++counts[std::size_t(letters[i])];
                        changes += letters[i] != original[i];
                    }
                    long squares = 0;
                    for (long c : counts) squares += c * c;
                    if (squares < bestSquares || (squares == bestSquares && changes < bestChanges))
                        std::tie(bestSquares, bestChanges) = std::tuple(squares, changes);
                    return;
                }
                if (original[q] < 0) return tryFrom(q + 1);
                for (int letter = 0; letter < 6; ++letter)
                    if (choices[q] & (1u << letter)) {
                        letters[q] = letter;
                        tryFrom(q + 1);
                    }
            };
            tryFrom(0);
            const RebalanceResult result = Rebalance(rows, 3);
            const AnswerBalance balance = MeasureBalance(result.rows, 3);
            long squares = 0;
            for (int c : balance.counts) squares += long(c) * c;
            const QString key = KeyOf(rows) + " -> " + KeyOf(result.rows);
            QVERIFY2(balance.longestRun.length <= 3, qPrintable(key));
            QVERIFY2(squares == bestSquares, qPrintable(key));
            QVERIFY2(int(result.changed.size()) == bestChanges, qPrintable(key));
        }
    }

    // Two-option questions share A and B; "Both A and B" keeps A and B too.
    void rebalanceTwoOptionsAndNamedLetters() {
        Rows rows = Keyed("AAAAAAAA", 2);
        rows[2].Items[2] = "Both A and B";
        rows[2].Answer = 1;
        const RebalanceResult result = Rebalance(rows, 3);
        VerifyKeepsQuestions(rows, result.rows);
        QVERIFY(result.rows[2] == rows[2]);
        const AnswerBalance b = MeasureBalance(result.rows, 3);
        QVERIFY(std::abs(b.counts[0] - b.counts[1]) <= 1);
        QVERIFY(b.longestRun.length <= 3);
        QCOMPARE(OptionsThatStay(rows[2].Items), 0b111u);
    }

    // Options whose letters are names move like any other; those named by
    // another option stay with it.
    void rebalanceMovesNamesAndKeepsReferences() {
        Rows rows = Keyed("AAAAAAAA", 4);
        for (QuestionRecord& q : rows)
            q.Items = {"Vitamin C", "Vitamin A", "Vitamin D", "Vitamin B", "", ""};
        rows[2].Items = {"red", "green", "blue", "Both A and C are correct", "", ""};
        rows[2].Answer = 8;
        QCOMPARE(OptionsThatStay(rows[1].Items), 0u);
        QCOMPARE(OptionsThatStay(rows[2].Items), 0b1101u);
        QCOMPARE(OptionsThatStay({"Vitamin C", "Only C", "x", "", "", ""}), 0x3Fu);
        const RebalanceResult result = Rebalance(rows, 0);
        VerifyKeepsQuestions(rows, result.rows);
        QVERIFY(result.rows[2] == rows[2]);
        QVERIFY(result.changed.size() >= 4);
    }

    // Options that are all numbers stay in the order they were written,
    // even where the key needs their question most.
    void rebalanceLeavesNumericOptions() {
        Rows rows = Keyed("AAAAAAAAAA", 4);
        for (std::size_t q : {0u, 3u, 4u, 5u, 9u})
            rows[q].Items = {"8", "9 cm", "10.5", "-11", "", ""};
        rows[4].Items = {"$8", "9 %", "1,000", "3e5", "", ""};
        const RebalanceResult result = Rebalance(rows, 0);
        VerifyKeepsQuestions(rows, result.rows);
        QVERIFY(!result.changed.empty());
        for (std::size_t q : {0u, 3u, 4u, 5u, 9u})
            QVERIFY2(result.rows[q] == rows[q], qPrintable(QString::number(q + 1)));
        // One text that is not a number lets the question take part again.
        rows = Keyed("AAAA", 4);
        for (QuestionRecord& q : rows) q.Items = {"8", "9", "ten", "11", "", ""};
        QVERIFY(!Rebalance(rows, 0).changed.empty());
    }

    // An option of a picture alone counts, may be the answer, and takes its
    // pictures wherever the rebalance moves it.
    void rebalanceMovesPictures() {
        Rows rows = Keyed("AAAAAAAA", 4);
        for (std::size_t q = 0; q < rows.size(); ++q) {
            rows[q].Items[0].clear();
            rows[q].Pictures[std::size_t(PictureBoxOfItem(0))] = {
                Picture{QByteArray::number(qulonglong(q)), QStringLiteral("png"), {}}};
            rows[q].Pictures[std::size_t(PictureBoxOfItem(2))] = {
                Picture{"c" + QByteArray::number(qulonglong(q)), QStringLiteral("png"), {}}};
        }
        QCOMPARE(AnswerLetters(rows[0], 3), 0b1111u);
        const RebalanceResult result = Rebalance(rows, 3);
        QVERIFY(result.changed.size() >= 4);
        VerifyKeepsQuestions(rows, result.rows);
        // Numbers and a picture are no list of numbers.
        QuestionRecord numbers = CleanQuestion(1);
        numbers.Items = {"8", "9", "", "11", "", ""};
        QVERIFY(HasNumericOptions(numbers.Items));
        numbers.Pictures[std::size_t(PictureBoxOfItem(2))] = {Picture{"x", "png", {}}};
        QVERIFY(!HasNumericOptions(numbers));
    }
};

}  // namespace scrivane::test

QTEST_GUILESS_MAIN(scrivane::test::ChecksTest)
#include "test_checks.moc"
