#include <QTest>

#include "core/answercode.h"
#include "coretests.h"

using namespace scrivane;

class AnswerCodeTest : public QObject {
    Q_OBJECT
private slots:
    void maskToText_data() {
        QTest::addColumn<int>("mask");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << 0 << "Uncertain";
        QTest::newRow("AC") << 5 << "AC";
        QTest::newRow("all") << 63 << "ABCDEF";
        QTest::newRow("bit 6 only") << 64 << "Uncertain";
        QTest::newRow("bit 6 and A") << 65 << "A";
        QTest::newRow("bits 6, 7 and F") << (128 | 64 | 32) << "F";
    }
    void maskToText() {
        QFETCH(int, mask);
        QFETCH(QString, text);
        QCOMPARE(AnswerMaskToText(AnswerMask(mask)), text);
    }

    void textToMask_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("mask");
        QTest::newRow("lower case") << "ac" << 5;
        QTest::newRow("any order") << "CA" << 5;
        QTest::newRow("repeated") << "AA" << 1;
        QTest::newRow("all six") << "ABCDEF" << 63;
        QTest::newRow("seven characters") << "ABCDEFA" << 0;
        QTest::newRow("letter past F") << "AG" << 0;
        QTest::newRow("blank inside") << "A B" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("Uncertain") << "Uncertain" << 0;
        QTest::newRow("uncertain lower case") << "uncertain" << 0;
        QTest::newRow("digit") << "A1" << 0;
        QTest::newRow("comma") << "A,B" << 0;
    }
    void textToMask() {
        QFETCH(QString, text);
        QFETCH(int, mask);
        QCOMPARE(int(AnswerTextToMask(text)), mask);
    }

    // The letters printed papers, answer sheets and the grading offer where a
    // question has no option texts.
    void lettersOfEachAnswerType_data() {
        QTest::addColumn<int>("answerType");
        QTest::addColumn<QString>("letters");
        for (const int single : {-1, 0, 1, 5, 6})
            QTest::addRow("single %d", single) << single << "ABCDE";
        for (const int multiple : {2, 3, 4})
            QTest::addRow("multiple %d", multiple) << multiple << "ABCDEF";
    }
    void lettersOfEachAnswerType() {
        QFETCH(int, answerType);
        QFETCH(QString, letters);
        QCOMPARE(AnswerModeLetters(std::int16_t(answerType)), letters);
        QCOMPARE(ModeLetterCount(std::int16_t(answerType)), int(letters.size()));
    }

    void everyMaskRoundTrips() {
        for (int m = 0; m <= 63; ++m)
            QCOMPARE(int(AnswerTextToMask(AnswerMaskToText(AnswerMask(m)))), m);
    }
};

static test::RegisterTest<AnswerCodeTest> registerAnswerCode;
#include "test_answercode.moc"
