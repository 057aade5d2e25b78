// The readers of the text formats as files come from other systems: every
// encoding a teacher's file may be in, recognition of the format from
// anywhere in the file, inputs that are not regular files, and the limits a
// reader stops at.
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "core/numbers.h"
#include "interchange/gift.h"
#include "interchange/htmltext.h"
#include "interchange/questionfile.h"

using namespace scrivane;
using namespace scrivane::interchange;

namespace {

const QString kFixtures = QStringLiteral(SCRIVANE_FIXTURES "/");
constexpr float kDefaultMark = 10;

QStringList Lines(const std::vector<QuestionRecord>& paper) {
    QStringList lines;
    for (const QuestionRecord& q : paper) {
        QStringList fields = {ShortestSingle(q.Score), AnswerMaskToText(q.Answer), q.Title};
        for (const QString& item : q.Items) fields << item;
        while (fields.size() > 3 && fields.back().isEmpty()) fields.removeLast();
        lines << fields.join(QStringLiteral(" | "));
    }
    return lines;
}

QStringList JsonLines(const QJsonObject& printed) {
    QStringList lines;
    for (const QJsonValue& value : printed.value("questions").toArray()) {
        const QJsonObject o = value.toObject();
        QStringList fields = {ShortestSingle(float(o.value("Score").toDouble())),
                              o.value("Answer").toString(), o.value("Title").toString()};
        for (const char* key : {"ItemA", "ItemB", "ItemC", "ItemD", "ItemE", "ItemF"})
            fields << o.value(key).toString();
        while (fields.size() > 3 && fields.back().isEmpty()) fields.removeLast();
        lines << fields.join(QStringLiteral(" | "));
    }
    return lines;
}

QJsonObject ReadJson(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

struct Run {
    int exitCode = -1;  // -1: still running after ten seconds, or crashed
    QByteArray out, err;
};

Run Convert(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(SCRIVANE_CONVERT), arguments);
    Run run;
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    if (process.exitStatus() == QProcess::NormalExit) run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// The same small paper in each text format, with characters that UTF-8,
// UTF-16 and Windows-1252 all hold but write differently.
const QString kTitle = QStringLiteral("Caf\u00e9 costs");
const QStringList kExpected = {
    QStringLiteral("2.5 | A | Caf\u00e9 costs | \u20ac5 | \u201cfive\u201d")};

QString Source(Format format) {
    switch (format) {
        case Format::Gift:
            return QStringLiteral("// Mark: 2.5\n%1 {\n=\u20ac5\n~\u201cfive\u201d\n}\n")
                .arg(kTitle);
        case Format::Aiken:
            return QStringLiteral("%1\nA. \u20ac5\nB. \u201cfive\u201d\nANSWER: A\n").arg(kTitle);
        case Format::Csv:
            return QStringLiteral(
                       "Question NO,Mark,Answer,Question Title,Option A,Option B,Option C,Option "
                       "D,Option E,Option F\n1,2.5,A,%1,\u20ac5,\u201cfive\u201d\n")
                .arg(kTitle);
        default:
            return QStringLiteral(
                       "<?xml version=\"1.0\"?>\n<quiz><question type=\"multichoice\">"
                       "<questiontext format=\"plain_text\"><text>%1</text></questiontext>"
                       "<defaultgrade>2.5</defaultgrade>"
                       "<answer fraction=\"100\" "
                       "format=\"plain_text\"><text>\u20ac5</text></answer>"
                       "<answer fraction=\"0\" format=\"plain_text\"><text>\u201cfive\u201d</text>"
                       "</answer></question></quiz>\n")
                .arg(kTitle);
    }
}

QByteArray Utf16(const QString& text, bool bigEndian) {
    QByteArray out;
    for (const QChar c : text) {
        const char high = char(c.unicode() >> 8), low = char(c.unicode() & 0xFF);
        out += bigEndian ? QByteArray{&high, 1} + QByteArray{&low, 1}
                         : QByteArray{&low, 1} + QByteArray{&high, 1};
    }
    return out;
}

QByteArray Windows1252(const QString& text) {
    QByteArray out;
    for (const QChar c : text) {
        switch (c.unicode()) {
            case 0x20AC:
                out += '\x80';
                break;
            case 0x201C:
                out += '\x93';
                break;
            case 0x201D:
                out += '\x94';
                break;
            default:
                out += char(c.unicode());  // Latin-1 below 0x100
        }
    }
    return out;
}

QByteArray Encoded(const QString& text, const QString& encoding) {
    QString windowsText = text;
    windowsText.replace(u'\n', QStringLiteral("\r\n"));  // as Windows programs end lines
    if (encoding == u"UTF-8") return text.toUtf8();
    if (encoding == u"UTF-8 with a BOM") return "\xEF\xBB\xBF" + windowsText.toUtf8();
    if (encoding == u"UTF-16LE with a BOM") return "\xFF\xFE" + Utf16(windowsText, false);
    if (encoding == u"UTF-16BE with a BOM") return "\xFE\xFF" + Utf16(windowsText, true);
    if (encoding == u"UTF-16LE") return Utf16(windowsText, false);
    if (encoding == u"UTF-16BE") return Utf16(text, true);
    return Windows1252(windowsText);
}

}  // namespace

class ReadersTest : public QObject {
    Q_OBJECT
private slots:
    void encodings_data();
    void encodings();
    void fixtures_data();
    void fixtures();
    void recognitionEverywhere_data();
    void recognitionEverywhere();
    void notRegularFiles();
    void giftMarks_data();
    void giftMarks();
    void aiken_data();
    void aiken();
    void moodleAnswers();
    void decimalCommas_data();
    void decimalCommas();
    void limits_data();
    void limits();
    void longLines_data();
    void longLines();
    void partialCredit_data();
    void partialCredit();
    void htmlTexts_data();
    void htmlTexts();
    void pictures();
    void giftMarksReadBack();
    void formatAsTold();
};

void ReadersTest::encodings_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("encoding");
    for (const Format format : {Format::Gift, Format::Aiken, Format::Csv, Format::Moodle})
        for (const char* encoding : {"UTF-8", "UTF-8 with a BOM", "UTF-16LE with a BOM",
                                     "UTF-16BE with a BOM", "UTF-16LE", "UTF-16BE", "Windows-1252"})
            QTest::newRow(qPrintable(InfoOf(format).name + QStringLiteral(", ") + encoding))
                << int(format) << QString(encoding);
}

