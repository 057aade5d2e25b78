// Which options keep their place when options are reordered.
#include <QTest>

#include "core/optionpins.h"
#include "coretests.h"

namespace scrivane::test {

class OptionPinsTest : public QObject {
    Q_OBJECT
private slots:
    void pins_data() {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("pinned");  // the letters that stay
        QTest::newRow("plain") << QStringList{"Paris", "Rome", "Oslo", "", "", ""} << "";
        QTest::newRow("all of the above")
            << QStringList{"red", "blue", "  All of the above.", "", "", ""} << "C";
        QTest::newRow("none, any case")
            << QStringList{"1", "2", "3", "NONE OF THE ABOVE", "", ""} << "D";
        QTest::newRow("names letters") << QStringList{"x", "y", "Both A and B", "", "", ""} << "C";
        QTest::newRow("letter of an empty option")
            << QStringList{"x", "y", "only F", "", "", ""} << "";
        QTest::newRow("letters inside words")
            << QStringList{"Cat", "A dog", "DNA", "", "", ""} << "";
        QTest::newRow("letter at the end") << QStringList{"x", "y", "A or B", "z", "", ""} << "C";
        QTest::newRow("neither") << QStringList{"a", "b", "Neither of these", "", "", ""} << "C";
    }
    void pins() {
        QFETCH(QStringList, items);
        QFETCH(QString, pinned);
        std::array<QString, 6> options;
        for (int i = 0; i < 6; ++i) options[std::size_t(i)] = items.value(i);
        QString found;
        for (int i = 0; i < 6; ++i)
            if (IsPinnedOption(options, i)) found += QChar(u'A' + i);
        QCOMPARE(found, pinned);
    }
};

static RegisterTest<OptionPinsTest> registered;

}  // namespace scrivane::test

#include "test_optionpins.moc"
