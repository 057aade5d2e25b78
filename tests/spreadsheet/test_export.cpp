// Exporting the paper: failing steps, the state afterwards, round trips
// through our own import, and the files read back by xlrd.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "sheettestsupport.h"
#include "spreadsheet/codec/reader.h"

using namespace scrivane;
using namespace scrivane::test;

namespace {

const std::vector<QStringList> kThree = {
    {"5", "B", "First title", "a1", "b1", "", "", "", ""},
    {"12.5", "AC", "  Blanks kept  ", " a", "b ", "c", "d", "e", "f"},
    {"0.1", "Uncertain", u8"中文题目", u8"选项", "", "", "", "", u8"六"},
};

// 100 questions with 3000-character Chinese titles and varied marks.
std::vector<QStringList> HundredLongQuestions() {
    std::vector<QStringList> rows;
    const QString chinese = QStringLiteral(u"数学物理化学生物历史地理政治语文英语音乐");
    const char* answers[] = {"A", "B", "CD", "ABCDEF", "Uncertain", "F", "AE"};
    for (int i = 1; i <= 100; ++i) {
        QString title = QString::number(i) + u' ';
        while (title.size() < 3000) title += chinese;
        title.truncate(3000);
        rows.push_back({ShortestSingle(float(i % 26) * 9.5f + 0.25f), answers[i % 7], title,
                        QStringLiteral(u"甲%1").arg(i), QStringLiteral("B %1 ").arg(i), QString(),
                        QStringLiteral(u"丁"), QString::number(i * 1.5), QStringLiteral("F")});
    }
    return rows;
}

QString DescribeRows(const std::vector<QStringList>& rows) {
    QStringList lines;
    for (const QStringList& row : rows) lines << row.join(u'|').left(120);
    return lines.join(u'\n');
}

}  // namespace

class ExportTest : public QObject {
    Q_OBJECT
private slots:
    void emptyPaperIsRefused();
    void writtenExport();
    void failingSteps_data();
    void failingSteps();
    void unwritableTarget();
    void roundTrip_data();
    void roundTrip();
    void readBackByXlrd();
};

void ExportTest::emptyPaperIsRefused() {
    SheetHarness h;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("empty.xls"));
    const ExportResult result = h.Export(path);
    QCOMPARE(result.outcome, ExportResult::EmptyPaper);
    QCOMPARE(h.prompts.messages.size(), std::size_t(1));
    const MessageRequest& m = h.prompts.messages.front();
    QCOMPARE(m.text, QStringLiteral("The test paper should not be empty."));
    QCOMPARE(m.title, QStringLiteral("Scrivane"));
    QCOMPARE(m.buttons, MsgButtons::Ok);
    QCOMPARE(m.icon, MsgIcon::None);
    QCOMPARE(h.excel.created, 0);
    QCOMPARE(h.platform.pendingEventRuns, 0);
    QCOMPARE(h.platform.waitDepth, 0);
    QVERIFY(!QFile::exists(path));
}

// One question: the header row and row 2 only; the current record ends on
// the last question; the paper's flags are untouched.
void ExportTest::writtenExport() {
    QTemporaryDir dir;
    for (const auto& paper : {std::vector<QStringList>{kThree[0]}, kThree}) {
        SheetHarness h;
        FillPaper(h, paper);
        h.module.PaperModified = true;
        h.module.PaperFileName = QStringLiteral("/papers/mine.tpf");
        const QString path = dir.filePath(QStringLiteral("out.xls"));
        const ExportResult result = h.Export(path);
        QCOMPARE(result.outcome, ExportResult::Written);
        QVERIFY(result.reason.isEmpty());
        QVERIFY(h.prompts.messages.empty());
        QCOMPARE(h.paper.BoundTable().AbsolutePosition(), int(paper.size()));
        QCOMPARE(h.module.PaperModified, true);
        QCOMPARE(h.module.PaperFileName, QStringLiteral("/papers/mine.tpf"));
        QCOMPARE(h.platform.waitDepth, 0);
        QCOMPARE(h.platform.pendingEventRuns, 1);
        QCOMPARE(h.excel.Count(xlop::Close), 1);
        QCOMPARE(h.excel.Count(xlop::Quit), 1);
        QCOMPARE(h.excel.Count(xlop::CellWrite), 10 + 10 * int(paper.size()));

        const codec::Workbook book = codec::ReadWorkbookFile(path.toStdString());
        QCOMPARE(book.sheets.size(), std::size_t(1));
        const codec::Worksheet& sheet = book.sheets[0];
        int maxRow = 0;
        for (const auto& [at, cell] : sheet.cells) maxRow = std::max(maxRow, at.first);
        QCOMPARE(maxRow, int(paper.size()) + 1);
        for (int c = 1; c <= 10; ++c)
            QCOMPARE(QString::fromStdString(sheet.At(1, c).text), QuestionSheetHeaders()[c - 1]);
        QCOMPARE(sheet.At(2, 1), codec::Cell::Number(1));
        QCOMPARE(sheet.At(2, 2), codec::Cell::Number(5));
        QCOMPARE(sheet.At(2, 3), codec::Cell::Text("B"));
        QCOMPARE(sheet.At(2, 6), codec::Cell::Text("b1"));
        QCOMPARE(sheet.At(2, 7).kind,
                 codec::Cell::Kind::Empty);  // an empty text leaves the cell empty
    }
}