// Every text format is recognised and read the same in every encoding, and
// says when it fell back to Windows-1252.
void ReadersTest::encodings() {
    QFETCH(int, format);
    QFETCH(QString, encoding);
    const QByteArray content = Encoded(Source(Format(format)), encoding);
    const std::optional<Format> recognised = DetectFormat(content);
    QCOMPARE(recognised ? int(*recognised) : -1, format);

    const ReadOutcome read = ReadQuestionContent(content, Format(format), kDefaultMark);
    QVERIFY2(read.Read(), qPrintable(read.reason));
    QStringList expected = kExpected;
    if (Format(format) == Format::Aiken) expected[0].replace(QStringLiteral("2.5 |"), "10 |");
    QCOMPARE(Lines(read.rows), expected);
    const QStringList notes =
        encoding == u"Windows-1252" ? QStringList{"read as Windows-1252"} : QStringList{};
    QCOMPARE(read.notes, notes);
}

void ReadersTest::fixtures_data() {
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QStringList>("notes");
    QTest::newRow("semicolons, decimal commas, Windows-1252")
        << "decimal-comma.1252.csv" << QStringList{"read as Windows-1252"};
    QTest::newRow("Aiken in UTF-16 without a BOM, small letters")
        << "lowercase-no-bom.utf16le.aiken.txt" << QStringList{};
}

void ReadersTest::fixtures() {
    QFETCH(QString, fixture);
    QFETCH(QStringList, notes);
    const ReadOutcome read = ReadQuestionFile(kFixtures + fixture, kDefaultMark);
    QVERIFY2(read.Read(), qPrintable(read.reason));
    QCOMPARE(read.notes, notes);
    const QJsonObject expected = ReadJson(kFixtures + fixture + QStringLiteral(".expected.json"));
    QVERIFY(!expected.isEmpty());
    QCOMPARE(Lines(read.rows), JsonLines(expected));
    // The converter reads it the same.
    const Run run = Convert({kFixtures + fixture, QStringLiteral("--json")});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(JsonLines(QJsonDocument::fromJson(run.out).object()), JsonLines(expected));
}

