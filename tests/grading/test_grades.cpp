// Scores, doubts and statistics of read sheets, against figures worked out by
// hand for small classes.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <cmath>

#include "grading/scores/grades.h"
#include "grading/scores/gradesreport.h"
#include "grading/scores/statistics.h"
#include "interchange/csv.h"

using namespace scrivane;

namespace {

QuestionRecord Question(float score, const char* answer, std::array<QString, 6> items) {
    QuestionRecord q;
    q.Score = score;
    q.Answer = AnswerTextToMask(QString::fromLatin1(answer));
    if (QByteArray(answer) == "Uncertain") q.Answer = 0;
    q.Items = std::move(items);
    return q;
}

// "AB" marks A and B; letters after '?' are in doubt: "A?C".
AnswerRead Read(int question, const QString& text) {
    AnswerRead read;
    read.question = question;
    read.sheetQuestion = question;
    bool doubt = false;
    for (QChar c : text) {
        if (c == u'?') {
            doubt = true;
            continue;
        }
        (doubt ? read.unclear : read.marked) |= AnswerMask(1 << (c.unicode() - u'A'));
    }
    return read;
}

SheetRead Sheet(const QString& student, const QStringList& answers, const QString& file = "s.pdf",
                int page = 1) {
    SheetRead sheet;
    sheet.file = file;
    sheet.page = page;
    sheet.version = QStringLiteral("A");
    for (QChar c : student) {
        DigitRead digit;
        if (c.isDigit()) digit.marked = 1 << c.digitValue();
        sheet.student.push_back(digit);
    }
    for (int i = 0; i < answers.size(); ++i) sheet.answers.push_back(Read(i + 1, answers[i]));
    return sheet;
}

SheetRead Unreadable(const QString& why) {
    SheetRead sheet;
    sheet.file = QStringLiteral("s.pdf");
    sheet.unreadable = true;
    sheet.reasons << why;
    return sheet;
}

void CompareFigure(const std::optional<double>& actual, double expected) {
    QVERIFY2(actual.has_value(), "a figure is missing");
    QVERIFY2(std::abs(*actual - expected) < 1e-9,
             qPrintable(QStringLiteral("%1 != %2").arg(*actual, 0, 'g', 12).arg(expected)));
}

const std::array<QString, 6> kFour = {"a", "b", "c", "d", "", ""};
const std::array<QString, 6> kThree = {"a", "b", "c", "", "", ""};
const std::array<QString, 6> kNone = {"", "", "", "", "", ""};

}  // namespace

class GradesTest : public QObject {
    Q_OBJECT
private slots:
    void scoresAnswers_data();
    void scoresAnswers();
    void studentNumbersClassListAndDuplicates();
    void statisticsOfASmallClass();
    void statisticsGroupsAndTies();
    void statisticsWithTooLittleToMeasure();
    void reports();
    void classListFromCsv();
    void classListsAsTeachersWriteThem_data();
    void classListsAsTeachersWriteThem();
    void aPileOfOneNumberStaysOneLineASheet();
};