void ExportTest::failingSteps_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("reason");
    QTest::newRow("create") << "create" << 0 << 0
                            << "the spreadsheet application cannot be started";
    QTest::newRow("add") << QString(xlop::Add.data()) << 0 << 0 << "Workbooks.Add failed";
    QTest::newRow("version") << QString(xlop::Version.data()) << 0 << 0
                             << "Application.Version failed";
    QTest::newRow("active sheet") << QString(xlop::ActiveSheet.data()) << 0 << 0
                                  << "ActiveSheet failed";
    QTest::newRow("header") << QString(xlop::CellWrite.data()) << 1 << 4 << "cells.write failed";
    QTest::newRow("width") << QString(xlop::ColumnWidth.data()) << 0 << 4
                           << "Columns.ColumnWidth failed";
    QTest::newRow("wrap") << QString(xlop::WrapText.data()) << 0 << 10 << "Columns.WrapText failed";
    QTest::newRow("a title") << QString(xlop::CellWrite.data()) << 3 << 4 << "cells.write failed";
    QTest::newRow("save") << QString(xlop::SaveAs.data()) << 0 << 0
                          << "ActiveWorkbook.SaveAs failed";
}

// Any failing step ends in the clean-up: nothing written, Failed with the
// reason, the instance ended, the pointer restored, no message.
void ExportTest::failingSteps() {
    QFETCH(QString, operation);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.xls"));
    SheetHarness h;
    FillPaper(h, kThree);
    h.paper.BoundTable().MoveFirst();
    if (operation == "create")
        h.excel.failCreate = true;
    else if (row == 0 && column == 0)
        h.excel.failing.insert(operation.toStdString());
    else
        h.excel.failingAt.insert({operation.toStdString(), row, column});

    const ExportResult result = h.Export(path);
    QCOMPARE(result.outcome, ExportResult::Failed);
    QCOMPARE(result.reason, reason);
    QVERIFY(!QFile::exists(path));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    QVERIFY(h.prompts.messages.empty());
    QCOMPARE(h.platform.waitDepth, 0);
    if (operation != "create") {
        QCOMPARE(h.excel.created, 1);
        QCOMPARE(h.excel.Count(xlop::Close), 1);
        QCOMPARE(h.excel.Count(xlop::Quit), 1);
        // Nothing after the failing step but the clean-up.
        QCOMPARE(h.excel.calls.back(), std::string(xlop::Quit));
        QCOMPARE(h.excel.calls.end()[-2], std::string(xlop::Close));
        QCOMPARE(h.excel.calls.end()[-3], operation.toStdString());
    }
    // The walk had ended on the last question when the save failed.
    if (operation == "save") QCOMPARE(h.paper.BoundTable().AbsolutePosition(), 3);
}

// A real failure of the system, and an existing file that a failed save
// leaves as it was.
void ExportTest::unwritableTarget() {
    QTemporaryDir dir;
    SheetHarness h;
    FillPaper(h, kThree);
    ExportResult result = h.Export(dir.filePath(QStringLiteral("missing/folder/out.xls")));
    QCOMPARE(result.outcome, ExportResult::Failed);
    QVERIFY2(result.reason.contains(QStringLiteral("No such file or directory")),
             qPrintable(result.reason));

    const QString existing = dir.filePath(QStringLiteral("existing.xls"));
    QFile file(existing);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("an older paper");
    file.close();
    // A title too long for a cell fails the export at its cell.
    FillPaper(h, {{"1", "A", QString(40000, u'x'), "", "", "", "", "", ""}});
    result = h.Export(existing);
    QCOMPARE(result.outcome, ExportResult::Failed);
    QVERIFY2(result.reason.contains(QStringLiteral("32767")), qPrintable(result.reason));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("an older paper"));
    file.close();

    // More text than a paper file holds (100 titles of 28,000 Chinese
    // characters, 8.4 MB in UTF-8) is refused before anything is written:
    // what a save or a recovery copy writes must read back.
    std::vector<QStringList> chinese = HundredLongQuestions();
    for (QStringList& row : chinese) row[2] = QString(28000, QChar(0x4E2D));
    FillPaper(h, chinese);
    result = h.Export(existing);
    QCOMPARE(result.outcome, ExportResult::Failed);
    QVERIFY2(result.reason.startsWith(QStringLiteral("the paper holds too much text: ")),
             qPrintable(result.reason));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("an older paper"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("existing.xls")});
}

