// A paper's journey through every format: round trips, files written by
// other programs, refusals of broken files, what independent readers see of
// the workbooks we write, and the converter between every pair of formats.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <random>

#include "core/numbers.h"
#include "interchange/aiken.h"
#include "interchange/csv.h"
#include "interchange/gift.h"
#include "interchange/moodlexml.h"
#include "interchange/questionfile.h"
#include "interchange/workbooks.h"
#include "programrun.h"
#include "spreadsheet/codec/reader.h"
#include "spreadsheet/questionsheet.h"

using namespace scrivane;
using namespace scrivane::interchange;

namespace {

const QString kFixtures = QStringLiteral(SCRIVANE_FIXTURES "/");
constexpr float kDefaultMark = 10;

QuestionRecord Q(float mark, const QString& answer, const QString& title, QStringList options) {
    QuestionRecord record;
    record.Score = mark;
    record.Answer = AnswerTextToMask(answer);
    record.Title = title;
    for (qsizetype i = 0; i < options.size() && i < 6; ++i)
        record.Items[std::size_t(i)] = options[i];
    return record;
}

using Paper = std::vector<QuestionRecord>;

// A row as one readable line, so that a failing comparison shows the difference.
QStringList Lines(const Paper& paper) {
    QStringList lines;
    for (const QuestionRecord& q : paper) {
        QStringList fields = {ShortestSingle(q.Score), AnswerMaskToText(q.Answer), q.Title};
        for (const QString& item : q.Items) fields << item;
        lines << fields.join(QStringLiteral(" | "));
    }
    return lines;
}

Paper Numbered(Paper paper) {
    for (std::size_t k = 0; k < paper.size(); ++k) paper[k].QuestionNo = std::int16_t(k + 1);
    return paper;
}

QStringList JsonLines(const QJsonObject& printed) {
    Paper paper;
    for (const QJsonValue& value : printed.value("questions").toArray()) {
        const QJsonObject o = value.toObject();
        QStringList options;
        for (const char* key : {"ItemA", "ItemB", "ItemC", "ItemD", "ItemE", "ItemF"})
            options << o.value(key).toString();
        paper.push_back(Q(float(o.value("Score").toDouble()), o.value("Answer").toString(),
                          o.value("Title").toString(), options));
    }
    return Lines(paper);
}

QJsonObject ReadJson(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

test::ProgramRun Convert(const QStringList& arguments) {
    return test::RunProgram(QStringLiteral(SCRIVANE_CONVERT), arguments);
}

// The papers of the round trips; each stresses what some format must escape.
std::vector<std::pair<const char*, Paper>> Papers() {
    const QStringList four = {"alpha", "beta", "gamma", "delta"};
    return {
        {"multiple answers",
         {Q(1, "AC", "Which are even?", {"2", "3", "4", "5"}),
          Q(2, "Uncertain", "No key yet", four),
          Q(3, "ABCDEF", "All six", {"a", "b", "c", "d", "e", "f"}),
          Q(4, "F", "Only the last", {"a", "b", "c", "d", "e", "f"})}},
        {"unicode",
         {Q(5, "B", QStringLiteral("下列哪个城市是中国的首都？"),
            {QStringLiteral("上海"), QStringLiteral("北京"), QStringLiteral("Ünïcödé ✓ 😀")})}},
        {"line breaks", {Q(5, "A", "first line\nsecond line\n\nfourth", {"one\ntwo", "three"})}},
        {"special characters",
         {Q(5, "A", "1 + 1 = 2? {yes} ~tilde #hash :colon \\back \\n <b>not bold</b> & &amp; ]]>",
            {"=right", "~wrong", "#50%", "%50%x", "a:b\\c{d}"}),
          Q(5, "B", "::Q9:: looks like a name", {"// not a comment", "$CATEGORY: no"})}},
        {"marks 0, 0.5 and 250",
         {Q(0, "A", "zero", four), Q(0.5, "B", "half", four), Q(250, "C", "most", four)}},
        {"empty options",
         {Q(5, "B", "two options", {"yes", "no"}), Q(5, "C", "three options", {"x", "y", "z"})}},
        {"blanks inside", {Q(5, "A", "two  blanks\tand a tab", {"a  b", "c\td"})}},
        {"what GIFT must escape",
         {Q(5, "B", "Match?", {"a -> b", "<!-- a comment -->", "c->", "->"}),
          Q(5, "A", "[html]<b>kept</b> as typed", {"x", "y"}), Q(5, "A", "[plain] too", {"x", "y"}),
          Q(5, "C", "[markdown]", {"x", "y", "*z*"}),
          Q(5, "B", "\t[plain] after a tab", {"x", "a line\nbreak ->"})}},
        {"one option",
         {Q(5, "A", "the only one", {"yes"}), Q(5, "", "no key", {"maybe"}),
          Q(5, "AB", "two of two", {"p", "q"})}},
        {"formula-like texts",
         {Q(5, "A", "=HYPERLINK(\"http://example.com\",\"click\")",
            {"+1", "-1", "@SUM(A1)", "=1+1", "\t=tab"}),
          Q(5, "B", "-2 is less than 0", {"=", "+"})}},
        {"byte-order marks",
         {Q(5, "B", QStringLiteral("\uFEFFstarts with a mark"),
            {QStringLiteral("\uFEFFa"), QStringLiteral("b\uFEFF"), "c"})}},
        {"no option texts", {Q(5, "", "title only", {}), Q(5, "", "", {})}},
        {"blanks at the ends",
         {Q(5, "A", "  two before, one after ", {" a", "b  ", "  "}),
          Q(5, "B", "\tafter a tab", {"x", "y\n"})}},
    };
}

}  // namespace

class InterchangeTest : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void refusedBeforeWriting();
    void unfitQuestions_data();
    void unfitQuestions();
    void paperTextLimit_data();
    void paperTextLimit();
    void tooMuchTextIsNotRead();
    void csvWritesFormulasRaw();
    void hazardousTextsRoundTrip();
    void fixtures_data();
    void fixtures();
    void detection_data();
    void detection();
    void brokenFiles_data();
    void brokenFiles();
    void independentReaders_data();
    void independentReaders();
    void converterEveryPair();
    void converterArguments_data();
    void converterArguments();
};

