// The converter's PDF mode as a whole program: the PDF, the versions as JSON
// and the exit statuses.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include "printtestsupport.h"
#include "programrun.h"
#include "spreadsheet/paperio.h"

using namespace scrivane;
using namespace scrivane::test;

namespace {

ProgramRun Convert(const QStringList& arguments) {
    return RunProgram(QStringLiteral(SCRIVANE_CONVERT), arguments);
}

const QString kFixtures = QStringLiteral(SCRIVANE_FIXTURES "/");

}  // namespace

class PdfConvertTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void writesPdfAndVersions();
    void writesSheetLayout();
    void refusals_data();
    void refusals();

private:
    QTemporaryDir dir_;
    QString paper_;
};

void PdfConvertTest::initTestCase() {
    paper_ = dir_.filePath(QStringLiteral("Unit 3.tpf"));
    const std::vector<QuestionRecord> rows{
        Question(5, "B", "Capital of France?", {"Berlin", "Paris", "Rome", "", "", ""}),
        Question(2, "AC", "Primes", {"two", "four", "three", "All of the above", "", ""}),
        Question(1, "A", "Largest planet", {"Jupiter", "Mars", "", "", "", ""})};
    QVERIFY(WritePaperFile(paper_, rows).WasWritten());
}

void PdfConvertTest::writesPdfAndVersions() {
    const QString pdf = dir_.filePath(QStringLiteral("out.PDF"));
    const QString json = dir_.filePath(QStringLiteral("versions.json"));
    const ProgramRun r =
        Convert({paper_, pdf, "--versions", "3", "--seed", "42", "--shuffle-questions",
                 "--shuffle-options", "--answer-sheet", "--versions-json", json});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray());
    const QString text = PdfText(pdf);
    QVERIFY(text.contains(QStringLiteral("Unit 3")));  // the paper's name heads it
    QVERIFY(text.contains(QStringLiteral("Version C")));
    QVERIFY(text.contains(QStringLiteral("Answer sheet")));

    QFile file(json);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(root.value("seed").toInt(), 42);
    const QJsonArray versions = root.value("versions").toArray();
    QCOMPARE(versions.size(), 3);
    const auto expected = BuildVersions(
        {Question(5, "B", "Capital of France?", {"Berlin", "Paris", "Rome", "", "", ""}),
         Question(2, "AC", "Primes", {"two", "four", "three", "All of the above", "", ""}),
         Question(1, "A", "Largest planet", {"Jupiter", "Mars", "", "", "", ""})},
        {3, true, true, 42});
    for (int v = 0; v < 3; ++v) {
        const QJsonArray questions = versions[v].toObject().value("questions").toArray();
        for (int i = 0; i < 3; ++i) {
            const QJsonObject q = questions[i].toObject();
            const PrintedQuestion& printed = expected[std::size_t(v)].questions[std::size_t(i)];
            QCOMPARE(q.value("source").toInt(), printed.source);
            QCOMPARE(q.value("Answer").toString(), AnswerMaskToText(printed.answer));
            QCOMPARE(q.value("Items").toArray().first().toString(), printed.options[0].text);
        }
    }

    // The same seed writes the same pages; the workbook conversions are as before.
    const QString again = dir_.filePath(QStringLiteral("again.pdf"));
    QCOMPARE(Convert({paper_, again, "--versions", "3", "--seed", "42", "--shuffle-questions",
                      "--shuffle-options", "--answer-sheet"})
                 .exitCode,
             0);
    QCOMPARE(PdfText(again), text);
    const ProgramRun plain = Convert({paper_, "--json"});
    QCOMPARE(plain.exitCode, 0);
    QVERIFY(plain.out.startsWith("{\"valid\": true"));
}