void ExportTest::roundTrip_data() {
    QTest::addColumn<int>("which");
    QTest::newRow("three questions") << 0;
    QTest::newRow("100 questions, 3000-character Chinese titles") << 1;
    QTest::newRow("over an existing paper") << 2;
}

// Export then import gives back the same paper, numbered 1 to n.
void ExportTest::roundTrip() {
    QFETCH(int, which);
    const std::vector<QStringList> paper = which == 1 ? HundredLongQuestions() : kThree;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("paper.tpf"));
    if (which == 2) {
        SheetHarness other;
        FillPaper(other, HundredLongQuestions());
        QCOMPARE(other.Export(path).outcome, ExportResult::Written);
    }
    SheetHarness h;
    FillPaper(h, paper);
    QCOMPARE(h.Export(path).outcome, ExportResult::Written);

    SheetHarness back;
    QVERIFY(back.Import(path, false));
    bool numbered = false;
    const auto got = PaperRows(back.paper.BoundTable(), &numbered);
    QVERIFY(numbered);
    QVERIFY2(got == paper, qPrintable(DescribeRows(got)));
    for (std::size_t i = 0; i < paper.size(); ++i)
        QCOMPARE(back.module.ScoreList(int(i) + 1), paper[i][0].toFloat());
}

// An independent reader sees the same cells, widths and wrap flags.
void ExportTest::readBackByXlrd() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("paper.xls"));
    SheetHarness h;
    const auto paper = HundredLongQuestions();
    FillPaper(h, paper);
    QCOMPARE(h.Export(path).outcome, ExportResult::Written);

    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(SCRIVANE_XLRD_CHECK), path});
    QVERIFY(python.waitForFinished(60000));
    if (python.exitCode() == 77) QSKIP("python3-xlrd is not installed");
    QCOMPARE(python.exitCode(), 0);
    const QJsonObject dump = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    QCOMPARE(dump.value("active_sheet").toInt(-1), 0);
    const QJsonArray sheets = dump.value("sheets").toArray();
    QCOMPARE(sheets.size(), 1);
    const QJsonObject sheet = sheets[0].toObject();

    const QJsonObject columns = sheet.value("columns").toObject();
    const double widths[] = {6, 6, 6, 30, 13, 13, 13, 13, 13, 13};
    for (int c = 1; c <= 10; ++c) {
        const QJsonArray info = columns.value(QString::number(c)).toArray();
        QCOMPARE(info.size(), 2);
        QCOMPARE(info[0].toDouble(), widths[c - 1]);
        QCOMPARE(info[1].toBool(), true);
    }

    // Every written cell, and nothing else.
    const QJsonObject cells = sheet.value("cells").toObject();
    int expectedCells = 10;
    auto check = [&](int row, int column, const QJsonValue& value) {
        const QJsonArray cell = cells.value(QStringLiteral("%1,%2").arg(row).arg(column)).toArray();
        QCOMPARE(cell.size(), 4);
        QCOMPARE(cell[0].toString(),
                 value.isDouble() ? QStringLiteral("number") : QStringLiteral("text"));
        QCOMPARE(cell[1], value);
        QCOMPARE(cell[2].toBool(), true);  // wrapped
    };
    for (int c = 1; c <= 10; ++c) check(1, c, QuestionSheetHeaders()[c - 1]);
    for (std::size_t i = 0; i < paper.size(); ++i) {
        const int row = int(i) + 2;
        check(row, 1, double(i + 1));
        check(row, 2, paper[i][0].toDouble());
        expectedCells += 2;
        for (int c = 3; c <= 10; ++c) {
            if (paper[i][c - 2].isEmpty()) continue;
            check(row, c, paper[i][c - 2]);
            ++expectedCells;
        }
    }
    QCOMPARE(cells.size(), expectedCells);
}

QTEST_GUILESS_MAIN(ExportTest)
#include "test_export.moc"