void GradesTest::scoresAnswers_data() {
    QTest::addColumn<float>("mark");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("items");  // 4, 3 or 0 option texts
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("partial");
    QTest::addColumn<QString>("marked");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("correct");  // 1, 0, -1 for none
    QTest::addColumn<double>("score");

    QTest::newRow("right") << 5.f << "B" << 4 << "ABCDE" << false << "B"
                           << "ok" << 1 << 5.0;
    QTest::newRow("wrong") << 5.f << "B" << 4 << "ABCDE" << false << "C"
                           << "ok" << 0 << 0.0;
    QTest::newRow("blank") << 5.f << "B" << 4 << "ABCDE" << false << ""
                           << "blank" << 0 << 0.0;
    QTest::newRow("two for one") << 5.f << "B" << 4 << "ABCDE" << false << "BC"
                                 << "multiple" << 0 << 0.0;
    QTest::newRow("two for one, multiple mode") << 5.f << "B" << 4 << "ABCDEF" << true << "BC"
                                                << "multiple" << 0 << 0.0;
    QTest::newRow("in doubt") << 5.f << "B" << 4 << "ABCDE" << false << "B?C"
                              << "unclear" << 0 << 0.0;
    QTest::newRow("several right") << 2.f << "AC" << 4 << "ABCDEF" << false << "AC"
                                   << "ok" << 1 << 2.0;
    QTest::newRow("several, exact, one of them") << 2.f << "AC" << 4 << "ABCDEF" << false << "A"
                                                 << "ok" << 0 << 0.0;
    // Four options, two right: +50 each, the wrong ones -50 each.
    QTest::newRow("partial, one of two") << 2.f << "AC" << 4 << "ABCDEF" << true << "A"
                                         << "ok" << 0 << 1.0;
    QTest::newRow("partial, one right one wrong") << 2.f << "AC" << 4 << "ABCDEF" << true << "AB"
                                                  << "ok" << 0 << 0.0;
    QTest::newRow("partial, both and a wrong one") << 2.f << "AC" << 4 << "ABCDEF" << true << "ABC"
                                                   << "ok" << 0 << 1.0;
    QTest::newRow("partial, all") << 2.f << "AC" << 4 << "ABCDEF" << true << "ABCD"
                                  << "ok" << 0 << 0.0;
    QTest::newRow("partial, exact") << 2.f << "AC" << 4 << "ABCDEF" << true << "AC"
                                    << "ok" << 1 << 2.0;
    // Three options, two right: the wrong one takes -100, never below 0.
    QTest::newRow("partial, never below 0") << 2.f << "AC" << 3 << "ABCDEF" << true << "AB"
                                            << "ok" << 0 << 0.0;
    // No option texts: the six letters of the mode, two right (+50), four wrong (-25).
    QTest::newRow("partial, no texts") << 4.f << "BD" << 0 << "ABCDEF" << true << "BDE"
                                       << "ok" << 0 << 3.0;
    QTest::newRow("partial, one letter answer wrong") << 4.f << "B" << 4 << "ABCDEF" << true << "A"
                                                      << "ok" << 0 << 0.0;
    QTest::newRow("uncertain") << 3.f << "Uncertain" << 4 << "ABCDE" << false << "A"
                               << "ok" << -1 << 0.0;
    QTest::newRow("uncertain, two marks in single mode")
        << 3.f << "Uncertain" << 4 << "ABCDE" << false << "AB"
        << "multiple" << -1 << 0.0;
    QTest::newRow("uncertain, two marks in multiple mode")
        << 3.f << "Uncertain" << 4 << "ABCDEF" << false << "AB"
        << "ok" << -1 << 0.0;
}

void GradesTest::scoresAnswers() {
    QFETCH(float, mark);
    QFETCH(QString, answer);
    QFETCH(int, items);
    QFETCH(QString, mode);
    QFETCH(bool, partial);
    QFETCH(QString, marked);
    QFETCH(QString, status);
    QFETCH(int, correct);
    QFETCH(double, score);

    const auto texts = items == 4 ? kFour : items == 3 ? kThree : kNone;
    const AnswerKey key({Question(mark, answer.toLatin1().constData(), texts)}, mode,
                        partial ? Scoring::Partial : Scoring::Exact);
    const auto results = GradeSheets({Sheet(QString(), {marked})}, key);
    QCOMPARE(results.size(), std::size_t(1));
    const AnswerResult& a = results[0].answers.at(0);
    static const QStringList kStatus = {"ok", "blank", "multiple", "unclear"};
    QCOMPARE(kStatus[int(a.status)], status);
    QCOMPARE(a.correct.has_value() ? int(*a.correct) : -1, correct);
    QCOMPARE(a.score, score);
    QCOMPARE(results[0].score, score);
    QCOMPARE(results[0].max, correct < 0 ? 0.0 : double(mark));
    // Several marks and doubts send the sheet to review.
    QCOMPARE(results[0].status,
             status == "multiple" || status == "unclear" ? SheetStatus::Review : SheetStatus::Ok);
}

