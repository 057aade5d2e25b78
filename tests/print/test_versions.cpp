// Versions of a paper: the paper as it stands, shuffles that keep every
// answer on its option text and pinned options in place, and seeds that fix
// the outcome on every machine.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <algorithm>

#include "core/optionpins.h"
#include "printtestsupport.h"

using namespace scrivane;
using namespace scrivane::test;

Q_DECLARE_METATYPE(std::vector<scrivane::QuestionRecord>)

namespace {

using Paper = std::vector<QuestionRecord>;

Paper MixedPaper() {
    return {
        Question(5, "B", "Capital of France?", {"Berlin", "Paris", "Rome", "Madrid", "", ""}),
        Question(2.5f, "AC", "Prime numbers", {"2", "4", "3", "9", "", ""}),
        Question(1, "D", "Fruit?", {"Apple", "Banana", "Cherry", "All of the above", "", ""}),
        Question(3, "E", "Gaps", {"first", "", "third", "fourth", "None of the above", ""}),
        Question(4, "C", "Refers by letter", {"x", "y", "Both A and B", "z", "", ""}),
        Question(2, "", "No answer yet", {"p", "q", "r", "s", "t", "u"}),
        Question(2, "ABCDEF", "All six", {"u1", "u2", "u3", "u4", "u5", "u6"}),
        Question(1, "D", "Same texts", {"same", "same", "other", "odd", "", ""}),
        Question(1, "A", "  One option  ", {"  only  ", "", "", "", "", ""}),
        Question(1, "B", "Answer on an empty option", {"a", "", "c", "", "", ""}),
    };
}

Paper LongPaper(int count) {
    Paper paper;
    for (int i = 0; i < count; ++i)
        paper.push_back(Question(1, QString(QChar(u'A' + i % 5)), QStringLiteral("Q%1").arg(i),
                                 {QStringLiteral("a%1").arg(i), QStringLiteral("b%1").arg(i),
                                  QStringLiteral("c%1").arg(i), QStringLiteral("d%1").arg(i),
                                  QStringLiteral("e%1").arg(i), ""}));
    return paper;
}

QStringList Filled(const QuestionRecord& record, bool correctOnly) {
    QStringList texts;
    for (int i = 0; i < 6; ++i) {
        const QString text = record.Items[std::size_t(i)].trimmed();
        if (!text.isEmpty() && (!correctOnly || (record.Answer & (1u << i)))) texts << text;
    }
    texts.sort();
    return texts;
}

QStringList Printed(const PrintedQuestion& q, bool correctOnly) {
    QStringList texts;
    for (const PrintedOption& option : q.options)
        if (!correctOnly || (q.answer & (1u << (option.letter.unicode() - u'A'))))
            texts << option.text;
    texts.sort();
    return texts;
}

QString Letters(const PrintedQuestion& q) {
    QString letters;
    for (const PrintedOption& option : q.options) letters += option.letter;
    return letters;
}

QString Order(const PaperVersion& version) {
    QStringList sources;
    for (const PrintedQuestion& q : version.questions) sources << QString::number(q.source);
    return sources.join(u',');
}

}  // namespace

class VersionsTest : public QObject {
    Q_OBJECT
private slots:
    void withoutShufflesThePaperAsItStands();
    void shufflesKeepAnswersAndPins_data();
    void shufflesKeepAnswersAndPins();
    void seedFixesTheVersions();
    void json();
    void blankOptionsGetTheModesLetters();
    void numericOptionsKeepTheirOrder_data();
    void numericOptionsKeepTheirOrder();
    void keysStayTrue_data();
    void keysStayTrue();
    void picturesGoWithTheirOptions();
};

void VersionsTest::withoutShufflesThePaperAsItStands() {
    const Paper paper = MixedPaper();
    const auto versions = BuildVersions(paper, {3, false, false, 99});
    QCOMPARE(versions.size(), std::size_t(3));
    QCOMPARE(versions[2].name, QStringLiteral("C"));
    for (const PaperVersion& version : versions) {
        QCOMPARE(Order(version), QStringLiteral("1,2,3,4,5,6,7,8,9,10"));
        for (std::size_t i = 0; i < paper.size(); ++i) {
            const PrintedQuestion& q = version.questions[i];
            QCOMPARE(q.answer, paper[i].Answer);
            QCOMPARE(q.score, paper[i].Score);
            QCOMPARE(Printed(q, false), Filled(paper[i], false));
        }
    }
    // Empty options are left out and the others keep their stored letters.
    QCOMPARE(Letters(versions[0].questions[3]), QStringLiteral("ACDE"));
    QCOMPARE(versions[0].questions[3].KeyText(), QStringLiteral("E"));
    QCOMPARE(versions[0].questions[5].KeyText(), QStringLiteral("?"));
    QCOMPARE(versions[0].questions[8].title, QStringLiteral("One option"));
}