void InterchangeTest::roundTrip_data() {
    QTest::addColumn<int>("paperIndex");
    QTest::addColumn<int>("format");
    const auto papers = Papers();
    for (std::size_t p = 0; p < papers.size(); ++p)
        for (const FormatInfo& info : Formats())
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(papers[p].first, info.name)))
                << int(p) << int(info.format);
}

// Out to the format and back: everything the format holds comes back.
void InterchangeTest::roundTrip() {
    QFETCH(int, paperIndex);
    QFETCH(int, format);
    const Format to = Format(format);
    const Paper paper = Numbered(Papers()[std::size_t(paperIndex)].second);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("paper") + InfoOf(to).extension);

    const WriteOutcome written = WriteQuestionFile(path, paper, to);
    // Aiken holds one-letter answers on one line only, GIFT no question
    // without options; the sheets and Moodle XML hold all of these papers.
    const bool mayRefuse =
        to == Format::Aiken || (to == Format::Gift && Papers()[std::size_t(paperIndex)].first ==
                                                          std::string_view("no option texts"));
    if (mayRefuse && !UnfitFor(paper, to).isEmpty()) {
        // Refused, nothing written.
        QCOMPARE(int(written.status), int(WriteOutcome::Status::Unfit));
        QVERIFY(!QFile::exists(path));
        return;
    }
    QVERIFY2(written.Written(), qPrintable(written.reason + written.unfit.join(u'\n')));
    const ReadOutcome read = ReadQuestionFile(path, kDefaultMark);
    QVERIFY2(read.Read(), qPrintable(read.reason));
    QVERIFY(read.notes.isEmpty());
    Paper expected = paper;
    const bool platform = to == Format::Moodle || to == Format::Gift || to == Format::Aiken;
    for (QuestionRecord& q : expected) {
        if (to == Format::Aiken) q.Score = kDefaultMark;  // Aiken carries no marks
        if (!platform) continue;
        // The platform formats trim blanks at the ends; an option of blanks
        // alone is empty and no longer written.
        q.Title = q.Title.trimmed();
        for (QString& item : q.Items) item = item.trimmed();
    }
    QCOMPARE(Lines(read.rows), Lines(expected));
    QCOMPARE(read.rows, expected);  // numbered 1 to n as well
}