void ReadersTest::recognitionEverywhere_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("format");
    const QByteArray header = QByteArray("// a comment header of a question bank\n").repeated(2000);
    QTest::newRow("GIFT after a 78 KB comment header") << header + "\n\nQ {\n=a\n~b\n}\n"
                                                       << int(Format::Gift);
    QTest::newRow("GIFT whose answer block opens on the next line")
        << QByteArray("\n\n// c\n::n:: Q {\n\n  ~b\n=a}\n") << int(Format::Gift);
    QTest::newRow("Aiken past 64 KB of title")
        << QByteArray(70000, 'x') + "\nA. a\nB. b\nANSWER: A\n"
        << int(Format::Aiken);
    QTest::newRow("Aiken, small letters")
        << QByteArray("Q\na) x\nb) y\nanswer: b") << int(Format::Aiken);
    QTest::newRow("Moodle XML after a comment")
        << QByteArray("\n<!-- exported -->\n<quiz><question type=\"essay\"/></quiz>\n")
        << int(Format::Moodle);
    QTest::newRow("GIFT marked UTF-8 with a byte that is not")
        << QByteArray("\xEF\xBB\xBFQ {=\xE9 ~b}\n") << int(Format::Gift);
    QTest::newRow("a brace in a GIFT comment is none")
        << QByteArray("// {=a ~b}\nplain words\n") << -1;
}

// One recognition for every way in: the converter and Import From read the
// same files, wherever in the file the format shows.
void ReadersTest::recognitionEverywhere() {
    QFETCH(QByteArray, content);
    QFETCH(int, format);
    QCOMPARE(DetectFormat(content) ? int(*DetectFormat(content)) : -1, format);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bank.dat"));
    WriteFile(path, content);
    QString reason;
    const std::optional<Format> recognised = RecogniseFile(path, &reason);
    QCOMPARE(recognised ? int(*recognised) : -1, format);
    QVERIFY(reason.isEmpty());
    if (format < 0) return;
    const ReadOutcome read = ReadQuestionFile(path, kDefaultMark);
    const Run run = Convert({path, QStringLiteral("--json")});
    QVERIFY2(!run.err.contains("not a workbook"), run.err.constData());
    if (read.Read()) {
        QCOMPARE(run.exitCode, 0);
    } else {
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(read.reason.toUtf8()), run.err.constData());
    }
}

// A pipe, a folder or a device as input is refused at once, never waited on.
void ReadersTest::notRegularFiles() {
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("in.xml"));
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {fifo, dir.path(), QStringLiteral("/dev/zero")}) {
        QString reason;
        QVERIFY(!RecogniseFile(path, &reason));
        QCOMPARE(reason, QStringLiteral("not a file"));
        const ReadOutcome read = ReadQuestionFile(path, kDefaultMark);
        QCOMPARE(int(read.status), int(ReadOutcome::Status::Unreadable));
        QCOMPARE(read.reason, QStringLiteral("not a file"));
    }
    for (const QStringList& arguments :
         {QStringList{fifo, "--json"}, QStringList{fifo, dir.filePath("out.gift")},
          QStringList{fifo, dir.filePath("out.csv"), "--to", "csv"}}) {
        const Run run = Convert(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains("not a file"), run.err.constData());
    }
}

void ReadersTest::giftMarks_data() {
    QTest::addColumn<QString>("mark");
    QTest::addColumn<QString>("read");  // the mark read, or the refusal
    const QString notNumber = QStringLiteral("question 2: the mark \"%1\" is not a number");
    const QString outside = QStringLiteral("question 2: the mark \"%1\" is not between 0 and 250");
    for (const char* good : {"0", "250", "2.5", "2,5", ".5", "+3", "007"})
        QTest::newRow(good) << QString(good)
                            << ShortestSingle(QString(good).replace(u',', u'.').toFloat());
    for (const char* bad : {"1e400", "0x10", "1e2", "ten", "", "2.5.1", "inf", "nan", "3 points"})
        QTest::newRow(bad) << QString(bad) << notNumber.arg(bad);
    for (const char* far : {"-1", "250.5", "-0.5", "99999999999999999999"})
        QTest::newRow(far) << QString(far) << outside.arg(far);
}

