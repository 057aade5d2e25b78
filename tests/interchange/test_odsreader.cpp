// The OpenDocument spreadsheet reader on crafted packages: cell values and
// texts as spreadsheet programs show them, repeated rows and cells, the
// sheet the document opens on, and packages that are no spreadsheet or are
// built to cost a lot.
#include <QElapsedTimer>
#include <QTest>
#include <span>

#include "interchange/workbooks.h"
#include "spreadsheet/codec/reader.h"

using namespace scrivane;
using codec::Cell;

namespace {

QByteArray Content(const QByteArray& tables) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content "
           "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
           "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
           "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body>"
           "<office:spreadsheet>" +
           tables + "</office:spreadsheet></office:body></office:document-content>";
}

QByteArray Package(const QByteArray& content, const QByteArray& settings = {},
                   const QByteArray& type = "application/vnd.oasis.opendocument.spreadsheet") {
    std::vector<std::pair<QByteArray, QByteArray>> members = {{"mimetype", type},
                                                              {"content.xml", content}};
    if (!settings.isEmpty()) members.push_back({"settings.xml", settings});
    return interchange::ZipPackage(members).bytes;
}

codec::Workbook Read(const QByteArray& package, const codec::ReadScope& scope = {}) {
    return codec::ReadWorkbookBytes(
        std::span(reinterpret_cast<const std::uint8_t*>(package.constData()),
                  std::size_t(package.size())),
        scope);
}