// Each answer sheet's page in the PDF, its bubbles and markers; the student
// number grid as --id-digits asks.
void PdfConvertTest::writesSheetLayout() {
    for (int digits : {-1, 0, 10}) {
        const QString pdf = dir_.filePath(QStringLiteral("sheets.pdf"));
        const QString json = dir_.filePath(QStringLiteral("sheets.json"));
        QStringList arguments{
            paper_, pdf, "--versions", "2", "--answer-sheet", "--sheet-layout-json", json};
        if (digits >= 0) arguments << "--id-digits" << QString::number(digits);
        const ProgramRun r = Convert(arguments);
        QCOMPARE(r.exitCode, 0);
        QFile file(json);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonArray pages = QJsonDocument::fromJson(file.readAll())["pages"].toArray();
        QCOMPARE(pages.size(), 2);
        const QStringList texts = PdfText(pdf).split(u'\f');
        for (int v = 0; v < 2; ++v) {
            const QJsonObject page = pages[v].toObject();
            QCOMPARE(page["version"].toString(), VersionName(v));
            QCOMPARE(page["sheet_page"].toInt(), 1);
            QCOMPARE(page["width"].toDouble(), 595.0);  // A4 where the locale is not American
            const QString text = texts.value(page["page"].toInt() - 1);
            QVERIFY2(text.contains(QStringLiteral("Version %1").arg(VersionName(v))),
                     qPrintable(text));
            QVERIFY(text.contains(QStringLiteral("Answer sheet")));
            int answers = 0, students = 0;
            for (const QJsonValue& bubble : page["bubbles"].toArray()) {
                const bool answer = bubble["kind"].toString() == "answer";
                answers += answer;
                students += !answer;
                if (answer) QVERIFY(bubble["source"].toInt() >= 1);
            }
            QCOMPARE(answers, 3 + 4 + 2);
            QCOMPARE(students, 10 * (digits < 0 ? 8 : digits));
            QCOMPARE(page["markers"].toArray().size(), 4);
        }
    }
}

void PdfConvertTest::refusals_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QString out = QDir::temp().filePath(QStringLiteral("scrivane-never-written.pdf"));
    QTest::newRow("versions 0") << QStringList{"PAPER", out, "--versions", "0"} << 2
                                << "--versions";
    QTest::newRow("versions 27") << QStringList{"PAPER", out, "--versions", "27"} << 2
                                 << "--versions";
    QTest::newRow("seed not a number")
        << QStringList{"PAPER", out, "--seed", "x1"} << 2 << "--seed";
    QTest::newRow("id digits 11") << QStringList{"PAPER", out, "--id-digits", "11"} << 2
                                  << "--id-digits takes 0 to 10";
    QTest::newRow("id digits not a number")
        << QStringList{"PAPER", out, "--id-digits", "eight"} << 2 << "--id-digits";
    QTest::newRow("layout without a sheet")
        << QStringList{"PAPER", out, "--sheet-layout-json", "layout.json"} << 2
        << "--sheet-layout-json needs --answer-sheet";
    QTest::newRow("no value") << QStringList{"PAPER", out, "--heading"} << 2 << "needs a value";
    QTest::newRow("nothing to print")
        << QStringList{"PAPER", out, "--no-paper", "--no-key"} << 2 << "nothing to print";
    QTest::newRow("not a pdf") << QStringList{"PAPER", "out.xls", "--versions", "2"} << 2
                               << "OUT.pdf";
    QTest::newRow("unknown option") << QStringList{"PAPER", out, "--colour"} << 2 << "--colour";
    QTest::newRow("no paper") << QStringList{"/nonexistent/p.tpf", out} << 2 << "no such file";
    QTest::newRow("refused sheet")
        << QStringList{kFixtures + "header-mark-lowercase.libxlsxwriter.xlsx", out} << 1
        << "Invalid format";
    QTest::newRow("folder cannot be written")
        << QStringList{"PAPER", "/nonexistent/out.pdf"} << 2 << "cannot write";
}

void PdfConvertTest::refusals() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    arguments.replaceInStrings(QStringLiteral("PAPER"), paper_);
    const ProgramRun r = Convert(arguments);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
    QVERIFY(!QFile::exists(QDir::temp().filePath(QStringLiteral("scrivane-never-written.pdf"))));
}

QTEST_GUILESS_MAIN(PdfConvertTest)
#include "test_pdfconvert.moc"
