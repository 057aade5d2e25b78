// Importing question sheets: the real workbooks of the fixtures folder, the
// sheet rules as one table of workbooks built here, and failing steps.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include "sheettestsupport.h"
#include "spreadsheet/codec/biff8_writer.h"
#include "spreadsheet/workbookcommand.h"

using namespace scrivane;
using namespace scrivane::test;

namespace {

QString DescribeRows(const std::vector<QStringList>& rows) {
    QStringList lines;
    for (const QStringList& row : rows) lines << row.join(u'|').left(200);
    return lines.join(u'\n');
}

// A paper that must survive a refused import unchanged.
void FillWithSentinel(SheetHarness& h) {
    FillPaper(h, {{"7", "B", "kept", "", "", "", "", "", ""}});
    h.module.PaperModified = true;
    h.module.PaperFileName = QStringLiteral("/papers/kept.tpf");
}

void VerifySentinel(SheetHarness& h) {
    QCOMPARE(PaperRows(h.paper.BoundTable()),
             (std::vector<QStringList>{{"7", "B", "kept", "", "", "", "", "", ""}}));
    QCOMPARE(h.module.ScoreList(1), 7.0f);
    QCOMPARE(h.module.PaperModified, true);
    QCOMPARE(h.module.PaperFileName, QStringLiteral("/papers/kept.tpf"));
}

void VerifyInvalidFormatShown(const SheetHarness& h) {
    QCOMPARE(h.prompts.messages.size(), std::size_t(1));
    const MessageRequest& m = h.prompts.messages.front();
    QCOMPARE(m.text, QStringLiteral("Invalid format"));
    QCOMPARE(m.title, QStringLiteral("Error"));
    QCOMPARE(m.icon, MsgIcon::Exclamation);
    QCOMPARE(m.buttons, MsgButtons::Ok);
}

std::vector<SheetRow> WithHeader(std::vector<SheetRow> rows) {
    rows.insert(rows.begin(), HeaderRow());
    return rows;
}

QStringList Expect(const char* score, const char* answer = "A", const char* title = "Title") {
    return {score, answer, title, "a", "b", "c", "d", "e", "f"};
}

struct ImportCase {
    const char* name;
    std::function<codec::Workbook()> book;
    QString reason;  // empty: the sheet imports
    int count;
    std::vector<QStringList> rows;  // when given, the whole paper
    QLocale::Language locale;
};

std::vector<ImportCase> ImportCases() {
    std::vector<ImportCase> cases;
    auto add = [&](const char* name, std::function<codec::Workbook()> book, QString reason,
                   int count = 0, std::vector<QStringList> rows = {},
                   QLocale::Language locale = QLocale::C) {
        cases.push_back({name, std::move(book), std::move(reason), count, std::move(rows), locale});
    };
    auto sheet = [](std::vector<SheetRow> rows) { return [rows] { return MakeBook(rows); }; };

    // --- Headers ---
    {
        SheetRow header = HeaderRow();
        header[1] = T("  Mark  ");
        add("header with blanks around", sheet({header, QuestionRow(1, N(3))}), {}, 1,
            {Expect("3")});
        header[1] = T("mark");
        add("header in lower case", sheet({header, QuestionRow(1, N(3))}),
            R"(header cell B1 holds "mark", expected "Mark")");
        header = HeaderRow();
        header[0] = T("Question No");
        add("header Question No", sheet({header, QuestionRow(1, N(3))}),
            R"(header cell A1 holds "Question No", expected "Question NO")");
        header = HeaderRow();
        header[8] = T("Option\tE");
        add("header with a tab", sheet({header, QuestionRow(1, N(3))}),
            "header cell I1 holds \"Option\tE\", expected \"Option E\"");
        header = HeaderRow();
        header[9] = kBlank;
        add("J1 empty, options F still read", sheet({header, QuestionRow(1, N(3))}), {}, 1,
            {Expect("3")});
        header[9] = T("   ");
        add("J1 only blanks", sheet({header, QuestionRow(1, N(3))}), {}, 1, {Expect("3")});
        header[9] = T("Option G");
        add("J1 another text", sheet({header, QuestionRow(1, N(3))}),
            R"(header cell J1 holds "Option G", expected "Option F" or nothing)");
        header = HeaderRow();
        header.resize(9);
        SheetRow row = QuestionRow(1, N(3));
        row.resize(9);
        add("header and rows stop after option E", sheet({header, row}), {}, 1,
            {{"3", "A", "Title", "a", "b", "c", "d", "e", ""}});
        header = HeaderRow();
        header[3] = N(4);
        add("a number in a header", sheet({header, QuestionRow(1, N(3))}),
            R"(header cell D1 holds "4", expected "Question Title")");
        header[3] = codec::Cell::Error(0x07);
        add("an error value in a header", sheet({header, QuestionRow(1, N(3))}),
            "header cell D1 cannot be read: the cell holds an error value, which has no text");
    }

    // --- The end of the data and the capacity ---
    {
        std::vector<SheetRow> rows{HeaderRow()};
        for (int i = 1; i <= 100; ++i) rows.push_back(QuestionRow(i, N(i)));
        add("100 data rows", sheet(rows), {}, 100);
        rows.push_back(QuestionRow(101, N(1)));
        add("101 data rows", sheet(rows), "more than 100 data rows");
        for (int i = 0; i < 50; ++i) rows.push_back(QuestionRow(102 + i, N(1)));
        add("151 data rows", sheet(rows), "more than 100 data rows");
        rows.resize(102);
        rows[101] = QuestionRow(101, kBlank);  // row 102 ends the data: 100 rows
        add("100 rows, then a row without a mark", sheet(rows), {}, 100);
    }
    add("only the header", sheet({HeaderRow()}), "no data rows");
    add("an empty sheet", sheet({}), R"(header cell A1 holds "", expected "Question NO")");
    add("data below a gap row are ignored",
        sheet(WithHeader({QuestionRow(1, N(2)), QuestionRow(2, N(3)), {}, QuestionRow(4, N(9))})),
        {}, 2, {Expect("2"), Expect("3")});
    add("a number of blanks ends the data",
        sheet(WithHeader({QuestionRow(1, N(2)), {T("   "), N(5), T("B")}, QuestionRow(3, N(9))})),
        {}, 1, {Expect("2")});
    add("a mark of blanks ends the data",
        sheet(WithHeader({QuestionRow(1, N(2)), {N(2), T(" "), T("B")}})), {}, 1, {Expect("2")});
    add("a tab is not a blank", sheet(WithHeader({{T("\t"), T("\t5"), T("B")}})), {}, 1,
        {{"5", "B", "", "", "", "", "", "", ""}});
    add("an error value in column A ends the data",
        sheet(WithHeader({QuestionRow(1, N(2)), {codec::Cell::Error(0x2A), N(5)}})), {}, 1,
        {Expect("2")});
    add("numbers 5, 7, 9 become 1, 2, 3",
        sheet(WithHeader({QuestionRow(5, N(1)), QuestionRow(7, N(2)), QuestionRow(9, N(3))})), {},
        3, {Expect("1"), Expect("2"), Expect("3")});
    add("a text number", sheet(WithHeader({{T("one"), N(1), T("C")}})), {}, 1,
        {{"1", "C", "", "", "", "", "", "", ""}});
    {
        codec::Workbook book;
        book.sheets.push_back(MakeSheet(WithHeader({QuestionRow(1, N(1))}), "First"));
        book.sheets.push_back(MakeSheet({{T("not a question sheet")}}, "Second"));
        book.activeSheet = 1;
        add(
            "the active sheet is judged", [book] { return book; },
            R"(header cell A1 holds "not a question sheet", expected "Question NO")");
        book.sheets[1] = MakeSheet(WithHeader({QuestionRow(1, N(8), "E")}), "Second");
        add("the active second sheet is read", [book] { return book; }, {}, 1, {Expect("8", "E")});
    }

    // --- Marks ---
    add("marks 0, 250, 12.5 and texts",
        sheet(WithHeader({QuestionRow(1, N(0)), QuestionRow(2, N(250)), QuestionRow(3, N(12.5)),
                          QuestionRow(4, T("12abc")), QuestionRow(5, T("abc")),
                          QuestionRow(6, T(" 1 2.5 ")), QuestionRow(7, T("&H1F")),
                          QuestionRow(8, T("2.5E1")), QuestionRow(9, T("True"))})),
        {}, 9,
        {Expect("0"), Expect("250"), Expect("12.5"), Expect("12"), Expect("0"), Expect("12.5"),
         Expect("31"), Expect("25"), Expect("0")});
    add("a boolean mark reads as 0",
        sheet(WithHeader({QuestionRow(1, codec::Cell::Boolean(true))})), {}, 1, {Expect("0")});
    add("mark 250.5", sheet(WithHeader({QuestionRow(1, N(250)), QuestionRow(2, N(250.5))})),
        "row 3: mark 250.5 is outside 0 to 250");
    add("mark -1", sheet(WithHeader({QuestionRow(1, N(-1))})),
        "row 2: mark -1 is outside 0 to 250");
    add("mark text 250.5", sheet(WithHeader({QuestionRow(1, T("250.5"))})),
        "row 2: mark 250.5 is outside 0 to 250");
    add("mark text -0.5", sheet(WithHeader({QuestionRow(1, T("-0.5"))})),
        "row 2: mark -0.5 is outside 0 to 250");
    add("a mark beyond single precision", sheet(WithHeader({QuestionRow(1, N(1e300))})),
        "row 2: mark inf is outside 0 to 250");
    add("mark 0.1 in single precision", sheet(WithHeader({QuestionRow(1, N(0.1))})), {}, 1,
        {Expect("0.1")});
    // A numeric cell is its number whatever the user's decimal separator.
    add("numeric marks under a comma locale",
        sheet(WithHeader({QuestionRow(1, N(12.5)), QuestionRow(2, N(0.25))})), {}, 2,
        {Expect("12.5"), Expect("0.25")}, QLocale::German);
    add("numbers in texts take the user's form",
        sheet(WithHeader({{N(1), N(2), T("A"), N(2.5), N(1e20), N(-3), N(1.0 / 3),
                           codec::Cell::Boolean(false), T("x"), T("y")}})),
        {}, 1, {{"2", "A", "2,5", "1E+20", "-3", "0,333333333333333", "False", "x", "y"}},
        QLocale::German);
    add("numbers in texts, point locale",
        sheet(WithHeader(
            {{N(1), N(2), T("A"), N(2.5), N(123456789012345678.0), N(0.0001), N(-0.0)}})),
        {}, 1, {{"2", "A", "2.5", "1.23456789012346E+17", "0.0001", "0", "", "", ""}});

    // --- Answers and texts ---
    {
        const char* answers[][2] = {{"ca", "AC"},
                                    {"aab", "AB"},
                                    {"", "Uncertain"},
                                    {"G", "Uncertain"},
                                    {"Uncertain", "Uncertain"},
                                    {"uncertain", "Uncertain"},
                                    {"ABCDEFA", "Uncertain"},
                                    {"A B", "Uncertain"},
                                    {"  bd  ", "BD"},
                                    {"F", "F"},
                                    {"fedcba", "ABCDEF"}};
        std::vector<SheetRow> rows{HeaderRow()};
        std::vector<QStringList> expected;
        int n = 0;
        for (const auto& a : answers) {
            rows.push_back(QuestionRow(++n, N(1), a[0]));
            expected.push_back(Expect("1", a[1]));
        }
        add("answers are normalised", sheet(rows), {}, n, expected);
    }
    add("texts keep their blanks",
        sheet(WithHeader({{N(1), N(1), T("A"), T("  Title  "), T(" a"), T("b "), T("   "),
                           T("\tTab"), T(u8"选项 E "), T("line\nbreak")}})),
        {}, 1, {{"1", "A", "  Title  ", " a", "b ", "   ", "\tTab", u8"选项 E ", "line\nbreak"}});
    add("an error value in a text cell leaves it empty",
        sheet(
            WithHeader({{N(1), N(1), codec::Cell::Error(0x07), codec::Cell::Error(0x07), T("a")}})),
        {}, 1, {{"1", "Uncertain", "", "a", "", "", "", "", ""}});
    return cases;
}

}  // namespace