// A "// Mark:" is read as a grade is: a decimal number from 0 to 250, or the
// file is refused naming the question.
void ReadersTest::giftMarks() {
    QFETCH(QString, mark);
    QFETCH(QString, read);
    const QByteArray content =
        "// Mark: 4\nQ1 {=a ~b}\n\n// a question of another type takes no mark\n"
        "// Mark: nonsense\nE {}\n\n// Mark: " +
        mark.toUtf8() + "\nQ2 {=a ~b}\n";
    const ReadOutcome outcome = ReadQuestionContent(content, Format::Gift, kDefaultMark);
    if (read.startsWith(QStringLiteral("question"))) {
        QVERIFY(!outcome.Read());
        QCOMPARE(outcome.reason, read);
    } else {
        QVERIFY2(outcome.Read(), qPrintable(outcome.reason));
        QCOMPARE(outcome.rows.size(), std::size_t(2));
        QCOMPARE(outcome.rows[0].Score, 4.0f);
        QCOMPARE(ShortestSingle(outcome.rows[1].Score), read);
    }
}

void ReadersTest::aiken_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("read");  // the rows read, or the refusal
    QTest::newRow("small answer letter")
        << QByteArray("Q\nA. x\nB. y\nANSWER: b\n") << "10 | B | Q | x | y";
    QTest::newRow("small option letters in order")
        << QByteArray("Q\na) x\nb) y\nc) z\nAnswer: C\n") << "10 | C | Q | x | y | z";
    QTest::newRow("last line the ANSWER line, no line end")
        << QByteArray("Q\nA. x\nB. y\nANSWER: A") << "10 | A | Q | x | y";
    QTest::newRow("a DOS end-of-file mark")
        << QByteArray("Q\r\nA. x\r\nB. y\r\nANSWER: A\r\n\x1A") << "10 | A | Q | x | y";
    QTest::newRow("old Mac line ends")
        << QByteArray("Q\rA. x\rB. y\rANSWER: B\r") << "10 | B | Q | x | y";
    QTest::newRow("a small letter out of order is a title line")
        << QByteArray("Q\nb) x\nA. y\nB. z\nANSWER: B\n") << "10 | B | Q\nb) x | y | z";
    QTest::newRow("the unfinished question named by its first line")
        << QByteArray("Q\nA. x\nANSWER: A\n\nR\nA. x\n\n")
        << "line 5: the last question has no ANSWER line";
    QTest::newRow("an ANSWER line without a letter")
        << QByteArray("Q\nA. x\nB. y\nANSWER: 2\n")
        << "line 4: the ANSWER line names no option letter";
    QTest::newRow("a title longer than a cell")
        << "Q\n" + QByteArray(40000, 'x') + "\nA. x\nANSWER: A\n"
        << "line 2: a text is longer than 32767 characters";
}

void ReadersTest::aiken() {
    QFETCH(QByteArray, content);
    QFETCH(QString, read);
    QCOMPARE(DetectFormat(content), std::optional<Format>(Format::Aiken));
    const ReadOutcome outcome = ReadQuestionContent(content, Format::Aiken, kDefaultMark);
    QCOMPARE(outcome.Read() ? Lines(outcome.rows).join(u'\n') : outcome.reason, read);
}

// A question with more answers than a paper holds is skipped with a note;
// blank answers do not count, and no answer's text joins another's.
void ReadersTest::moodleAnswers() {
    const auto answer = [](const QByteArray& text, int fraction = 0) {
        return "<answer fraction=\"" + QByteArray::number(fraction) + "\"><text>" + text +
               "</text></answer>";
    };
    QByteArray many =
        "<question type=\"multichoice\"><questiontext><text>many</text></questiontext>";
    for (int i = 0; i < 200; ++i)
        many += answer(QByteArray(1000, char('a' + i % 26)), i == 0 ? 100 : 0);
    many += "</question>";
    QByteArray blanks =
        "<question type=\"multichoice\"><questiontext><text>six</text></questiontext>";
    for (int i = 0; i < 6; ++i) {
        blanks += answer(QByteArray(1, char('p' + i)), i == 5 ? 100 : 0);
        blanks += answer("  ") + answer("<p></p>");
    }
    blanks += "</question>";
    QByteArray seven =
        "<question type=\"multichoice\"><questiontext><text>seven</text></questiontext>";
    for (int i = 0; i < 7; ++i) seven += answer(QByteArray(1, char('a' + i)), i == 0 ? 100 : 0);
    seven += "</question>";
    const QByteArray content = "<quiz>" + many + blanks + seven + "</quiz>";
    const ReadOutcome read = ReadQuestionContent(content, Format::Moodle, kDefaultMark);
    QVERIFY2(read.Read(), qPrintable(read.reason));
    QCOMPARE(Lines(read.rows), QStringList{"1 | F | six | p | q | r | s | t | u"});
    QCOMPARE(read.notes, QStringList{"2 questions with more than six options were skipped"});
}

