#include <QTest>
#include <cmath>

#include "core/numbers.h"
#include "coretests.h"

using namespace scrivane;

class NumbersTest : public QObject {
    Q_OBJECT
private slots:
    void leadingNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("plain") << "125" << 125.0;
        QTest::newRow("decimal") << "12.5" << 12.5;
        QTest::newRow("trailing letters") << "12abc" << 12.0;
        QTest::newRow("no number") << "abc" << 0.0;
        QTest::newRow("per cent after") << "10%" << 10.0;
        QTest::newRow("per cent first") << "%10" << 0.0;
        QTest::newRow("blanks anywhere") << " 1 2\t3" << 123.0;
        QTest::newRow("second point stops") << "1.2.3" << 1.2;
        QTest::newRow("sign") << "-1" << -1.0;
        QTest::newRow("exponent") << "1e3" << 1000.0;
        QTest::newRow("D exponent") << "2D2" << 200.0;
        QTest::newRow("bare exponent") << "7e" << 7.0;
        QTest::newRow("comma is no separator") << "12,5" << 12.0;
        QTest::newRow("hexadecimal") << "&H1F" << 31.0;
        QTest::newRow("hexadecimal 16-bit") << "&HFFFF" << -1.0;
        QTest::newRow("octal") << "&O17" << 15.0;
        QTest::newRow("lone point") << "." << 0.0;
    }
    void leadingNumber() {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(ReadLeadingNumber(text), value);
    }

    void overflowIsInfinite() {
        QVERIFY(std::isinf(ReadLeadingNumber(u"1e999")));
        QCOMPARE(ReadLeadingNumber(u"1e-999"), 0.0);
        QVERIFY(ReadLeadingNumber(QString(100000, u'9')) > 1e300);
    }

    void roundHalfEven_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("rounded");  // -100000: out of range
        QTest::newRow("0.4") << 0.4 << 0;
        QTest::newRow("0.5") << 0.5 << 0;
        QTest::newRow("1.5") << 1.5 << 2;
        QTest::newRow("2.5") << 2.5 << 2;
        QTest::newRow("3.5") << 3.5 << 4;
        QTest::newRow("-0.5") << -0.5 << 0;
        QTest::newRow("32767") << 32767.0 << 32767;
        QTest::newRow("32767.5") << 32767.5 << -100000;
        QTest::newRow("-32768") << -32768.0 << -32768;
        QTest::newRow("infinite") << HUGE_VAL << -100000;
    }
    void roundHalfEven() {
        QFETCH(double, value);
        QFETCH(int, rounded);
        const auto r = RoundToInt16(value);
        if (rounded == -100000)
            QVERIFY(!r);
        else
            QCOMPARE(int(*r), rounded);
    }

    void formats() {
        QCOMPARE(FormatSingle(10.f), QString("10"));
        QCOMPARE(FormatSingle(12.5f, u','), QString("12,5"));
        QCOMPARE(FormatSingle(0.1f), QString("0.1"));
        QCOMPARE(FormatSingle(25000.f), QString("25000"));
        QCOMPARE(ShortestSingle(12.5f), QString("12.5"));
        QCOMPARE(ShortestSingle(0.1f), QString("0.1"));
    }
};

static test::RegisterTest<NumbersTest> registerNumbers;
#include "test_numbers.moc"