class ImportTest : public QObject {
    Q_OBJECT
private slots:
    void fixtures_data();
    void fixtures();
    void sheetRules_data();
    void sheetRules();
    void failingSteps_data();
    void failingSteps();
    void unreadableFiles();
    void succeededImportSetsTheState();
};

void ImportTest::fixtures_data() {
    QTest::addColumn<QString>("workbook");
    const QDir dir(QStringLiteral(SCRIVANE_FIXTURES));
    const QStringList expected =
        dir.entryList({QStringLiteral("*.expected.json")}, QDir::Files, QDir::Name);
    QVERIFY(expected.size() >= 15);
    for (const QString& name : expected) {
        const QString workbook = name.chopped(int(qstrlen(".expected.json")));
        // The question banks (CSV, Moodle XML, GIFT, Aiken) are not workbooks:
        // the interchange tests read them.
        const QString suffix = QFileInfo(workbook).suffix();
        if (suffix != u"xls" && suffix != u"xlsx" && suffix != u"ods") continue;
        QTest::newRow(qPrintable(workbook)) << dir.filePath(workbook);
    }
}

// Every fixture through DoImport and through the converter's JSON.
void ImportTest::fixtures() {
    QFETCH(QString, workbook);
    QFile file(workbook + QStringLiteral(".expected.json"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject expected = QJsonDocument::fromJson(file.readAll()).object();
    QVERIFY(expected.contains("valid"));
    const bool valid = expected.value("valid").toBool();

    SheetHarness h;
    FillWithSentinel(h);
    ImportReport report;
    QCOMPARE(h.Import(workbook, true, &report), valid);
    const ConverterRun run = RunConverter({workbook, {}, true});
    QCOMPARE(run.exitCode, valid ? 0 : 1);
    const QJsonObject printed = QJsonDocument::fromJson(run.out).object();
    QCOMPARE(printed.value("valid").toBool(!valid), valid);

    if (!valid) {
        QCOMPARE(report.outcome, ImportReport::Outcome::Rejected);
        QVERIFY(!report.reason.isEmpty());
        VerifyInvalidFormatShown(h);
        VerifySentinel(h);
        QCOMPARE(printed.keys(), QStringList{"valid"});
        QVERIFY(run.err.startsWith("Invalid format\n" + report.reason.toUtf8() + "\n"));
        return;
    }
    bool expectedNumbered = false, importedNumbered = false, printedNumbered = false;
    const auto want = JsonRows(expected.value("questions").toArray(), &expectedNumbered);
    const auto got = PaperRows(h.paper.BoundTable(), &importedNumbered);
    QVERIFY(expectedNumbered && importedNumbered);
    QVERIFY2(got == want, qPrintable(DescribeRows(got)));
    QCOMPARE(JsonRows(printed.value("questions").toArray(), &printedNumbered), want);
    QVERIFY(printedNumbered);
    QCOMPARE(h.prompts.Texts(), QStringList{"Import succeed"});
}

void ImportTest::sheetRules_data() {
    QTest::addColumn<int>("index");
    const auto cases = ImportCases();
    for (std::size_t i = 0; i < cases.size(); ++i) QTest::newRow(cases[i].name) << int(i);
}

// Each workbook is written as a real file and imported from it.
void ImportTest::sheetRules() {
    QFETCH(int, index);
    const ImportCase c = ImportCases()[std::size_t(index)];
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sheet.xls"));
    codec::WriteBiff8File(c.book(), path.toStdString());

    QLocale::setDefault(QLocale(c.locale));
    SheetHarness h;
    FillWithSentinel(h);
    ImportReport report;
    const bool imported = h.Import(path, false, &report);
    QLocale::setDefault(QLocale::c());

    QCOMPARE(report.reason, c.reason);
    QCOMPARE(imported, c.reason.isEmpty());
    if (!imported) {
        VerifyInvalidFormatShown(h);
        VerifySentinel(h);
        return;
    }
    QVERIFY(h.prompts.messages.empty());  // the open form confirms nothing
    bool numbered = false;
    const auto got = PaperRows(h.paper.BoundTable(), &numbered);
    QVERIFY(numbered);
    QCOMPARE(int(got.size()), c.count);
    if (!c.rows.empty()) QVERIFY2(got == c.rows, qPrintable(DescribeRows(got)));
}

void ImportTest::failingSteps_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("reason");  // "" for a succeeding import
    QTest::addColumn<QStringList>("firstRow");
    const QStringList normal = Expect("3", "AB");
    QTest::newRow("create") << "create" << 0 << 0 << "the spreadsheet application cannot be started"
                            << normal;
    QTest::newRow("open") << QString(xlop::Open.data()) << 0 << 0 << "Workbooks.Open failed"
                          << normal;
    QTest::newRow("active sheet") << QString(xlop::ActiveSheet.data()) << 0 << 0
                                  << R"(header cell A1 cannot be read: there is no sheet object)"
                                  << normal;
    QTest::newRow("header cell") << QString(xlop::CellRead.data()) << 1 << 2
                                 << "header cell B1 cannot be read: cells.read failed" << normal;
    QTest::newRow("mark cell during the scan")
        << QString(xlop::CellRead.data()) << 2 << 2 << "no data rows" << normal;
    QTest::newRow("version") << QString(xlop::Version.data()) << 0 << 0 << "" << normal;
    QTest::newRow("answer cell") << QString(xlop::CellRead.data()) << 2 << 3 << ""
                                 << Expect("3", "Uncertain");
    QTest::newRow("title cell") << QString(xlop::CellRead.data()) << 2 << 4 << ""
                                << Expect("3", "AB", "");
    QTest::newRow("option F cell") << QString(xlop::CellRead.data()) << 2 << 10 << ""
                                   << QStringList{"3", "AB", "Title", "a", "b", "c", "d", "e", ""};
    QTest::newRow("close") << QString(xlop::Close.data()) << 0 << 0 << "" << normal;
    QTest::newRow("quit") << QString(xlop::Quit.data()) << 0 << 0 << "" << normal;
}

// A failing step is skipped; what cannot be read ends as "Invalid format",
// and the workbook is still closed and the instance ended.
void ImportTest::failingSteps() {
    QFETCH(QString, operation);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, reason);
    QFETCH(QStringList, firstRow);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("paper.tpf"));
    codec::WriteBiff8File(
        MakeBook(WithHeader({QuestionRow(1, N(3), "AB"), QuestionRow(2, N(4), "C")})),
        path.toStdString());
    SheetHarness h;
    FillWithSentinel(h);
    if (operation == "create")
        h.excel.failCreate = true;
    else if (row == 0)
        h.excel.failing.insert(operation.toStdString());
    else
        h.excel.failingAt.insert({operation.toStdString(), row, column});

    ImportReport report;
    const bool imported = h.Import(path, true, &report);
    QCOMPARE(report.reason, reason);
    QCOMPARE(imported, reason.isEmpty());
    QCOMPARE(h.platform.waitDepth, 0);
    QCOMPARE(h.platform.pendingEventRuns, 1);
    if (operation != "create") {
        QCOMPARE(h.excel.Count(xlop::Close), 1);
        QCOMPARE(h.excel.Count(xlop::Quit), 1);
    }
    if (!imported) {
        QCOMPARE(report.outcome, operation == "create" || operation == xlop::Open.data()
                                     ? ImportReport::Outcome::Unreadable
                                     : ImportReport::Outcome::Rejected);
        VerifyInvalidFormatShown(h);
        VerifySentinel(h);
        return;
    }
    const auto got = PaperRows(h.paper.BoundTable());
    QCOMPARE(got.size(), std::size_t(2));
    QCOMPARE(got[0], firstRow);
    QCOMPARE(got[1], Expect("4", "C"));
}