void VersionsTest::shufflesKeepAnswersAndPins_data() {
    QTest::addColumn<Paper>("paper");
    QTest::newRow("pins, gaps, multiple answers") << MixedPaper();
    QTest::newRow("100 questions of five options") << LongPaper(100);
    QTest::newRow("one question") << Paper{MixedPaper()[2]};
    QTest::newRow("only pinned options")
        << Paper{Question(1, "B", "t", {"All of the above", "None of the above", "", "", "", ""})};
}

void VersionsTest::shufflesKeepAnswersAndPins() {
    QFETCH(Paper, paper);
    for (std::uint32_t seed : {1u, 2u, 4000000000u}) {
        const auto versions = BuildVersions(paper, {kMaxVersions, true, true, seed});
        QCOMPARE(int(versions.size()), kMaxVersions);
        for (const PaperVersion& version : versions) {
            QStringList sources = Order(version).split(u',');
            std::sort(sources.begin(), sources.end(),
                      [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
            QStringList expected;
            for (std::size_t i = 1; i <= paper.size(); ++i) expected << QString::number(i);
            QCOMPARE(sources, expected);  // every question once

            for (const PrintedQuestion& q : version.questions) {
                const QuestionRecord& record = paper[std::size_t(q.source - 1)];
                QCOMPARE(Printed(q, false), Filled(record, false));
                // An answer on an empty option cannot be printed; every other
                // answer names the same texts as the paper's.
                QCOMPARE(Printed(q, true), Filled(record, true));
                std::vector<int> filled;
                for (int i = 0; i < 6; ++i)
                    if (!record.Items[std::size_t(i)].trimmed().isEmpty()) filled.push_back(i);
                const bool refersByLetter = record.Title == QStringLiteral("Refers by letter");
                for (std::size_t p = 0; p < filled.size(); ++p) {
                    const QChar letter =
                        refersByLetter ? QChar(u'A' + filled[p]) : QChar(u'A' + int(p));
                    QCOMPARE(q.options[p].letter, letter);
                    if (refersByLetter || (KeptOptionsOf(record.Items).kept & (1u << filled[p])))
                        QCOMPARE(q.options[p].text, record.Items[std::size_t(filled[p])].trimmed());
                }
            }
        }
    }
}

void VersionsTest::seedFixesTheVersions() {
    const Paper paper = LongPaper(12);
    const VersionSettings settings{4, true, true, 20240611};
    const auto first = BuildVersions(paper, settings);
    const auto again = BuildVersions(paper, settings);
    for (std::size_t v = 0; v < first.size(); ++v) {
        QCOMPARE(Order(first[v]), Order(again[v]));
        for (std::size_t i = 0; i < paper.size(); ++i)
            QCOMPARE(Printed(first[v].questions[i], false), Printed(again[v].questions[i], false));
    }
    // The generator is our own, so a seed gives these versions everywhere.
    QCOMPARE(Order(first[0]), QStringLiteral("1,10,6,12,7,11,8,3,2,9,4,5"));
    QCOMPARE(first[0].questions[0].options[0].text, QStringLiteral("c0"));
    QVERIFY(Order(first[1]) != Order(first[0]));
    QVERIFY(Order(BuildVersions(paper, {1, true, false, 20240612})[0]) != Order(first[0]));

    // A question's options do not depend on the order of the questions.
    const auto optionsOnly = BuildVersions(paper, {4, false, true, 20240611});
    for (std::size_t v = 0; v < first.size(); ++v)
        for (const PrintedQuestion& q : first[v].questions) {
            QCOMPARE(optionsOnly[v].questions[std::size_t(q.source - 1)].answer, q.answer);
            QCOMPARE(optionsOnly[v].questions[std::size_t(q.source - 1)].options[0].text,
                     q.options[0].text);
        }
}

void VersionsTest::json() {
    const auto versions =
        BuildVersions({MixedPaper()[1], MixedPaper()[3]}, {2, true, true, 4294967295u});
    QJsonParseError error;
    const QJsonObject root =
        QJsonDocument::fromJson(VersionsJson(versions, 4294967295u), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(root.value("seed").toDouble(), 4294967295.0);
    const QJsonArray list = root.value("versions").toArray();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list[1].toObject().value("name").toString(), QStringLiteral("B"));
    const QJsonArray questions = list[0].toObject().value("questions").toArray();
    for (int i = 0; i < questions.size(); ++i) {
        const QJsonObject q = questions[i].toObject();
        const PrintedQuestion& printed = versions[0].questions[std::size_t(i)];
        QCOMPARE(q.value("source").toInt(), printed.source);
        QCOMPARE(q.value("Score").toDouble(), double(printed.score));
        QCOMPARE(q.value("Answer").toString(), AnswerMaskToText(printed.answer));
        QCOMPARE(q.value("Title").toString(), printed.title);
        QCOMPARE(q.value("Items").toArray().size(), int(printed.options.size()));
        QCOMPARE(q.value("Items").toArray()[0].toString(), printed.options[0].text);
    }
}

// A quick paper's question has an answer and no option texts: it offers the
// letters of the answer mode in every version and keeps its place, whatever
// the shuffle.
void VersionsTest::blankOptionsGetTheModesLetters() {
    Paper paper{Question(1, "C", "", {"", "", "", "", "", ""}),
                Question(1, "BD", "On the board", {"", " ", "", "", "", ""}),
                Question(1, "F", "", {"", "", "", "", "", ""}),
                Question(1, "A", "Filled", {"x", "y", "", "", "", ""})};
    for (int i = 0; i < 8; ++i) paper.push_back(LongPaper(8)[std::size_t(i)]);
    for (std::int16_t answerType : {std::int16_t(0), std::int16_t(3)}) {
        const int letters = BlankOptionLetters(answerType);
        QCOMPARE(letters, answerType == 0 ? 5 : 6);
        for (bool shuffle : {false, true}) {
            VersionSettings settings{kMaxVersions, shuffle, shuffle, 7};
            settings.blankOptionLetters = letters;
            bool reordered = false;
            for (const PaperVersion& version : BuildVersions(paper, settings)) {
                for (std::size_t i = 0; i < version.questions.size(); ++i) {
                    const PrintedQuestion& q = version.questions[i];
                    const QuestionRecord& record = paper[std::size_t(q.source - 1)];
                    reordered = reordered || q.source != int(i) + 1;
                    if (q.source > 3) continue;
                    QCOMPARE(q.source, int(i) + 1);
                    // An answer beyond the mode's letters still has its bubble.
                    const int expected = q.source == 3 ? 6 : letters;
                    QCOMPARE(Letters(q), QStringLiteral("ABCDEF").left(expected));
                    for (const PrintedOption& option : q.options) {
                        QVERIFY(option.text.isEmpty());
                        QCOMPARE(option.sourceLetter, option.letter);
                    }
                    QCOMPARE(q.answer, record.Answer);
                }
            }
            QCOMPARE(reordered, shuffle);  // the other questions do move
        }
    }
}

void VersionsTest::numericOptionsKeepTheirOrder_data() {
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<bool>("kept");
    QTest::newRow("whole numbers") << QStringList{"8", "9", "10", "11"} << true;
    QTest::newRow("units and signs")
        << QStringList{"-3 \u00B0C", "2.5 kg", "9.81 m/s\u00B2", "1,000", "50%"} << true;
    QTest::newRow("currency and exponent") << QStringList{"$5", "\u20AC7.50", "3e5", "0,5"} << true;
    QTest::newRow("gap between numbers") << QStringList{"1", "", "2", "3"} << true;
    QTest::newRow("one word among numbers") << QStringList{"8", "nine", "10", "11"} << false;
    QTest::newRow("numbers inside a text")
        << QStringList{"8 or 9", "about 10", "11 and up", "12"} << false;
    QTest::newRow("roman numerals") << QStringList{"IV", "VI", "IX", "XI"} << false;
}

void VersionsTest::numericOptionsKeepTheirOrder() {
    QFETCH(QStringList, items);
    QFETCH(bool, kept);
    QuestionRecord record = Question(1, "B", "How many?", {"", "", "", "", "", ""});
    for (int i = 0; i < items.size(); ++i) record.Items[std::size_t(i)] = items[i];
    QCOMPARE(HasNumericOptions(record.Items), kept);
    bool moved = false;
    for (const PaperVersion& version : BuildVersions({record}, {kMaxVersions, true, true, 3})) {
        const PrintedQuestion& q = version.questions[0];
        QCOMPARE(Printed(q, true), Filled(record, true));
        QStringList printed;
        for (const PrintedOption& option : q.options) printed << option.text;
        QStringList stored = items;
        stored.removeAll(QString());
        moved = moved || printed != stored;
    }
    QCOMPARE(moved, !kept);
}

// In every shuffled version an option that names options by letter still
// names the same texts, and stands where it stood, so the key printed with
// it is true; options whose letters are names shuffle like any other. The
// first rule, by which earlier sheets were printed, still builds theirs.
void VersionsTest::keysStayTrue_data() {
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("moves");        // some option moves in some version
    QTest::addColumn<bool>("movesBefore");  // ... under the first rule
    QTest::newRow("both A and C") << QStringList{"red", "green", "blue", "Both A and C are correct",
                                                 "white"}
                                  << "D" << true << true;
    QTest::newRow("A and B only, not at the start")
        << QStringList{"cat", "dog", "cow", "owl", "The answer is A and B only"} << "E" << true
        << true;
    QTest::newRow("B and C are both correct")
        << QStringList{"2", "4", "6", "odd", "B and C are both correct"} << "E" << true << true;
    QTest::newRow("neither, all above")
        << QStringList{"Neither A nor B", "Oslo", "Rome", "Bern", "All answers above are correct"}
        << "C" << true << false;
    QTest::newRow("A, B and D") << QStringList{"ant", "bee", "elk", "A, B and D", "fly", "yak"}
                                << "D" << true << false;
    QTest::newRow("vitamins") << QStringList{"Vitamin C", "Vitamin A", "Vitamin D", "Vitamin B"}
                              << "A" << true << false;
    QTest::newRow("blood types") << QStringList{"Type O", "Type AB", "Type A", "Type B"} << "D"
                                 << true << false;
    QTest::newRow("hepatitis and plan B")
        << QStringList{"Hepatitis B", "Plan B", "grade A", "Hepatitis A"} << "A" << true << false;
    QTest::newRow("a letter both ways")
        << QStringList{"Vitamin C", "Vitamin A", "Only C", "Vitamin E"} << "C" << false << false;
}

void VersionsTest::keysStayTrue() {
    QFETCH(QStringList, items);
    QFETCH(QString, answer);
    QFETCH(bool, moves);
    QFETCH(bool, movesBefore);
    QuestionRecord record = Question(1, answer, "Which?", {"", "", "", "", "", ""});
    for (int i = 0; i < items.size(); ++i) record.Items[std::size_t(i)] = items[i];
    for (KeptOptionsRule rule : {KeptOptionsRule::References, KeptOptionsRule::Phrases}) {
        VersionSettings settings{kMaxVersions, true, true, 5};
        settings.keptOptions = rule;
        bool moved = false;
        for (const PaperVersion& version : BuildVersions({record}, settings)) {
            const PrintedQuestion& q = version.questions[0];
            QCOMPARE(Printed(q, true), Filled(record, true));
            for (const PrintedOption& option : q.options) {
                moved = moved || option.letter != option.sourceLetter;
                if (rule != KeptOptionsRule::References) continue;
                const unsigned named = ReferredLetters(option.text);
                if (named == 0 && !RefersToAllOptions(option.text)) continue;
                QCOMPARE(option.letter, option.sourceLetter);
                for (const PrintedOption& other : q.options)
                    if (named & (1u << (other.letter.unicode() - u'A')))
                        QCOMPARE(other.letter, other.sourceLetter);
            }
        }
        QCOMPARE(moved, rule == KeptOptionsRule::References ? moves : movesBefore);
    }
}

// An option of a picture alone is printed and may be the answer; every
// option's pictures, and the title's, go where the shuffle puts it.
void VersionsTest::picturesGoWithTheirOptions() {
    QuestionRecord record = Question(2, QStringLiteral("C"), QStringLiteral("Which map?"),
                                     {QStringLiteral("Rivers"), QStringLiteral("Roads"), {},
                                      QStringLiteral("Rails")});
    const Picture title{"t", QStringLiteral("png"), {}}, c{"c", QStringLiteral("svg"), {}},
        d{"d", QStringLiteral("png"), {}};
    record.Pictures[kPictureTitle] = {title};
    record.Pictures[std::size_t(PictureBoxOfItem(2))] = {c};
    record.Pictures[std::size_t(PictureBoxOfItem(3))] = {d, c};
    const OptionPlaces places = PlacesOf(record);
    QCOMPARE(places.filled, std::uint8_t(0b1111));
    bool moved = false;
    for (const PaperVersion& version : BuildVersions({record}, {8, false, true, 77})) {
        const PrintedQuestion& q = version.questions[0];
        QCOMPARE(q.titlePictures, QList<Picture>{title});
        QCOMPARE(int(q.options.size()), 4);
        for (const PrintedOption& option : q.options) {
            const int source = option.sourceLetter.unicode() - u'A';
            QCOMPARE(option.text, record.Items[std::size_t(source)]);
            QCOMPARE(option.pictures, record.Pictures[std::size_t(PictureBoxOfItem(source))]);
            if (option.sourceLetter == u'C') {
                QCOMPARE(q.KeyText(), QString(option.letter));
                moved = moved || option.letter != u'C';
            }
        }
    }
    QVERIFY(moved);
}

QTEST_GUILESS_MAIN(VersionsTest)
#include "test_versions.moc"