void ReadersTest::decimalCommas_data() {
    QTest::addColumn<QByteArray>("rows");
    QTest::addColumn<QString>("read");
    const QByteArray semicolons =
        "Question NO;Mark;Answer;Question Title;Option A;Option B;Option C;Option D;Option E\n";
    QTest::newRow("semicolons") << semicolons + "1;2,5;A;t;a;b\n2;0,5;B;u;a;b\n3;,5;A;v;a;b\n"
                                << "2.5 | A | t | a | b\n0.5 | B | u | a | b\n0.5 | A | v | a | b";
    QTest::newRow("a comma in a title stays") << semicolons + "1;3;A;1,5 or 2,5?;1,5;2,5\n"
                                              << "3 | A | 1,5 or 2,5? | 1,5 | 2,5";
}

void ReadersTest::decimalCommas() {
    QFETCH(QByteArray, rows);
    QFETCH(QString, read);
    const ReadOutcome outcome = ReadQuestionContent(rows, Format::Csv, kDefaultMark);
    QCOMPARE(outcome.Read() ? Lines(outcome.rows).join(u'\n') : QStringLiteral("refused"), read);
}

void ReadersTest::limits_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    QByteArray aikens;
    for (int i = 0; i < 5000; ++i) aikens += "Q\nA. a\nB. b\nANSWER: A\n\n";
    QTest::newRow("Aiken, 5000 questions")
        << int(Format::Aiken) << aikens << "more than 100 questions; a paper holds 100";
    QByteArray moodle = "<quiz>";
    for (int i = 0; i < 5000; ++i)
        moodle +=
            "<question type=\"multichoice\"><answer fraction=\"100\"><text>a</text></answer>"
            "</question>";
    QTest::newRow("Moodle, 5000 questions and a broken end")
        << int(Format::Moodle) << moodle + "<oops"
        << "more than 100 questions; a paper holds 100";
    QTest::newRow("GIFT, an answer block of 2 MB on one line")
        << int(Format::Gift) << "Q {" + QByteArray("~a ").repeated(700000) + "}\n"
        << "line 1: a question longer than a paper can hold";
    QTest::newRow("GIFT, an answer block of 2 MB of lines")
        << int(Format::Gift) << "x {=a ~b}\n\nQ {\n" + QByteArray("~a\n").repeated(700000) + "}\n"
        << "line 3: a question longer than a paper can hold";
    QTest::newRow("Aiken, an option line of 2 MB")
        << int(Format::Aiken) << "Q\nA. " + QByteArray(2000000, 'a') + "\nANSWER: A\n"
        << "line 2: a text is longer than 32767 characters";
}

// A reader stops at the first limit passed and says which.
void ReadersTest::limits() {
    QFETCH(int, format);
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    const ReadOutcome read = ReadQuestionContent(content, Format(format), kDefaultMark);
    QVERIFY(!read.Read());
    QCOMPARE(read.reason, reason);
}

void ReadersTest::longLines_data() {
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<int>("shift");  // moves every character across the places lines are cut
    for (const char* encoding : {"UTF-8", "UTF-16LE with a BOM", "UTF-16BE", "Windows-1252"})
        for (int shift = 0; shift < 4; ++shift)
            QTest::newRow(qPrintable(QStringLiteral("%1, shifted by %2").arg(encoding).arg(shift)))
                << QString(encoding) << shift;
}