void GradesTest::studentNumbersClassListAndDuplicates() {
    const AnswerKey key({Question(1, "A", kFour)}, "ABCDE");
    QString error;
    const auto list =
        ClassList::FromCsv("number,name\n0012,Ada Lovelace\n0034,\"Hopper, Grace\"\n", &error);
    QVERIFY2(list, qPrintable(error));

    SheetRead unclearDigit = Sheet("0034", {"A"}, "b.pdf", 2);
    unclearDigit.student[1].unclear = 1 << 5;
    SheetRead twoDigits = Sheet("0034", {"A"}, "b.pdf", 3);
    twoDigits.student[3].marked |= 1 << 7;
    SheetRead noGrid = Sheet("", {"A"}, "c.pdf", 1);
    SheetRead noNumber = Sheet("????", {"A"}, "c.pdf", 2);
    const std::vector<SheetRead> reads = {Sheet("0012", {"A"}, "a.pdf", 1),
                                          Sheet("0034", {"A"}, "a.pdf", 2),
                                          Sheet("0099", {"A"}, "a.pdf", 3),
                                          Sheet("0034", {"B"}, "b.pdf", 1),
                                          Sheet("0?12", {"A"}, "b.pdf", 4),
                                          unclearDigit,
                                          twoDigits,
                                          noGrid,
                                          noGrid,
                                          Unreadable("no corner markers were found"),
                                          noNumber};
    const auto r = GradeSheets(reads, key, &*list);

    QCOMPARE(r[0].status, SheetStatus::Ok);
    QCOMPARE(r[0].student, std::optional<QString>("0012"));
    QCOMPARE(r[0].name, std::optional<QString>("Ada Lovelace"));
    QCOMPARE(r[1].status, SheetStatus::Review);  // read twice
    QCOMPARE(r[1].name, std::optional<QString>("Hopper, Grace"));
    QCOMPARE(r[1].reasons, QStringList{"student number 0034 is also on b.pdf page 1"});
    QCOMPARE(r[3].reasons, QStringList{"student number 0034 is also on a.pdf page 2"});
    QCOMPARE(r[2].reasons, QStringList{"student number 0099 is not in the class list"});
    QVERIFY(!r[2].name);
    QCOMPARE(r[4].student, std::optional<QString>("0?12"));
    QCOMPARE(r[4].reasons, QStringList{"student number place 2: no mark"});
    QCOMPARE(r[5].student, std::optional<QString>("0?34"));
    QCOMPARE(r[5].reasons, QStringList{"student number place 2: unclear mark"});
    QCOMPARE(r[6].student, std::optional<QString>("003?"));
    QCOMPARE(r[6].reasons, QStringList{"student number place 4: several marks"});
    // Without a number grid there is no number, and so no duplicate.
    QVERIFY(!r[7].student);
    QCOMPARE(r[7].status, SheetStatus::Ok);
    QCOMPARE(r[8].status, SheetStatus::Ok);
    QCOMPARE(r[9].status, SheetStatus::Unreadable);
    QCOMPARE(r[9].reasons, QStringList{"no corner markers were found"});
    QVERIFY(r[9].answers.empty());
    QCOMPARE(r[10].student, std::optional<QString>("????"));
    QCOMPARE(r[10].reasons, QStringList{"no student number is marked"});
}