void InterchangeTest::refusedBeforeWriting() {
    const Paper paper = Numbered({Q(1, "A", "fine", {"a", "b"}), Q(1, "AB", "two", {"a", "b"}),
                                  Q(1, "C", "empty C", {"a", "b"}), Q(1, "", "none", {"a", "b"}),
                                  Q(1, "B", "line\nbreak", {"a", "b"})});
    QCOMPARE(UnfitFor(paper, Format::Aiken),
             QStringList({"question 3: the answer names an empty option",
                          "questions 2 and 4: the answer is not one letter",
                          "question 5: a line break in the question or an option"}));
    // The platforms write only filled options: an answer on an empty one would vanish.
    QCOMPARE(UnfitFor(paper, Format::Gift),
             QStringList({"question 3: the answer names an empty option"}));
    QCOMPARE(UnfitFor(paper, Format::Moodle), UnfitFor(paper, Format::Gift));
    // The sheets keep every cell as it is.
    for (const Format sheet : {Format::Xls, Format::Xlsx, Format::Ods, Format::Csv})
        QVERIFY(UnfitFor(paper, sheet).isEmpty());

    // An existing file stays as it was.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("paper.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("before");
    file.close();
    QCOMPARE(int(WriteQuestionFile(path, paper, Format::Aiken).status),
             int(WriteOutcome::Status::Unfit));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("before"));

    // The export's safe write: a folder is not replaced by a paper.
    const WriteOutcome folder = WriteQuestionFile(dir.path(), Numbered({paper[0]}), Format::Gift);
    QCOMPARE(int(folder.status), int(WriteOutcome::Status::Failed));
    QVERIFY2(folder.reason.contains("folder"), qPrintable(folder.reason));
}

void InterchangeTest::unfitQuestions_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("unfit");  // empty: written
    const QString empty = QStringLiteral("question 1: the answer names an empty option");
    // Options that the platforms read as empty: an answer on them would
    // become "Uncertain" or move to the next option.
    const std::pair<const char*, QString> blanks[] = {
        {"blanks", QStringLiteral("   ")},
        {"a no-break space", QStringLiteral("\u00A0")},
        {"a byte-order mark", QStringLiteral("\uFEFF")},
        {"a tab and a no-break space", QStringLiteral("\t\u00A0")}};
    for (const auto& [what, blank] : blanks)
        for (const Format format : {Format::Moodle, Format::Gift, Format::Aiken})
            QTest::newRow(
                qPrintable(QStringLiteral("answer on %1, %2").arg(what, InfoOf(format).name)))
                << "B" << QStringList{"a", blank, "c"} << int(format) << empty;
    // Not on the answer, a blank option is no misfit.
    QTest::newRow("blank option without the answer, moodle")
        << "C" << QStringList{"a", "\u00A0", "c"} << int(Format::Moodle) << QString();
    QTest::newRow("no options, gift")
        << "" << QStringList{} << int(Format::Gift)
        << QStringLiteral("question 1: no option text, which GIFT needs");
    QTest::newRow("no options, moodle") << "" << QStringList{} << int(Format::Moodle) << QString();
    // The sheets keep a blank option as it is.
    for (const Format format : {Format::Xls, Format::Xlsx, Format::Ods, Format::Csv})
        QTest::newRow(qPrintable("answer on a no-break space, " + InfoOf(format).name))
            << "B" << QStringList{"a", "\u00A0", "c"} << int(format) << QString();
}

// What a format cannot carry is refused before writing, naming the question.
void InterchangeTest::unfitQuestions() {
    QFETCH(QString, answer);
    QFETCH(QStringList, options);
    QFETCH(int, format);
    QFETCH(QString, unfit);
    const Paper paper = Numbered({Q(5, answer, "title", options)});
    const Format to = Format(format);
    QCOMPARE(UnfitFor(paper, to).join(u'\n'), unfit);
    QTemporaryDir dir;
    const QString path = dir.filePath("paper" + InfoOf(to).extension);
    const WriteOutcome written = WriteQuestionFile(path, paper, to);
    QCOMPARE(written.Written(), unfit.isEmpty());
    QCOMPARE(QFile::exists(path), unfit.isEmpty());
}

namespace {

// A paper of 100 questions whose sheet holds exactly bytes of text, most of
// it Chinese titles (three bytes a character in UTF-8).
Paper PaperOfText(std::size_t bytes) {
    Paper paper;
    for (int k = 0; k < 100; ++k) paper.push_back(Q(1, "A", QString(), {"a", "b"}));
    std::size_t left = bytes - QuestionSheetTextBytes(paper);
    for (int k = 0; k < 100; ++k) {
        const std::size_t share = left / std::size_t(100 - k);
        QString& title = paper[std::size_t(k)].Title;
        title = QString(qsizetype(share / 3), QChar(0x4E2D)) + QString(qsizetype(share % 3), u'x');
        left -= share;
    }
    return Numbered(paper);
}

}  // namespace

