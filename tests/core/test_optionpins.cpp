// Which options keep their place when options are reordered: the letters
// that name options, the letters that are names, and the first rule that
// sheets printed before still need.
#include <QTest>

#include "core/optionpins.h"
#include "coretests.h"

namespace scrivane::test {

namespace {

QString Letters(unsigned mask) {
    QString letters;
    for (int i = 0; i < 6; ++i)
        if (mask & (1u << i)) letters += QChar(u'A' + i);
    return letters;
}

std::array<QString, 6> Options(const QStringList& items) {
    std::array<QString, 6> options;
    for (int i = 0; i < 6; ++i) options[std::size_t(i)] = items.value(i);
    return options;
}

}  // namespace

class OptionPinsTest : public QObject {
    Q_OBJECT
private slots:
    // Real phrasings, each read as the letters it refers to as options and
    // the letters it holds as names.
    void letters_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("refers");
        QTest::addColumn<QString>("names");
        const auto row = [](const char* text, const char* refers, const char* names) {
            QTest::newRow(text) << QString::fromUtf8(text) << QString::fromUtf8(refers)
                                << QString::fromUtf8(names);
        };
        // References
        row("Both A and C are correct", "AC", "");
        row("A and B only", "AB", "");
        row("B and C are both correct", "BC", "");
        row("Neither A nor B", "AB", "");
        row("A, B and D", "ABD", "");
        row("Only C", "C", "");
        row("A or B", "AB", "");
        row("A/B", "AB", "");
        row("A, C and E", "ACE", "");
        row("A, C, and E", "ACE", "");
        row("A and/or B", "AB", "");
        row("(A) and (C)", "AC", "");
        row("A & D", "AD", "");
        row("Answer: D", "D", "");
        row("Options A and B", "AB", "");
        row("all except C", "C", "");
        row("It is either B or D", "BD", "");
        row("C only", "C", "");
        row("B is correct", "B", "");
        row("The answer is C", "C", "");
        row("La réponse est B", "B", "");
        row("The answer is neither A nor C", "AC", "");
        row("Les réponses A et C", "AC", "");
        row("Ni A ni B", "AB", "");
        row("Seulement B", "B", "");
        row("Toutes sauf D", "D", "");
        row("A et B sont correctes", "AB", "");
        row("Nur C", "C", "");
        row("Weder A noch B", "AB", "");
        row("Antwort B und D", "BD", "");
        row("Beide A und C", "AC", "");
        row("A y C", "AC", "");
        row("Sólo B", "B", "");
        row("Ninguna excepto E", "E", "");
        row("Ambas A y B", "AB", "");
        // Names and plain words
        row("Vitamin C", "", "C");
        row("Vitamin A", "", "A");
        row("Type O", "", "");
        row("Type AB", "", "");
        row("Hepatitis B", "", "B");
        row("Hepatitis B and C", "", "BC");
        row("Plan B", "", "B");
        row("grade A", "", "A");
        row("Vitamine C et D", "", "CD");
        row("A dog", "", "");
        row("A cat and a dog", "", "");
        row("DNA", "", "");
        row("Cat", "", "");
        row("B", "", "");
        row("Section E of the form", "", "E");
        row("The F-test", "", "F");
        row("Vitamin K", "", "");
        row("Its type is A", "", "A");
    }
    void letters() {
        QFETCH(QString, text);
        QFETCH(QString, refers);
        QFETCH(QString, names);
        unsigned named = 0;
        QCOMPARE(Letters(ReferredLetters(text, &named)), refers);
        QCOMPARE(Letters(named), names);
    }

    void allOptions_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("all");
        for (const char* text :
             {"All of the above", "None of the above.", "All answers above are correct",
              "none of these answers", "Any of the above", "Both of them", "None",
              "Toutes les réponses ci-dessus", "Aucune de ces réponses", "Alle Antworten",
              "Keine der obigen", "Todas las anteriores", "Ninguna de las anteriores"})
            QTest::newRow(text) << QString::fromUtf8(text) << true;
        for (const char* text : {"All mammals", "Paris", "None shall pass the bridge", "Above"})
            QTest::newRow(text) << QString::fromUtf8(text) << false;
    }
    void allOptions() {
        QFETCH(QString, text);
        QFETCH(bool, all);
        QCOMPARE(RefersToAllOptions(text), all);
    }

    // A question's kept options: those that refer and those they name; a
    // letter read both ways keeps the order whole.
    void kept_data() {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<bool>("whole");
        QTest::newRow("plain") << QStringList{"Paris", "Rome", "Oslo"} << "" << false;
        QTest::newRow("all of the above")
            << QStringList{"red", "blue", "  All of the above."} << "C" << false;
        QTest::newRow("names two")
            << QStringList{"x", "y", "z", "Both A and C are correct"} << "ACD" << false;
        QTest::newRow("vitamins shuffle")
            << QStringList{"Vitamin C", "Vitamin A", "Vitamin D", "Vitamin K"} << "" << false;
        QTest::newRow("blood types")
            << QStringList{"Type O", "Type AB", "Type A", "Type B"} << "" << false;
        QTest::newRow("a name and a reference")
            << QStringList{"Vitamin C", "Vitamin A", "Vitamin D", "A and C"} << "ACD" << true;
        QTest::newRow("letter of an empty option")
            << QStringList{"x", "y", "only F"} << "" << false;
        QTest::newRow("numbers") << QStringList{"1", "2", "3", "4"} << "" << true;
        QTest::newRow("article and a reference")
            << QStringList{"A dog", "A cat", "Neither A nor B"} << "ABC" << false;
    }
    void kept() {
        QFETCH(QStringList, items);
        QFETCH(QString, kept);
        QFETCH(bool, whole);
        const KeptOptions found = KeptOptionsOf(Options(items));
        QCOMPARE(Letters(found.kept), kept);
        QCOMPARE(found.whole, whole);
    }

    // The first rule, which reads the sheets printed before, stays as it was:
    // "Vitamin C" beside an option C pinned it and kept the order whole.
    void firstRule_data() {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("pinned");
        QTest::addColumn<bool>("whole");
        QTest::newRow("plain") << QStringList{"Paris", "Rome", "Oslo"} << "" << false;
        QTest::newRow("all of the above")
            << QStringList{"red", "blue", "  All of the above.", ""} << "C" << false;
        QTest::newRow("none, any case")
            << QStringList{"1", "2", "3", "NONE OF THE ABOVE"} << "D" << false;
        QTest::newRow("names letters") << QStringList{"x", "y", "Both A and B"} << "C" << true;
        QTest::newRow("letter at the end") << QStringList{"x", "y", "A or B", "z"} << "C" << true;
        QTest::newRow("vitamins") << QStringList{"Vitamin C", "Vitamin A", "Vitamin D"} << "AB"
                                  << true;
        QTest::newRow("letters inside words") << QStringList{"Cat", "A dog", "DNA"} << "" << false;
    }
    void firstRule() {
        QFETCH(QStringList, items);
        QFETCH(QString, pinned);
        QFETCH(bool, whole);
        const KeptOptions found = KeptOptionsOf(Options(items), KeptOptionsRule::Phrases);
        QCOMPARE(Letters(found.kept), pinned);
        QCOMPARE(found.whole, whole);
    }
};

static RegisterTest<OptionPinsTest> registered;

}  // namespace scrivane::test

#include "test_optionpins.moc"