// Lines longer than a reader takes at once (a CSV row of 150,000 characters)
// are read whole: no character, doubled quote or line end is lost where
// they are cut.
void ReadersTest::longLines() {
    QFETCH(QString, encoding);
    QFETCH(int, shift);
    // Quotes, line breaks, and characters of two, three and four bytes
    // (Windows-1252 holds no emoji).
    const QString pattern = encoding == u"Windows-1252"
                                ? QStringLiteral("\u00e9\"\u20ac")
                                : QStringLiteral("\u00e9\"\u20ac\U0001F600");
    QStringList texts;
    for (int i = 0; i < 7; ++i) {
        QString text = QString(shift + i, u'x');
        while (text.size() < 21000) text += pattern;
        // A line break in the first and the last text only, so that the
        // line between them is longer than a piece.
        const qsizetype at = 1000 * (i + 1);
        if (i == 0 || i == 6)
            text.insert(text[at].isLowSurrogate() ? at + 1 : at, QStringLiteral("\r\n"));
        texts << text;
    }
    QString csv = QStringLiteral(
        "Question NO,Mark,Answer,Question Title,Option A,Option B,Option C,Option D,Option "
        "E,Option F\n1,3,F");
    for (const QString& text : texts)
        csv += QStringLiteral(",\"") + QString(text).replace(u'"', QStringLiteral("\"\"")) + u'"';
    csv += u'\n';
    const QByteArray content = Encoded(csv, encoding);
    QCOMPARE(DetectFormat(content), std::optional<Format>(Format::Csv));
    const ReadOutcome read = ReadQuestionContent(content, Format::Csv, kDefaultMark);
    QVERIFY2(read.Read(), qPrintable(read.reason));
    QCOMPARE(read.rows.size(), std::size_t(1));
    // Encoded writes the line ends of Windows files as \r\n, the \r\n within too.
    const bool windows = encoding != u"UTF-8" && encoding != u"UTF-16BE";
    const auto asWritten = [windows](QString text) {
        if (windows) text.replace(QStringLiteral("\r\n"), QStringLiteral("\r\r\n"));
        return text;
    };
    QCOMPARE(read.rows[0].Title, asWritten(texts[0]));
    for (int i = 0; i < 6; ++i)
        QCOMPARE(read.rows[0].Items[std::size_t(i)], asWritten(texts[i + 1]));
}

namespace {

QByteArray MoodleQuestion(const char* single, const QList<std::pair<int, QByteArray>>& answers,
                          const QByteArray& text = "Capital?") {
    QByteArray q = "<question type=\"multichoice\"><questiontext format=\"html\"><text>" + text +
                   "</text></questiontext>";
    if (single) q += QByteArray("<single>") + single + "</single>";
    for (const auto& [fraction, answer] : answers)
        q += "<answer fraction=\"" + QByteArray::number(fraction) + "\"><text>" + answer +
             "</text></answer>";
    return q + "</question>";
}

}  // namespace

void ReadersTest::partialCredit_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("read");
    QTest::addColumn<QStringList>("notes");
    const auto quiz = [](const QByteArray& questions) { return "<quiz>" + questions + "</quiz>"; };
    const QList<std::pair<int, QByteArray>> partial = {
        {100, "Canberra"}, {50, "Australian Capital Territory"}, {0, "Sydney"}};
    QTest::newRow("moodle single keeps full credit")
        << int(Format::Moodle) << quiz(MoodleQuestion("true", partial))
        << "1 | A | Capital? | Canberra | Australian Capital Territory | Sydney"
        << QStringList{"question 1: the 50 % credit of option B is not kept"};
    QTest::newRow("moodle multiple keeps every positive weight")
        << int(Format::Moodle) << quiz(MoodleQuestion("false", partial))
        << "1 | AB | Capital? | Canberra | Australian Capital Territory | Sydney" << QStringList();
    QTest::newRow("moodle without single, one full credit")
        << int(Format::Moodle) << quiz(MoodleQuestion(nullptr, partial))
        << "1 | A | Capital? | Canberra | Australian Capital Territory | Sydney"
        << QStringList{"question 1: the 50 % credit of option B is not kept"};
    QTest::newRow("moodle without single, shared credit")
        << int(Format::Moodle) << quiz(MoodleQuestion(nullptr, {{50, "2"}, {50, "3"}, {-100, "4"}}))
        << "1 | AB | Capital? | 2 | 3 | 4" << QStringList();
    QTest::newRow("gift = beside a part credit")
        << int(Format::Gift)
        << QByteArray(
               "Q1 {=a ~b}\n\nCapital? {\n=Canberra\n~%50%Australian Capital Territory\n"
               "~%33.33333%Parliament House\n~Sydney\n}\n")
        << "10 | A | Q1 | a | b\n10 | A | Capital? | Canberra | Australian Capital Territory | "
           "Parliament House | Sydney"
        << QStringList{"question 2: the 50 % credit of option B is not kept",
                       "question 2: the 33.33333 % credit of option C is not kept"};
    QTest::newRow("gift weights without =")
        << int(Format::Gift) << QByteArray("Primes? {\n~%50%2\n~%50%3\n~%-100%4\n}\n")
        << "10 | AB | Primes? | 2 | 3 | 4" << QStringList();
}