void InterchangeTest::paperTextLimit_data() {
    QTest::addColumn<int>("format");
    for (const FormatInfo& info : Formats())
        QTest::newRow(qPrintable(info.name)) << int(info.format);
}

// A paper holds at most the text that the workbook reader keeps, counted in
// UTF-8 as it counts it: a paper at the limit is written and read back in
// every format, one a byte over is refused by every writer before writing.
void InterchangeTest::paperTextLimit() {
    QFETCH(int, format);
    const Format to = Format(format);
    QTemporaryDir dir;
    const QString path = dir.filePath("paper" + InfoOf(to).extension);

    const Paper full = PaperOfText(codec::kMaxTextBytes);
    QCOMPARE(QuestionSheetTextBytes(full), codec::kMaxTextBytes);
    const WriteOutcome written = WriteQuestionFile(path, full, to);
    QVERIFY2(written.Written(), qPrintable(written.reason + written.unfit.join(u'\n')));
    const ReadOutcome read = ReadQuestionFile(path, 1);
    QVERIFY2(read.Read(), qPrintable(read.reason));
    QCOMPARE(read.rows, full);

    // Titles of 28,000 Chinese characters in each of 100 questions: 8.4 MB.
    Paper chinese = full;
    for (QuestionRecord& q : chinese) q.Title = QString(28000, QChar(0x4E2D));
    const QString reason = QStringLiteral(
        "the paper holds too much text: %1 bytes, more than the 8388608 (8 MiB, counted in "
        "UTF-8) that a paper file holds");
    for (const Paper& over : {PaperOfText(codec::kMaxTextBytes + 1), chinese}) {
        const std::size_t bytes = QuestionSheetTextBytes(over);
        QCOMPARE(UnfitFor(over, to), QStringList{reason.arg(bytes)});
        const WriteOutcome refused = WriteQuestionFile(path, over, to);
        QCOMPARE(int(refused.status), int(WriteOutcome::Status::Unfit));
        QCOMPARE(ReadQuestionFile(path, 1).rows, full);  // the file as it was
    }
}

// Files of other programs with more text than a paper holds are refused
// with the same reason, whatever reads them.
void InterchangeTest::tooMuchTextIsNotRead() {
    const Paper over = PaperOfText(codec::kMaxTextBytes + 1);
    const ReadOutcome gift = ReadQuestionContent(WriteGift(over), Format::Gift, 1);
    QVERIFY(!gift.Read());
    QVERIFY(gift.rows.empty());
    QVERIFY2(gift.reason.startsWith("the paper holds too much text: 8388609 bytes"),
             qPrintable(gift.reason));

    QTemporaryDir dir;
    const QString path = dir.filePath("paper.xlsx");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(WriteXlsx(over).bytes);
    file.close();
    const ReadOutcome xlsx = ReadQuestionFile(path, 1);
    QVERIFY(!xlsx.Read());
    QCOMPARE(xlsx.reason, QStringLiteral("the workbook holds too much text"));
}

// CSV is written as spreadsheet programs write it: a text that looks like a
// formula is not prefixed or changed (the round trips read it back exactly).
void InterchangeTest::csvWritesFormulasRaw() {
    const Paper paper =
        Numbered({Q(5, "A", "=HYPERLINK(\"http://example.com\",\"click\")", {"+1", "@x", "-1"})});
    QCOMPARE(
        WriteCsv(paper).split('\n').at(1),
        QByteArray("1,5,A,\"=HYPERLINK(\"\"http://example.com\"\",\"\"click\"\")\",+1,@x,-1,,,\r"));
}