QString Failure(const QByteArray& package, const codec::ReadScope& scope = {}) {
    try {
        Read(package, scope);
    } catch (const codec::WorkbookError& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

QByteArray Cell1(const QByteArray& cell) {
    return Content("<table:table table:name=\"S\"><table:table-row>" + cell +
                   "</table:table-row></table:table>");
}

}  // namespace

class OdsReaderTest : public QObject {
    Q_OBJECT
private slots:
    void cells_data();
    void cells();
    void repeatedRowsAndCells();
    void activeSheet();
    void refused_data();
    void refused();
    void costlyRepeatsStayCheap();
};

void OdsReaderTest::cells_data() {
    QTest::addColumn<QByteArray>("cell");
    QTest::addColumn<Cell>("expected");
    QTest::newRow("number") << QByteArray(
                                   "<table:table-cell office:value-type=\"float\" "
                                   "office:value=\"2.5\"><text:p>2,50</text:p></table:table-cell>")
                            << Cell::Number(2.5);
    QTest::newRow("percentage")
        << QByteArray("<table:table-cell office:value-type=\"percentage\" office:value=\"0.5\"/>")
        << Cell::Number(0.5);
    QTest::newRow("boolean") << QByteArray(
                                    "<table:table-cell office:value-type=\"boolean\" "
                                    "office:boolean-value=\"true\"/>")
                             << Cell::Boolean(true);
    QTest::newRow("date") << QByteArray(
                                 "<table:table-cell office:value-type=\"date\" "
                                 "office:date-value=\"2024-01-05\"><text:p>05/01/24</text:p>"
                                 "</table:table-cell>")
                          << Cell::Text("2024-01-05");
    QTest::newRow("date and time") << QByteArray(
                                          "<table:table-cell office:value-type=\"date\" "
                                          "office:date-value=\"2024-01-05T08:30:00\"/>")
                                   << Cell::Text("2024-01-05 08:30");
    QTest::newRow("blanks kept by text:s, runs collapsed")
        << QByteArray(
               "<table:table-cell office:value-type=\"string\"><text:p><text:s text:c=\"2\"/>"
               "a   b <text:s/></text:p></table:table-cell>")
        << Cell::Text("  a b  ");
    QTest::newRow("paragraphs, tabs, line breaks, spans")
        << QByteArray(
               "<table:table-cell office:value-type=\"string\"><text:p>one<text:tab/>"
               "<text:span>two</text:span></text:p><text:p/><text:p>a<text:line-break/>b"
               "</text:p></table:table-cell>")
        << Cell::Text("one\ttwo\n\na\nb");
    QTest::newRow("a comment is not the text")
        << QByteArray(
               "<table:table-cell office:value-type=\"string\"><office:annotation>"
               "<text:p>note</text:p></office:annotation><text:p>shown</text:p>"
               "</table:table-cell>")
        << Cell::Text("shown");
    QTest::newRow("Chinese and entities")
        << QByteArray(
               "<table:table-cell office:value-type=\"string\"><text:p>北京 &amp; &lt;x&gt;"
               "</text:p></table:table-cell>")
        << Cell::Text("北京 & <x>");
}

void OdsReaderTest::cells() {
    QFETCH(QByteArray, cell);
    QFETCH(Cell, expected);
    const codec::Workbook book = Read(Package(Cell1(cell)));
    QCOMPARE(book.sheets.size(), std::size_t(1));
    QVERIFY(book.sheets[0].At(1, 1) == expected);
    QCOMPARE(book.sheets[0].cells.size(), std::size_t(1));
}

void OdsReaderTest::repeatedRowsAndCells() {
    const codec::Workbook book = Read(Package(Content(
        "<table:table table:name=\"S\">"
        "<table:table-row table:number-rows-repeated=\"2\"><table:table-cell/>"
        "<table:table-cell table:number-columns-repeated=\"2\" office:value-type=\"string\">"
        "<text:p>x</text:p></table:table-cell></table:table-row>"
        "<table:table-row table:number-rows-repeated=\"1048570\"><table:table-cell "
        "table:number-columns-repeated=\"1024\"/></table:table-row>"
        "<table:table-row><table:table-cell table:number-columns-repeated=\"3\"/>"
        "<table:covered-table-cell office:value-type=\"float\" office:value=\"7\"/>"
        "</table:table-row></table:table>")));
    const codec::Worksheet& sheet = book.sheets[0];
    QCOMPARE(sheet.cells.size(), std::size_t(5));
    for (const auto& [row, column] : {std::pair{1, 2}, {1, 3}, {2, 2}, {2, 3}})
        QVERIFY(sheet.At(row, column) == Cell::Text("x"));
    QVERIFY(sheet.At(1048573, 4) == Cell::Number(7));
}

void OdsReaderTest::activeSheet() {
    const QByteArray content = Content(
        "<table:table table:name=\"First\"><table:table-row><table:table-cell "
        "office:value-type=\"float\" office:value=\"1\"/></table:table-row></table:table>"
        "<table:table table:name=\"Zweite &amp; last\"><table:table-row><table:table-cell "
        "office:value-type=\"float\" office:value=\"2\"/></table:table-row></table:table>");
    const QByteArray settings =
        "<office:document-settings "
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\""
        " xmlns:config=\"urn:oasis:names:tc:opendocument:xmlns:config:1.0\"><office:settings>"
        "<config:config-item-set config:name=\"ooo:view-settings\"><config:config-item "
        "config:name=\"ActiveTable\" config:type=\"string\">Zweite &amp; last</config:config-item>"
        "</config:config-item-set></office:settings></office:document-settings>";
    codec::Workbook book = Read(Package(content, settings));
    QCOMPARE(book.activeSheet, 1);
    QCOMPARE(book.sheets[1].name, std::string("Zweite & last"));
    // Reading only the active sheet leaves the others without cells.
    book = Read(Package(content, settings), {.activeSheetOnly = true});
    QVERIFY(book.sheets[0].cells.empty());
    QVERIFY(book.sheets[1].At(1, 1) == Cell::Number(2));
    // Without settings the first sheet is the one the document opens on.
    QCOMPARE(Read(Package(content)).activeSheet, 0);
}

void OdsReaderTest::refused_data() {
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a text document")
        << Package(Cell1(""), {}, "application/vnd.oasis.opendocument.text")
        << "an OpenDocument file that is not a spreadsheet";
    QTest::newRow("no sheets") << Package(Content("")) << "the workbook is damaged (no sheets)";
    QTest::newRow("malformed XML")
        << Package(Content("<table:table>")) << "the workbook is damaged (malformed XML)";
    QTest::newRow("bad number") << Package(Cell1("<table:table-cell office:value-type=\"float\" "
                                                 "office:value=\"lots\"/>"))
                                << "the workbook is damaged (bad number in a cell)";
    QTest::newRow("bad repeat") << Package(Cell1(
                                       "<table:table-cell table:number-columns-repeated=\"-1\"/>"))
                                << "the workbook is damaged (bad repeat count)";
    QTest::newRow("a long text") << Package(Cell1(
                                        "<table:table-cell office:value-type=\"string\"><text:p>" +
                                        QByteArray(40000, 'x') + "</text:p></table:table-cell>"))
                                 << "a cell holds more than 32767 characters";
}

void OdsReaderTest::refused() {
    QFETCH(QByteArray, package);
    QFETCH(QString, reason);
    QCOMPARE(Failure(package), reason);
}

// A few bytes that repeat a filled cell over the whole sheet cost no more
// than the cells a read keeps.
void OdsReaderTest::costlyRepeatsStayCheap() {
    const QByteArray everywhere = Package(Content(
        "<table:table table:name=\"S\"><table:table-row table:number-rows-repeated=\"1048576\">"
        "<table:table-cell table:number-columns-repeated=\"16384\" office:value-type=\"float\" "
        "office:value=\"1\"/></table:table-row></table:table>"));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(Failure(everywhere), QStringLiteral("the workbook has too many cells"));
    const codec::Workbook sheet = Read(everywhere, {.lastRow = 102, .lastColumn = 10});
    QCOMPARE(sheet.sheets[0].cells.size(), std::size_t(1020));
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
}

QTEST_GUILESS_MAIN(OdsReaderTest)
#include "test_odsreader.moc"