// Files that are no workbook: refused as "Invalid format", paper kept.
void ImportTest::unreadableFiles() {
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("notes.xls"));
    QFile file(text);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Question NO,Mark,Answer\n1,2,A\n");
    file.close();
    const QString truncated = dir.filePath(QStringLiteral("truncated.xls"));
    QFile::copy(QStringLiteral(SCRIVANE_FIXTURES "/plain-3q.lo.xls"), truncated);
    QFile cut(truncated);
    QVERIFY(cut.open(QIODevice::ReadWrite));
    QVERIFY(cut.resize(cut.size() / 3));
    cut.close();

    for (const QString& path :
         {text, truncated, dir.filePath(QStringLiteral("missing.xls")), dir.path()}) {
        SheetHarness h;
        FillWithSentinel(h);
        ImportReport report;
        QVERIFY2(!h.Import(path, true, &report), qPrintable(path));
        QCOMPARE(report.outcome, ImportReport::Outcome::Unreadable);
        QVERIFY(!report.reason.isEmpty());
        VerifyInvalidFormatShown(h);
        VerifySentinel(h);
        QCOMPARE(h.platform.waitDepth, 0);
    }
}

// The state after an import: all of it at once, the first question current.
void ImportTest::succeededImportSetsTheState() {
    SheetHarness h;
    FillPaper(h, {Expect("1"), Expect("2"), Expect("3"), Expect("4")});
    for (int i = 1; i <= 100; ++i) h.module.ScoreList(i) = 99;
    h.module.PaperModified = true;
    h.module.PaperFileName = QStringLiteral("/papers/old.tpf");
    const std::vector<QuestionRecord> oldRows = h.paper.BoundTable().Records();

    // The paper is still the old one when the confirmation shows.
    h.prompts.onMessage = [&](const MessageRequest& m) {
        QCOMPARE(m.text, QStringLiteral("Import succeed"));
        QCOMPARE(m.title, QStringLiteral("Message"));
        QCOMPARE(m.icon, MsgIcon::Information);
        QVERIFY(h.paper.BoundTable().Records() == oldRows);
        QCOMPARE(h.module.PaperModified, true);
        QCOMPARE(h.platform.waitDepth, 0);
    };
    QVERIFY(h.Import(QStringLiteral(SCRIVANE_FIXTURES "/plain-3q.lo.xls")));
    QCOMPARE(h.prompts.messages.size(), std::size_t(1));
    QCOMPARE(h.paper.BoundTable().AbsolutePosition(), 1);
    QCOMPARE(h.module.ScoreList(1), 5.0f);
    QCOMPARE(h.module.ScoreList(2), 10.0f);
    QCOMPARE(h.module.ScoreList(3), 2.5f);
    for (int i = 4; i <= 100; ++i) QCOMPARE(h.module.ScoreList(i), 0.0f);
    QCOMPARE(h.paper.Total(), 17.5);
    QCOMPARE(h.paper.QuestionCount(), 3);
    QCOMPARE(h.module.PaperModified, false);
    QCOMPARE(h.module.PaperFileName, QString());
}

QTEST_GUILESS_MAIN(ImportTest)
#include "test_import.moc"
