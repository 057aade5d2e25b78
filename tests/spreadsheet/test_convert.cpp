// The converter as a whole program: its exit statuses, its JSON and the
// workbook it writes.
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "options.h"
#include "programrun.h"
#include "sheettestsupport.h"

using namespace scrivane::test;
namespace convert = scrivane::convert;

namespace {

using Result = ProgramRun;

Result Convert(const QStringList& arguments) {
    return RunProgram(QStringLiteral(SCRIVANE_CONVERT), arguments);
}

QJsonObject ExpectedOf(const QString& fixture) {
    QFile file(QStringLiteral(SCRIVANE_FIXTURES "/") + fixture + QStringLiteral(".expected.json"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

const QString kFixtures = QStringLiteral(SCRIVANE_FIXTURES "/");

}  // namespace

class ConvertTest : public QObject {
    Q_OBJECT
private slots:
    void jsonOfAValidSheet();
    void refusedSheet();
    void convertsAndReadsBack();
    void badArgumentsAndFiles_data();
    void badArgumentsAndFiles();
    void helpListsEveryMode();
    void usagesComeFromTheOptionTables();
    void argumentsScannedByTheTable_data();
    void argumentsScannedByTheTable();
    void workbookJsonLoadsNoWriter();
};

void ConvertTest::jsonOfAValidSheet() {
    const QString fixture = QStringLiteral("texts-blanks-chinese-long.lo.xls");
    const Result r = Convert({kFixtures + fixture, QStringLiteral("--json")});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QByteArray());
    QVERIFY(r.out.endsWith("}\n"));
    QCOMPARE(r.out.count('\n'), 1);  // one object on one line
    QJsonParseError error;
    const QJsonObject printed = QJsonDocument::fromJson(r.out, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonObject expected = ExpectedOf(fixture);
    QCOMPARE(printed.value("valid"), QJsonValue(true));
    QCOMPARE(JsonRows(printed.value("questions").toArray()),
             JsonRows(expected.value("questions").toArray()));
    // Score is the shortest decimal of the single-precision mark.
    QVERIFY(Convert({kFixtures + "marks.xlwt.xls", "--json"}).out.contains("\"Score\": 12.5,"));
}

void ConvertTest::refusedSheet() {
    Result r = Convert({kFixtures + "header-mark-lowercase.libxlsxwriter.xlsx", "--json"});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, QByteArray("{\"valid\": false}\n"));
    QCOMPARE(r.err,
             QByteArray("Invalid format\nheader cell B1 holds \"mark\", expected \"Mark\"\n"));

    QTemporaryDir dir;
    const QString output = dir.filePath("out.xls");
    r = Convert({kFixtures + "mark-250.5.xlwt.xls", output});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, QByteArray());
    QCOMPARE(r.err, QByteArray("Invalid format\nrow 3: mark 250.5 is outside 0 to 250\n"));
    QVERIFY(!QFile::exists(output));

    r = Convert({kFixtures + "header-only.openpyxl.xlsx", "--json"});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, QByteArray("Invalid format\nno data rows\n"));
}

// An .xlsx and a BIFF5 workbook converted to .xls give the same paper.
void ConvertTest::convertsAndReadsBack() {
    QTemporaryDir dir;
    for (const QString& fixture : {QStringLiteral("texts-blanks-chinese-long.lo.xlsx"),
                                   QStringLiteral("header-stops-at-option-e.gnumeric-biff5.xls")}) {
        const QString output = dir.filePath(QStringLiteral("converted.tpf"));
        const Result r = Convert({kFixtures + fixture, output});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out + r.err, QByteArray());
        const Result back = Convert({output, QStringLiteral("--json")});
        QCOMPARE(back.exitCode, 0);
        QCOMPARE(JsonRows(QJsonDocument::fromJson(back.out).object().value("questions").toArray()),
                 JsonRows(ExpectedOf(fixture).value("questions").toArray()));
    }
}

void ConvertTest::badArgumentsAndFiles_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("message");
    const QString plain = kFixtures + "plain-3q.lo.xls";
    QTest::newRow("no arguments") << QStringList{}
                                  << QByteArray("expected INPUT --json or INPUT OUTPUT");
    QTest::newRow("input only") << QStringList{plain}
                                << QByteArray("expected INPUT --json or INPUT OUTPUT");
    QTest::newRow("json and output") << QStringList{plain, "out.xls", "--json"}
                                     << QByteArray("expected INPUT --json or INPUT OUTPUT");
    QTest::newRow("unknown option")
        << QStringList{plain, "--xml"} << QByteArray("unknown option --xml");
    QTest::newRow("missing input")
        << QStringList{kFixtures + "nothing.xls", "--json"}
        << QByteArray("cannot read " + kFixtures.toUtf8() + "nothing.xls: no such file");
    QTest::newRow("not a workbook")
        << QStringList{kFixtures + "README.md", "--json"}
        << QByteArray("cannot read " + kFixtures.toUtf8() + "README.md: ");
    QTest::newRow("unwritable output") << QStringList{plain, "/nonexistent-folder/out.xls"}
                                       << QByteArray("cannot write /nonexistent-folder/out.xls: ");
}

void ConvertTest::badArgumentsAndFiles() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, message);
    const Result r = Convert(arguments);
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.out, QByteArray());
    QVERIFY2(r.err.startsWith("scrivane-convert: " + message), r.err.constData());
}

