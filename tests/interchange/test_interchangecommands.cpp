// File › Export As and File › Import From in the running main window, with
// the prompts scripted: the unsaved-changes question, the messages, the
// format chosen by the file's name and what is refused before writing.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "core/answercode.h"
#include "core/questiontable.h"
#include "harness.h"
#include "interchange/questionfile.h"

using namespace scrivane;
using namespace scrivane::test;

namespace {

const QString kFixtures = QStringLiteral(SCRIVANE_FIXTURES "/");

void Trigger(Harness& h, const char* action) {
    QAction* found = h.window->findChild<QAction*>(QString::fromLatin1(action));
    QVERIFY2(found, action);
    found->trigger();
}

QStringList Titles(QuestionTable& table) {
    QStringList titles;
    for (const QuestionRecord& q : table.Records()) titles << q.Title;
    return titles;
}

}  // namespace

class InterchangeCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void importFromReplacesThePaper();
    void importFromRefusalKeepsThePaper();
    void importFromReadsTheFormatChosen();
    void importFromAsksAgainAfterASaveThatDidNotHappen();
    void exportAsByFormat();
    void exportAsTypedExtension_data();
    void exportAsTypedExtension();
    void exportAsRunsTheChecksOfTheTypedFormat();
    void exportAsNamesThePicturesLeftOut();
};

void InterchangeCommandsTest::importFromReplacesThePaper() {
    Harness h;
    h.state.PaperModified = true;
    h.fake.prompts.answers = {MsgAnswer::No};
    h.fake.prompts.files = {kFixtures + "bank.gift"};
    Trigger(h, "actionImportFrom");
    QCOMPARE(h.fake.prompts.Texts(),
             QStringList({"The paper has been modified. Save or not?", "Import succeed"}));
    const MessageRequest& done = h.fake.prompts.messages.back();
    QCOMPARE(done.title, QStringLiteral("Message"));
    QCOMPARE(done.informativeText, QStringLiteral("3 questions were read.\n"
                                                  "4 questions of other types were skipped\n"
                                                  "1 category was skipped\n"
                                                  "the formatting of question 2 was dropped (b)"));
    QCOMPARE(h.fake.prompts.fileRequests.front().title,
             QStringLiteral("Please select the file should be imported."));
    QVERIFY(h.fake.prompts.fileRequests.front().filter.startsWith("All supported files ("));
    QCOMPARE(h.table().RecordCount(), 3);
    QCOMPARE(h.Text("LabNoCount"), QStringLiteral("3"));
    QVERIFY(!h.state.PaperModified);
    QVERIFY(h.state.PaperFileName.isEmpty());
    QCOMPARE(h.state.ScoreList(1), 3.0f);  // from "// Mark: 3"

    // A workbook chosen there is IMPORT's own, .ods included.
    h.fake.prompts.messages.clear();
    h.fake.prompts.files = {kFixtures + "plain-3q.lo.ods"};
    Trigger(h, "actionImportFrom");
    QCOMPARE(h.fake.prompts.Texts(), QStringList({"Import succeed"}));
    QCOMPARE(Titles(h.table()).front(), QStringLiteral("Which planet is known as the Red Planet?"));
}

// A format's own filter reads the file as that format, whatever its
// content looks like; "All supported files" recognises it.
void InterchangeCommandsTest::importFromReadsTheFormatChosen() {
    Harness h;
    QTemporaryDir dir;
    const QString path = dir.filePath("q.txt");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Which? {=yes ~no}\n");
    file.close();
    const auto& formats = interchange::Formats();
    const auto filterOf = [&formats](interchange::Format format) {
        for (std::size_t i = 0; i < formats.size(); ++i)
            if (formats[i].format == format) return int(i) + 1;  // after "All supported files"
        return 0;
    };
    h.fake.prompts.files = {path};
    h.fake.prompts.filters = {filterOf(interchange::Format::Aiken)};
    Trigger(h, "actionImportFrom");
    QCOMPARE(h.fake.prompts.Texts(), QStringList({"Invalid format"}));
    QCOMPARE(h.fake.prompts.messages.back().informativeText,
             QStringLiteral("line 1: the last question has no ANSWER line"));
    for (const int filter : {0, filterOf(interchange::Format::Gift)}) {
        h.fake.prompts.messages.clear();
        h.fake.prompts.files = {path};
        h.fake.prompts.filters = {filter};
        Trigger(h, "actionImportFrom");
        QCOMPARE(h.fake.prompts.Texts(), QStringList({"Import succeed"}));
        QCOMPARE(Titles(h.table()), QStringList{"Which?"});
    }
}