// Texts pieced together from what some format must escape: every text
// format reads back what it accepted to write, as the round trips expect.
void InterchangeTest::hazardousTextsRoundTrip() {
    const QStringList pieces = {"->",         "<!--",       "-->",      "[html]",
                                "[plain]",    "[moodle]",   "{",        "}",
                                "~",          "=",          "#",        ":",
                                "::",         "\\",         "\\n",      "%",
                                "%50%",       "\n",         "\r\n",     "\r",
                                "\t",         " ",          "\u00A0",   "\uFEFF",
                                "&amp;",      "&",          "&#9;",     "&nbsp;",
                                "<b>",        "<br>",       "]]>",      "//",
                                "// Mark: 3", "$CATEGORY:", "####",     "T",
                                "ANSWER: A",  "A.",         "\"",       ",",
                                ";",          "::Q1::",     "=%100%",   "x",
                                "中",         "😀",          "{~0}",     "{T}",
                                "{#",         "#}",         "&eacute;", "<sup>2</sup>",
                                "5e-04",      "Vitamin C",  "A and B"};
    std::mt19937 random(7);
    const auto text = [&](int most) {
        QString t;
        for (int n = 1 + int(random() % unsigned(most)); n > 0; --n)
            t += pieces[qsizetype(random() % unsigned(pieces.size()))];
        return t;
    };
    const auto lineEnds = [](QString t) {
        return t.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    };
    int written = 0;
    for (int round = 0; round < 2000; ++round) {
        QuestionRecord q = Q(3, "", text(4), {});
        const int options = 1 + int(random() % 6);
        for (int i = 0; i < options; ++i) q.Items[std::size_t(i)] = text(3) + u'y';
        q.Answer = AnswerMask(1 << (random() % unsigned(options)));
        const Paper paper = Numbered({q});
        for (const Format format : {Format::Csv, Format::Moodle, Format::Gift, Format::Aiken}) {
            if (!UnfitFor(paper, format).isEmpty()) continue;
            const QByteArray bytes = format == Format::Csv      ? WriteCsv(paper)
                                     : format == Format::Moodle ? WriteMoodleXml(paper)
                                     : format == Format::Gift   ? WriteGift(paper)
                                                                : WriteAiken(paper);
            // Each file is recognised as what it is, whatever its texts hold.
            const std::optional<Format> detected = DetectFormat(bytes);
            QVERIFY2(detected == format,
                     qPrintable(InfoOf(format).name + " read as " +
                                (detected ? InfoOf(*detected).name : QStringLiteral("nothing")) +
                                ": " + QString::fromUtf8(bytes.left(300))));
            const ReadOutcome read = ReadQuestionContent(bytes, format, 3);
            Paper expected = paper;
            if (format != Format::Csv) {
                QuestionRecord& e = expected.front();
                e.Title = lineEnds(e.Title).trimmed();
                for (QString& item : e.Items) item = lineEnds(item).trimmed();
            }
            QVERIFY2(read.Read() && read.notes.isEmpty(),
                     qPrintable(InfoOf(format).name + ": " + read.reason + read.notes.join(u' ')));
            QCOMPARE(Lines(read.rows), Lines(expected));
            ++written;
        }
    }
    QVERIFY(written > 4000);  // most papers fit most formats
}

void InterchangeTest::fixtures_data() {
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QStringList>("notes");
    const QStringList none;
    for (const char* lo :
         {"plain-3q.lo.ods", "texts-blanks-chinese-long.lo.ods", "two-sheets-no-view.lo.ods",
          "plain-3q.lo.csv", "texts-blanks-chinese-long.lo.csv"})
        QTest::newRow(lo) << QString(lo) << none;
    QTest::newRow("Moodle XML") << "bank.moodle.xml"
                                << QStringList{"2 questions of other types were skipped",
                                               "1 question with more than six options was skipped",
                                               "1 category was skipped",
                                               "the formatting of question 1 was dropped (b, i, "
                                               "gas)"};
    QTest::newRow("GIFT") << "bank.gift"
                          << QStringList{"4 questions of other types were skipped",
                                         "1 category was skipped",
                                         "the formatting of question 2 was dropped (b)"};
    QTest::newRow("Aiken") << "bank.aiken.txt" << none;
}

// Files written by LibreOffice and by hand read as the programs show them.
void InterchangeTest::fixtures() {
    QFETCH(QString, fixture);
    QFETCH(QStringList, notes);
    const ReadOutcome read = ReadQuestionFile(kFixtures + fixture, kDefaultMark);
    QVERIFY2(read.Read(), qPrintable(read.reason));
    QCOMPARE(read.notes, notes);
    const QJsonObject expected = ReadJson(kFixtures + fixture + QStringLiteral(".expected.json"));
    QVERIFY(!expected.isEmpty());
    QCOMPARE(Lines(read.rows), JsonLines(expected));
}