// --help answers alike wherever the command line reaches it, and names every
// mode with its options.
void ConvertTest::helpListsEveryMode() {
    const Result help = Convert({"--help"});
    QCOMPARE(help.exitCode, 0);
    QCOMPARE(help.err, QByteArray());
    for (const QByteArray& usage :
         {QByteArray("INPUT --json"), QByteArray("INPUT OUTPUT [--to FORMAT]"),
          QByteArray("PAPER OUT.pdf"), QByteArray("[--sheet-layout-json FILE]"),
          QByteArray("PAPER --check"), QByteArray("PAPER OUT --rebalance"),
          QByteArray("PAPER --grade SCAN..."), QByteArray("[--scoring partial]")})
        QVERIFY2(help.out.contains(usage), usage.constData());
    // Read by scrivane-convert itself, and by the program it hands over to.
    for (const QStringList& arguments :
         {QStringList{"-h"}, QStringList{kFixtures + "plain-3q.lo.xls", "--json", "--help"},
          QStringList{"--help", "--to", "csv"}}) {
        const Result again = Convert(arguments);
        QCOMPARE(again.exitCode, 0);
        QCOMPARE(again.out, help.out);
    }
}

// Each mode's usage shows every option of its table, and the usage of the
// program that every other command reaches lists all of them with their help:
// an option added to a table cannot be missing from the texts.
void ConvertTest::usagesComeFromTheOptionTables() {
    const QByteArray help = convert::HelpText();
    const QByteArray formats = convert::FormatsUsage();
    for (const convert::Mode mode :
         {convert::Mode::Formats, convert::Mode::Pdf, convert::Mode::Check, convert::Mode::Grade}) {
        const QByteArray usage = convert::ModeUsage(mode);
        QVERIFY2(!usage.contains('{') && !help.contains('{'), usage.constData());
        for (const convert::OptionRow& row : convert::RowOf(mode).options) {
            QVERIFY2(usage.contains(row.name) && help.contains(row.name), row.name);
            QVERIFY2(formats.contains(QByteArray(row.help) + '\n'), row.name);
        }
    }
    // The formats program's usage names every mode as --help does.
    QVERIFY(formats.startsWith(help.left(help.indexOf("Reads the paper"))));
    QVERIFY(formats.contains("[--id-digits N]") && formats.contains("PAPER --grade SCAN..."));
    const Result refused = Convert({kFixtures + "plain-3q.lo.xls", "--xml"});
    QCOMPARE(refused.err, "scrivane-convert: unknown option --xml\n" + formats);
}

// The reading that every mode shares: "--" ends the options, "-" is a file,
// a value is the next argument whatever it looks like, and only where the
// mode allows it may it follow "=".
void ConvertTest::argumentsScannedByTheTable_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("joined");
    QTest::addColumn<QStringList>("files");
    // Each option given: its text, then its value, "?" for a value missing
    // and "!" for an option the table does not hold.
    QTest::addColumn<QStringList>("options");
    QTest::newRow("files and a value") << QStringList{"in", "--to", "csv", "out"} << false
                                       << QStringList{"in", "out"} << QStringList{"--to", "csv"};
    QTest::newRow("value that looks like an option")
        << QStringList{"in", "--to", "--json"} << false << QStringList{"in"}
        << QStringList{"--to", "--json"};
    QTest::newRow("value missing at the end")
        << QStringList{"in", "--json", "--from"} << false << QStringList{"in"}
        << QStringList{"--json", "", "--from", "?"};
    QTest::newRow("dashes end the options")
        << QStringList{"--", "--json", "-"} << false << QStringList{"--json", "-"} << QStringList{};
    QTest::newRow("unknown, and a flag takes no value")
        << QStringList{"--frob", "x", "--json", "y"} << false << QStringList{"x", "y"}
        << QStringList{"--frob", "!", "--json", ""};
    QTest::newRow("joined value") << QStringList{"in", "--to=gift", "--from=", "o"} << true
                                  << QStringList{"in", "o"}
                                  << QStringList{"--to", "gift", "--from", ""};
    QTest::newRow("joined value not taken")
        << QStringList{"--to=gift", "--json=1", "--tomato"} << false << QStringList{}
        << QStringList{"--to=gift", "!", "--json=1", "!", "--tomato", "!"};
}

void ConvertTest::argumentsScannedByTheTable() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, joined);
    QFETCH(QStringList, files);
    QFETCH(QStringList, options);
    const convert::ScannedArguments given =
        convert::ScanArguments(arguments, convert::RowOf(convert::Mode::Formats).options, joined);
    QCOMPARE(given.files, files);
    QStringList seen;
    for (const convert::GivenOption& option : given.options) {
        seen << option.text;
        if (!option.row)
            seen << QStringLiteral("!");
        else if (option.row->TakesValue())
            seen << option.value.value_or(QStringLiteral("?"));
        else
            seen << QString();
    }
    QCOMPARE(seen, options);
}

// Printing a workbook as JSON is what scripts run by the hundred: the program
// that does it loads neither Qt Gui nor a writer's libraries.
void ConvertTest::workbookJsonLoadsNoWriter() {
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {QStringLiteral(SCRIVANE_CONVERT)});
    if (!ldd.waitForFinished() || ldd.exitCode() != 0) QSKIP("ldd cannot list the libraries");
    const QByteArray libraries = ldd.readAllStandardOutput();
    QVERIFY(libraries.contains("libQt6Core"));
    for (const char* heavy : {"libQt6Gui", "libgsf", "libxlsxwriter", "libcrypto", "libgio"})
        QVERIFY2(!libraries.contains(heavy), heavy);
}

QTEST_GUILESS_MAIN(ConvertTest)
#include "test_convert.moc"