// A single-answer question keeps only its full-credit options as the answer
// and says what part credit it dropped; a multiple-answer one keeps every
// option of positive weight.
void ReadersTest::partialCredit() {
    QFETCH(int, format);
    QFETCH(QByteArray, content);
    QFETCH(QString, read);
    QFETCH(QStringList, notes);
    const ReadOutcome outcome = ReadQuestionContent(content, Format(format), kDefaultMark);
    QVERIFY2(outcome.Read(), qPrintable(outcome.reason));
    QCOMPARE(Lines(outcome.rows).join(u'\n'), read);
    QCOMPARE(outcome.notes, notes);
}

void ReadersTest::htmlTexts_data() {
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QStringList>("dropped");
    const QStringList none;
    QTest::newRow("named entities") << "&eacute;t&eacute; &le; &alpha; &frac12; &rarr; &Uuml;"
                                    << QString::fromUtf8("été ≤ α ½ → Ü") << none;
    QTest::newRow("long and two-character entities")
        << "&CounterClockwiseContourIntegral; &NotEqualTilde;"
        << QStringLiteral("\u2233 \u2242\u0338") << none;
    QTest::newRow("numeric entities")
        << "&#233;&#x3B1;&#X1F600;&#150;" << QString::fromUtf8("éα😀–") << none;
    QTest::newRow("unknown entities stay") << "&nosuch; &#xD800; & x"
                                           << "&nosuch; &#xD800; & x" << none;
    QTest::newRow("superscript") << "x<sup>2</sup> + y<sup>-1</sup>"
                                 << QString::fromUtf8("x² + y⁻¹") << none;
    QTest::newRow("subscript") << "H<sub>2</sub>O, CO<sub>2</sub>" << QString::fromUtf8("H₂O, CO₂")
                               << none;
    QTest::newRow("raised text without characters")
        << "e<sup>i&pi;</sup>, H<sub>aq</sub>, x<sup>2y</sup>"
        << QString::fromUtf8("e^(iπ), H_(aq), x^(2y)") << none;
    QTest::newRow("formatting noted")
        << "<p dir=\"ltr\">Which is <strong>not</strong> a <em>prime</em>?</p>"
        << "Which is not a prime?" << QStringList{"strong", "em"};
}

// Every HTML entity is decoded, raised and lowered text stays readable, and
// dropped markup is told.
void ReadersTest::htmlTexts() {
    QFETCH(QString, html);
    QFETCH(QString, plain);
    QFETCH(QStringList, dropped);
    HtmlLosses losses;
    QCOMPARE(HtmlToPlain(html, &losses), plain);
    QCOMPARE(losses.markup, dropped);
    QVERIFY(!losses.picture);
    // A GIFT text without [html] keeps its characters as typed.
    QByteArray escaped;
    for (const char c : html.toUtf8()) {
        if (QByteArrayView("\\~=#{}:").contains(c)) escaped += '\\';
        escaped += c;
    }
    const ReadOutcome gift =
        ReadQuestionContent("Which? {\n=" + escaped + "\n~no\n}\n", Format::Gift, kDefaultMark);
    QVERIFY2(gift.Read(), qPrintable(gift.reason));
    QCOMPARE(gift.rows[0].Items[0], html);
}