void InterchangeTest::detection_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("format");  // -1: none
    QTest::newRow("Moodle XML") << QByteArray("\xEF\xBB\xBF  <?xml version=\"1.0\"?><quiz/>")
                                << int(Format::Moodle);
    QTest::newRow("CSV header quoted")
        << QByteArray("\"Question NO\";Mark\r\n") << int(Format::Csv);
    QTest::newRow("CSV with another header") << QByteArray("No,Mark\n1,2\n") << int(Format::Csv);
    QTest::newRow("Aiken") << QByteArray("Q\nA) a\nANSWER: A\n") << int(Format::Aiken);
    QTest::newRow("GIFT") << QByteArray("// c\n::n:: Q {\n=a\n~b\n}\n") << int(Format::Gift);
    QTest::newRow("GIFT true/false") << QByteArray("Q {T}") << int(Format::Gift);
    // Braces in an Aiken file's texts leave it Aiken; its questions end with ANSWER lines.
    QTest::newRow("Aiken option with a GIFT-like block")
        << QByteArray("What is x?\nA. int x[] = {~0};\nB. 0\nANSWER: A\n") << int(Format::Aiken);
    QTest::newRow("Aiken title with {# #} and {T}")
        << QByteArray("Is {T} or {# 1 #} right?\nA) yes\nB) no\nANSWER: B\n") << int(Format::Aiken);
    QTest::newRow("Aiken whose first title starts as an XML comment")
        << QByteArray("<!-- is a comment?\nA. yes\nB. no\nANSWER: A\n") << int(Format::Aiken);
    QTest::newRow("Moodle XML after a comment")
        << QByteArray("<!-- exported -->\n<quiz></quiz>\n") << int(Format::Moodle);
    QTest::newRow("GIFT whose text says ANSWER")
        << QByteArray("Q {\n=a\n~b\n}\n\nANSWER: A\n") << int(Format::Gift);
    QTest::newRow("prose with JSON braces")
        << QByteArray("# Notes\n`{\"valid\": false}` and {x}\n") << -1;
    QTest::newRow("escaped braces only") << QByteArray("a \\{=b\\}\n") << -1;
    QTest::newRow("xls") << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") << int(Format::Xls);
}

// The format of a file is told by its content, never by its name.
void InterchangeTest::detection() {
    QFETCH(QByteArray, content);
    QFETCH(int, format);
    const std::optional<Format> detected = DetectFormat(content);
    QCOMPARE(detected ? int(*detected) : -1, format);
}