// Three questions that count (marks 1, 2, 1), one whose answer is not set, four
// sheets read and one unreadable. Totals 4, 2, 2, 0; number correct 3, 2, 1, 0.
void GradesTest::statisticsOfASmallClass() {
    const AnswerKey key({Question(1, "A", kThree), Question(2, "B", {"a", "b", "", "", "", ""}),
                         Question(1, "C", kThree), Question(3, "Uncertain", kThree)},
                        "ABCDE");
    const std::vector<SheetRead> reads = {
        Sheet("01", {"A", "B", "C", "A"}), Sheet("02", {"A", "AB", "C", "B"}),
        Sheet("03", {"B", "B", "?C", "B"}), Sheet("04", {"", "A", "A", ""}),
        Unreadable("a blank page")};
    const auto sheets = GradeSheets(reads, key);
    QCOMPARE(sheets[0].score, 4.0);
    QCOMPARE(sheets[0].max, 4.0);
    const GradeStatistics stats = ComputeStatistics(sheets, key);

    const SummaryStatistics& s = stats.summary;
    QCOMPARE(s.sheets, 4);
    CompareFigure(s.mean, 2);
    CompareFigure(s.median, 2);
    CompareFigure(s.sd, std::sqrt(2.0));
    CompareFigure(s.lowest, 0);
    CompareFigure(s.highest, 4);
    // Σpq = 0.75, variance of number correct 1.25: 3/2 × (1 − 0.75/1.25).
    CompareFigure(s.kr20, 0.6);
    // Score variances 0.25 + 1 + 0.25, total variance 2: 3/2 × (1 − 1.5/2).
    CompareFigure(s.alpha, 0.375);
    CompareFigure(s.sem, std::sqrt(2.0) * std::sqrt(0.625));

    QCOMPARE(stats.questions.size(), std::size_t(4));
    const QuestionStatistics& q1 = stats.questions[0];
    QCOMPARE(q1.answer, std::optional<QString>("A"));
    CompareFigure(q1.p, 0.5);
    CompareFigure(q1.discrimination, 1);  // top 01, bottom 04
    // Correctness 1 1 0 0 against the rest 3 1 2 0: 1/√5.
    CompareFigure(q1.pointBiserial, 1 / std::sqrt(5.0));
    QCOMPARE(q1.options, (std::vector<std::pair<QChar, int>>{{'A', 2}, {'B', 1}, {'C', 0}}));
    QCOMPARE(q1.blank, 1);
    QCOMPARE(q1.multiple, 0);

    const QuestionStatistics& q2 = stats.questions[1];
    CompareFigure(q2.p, 0.5);
    CompareFigure(q2.pointBiserial, 0);  // 1 0 1 0 against 2 2 0 0
    QCOMPARE(q2.options, (std::vector<std::pair<QChar, int>>{{'A', 2}, {'B', 3}}));
    QCOMPARE(q2.multiple, 1);

    const QuestionStatistics& q3 = stats.questions[2];
    QCOMPARE(q3.options, (std::vector<std::pair<QChar, int>>{{'A', 1}, {'B', 0}, {'C', 2}}));
    QCOMPARE(q3.blank, 0);

    // Not set: counted as read, but in no figure.
    const QuestionStatistics& q4 = stats.questions[3];
    QVERIFY(!q4.answer && !q4.p && !q4.discrimination && !q4.pointBiserial);
    QCOMPARE(q4.options, (std::vector<std::pair<QChar, int>>{{'A', 1}, {'B', 2}, {'C', 0}}));
    QCOMPARE(q4.blank, 1);
}

void GradesTest::statisticsGroupsAndTies() {
    const AnswerKey key({Question(1, "A", kThree), Question(1, "A", kThree)}, "ABCDE");
    // Six sheets: g = (27 × 6 + 50) div 100 = 2, top 1 and 2, bottom 5 and 6.
    {
        const auto sheets =
            GradeSheets({Sheet("1", {"A", "A"}), Sheet("2", {"B", "A"}), Sheet("3", {"A", "B"}),
                         Sheet("4", {"B", "A"}), Sheet("5", {"A", "B"}), Sheet("6", {"B", "B"})},
                        key);
        const GradeStatistics stats = ComputeStatistics(sheets, key);
        CompareFigure(stats.questions[0].discrimination, 0);  // (1 + 0)/2 − (1 + 0)/2
        CompareFigure(stats.questions[1].discrimination, 1);  // (1 + 1)/2 − (0 + 0)/2
        CompareFigure(stats.summary.median, 1);
    }
    // Equal totals: the lower student number is in the top group, then the
    // file and the page decide.
    {
        const auto sheets = GradeSheets({Sheet("2", {"A", "B"}), Sheet("1", {"B", "A"})}, key);
        const GradeStatistics stats = ComputeStatistics(sheets, key);
        CompareFigure(stats.questions[0].discrimination, -1);
        CompareFigure(stats.questions[1].discrimination, 1);
        const auto byFile = GradeSheets(
            {Sheet("", {"A", "B"}, "b.pdf", 1), Sheet("", {"B", "A"}, "a.pdf", 2)}, key);
        CompareFigure(ComputeStatistics(byFile, key).questions[0].discrimination, -1);
        const auto byPage = GradeSheets(
            {Sheet("", {"A", "B"}, "a.pdf", 2), Sheet("", {"B", "A"}, "a.pdf", 1)}, key);
        CompareFigure(ComputeStatistics(byPage, key).questions[0].discrimination, -1);
    }
}