// An option that is only a picture the file does not hold is kept as
// [picture] with its credit, and the note names every question that lost a
// picture.
void ReadersTest::pictures() {
    const QByteArray picture = "<![CDATA[<img src=\"@@PLUGINFILE@@/map.png\" alt=\"\">]]>";
    const QByteArray content =
        "<quiz>" +
        MoodleQuestion("true", {{0, "Rome"}, {100, picture}}, "<![CDATA[Which flag?]]>") +
        MoodleQuestion("true", {{100, "Oslo"}, {0, "Bern"}}, "plain") +
        MoodleQuestion("true", {{100, "a"}, {0, "b"}},
                       "<![CDATA[<p>Where? <img src=\"x.png\"><b>bold</b></p>]]>") +
        "</quiz>";
    const ReadOutcome read = ReadQuestionContent(content, Format::Moodle, kDefaultMark);
    QVERIFY2(read.Read(), qPrintable(read.reason));
    QCOMPARE(Lines(read.rows),
             (QStringList{"1 | B | Which flag? | Rome | [picture]", "1 | A | plain | Oslo | Bern",
                          "1 | A | Where? bold | a | b"}));
    QCOMPARE(read.notes, (QStringList{"questions 1 and 3 lost pictures that the file does not hold, "
                                      "and an option that was only a picture reads [picture]",
                                      "the formatting of question 3 was dropped (b)"}));
}

// The GIFT writer writes marks as plain decimals, and its reader reads them.
void ReadersTest::giftMarksReadBack() {
    for (const float mark : {0.0005f, 1e-7f, 0.1f, 2.5f, 249.99998f, 250.0f, 0.0f}) {
        QuestionRecord q;
        q.QuestionNo = 1;
        q.Score = mark;
        q.Title = QStringLiteral("Q");
        q.Items[0] = QStringLiteral("a");
        q.Items[1] = QStringLiteral("b");
        q.Answer = 1;
        const QByteArray written = WriteGift({q});
        QVERIFY2(!written.contains("e-"), written.constData());
        const ReadOutcome read = ReadQuestionContent(written, Format::Gift, kDefaultMark);
        QVERIFY2(read.Read(), qPrintable(read.reason));
        QCOMPARE(read.rows[0].Score, mark);
    }
}

// Aiken texts with braces stay Aiken, as recognised and as told by --from;
// a file read as another format than its content is read by that reader.
void ReadersTest::formatAsTold() {
    QTemporaryDir dir;
    const QString aiken = dir.filePath(QStringLiteral("braces.txt"));
    WriteFile(aiken,
              "What does {~0} do?\nA. int x[] = {~0};\nB. {# nothing #}\nC. {T}\n"
              "ANSWER: A\n");
    QCOMPARE(DetectFormat(QByteArray("What does {~0} do?\nA. int x[] = {~0};\nB. b\nANSWER: A\n")),
             std::optional<Format>(Format::Aiken));
    const ReadOutcome read = ReadQuestionFile(aiken, kDefaultMark);
    QVERIFY2(read.Read(), qPrintable(read.reason));
    QCOMPARE(Lines(read.rows),
             QStringList{"10 | A | What does {~0} do? | int x[] = {~0}; | {# nothing #} | {T}"});

    const QString gift = dir.filePath(QStringLiteral("q.gift"));
    WriteFile(gift, "Q {=a ~b}\n");
    QCOMPARE(ReadQuestionFileAs(gift, Format::Gift, kDefaultMark).rows.size(), std::size_t(1));
    const ReadOutcome asAiken = ReadQuestionFileAs(gift, Format::Aiken, kDefaultMark);
    QCOMPARE(asAiken.reason, QStringLiteral("line 1: the last question has no ANSWER line"));

    const Run run = Convert({aiken, "--json", "--from", "aiken"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(JsonLines(QJsonDocument::fromJson(run.out).object()), Lines(read.rows));
    const Run refused = Convert({gift, "--json", "--from=aiken"});
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.err.contains("the last question has no ANSWER line"), refused.err.constData());
    const Run unknown = Convert({gift, "--json", "--from", "xls"});
    QCOMPARE(unknown.exitCode, 2);
    QVERIFY2(unknown.err.contains("unknown format xls for --from"), unknown.err.constData());
}

QTEST_GUILESS_MAIN(ReadersTest)
#include "test_readers.moc"