void InterchangeCommandsTest::importFromRefusalKeepsThePaper() {
    Harness h;
    QTemporaryDir dir;
    const QString bad = dir.filePath("bad.xml");
    QFile file(bad);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        "<quiz><question type=\"multichoice\"><defaultgrade>300</defaultgrade>"
        "<answer fraction=\"100\"><text>a</text></answer></question></quiz>");
    file.close();
    const QStringList before = Titles(h.table());
    h.fake.prompts.files = {bad};
    Trigger(h, "actionImportFrom");
    QCOMPARE(h.fake.prompts.Texts(), QStringList({"Invalid format"}));
    QCOMPARE(h.fake.prompts.messages.back().title, QStringLiteral("Error"));
    QCOMPARE(h.fake.prompts.messages.back().informativeText,
             QStringLiteral("question 1: mark 300 is outside 0 to 250"));
    QCOMPARE(Titles(h.table()), before);

    // Cancelling the dialog does nothing at all.
    h.fake.prompts.messages.clear();
    h.fake.prompts.files = {std::nullopt};
    Trigger(h, "actionImportFrom");
    QVERIFY(h.fake.prompts.messages.empty());
}

void InterchangeCommandsTest::importFromAsksAgainAfterASaveThatDidNotHappen() {
    Harness h;
    h.state.PaperModified = true;
    // Yes, then the save dialog is cancelled: the question comes back shortly.
    h.fake.prompts.answers = {MsgAnswer::Yes, MsgAnswer::Cancel};
    h.fake.prompts.files = {std::nullopt};
    Trigger(h, "actionImportFrom");
    QCOMPARE(h.fake.prompts.messages.size(), std::size_t(1));
    QTRY_COMPARE(h.fake.prompts.messages.size(), std::size_t(2));
    QCOMPARE(h.fake.prompts.Texts().back(),
             QStringLiteral("The paper has been modified. Save or not?"));
    QVERIFY(h.state.PaperModified);
}

void InterchangeCommandsTest::exportAsByFormat() {
    Harness h;
    h.fake.prompts.files = {kFixtures + "bank.gift"};
    Trigger(h, "actionImportFrom");  // three questions, the second with answer AC
    h.fake.prompts.messages.clear();
    QTemporaryDir dir;

    // The name tells the format; a name without an extension gets the filter's.
    h.fake.prompts.files = {dir.filePath("bank.gift"), dir.filePath("bank")};
    Trigger(h, "actionExportAs");
    Trigger(h, "actionExportAs");
    QVERIFY(h.fake.prompts.messages.empty());
    QFile gift(dir.filePath("bank.gift"));
    QVERIFY(gift.open(QIODevice::ReadOnly));
    QVERIFY(gift.readAll().startsWith("// Mark: 3\n::Q1::"));
    QVERIFY(QFile::exists(dir.filePath("bank.xls")));

    // An existing file is replaced only after the overwrite question.
    h.fake.prompts.answers = {MsgAnswer::No};
    h.fake.prompts.files = {dir.filePath("bank.gift")};
    Trigger(h, "actionExportAs");
    QCOMPARE(h.fake.prompts.Texts(), QStringList({"File exists. Overwrite it or not?"}));

    // Aiken cannot hold the answer AC: refused, naming the question, nothing written.
    h.fake.prompts.messages.clear();
    h.fake.prompts.files = {dir.filePath("bank.txt")};
    Trigger(h, "actionExportAs");
    QCOMPARE(h.fake.prompts.Texts(), QStringList({"The paper cannot be written as Aiken."}));
    QCOMPARE(h.fake.prompts.messages.back().informativeText,
             QStringLiteral("question 2: the answer is not one letter"));
    QVERIFY(!QFile::exists(dir.filePath("bank.txt")));
}

void InterchangeCommandsTest::exportAsTypedExtension_data() {
    QTest::addColumn<int>("filter");  // the type chosen in the dialog
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("start");  // of the file written
    const int excel = int(interchange::Format::Xls), gift = int(interchange::Format::Gift);
    const QByteArray xls("\xD0\xCF\x11\xE0"), moodle("<?xml"), giftStart("// Mark:");
    QTest::newRow("Excel chosen, .xml typed") << excel << "sci.xml"
                                              << "sci.xml" << moodle;
    QTest::newRow("Excel chosen, .GIFT typed") << excel << "sci.GIFT"
                                               << "sci.GIFT" << giftStart;
    QTest::newRow("GIFT chosen, .tpf typed") << gift << "sci.tpf"
                                             << "sci.tpf" << xls;
    QTest::newRow("GIFT chosen, no extension") << gift << "sci"
                                               << "sci.gift" << giftStart;
    QTest::newRow("GIFT chosen, a dot but no extension") << gift << "Ch.3 quiz"
                                                         << "Ch.3 quiz.gift" << giftStart;
    QTest::newRow("GIFT chosen, an extension of no format") << gift << "sci.dat"
                                                            << "sci.dat" << giftStart;
}