void GradesTest::statisticsWithTooLittleToMeasure() {
    const AnswerKey two({Question(1, "A", kThree), Question(1, "B", kThree)}, "ABCDE");
    // One sheet: no variance anywhere.
    GradeStatistics stats = ComputeStatistics(GradeSheets({Sheet("", {"A", "A"})}, two), two);
    QCOMPARE(stats.summary.sheets, 1);
    CompareFigure(stats.summary.sd, 0);
    QVERIFY(!stats.summary.kr20 && !stats.summary.alpha && !stats.summary.sem);
    QVERIFY(!stats.questions[0].pointBiserial);
    CompareFigure(stats.questions[0].discrimination, 0);  // the one sheet is both groups

    // One question that counts: no reliability, no point-biserial.
    const AnswerKey one({Question(1, "A", kThree), Question(1, "Uncertain", kThree)}, "ABCDE");
    stats =
        ComputeStatistics(GradeSheets({Sheet("", {"A", "A"}), Sheet("", {"B", "A"})}, one), one);
    CompareFigure(stats.questions[0].p, 0.5);
    QVERIFY(!stats.questions[0].pointBiserial);
    QVERIFY(!stats.summary.kr20 && !stats.summary.alpha && !stats.summary.sem);

    // Nothing read.
    stats = ComputeStatistics(GradeSheets({Unreadable("a blank page")}, two), two);
    QCOMPARE(stats.summary.sheets, 0);
    QVERIFY(!stats.summary.mean && !stats.summary.median && !stats.summary.lowest);
    QVERIFY(!stats.questions[0].p && !stats.questions[0].discrimination);
}