void InterchangeTest::brokenFiles_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    const auto moodle = [](const QByteArray& question) {
        return "<quiz><question type=\"multichoice\">" + question + "</question></quiz>";
    };
    QTest::newRow("moodle grade above 250")
        << int(Format::Moodle)
        << moodle(
               "<defaultgrade>300</defaultgrade><answer fraction=\"100\"><text>a</text></answer>")
        << "question 1: mark 300 is outside 0 to 250";
    QTest::newRow("moodle grade not a number")
        << int(Format::Moodle)
        << moodle(
               "<defaultgrade>lots</defaultgrade><answer fraction=\"100\"><text>a</text></answer>")
        << "question 1: the grade \"lots\" is not a number";
    QTest::newRow("moodle malformed")
        << int(Format::Moodle) << QByteArray("<quiz><question type=\"multichoice\">")
        << "not readable XML (truncated XML)";
    QTest::newRow("moodle entity declaration")
        << int(Format::Moodle)
        << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE quiz [<!ENTITY a \"aaaa\">]><quiz/>")
        << "not readable XML (unsupported XML declaration)";
    QTest::newRow("moodle nested too deeply")
        << int(Format::Moodle) << QByteArray("<quiz>") + QByteArray("<a>").repeated(300)
        << "not readable XML (XML nested too deeply)";
    QTest::newRow("moodle no multichoice")
        << int(Format::Moodle) << QByteArray("<quiz><question type=\"essay\"/></quiz>")
        << "no multiple-choice questions";
    QByteArray many;
    for (int i = 0; i < 101; ++i) many += "Q {=a ~b}\n\n";
    QTest::newRow("gift 101 questions")
        << int(Format::Gift) << many << "more than 100 questions; a paper holds 100";
    QTest::newRow("gift mark above 250")
        << int(Format::Gift) << QByteArray("// Mark: 251\nQ {=a ~b}\n")
        << "question 1: the mark \"251\" is not between 0 and 250";
    QTest::newRow("gift unclosed answers")
        << int(Format::Gift) << QByteArray("x\n\nQ {=a ~b\n")
        << "line 3: a question without the end of its name or answers";
    QTest::newRow("gift marked UTF-8 but not")
        << int(Format::Gift) << QByteArray("\xEF\xBB\xBFQ {=\xff ~b}")
        << "the file is not UTF-8 text";
    QTest::newRow("aiken no answer line") << int(Format::Aiken) << QByteArray("Q\nA. a\nB. b\n")
                                          << "line 1: the last question has no ANSWER line";
    QTest::newRow("aiken answer names no option")
        << int(Format::Aiken) << QByteArray("Q\nA. a\nB. b\nANSWER: D\n")
        << "line 4: the answer names no option";
    QTest::newRow("aiken stray line")
        << int(Format::Aiken) << QByteArray("Q\nA. a\nstray\nANSWER: A\n")
        << "line 3: expected an option or ANSWER";
    QTest::newRow("csv wrong header") << int(Format::Csv) << QByteArray("Question NO,mark\n1,2\n")
                                      << "header cell B1 holds \"mark\", expected \"Mark\"";
    QTest::newRow("csv mark above 250")
        << int(Format::Csv)
        << QByteArray(
               "Question NO,Mark,Answer,Question Title,Option A,Option B,Option C,Option "
               "D,Option E\n1,300,A,t\n")
        << "row 2: mark 300 is outside 0 to 250";
    QTest::newRow("csv quote never closed")
        << int(Format::Csv) << QByteArray("Question NO,Mark\n1,\"2\n")
        << "row 2: a quoted field does not end";
    QTest::newRow("csv long field")
        << int(Format::Csv) << "Question NO,Mark,Answer,\"" + QByteArray(40000, 'x') + "\"\n"
        << "row 1, column 4 holds more than 32767 characters";
}

// A broken or hostile file is refused with its reason; nothing is half read.
void InterchangeTest::brokenFiles() {
    QFETCH(int, format);
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    const ReadOutcome read = ReadQuestionContent(content, Format(format), kDefaultMark);
    QVERIFY(!read.Read());
    QVERIFY(read.rows.empty());
    QCOMPARE(read.reason, reason);
}

void InterchangeTest::independentReaders_data() {
    QTest::addColumn<int>("format");
    QTest::newRow("xlsx, openpyxl") << int(Format::Xlsx);
    QTest::newRow("ods, zipfile and XML") << int(Format::Ods);
}

// The workbooks we write, as a reader of their own sees them: the cells,
// the widths and the wrapped columns of the question sheet.
void InterchangeTest::independentReaders() {
    QFETCH(int, format);
    Paper paper;
    // Qt's JSON reading drops a byte-order mark at the start of a text.
    for (const auto& [name, questions] : Papers())
        if (QString(name) != "special characters" && QString(name) != "byte-order marks")
            paper.insert(paper.end(), questions.begin(), questions.end());
    paper = Numbered(paper);
    QTemporaryDir dir;
    const QString path = dir.filePath("paper" + InfoOf(Format(format)).extension);
    QVERIFY(WriteQuestionFile(path, paper, Format(format)).Written());

    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(SCRIVANE_WORKBOOK_CHECK), path});
    QVERIFY(python.waitForFinished(60000));
    if (python.exitCode() == 77) QSKIP("python3-openpyxl is not installed");
    QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
    const QJsonObject dump = QJsonDocument::fromJson(python.readAllStandardOutput()).object();

    const QJsonArray rows = dump.value("rows").toArray();
    QCOMPARE(rows.size(), qsizetype(paper.size() + 1));
    QCOMPARE(rows[0].toArray()[3].toString(), QStringLiteral("Question Title"));
    for (std::size_t k = 0; k < paper.size(); ++k) {
        const QJsonArray row = rows[qsizetype(k + 1)].toArray();
        const QuestionRecord& q = paper[k];
        QCOMPARE(row[0].toDouble(), double(k + 1));
        QCOMPARE(float(row[1].toDouble()), q.Score);
        QCOMPARE(row[2].toString(), AnswerMaskToText(q.Answer));
        QCOMPARE(row[3].toString(), q.Title);
        for (int i = 0; i < 6; ++i) QCOMPARE(row[4 + i].toString(), q.Items[std::size_t(i)]);
    }
    const QJsonArray widths = dump.value("widths").toArray();
    const int expected[] = {6, 6, 6, 30, 13, 13, 13, 13, 13, 13};
    for (int c = 0; c < 10; ++c) {
        QCOMPARE(int(widths[c].toDouble()), expected[c]);  // the readers add their own padding
        QVERIFY(dump.value("wrap").toArray()[c].toBool());
    }
}