// The format written is the one the typed name names, whatever type the
// dialog shows; the type chosen applies to a name without an extension.
void InterchangeCommandsTest::exportAsTypedExtension() {
    QFETCH(int, filter);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QFETCH(QByteArray, start);
    Harness h;
    h.fake.prompts.files = {kFixtures + "bank.gift"};
    Trigger(h, "actionImportFrom");
    h.fake.prompts.messages.clear();
    QTemporaryDir dir;
    h.fake.prompts.filters = {filter};
    h.fake.prompts.files = {dir.filePath(typed)};
    Trigger(h, "actionExportAs");
    QCOMPARE(h.fake.prompts.Texts(), QStringList());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{written});
    QFile file(dir.filePath(written));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY2(file.readAll().startsWith(start), qPrintable(written));
}

// A typed .xml runs the checks of Moodle XML, not those of the chosen type.
void InterchangeCommandsTest::exportAsRunsTheChecksOfTheTypedFormat() {
    Harness h;
    QTemporaryDir dir;
    const QString csv = dir.filePath("blank.csv");
    QuestionRecord blank;
    blank.QuestionNo = 1;
    blank.Score = 2;
    blank.Answer = AnswerTextToMask(QStringLiteral("B"));
    blank.Title = QStringLiteral("The answer is a no-break space");
    blank.Items = {QStringLiteral("a"), QStringLiteral("\u00A0"), QStringLiteral("c")};
    QVERIFY(interchange::WriteQuestionFile(csv, {blank}, interchange::Format::Csv).Written());
    h.fake.prompts.files = {csv};
    Trigger(h, "actionImportFrom");
    h.fake.prompts.messages.clear();

    h.fake.prompts.filters = {int(interchange::Format::Xls)};
    h.fake.prompts.files = {dir.filePath("sci.xml")};
    Trigger(h, "actionExportAs");
    QCOMPARE(h.fake.prompts.Texts(), QStringList({"The paper cannot be written as Moodle XML."}));
    QCOMPARE(h.fake.prompts.messages.back().informativeText,
             QStringLiteral("question 1: the answer names an empty option"));
    QVERIFY(!QFile::exists(dir.filePath("sci.xml")));
}

// A Moodle bank comes in with its pictures; exported as GIFT, a message
// names every picture left out; as Moodle XML, they go out again.
void InterchangeCommandsTest::exportAsNamesThePicturesLeftOut() {
    Harness h;
    h.fake.prompts.files = {kFixtures + "pictures.moodle.xml"};
    Trigger(h, "actionImportFrom");
    const std::vector<QuestionRecord> rows = h.window->BoundTable().Records();
    QCOMPARE(rows.size(), std::size_t(2));
    QCOMPARE(rows[0].Pictures[kPictureTitle].value(0).Name, QStringLiteral("river map.png"));
    h.fake.prompts.messages.clear();

    QTemporaryDir dir;
    h.fake.prompts.files = {dir.filePath("bank.gift"), dir.filePath("bank.xml")};
    Trigger(h, "actionExportAs");
    QCOMPARE(h.fake.prompts.Texts(),
             QStringList({"The paper was written as GIFT without its pictures."}));
    QCOMPARE(h.fake.prompts.messages.back().informativeText,
             QStringLiteral("question 1: GIFT does not carry pictures: river map.png (the "
                            "question) is left out\nquestion 2: GIFT does not carry pictures: "
                            "graph_a.svg (option A), graph_b.svg (option B), rock.jpg (option C) "
                            "are left out"));
    QVERIFY(QFile::exists(dir.filePath("bank.gift")));
    h.fake.prompts.messages.clear();
    Trigger(h, "actionExportAs");
    QVERIFY(h.fake.prompts.messages.empty());
    const interchange::ReadOutcome back = interchange::ReadQuestionFile(dir.filePath("bank.xml"), 1);
    QVERIFY(back.Read());
    QCOMPARE(back.rows[1].Pictures, rows[1].Pictures);
}

QTEST_MAIN(InterchangeCommandsTest)
#include "test_interchangecommands.moc"