void GradesTest::reports() {
    const AnswerKey key({Question(1.5f, "A", kThree), Question(2, "Uncertain", kThree)}, "ABCDE");
    ClassList list = *ClassList::FromCsv("0012,Ada\n0099,Blaise\n0007,Carl\n", nullptr);
    const auto sheets = GradeSheets(
        {Sheet("0012", {"A", "B"}, "pile.pdf", 1), Sheet("0013", {"AB", ""}, "pile.pdf", 2),
         Unreadable("no corner markers were found")},
        key, &list);
    const GradeStatistics stats = ComputeStatistics(sheets, key);

    QJsonParseError error;
    const QJsonDocument doc =
        QJsonDocument::fromJson(GradesJson(sheets, stats, key, &list), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonObject root = doc.object();
    QCOMPARE(root.keys(), (QStringList{"absent", "paper", "questions", "sheets", "summary"}));
    // The class list's students with no sheet, in the list's order.
    QCOMPARE(root["absent"].toArray(),
             (QJsonArray{QJsonObject{{"student", "0099"}, {"name", "Blaise"}},
                         QJsonObject{{"student", "0007"}, {"name", "Carl"}}}));
    QCOMPARE(QJsonDocument::fromJson(GradesJson(sheets, stats, key)).object()["absent"].toArray(),
             QJsonArray());
    QCOMPARE(root["paper"].toObject(), (QJsonObject{{"questions", 2}, {"max", 1.5}}));
    const QJsonArray jsonSheets = root["sheets"].toArray();
    QCOMPARE(jsonSheets.size(), 3);
    const QJsonObject first = jsonSheets[0].toObject();
    QCOMPARE(first["file"].toString(), "pile.pdf");
    QCOMPARE(first["student"].toString(), "0012");
    QCOMPARE(first["name"].toString(), "Ada");
    QCOMPARE(first["status"].toString(), "ok");
    QCOMPARE(first["score"].toDouble(), 1.5);
    QCOMPARE(first["answers"].toArray()[0].toObject(), (QJsonObject{{"question", 1},
                                                                    {"sheet_question", 1},
                                                                    {"marked", "A"},
                                                                    {"status", "ok"},
                                                                    {"correct", true}}));
    QVERIFY(first["answers"].toArray()[1].toObject()["correct"].isNull());
    const QJsonObject second = jsonSheets[1].toObject();
    QCOMPARE(second["status"].toString(), "review");
    QVERIFY(second["name"].isNull());
    QCOMPARE(second["reasons"].toArray().size(), 2);  // several marks, not in the list
    const QJsonObject third = jsonSheets[2].toObject();
    QCOMPARE(third["status"].toString(), "unreadable");
    QVERIFY(third["score"].isNull() && third["student"].isNull());
    const QJsonObject q1 = root["questions"].toArray()[0].toObject();
    QCOMPARE(q1.keys(), (QStringList{"answer", "blank", "discrimination", "mark", "multiple",
                                     "options", "p", "point_biserial", "question"}));
    QCOMPARE(q1["options"].toObject(), (QJsonObject{{"A", 2}, {"B", 1}, {"C", 0}}));
    QCOMPARE(root["summary"].toObject().keys(),
             (QStringList{"alpha", "highest", "kr20", "lowest", "mean", "median", "sd", "sem",
                          "sheets"}));

    QCOMPARE(GradesText(sheets, key),
             QByteArray("pile.pdf page 1: 0012 Ada, version A, 1.5 of 1.5\n"
                        "pile.pdf page 2: 0013, version A, 0 of 1.5; review: question 1: several "
                        "marks; student number 0013 is not in the class list\n"
                        "s.pdf page 1: unreadable: no corner markers were found\n"
                        "question 2: no answer is set, so the marks leave it out\n"));
    // Every sheet has a row with its status, so a mark still to review is
    // never taken for a final one; the absent follow, without a mark.
    const auto table = GradesTable(sheets, key, &list);
    QCOMPARE(table.size(), std::size_t(6));
    QCOMPARE(table[0], (QStringList{"Student number", "Name", "Version", "Mark", "Maximum",
                                    "Percentage", "Status", "Q1", "Q2"}));
    QCOMPARE(table[0][kGradesStatusColumn], QStringLiteral("Status"));
    QCOMPARE(table[1], (QStringList{"0012", "Ada", "A", "1.5", "1.5", "100", "ok", "A", "B"}));
    QCOMPARE(table[2], (QStringList{"0013", "", "A", "0", "1.5", "0", "review", "AB", ""}));
    QCOMPARE(table[3], (QStringList{"", "", "", "", "", "", "unreadable", "", ""}));
    QCOMPARE(table[4], (QStringList{"0099", "Blaise", "", "", "", "", "absent", "", ""}));
    QCOMPARE(table[5], (QStringList{"0007", "Carl", "", "", "", "", "absent", "", ""}));
    // The caller's own statuses (a sheet the teacher corrected) stand.
    QCOMPARE(GradesTable(sheets, key, nullptr, {"ok", "corrected", "unreadable"})[2][6],
             QStringLiteral("corrected"));
    // The table as CSV reads back whole, a name with a comma and quotes too.
    auto quoted = table;
    quoted[1][1] = "Hopper, \"Amazing\" Grace";
    QCOMPARE(interchange::ReadCsvRows(interchange::WriteCsvRows(quoted)), quoted);
    // Sums of marks such as 0.1 show as people write them.
    QCOMPARE(FormatFigure(0.1 + 0.2), QString("0.3"));
}

void GradesTest::classListFromCsv() {
    QString error;
    // Semicolons, a BOM, CR LF, numbers kept as text, blank lines skipped.
    auto list = ClassList::FromCsv(
        "\xEF\xBB\xBF"
        "007;Bond\r\n\r\n 0100 ; Smith \r\n",
        &error);
    QVERIFY(list);
    QCOMPARE(list->size(), 2);
    QVERIFY(list->Contains("007") && !list->Contains("7"));
    QCOMPARE(list->Name("0100"), "Smith");
    QVERIFY(!ClassList::FromCsv("number,name\n", &error));
    QCOMPARE(error, "the class list holds no student number");
    QVERIFY(
        !ClassList::FromCsv("\xff\xfe"
                            "1,a",
                            &error));
    QVERIFY(!ClassList::FromCsv("1,\"unended", &error));
}

void GradesTest::classListsAsTeachersWriteThem_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");  // empty when read
    // Zoë O’Brien in each encoding: ë and ’ are where a wrong decoding shows.
    QTest::newRow("Windows-1252, commas") << QByteArray(
                                                 "number,name\r\n0012,Zo\xEB O\x92"
                                                 "Brien\r\n0034,Ada\r\n")
                                          << "";
    const QString unicodeText =
        QStringLiteral("Number\tName\r\n0012\tZoë O’Brien\r\n0034\tAda\r\n");
    QByteArray utf16("\xFF\xFE");
    utf16.append(reinterpret_cast<const char*>(unicodeText.utf16()), unicodeText.size() * 2);
    QTest::newRow("UTF-16 with tabs (a spreadsheet's Unicode text)") << utf16 << "";
    QTest::newRow("UTF-8, semicolons, Last, First")
        << QStringLiteral("0012;O’Brien, Zoë\n0034;Ada\n").toUtf8() << "";
    QTest::newRow("a number listed twice")
        << QByteArray("0012,Zoe\n0034,Ada\n0012,Bob\n") << "student number 0012 is listed twice";
    QTest::newRow("UTF-16 cut in half") << QByteArray(
                                               "\xFF\xFE"
                                               "0\x00"
                                               "1")
                                        << "not UTF-16 text";
}