// The converter between every pair of formats, IN told by its content.
void InterchangeTest::converterEveryPair() {
    const Paper paper = Numbered({Q(2.5, "B", "Which is red?", {"Venus", "Mars", "Sun"}),
                                  Q(10, "A", QStringLiteral("下列哪个？ {~=#:}"), {"甲", "乙"})});
    QTemporaryDir dir;
    // Every source written, with names that do not tell the format.
    QStringList sources;
    for (const FormatInfo& info : Formats()) {
        const QString path = dir.filePath(QStringLiteral("source-") + info.name + ".paper");
        QVERIFY(WriteQuestionFile(path, paper, info.format).Written());
        sources << path;
    }
    for (const QString& source : sources) {
        for (const FormatInfo& info : Formats()) {
            const QString out = dir.filePath(QStringLiteral("out") + info.extension);
            QFile::remove(out);
            const test::ProgramRun run = Convert({source, out, QStringLiteral("--to"), info.name});
            QVERIFY2(run.exitCode == 0, qPrintable(source + " -> " + info.name + ": " + run.err));
            const test::ProgramRun json = Convert({out, QStringLiteral("--json")});
            QCOMPARE(json.exitCode, 0);
            // Aiken carries no marks: through it they become the default mark.
            Paper expected = paper;
            if (source.contains("-aiken.") || info.format == Format::Aiken)
                for (QuestionRecord& q : expected) q.Score = kDefaultMark;
            QCOMPARE(JsonLines(QJsonDocument::fromJson(json.out).object()), Lines(expected));
        }
    }
}

void InterchangeTest::converterArguments_data() {
    QTest::addColumn<QStringList>("arguments");  // IN is a valid GIFT file, OUT in the folder
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");  // the file written, or the start of stderr
    QTest::newRow(".txt is Aiken") << QStringList{"out.txt"} << 0 << "out.txt:Aiken";
    QTest::newRow(".tpf is a workbook") << QStringList{"out.tpf"} << 0 << "out.tpf:xls";
    QTest::newRow("--to over the extension")
        << QStringList{"out.dat", "--to=moodle"} << 0 << "out.dat:Moodle";
    QTest::newRow("any other extension") << QStringList{"out.dat"} << 0 << "out.dat:xls";
    QTest::newRow("unknown format")
        << QStringList{"out.txt", "--to", "pdf"} << 2 << "scrivane-convert: unknown format pdf;";
    QTest::newRow("Aiken refuses two letters")
        << QStringList{"out.txt", "--to", "aiken", "--two-letters"} << 1 << "scrivane-convert: ";
}

void InterchangeTest::converterArguments() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QTemporaryDir dir;
    const bool twoLetters = arguments.removeAll(QStringLiteral("--two-letters")) > 0;
    const QString in = dir.filePath("in.gift");
    QVERIFY(WriteQuestionFile(in, Numbered({Q(3, twoLetters ? "AB" : "A", "t", {"a", "b"})}),
                              Format::Gift)
                .Written());
    arguments[0] = dir.filePath(arguments[0]);
    const test::ProgramRun run = Convert(QStringList{in} + arguments);
    QCOMPARE(run.exitCode, exitCode);
    if (exitCode != 0) {
        QVERIFY2(run.err.startsWith(output.toUtf8()), run.err.constData());
        if (twoLetters) QVERIFY(run.err.contains("question 1: the answer is not one letter"));
        return;
    }
    const QString file = output.section(u':', 0, 0), kind = output.section(u':', 1);
    QFile written(dir.filePath(file));
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray content = written.readAll();
    if (kind == "Aiken") QVERIFY(content.contains("ANSWER: A"));
    if (kind == "Moodle") QVERIFY(content.contains("<question type=\"multichoice\">"));
    if (kind == "xls") QVERIFY(content.startsWith("\xD0\xCF\x11\xE0"));
}

QTEST_GUILESS_MAIN(InterchangeTest)
#include "test_interchange.moc"