void GradesTest::classListsAsTeachersWriteThem() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    QString why;
    const auto list = ClassList::FromCsv(bytes, &why);
    if (!error.isEmpty()) {
        QVERIFY(!list);
        QVERIFY2(why.contains(error), qPrintable(why));
        return;
    }
    QVERIFY2(list, qPrintable(why));
    QCOMPARE(list->Numbers(), (QStringList{"0012", "0034"}));
    const QString name = list->Name("0012");
    QVERIFY2(name == QStringLiteral("Zoë O’Brien") || name == QStringLiteral("O’Brien, Zoë"),
             qPrintable(name));
    // What the grading keeps (the decoded text as UTF-8) reads back the same.
    const auto kept = ClassList::FromStored(ClassList::Decode(bytes, nullptr)->toUtf8());
    QVERIFY(kept);
    QCOMPARE(kept->Name("0012"), name);
}

void GradesTest::aPileOfOneNumberStaysOneLineASheet() {
    const AnswerKey key({Question(1, "A", kThree)}, "ABCDE");
    std::vector<SheetRead> reads;
    for (int page = 1; page <= 300; ++page) reads.push_back(Sheet("0012", {"A"}, "pile.pdf", page));
    reads.push_back(Sheet("0034", {"A"}, "other.pdf", 1));
    reads.push_back(Sheet("0034", {"A"}, "other.pdf", 2));
    ClassList names = *ClassList::FromCsv("0012,\"Ada\nLovelace\"\n0034,Bob\n", nullptr);
    const auto sheets = GradeSheets(reads, key, &names);
    QCOMPARE(sheets[0].reasons,
             QStringList{"student number 0012 is also on pile.pdf page 2 and 298 more"});
    QCOMPARE(sheets[299].reasons,
             QStringList{"student number 0012 is also on pile.pdf page 1 and 298 more"});
    QCOMPARE(sheets[301].reasons, QStringList{"student number 0034 is also on other.pdf page 1"});
    // A name with a line end in it is shown escaped on its sheet's one line.
    const QByteArray text = GradesText(sheets, key);
    QCOMPARE(text.count('\n'), qsizetype(sheets.size()));
    QVERIFY(text.startsWith("pile.pdf page 1: 0012 Ada\\nLovelace, version A, 1 of 1; review: "));
    QVERIFY(text.size() < 40000);
}

QTEST_GUILESS_MAIN(GradesTest)
#include "test_grades.moc"
