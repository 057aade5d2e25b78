// Pictures on the way to and from the learning platforms: Moodle XML carries
// them as Moodle writes them, byte for byte, under safe names; the formats
// that hold text only name every picture they leave out; a Moodle file that
// its pictures would make too large to read back is never written.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "interchange/moodlexml.h"
#include "interchange/picturefiles.h"
#include "interchange/questionfile.h"

using namespace scrivane;
using namespace scrivane::interchange;

namespace {

const QString kPictures = QStringLiteral(SCRIVANE_FIXTURES "/pictures/");
constexpr float kDefaultMark = 10;

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

Picture FixturePicture(const QString& name, const QString& format) {
    return Picture{FileBytes(kPictures + name), format, name};
}

QuestionRecord Question(const QString& title, QStringList options, const QString& answer) {
    QuestionRecord q;
    q.Score = 2;
    q.Title = title;
    q.Answer = AnswerTextToMask(answer);
    for (qsizetype i = 0; i < options.size(); ++i) q.Items[std::size_t(i)] = options[i];
    return q;
}

// A question with a map under its title and a graph as the whole of option B,
// which is the answer.
QuestionRecord MapQuestion() {
    QuestionRecord q = Question(QStringLiteral("Which graph fits the map?"),
                                {QStringLiteral("A line"), QString()}, QStringLiteral("B"));
    q.Pictures[kPictureTitle] = {FixturePicture(QStringLiteral("river map.png"), "png")};
    q.Pictures[PictureBoxOfItem(1)] = {FixturePicture(QStringLiteral("graph_a.svg"), "svg")};
    return q;
}

ReadOutcome ReadMoodle(const QByteArray& content) {
    return ReadQuestionContent(content, Format::Moodle, kDefaultMark);
}

}  // namespace

class InterchangePicturesTest : public QObject {
    Q_OBJECT

private slots:
    void moodleFileFromMoodle();
    void moodleRoundTripKeepsBytes();
    void hostileNames_data();
    void hostileNames();
    void picturesNotKept_data();
    void picturesNotKept();
    void textFormatsNameWhatTheyLeaveOut_data();
    void textFormatsNameWhatTheyLeaveOut();
    void pictureOnlyAnswerIsFilled();
    void moodleFileTooLargeIsNotWritten();
    void formulaStaysText();
};

// A bank as Moodle exports it: the question's picture and image-only options
// come in with their bytes and names; the feedback's pictures stay behind.
void InterchangePicturesTest::moodleFileFromMoodle() {
    const ReadOutcome read =
        ReadQuestionFile(QStringLiteral(SCRIVANE_FIXTURES "/pictures.moodle.xml"), kDefaultMark);
    QVERIFY2(read.Read(), qPrintable(read.reason));
    QCOMPARE(read.notes, QStringList{QStringLiteral("1 category was skipped")});
    QCOMPARE(read.rows.size(), std::size_t(2));

    const QuestionRecord& river = read.rows[0];
    QCOMPARE(river.Title, QStringLiteral("Which river is marked on the map?"));
    QCOMPARE(river.Pictures[kPictureTitle],
             QList<Picture>{FixturePicture(QStringLiteral("river map.png"), "png")});
    QCOMPARE(river.Items[1], QStringLiteral("The Danube"));
    QCOMPARE(river.Answer, AnswerMask(2));
    for (int box = 1; box < kPictureBoxes; ++box) QVERIFY(river.Pictures[box].isEmpty());

    const QuestionRecord& graphs = read.rows[1];
    QCOMPARE(graphs.Items[0], QString());
    QCOMPARE(graphs.Items[1], QString());
    QCOMPARE(graphs.Pictures[PictureBoxOfItem(0)],
             QList<Picture>{FixturePicture(QStringLiteral("graph_a.svg"), "svg")});
    QCOMPARE(graphs.Pictures[PictureBoxOfItem(1)],
             QList<Picture>{FixturePicture(QStringLiteral("graph_b.svg"), "svg")});
    // A picture in a folder of the text's files is found by its path.
    QCOMPARE(graphs.Items[2], QStringLiteral("Neither: a photo"));
    QCOMPARE(graphs.Pictures[PictureBoxOfItem(2)],
             QList<Picture>{FixturePicture(QStringLiteral("rock.jpg"), "jpeg")});
    QCOMPARE(graphs.Answer, AnswerMask(1));
    QVERIFY(IsFilledOption(graphs, 0));
}

// Out and in again, the pictures are the same bytes under the same names,
// written as Moodle writes them; a second trip writes the same file.
void InterchangePicturesTest::moodleRoundTripKeepsBytes() {
    const ReadOutcome first =
        ReadQuestionFile(QStringLiteral(SCRIVANE_FIXTURES "/pictures.moodle.xml"), kDefaultMark);
    QVERIFY(first.Read());
    std::vector<QuestionRecord> paper = first.rows;
    paper.push_back(MapQuestion());
    paper.back().QuestionNo = 3;

    const QByteArray written = WriteMoodleXml(paper);
    QVERIFY(written.contains(
        "<text><![CDATA[Which river is marked on the map?<br><img "
        "src=\"@@PLUGINFILE@@/river%20map.png\" alt=\"\">]]></text>\n"
        "      <file name=\"river map.png\" path=\"/\" encoding=\"base64\">" +
        FileBytes(kPictures + "river map.png").toBase64() + "</file>\n    </questiontext>"));
    QVERIFY(written.contains("<text><![CDATA[<img src=\"@@PLUGINFILE@@/graph_a.svg\" alt=\"\">]]>"
                             "</text>\n      <file name=\"graph_a.svg\""));
    QCOMPARE(MoodleXmlSize(paper), written.size());

    const ReadOutcome again = ReadMoodle(written);
    QVERIFY2(again.Read(), qPrintable(again.reason));
    QVERIFY(again.notes.isEmpty());
    QCOMPARE(again.rows, paper);
    QCOMPARE(WriteMoodleXml(again.rows), written);
}

void InterchangePicturesTest::hostileNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("written");
    QTest::newRow("a path up") << "../../x.png" << "png" << "x.png";
    QTest::newRow("a Windows path") << "C:\\Users\\t\\map.png" << "png" << "map.png";
    QTest::newRow("quotes that would close the attribute")
        << "x.png\" onerror=\"alert(1)" << "png" << "x.png onerror=alert(1).png";
    QTest::newRow("the end of the CDATA") << "]]><b>.svg" << "svg" << "]]b.svg";
    QTest::newRow("nothing but dots") << ".." << "jpeg" << "picture.jpg";
    QTest::newRow("no name") << "" << "svg" << "picture.svg";
    QTest::newRow("the wrong extension") << "photo.png" << "jpeg" << "photo.png.jpg";
    QTest::newRow("a control character") << QString("a\nb\x01.png") << "png" << "ab.png";
    QTest::newRow("blanks and accents") << QString::fromUtf8("carte de l'Èbre.png") << "png"
                                        << QString::fromUtf8("carte de lÈbre.png");
}

// A name from anywhere is written as a plain name: it never leaves its
// attribute, its text or the question's files, and reads back as written.
void InterchangePicturesTest::hostileNames() {
    QFETCH(QString, name);
    QFETCH(QString, format);
    QFETCH(QString, written);
    QuestionRecord q = Question(QStringLiteral("Q"), {QStringLiteral("a"), QStringLiteral("b")},
                                QStringLiteral("A"));
    const Picture picture = FixturePicture(
        format == u"svg" ? QStringLiteral("graph_a.svg")
                         : (format == u"png" ? QStringLiteral("river map.png")
                                             : QStringLiteral("rock.jpg")),
        format);
    q.Pictures[kPictureTitle] = {Picture{picture.Data, format, name}};
    q.Pictures[PictureBoxOfItem(1)] = {Picture{picture.Data, format, name}};
    const QByteArray xml = WriteMoodleXml({q});
    const ReadOutcome read = ReadMoodle(xml);
    QVERIFY2(read.Read(), qPrintable(read.reason + "\n" + xml));
    QVERIFY(read.notes.isEmpty());
    QCOMPARE(read.rows[0].Pictures[kPictureTitle].value(0).Name, written);
    QCOMPARE(read.rows[0].Pictures[kPictureTitle].value(0).Data, picture.Data);
    // The same name twice in a question is made unique.
    const QString second = read.rows[0].Pictures[PictureBoxOfItem(1)].value(0).Name;
    QCOMPARE(second, written.left(written.lastIndexOf(u'.')) + "-2" +
                         written.mid(written.lastIndexOf(u'.')));
    for (const QByteArray& line : xml.split('\n'))
        if (line.contains("<img")) QCOMPARE(line.count('"'), 4);
}

void InterchangePicturesTest::picturesNotKept_data() {
    const QByteArray png = FileBytes(kPictures + "river map.png").toBase64();
    QTest::addColumn<QByteArray>("answer");  // the second answer, the correct one
    QTest::addColumn<QString>("text");       // what option B reads
    QTest::addColumn<QStringList>("notes");
    const QString lost = QStringLiteral(
        "question 1 lost a picture that the file does not hold, and an option that was only a "
        "picture reads [picture]");
    QTest::newRow("a web address")
        << QByteArray("<text><![CDATA[<img src=\"https://example.org/a.png\">]]></text>")
        << "[picture]" << QStringList{lost};
    QTest::newRow("a file that is not there")
        << QByteArray("<text><![CDATA[<img src=\"@@PLUGINFILE@@/a.png\">]]></text>"
                      "<file name=\"b.png\" path=\"/\" encoding=\"base64\">" +
                      png + "</file>")
        << "[picture]" << QStringList{lost};
    QTest::newRow("a file in another folder")
        << QByteArray("<text><![CDATA[<img src=\"@@PLUGINFILE@@/a.png\">]]></text>"
                      "<file name=\"a.png\" path=\"/x/\" encoding=\"base64\">" +
                      png + "</file>")
        << "[picture]" << QStringList{lost};
    QTest::newRow("a GIF")
        << QByteArray("<text><![CDATA[Flag <img src=\"@@PLUGINFILE@@/f.gif\">]]></text>"
                      "<file name=\"f.gif\" path=\"/\" encoding=\"base64\">R0lGODlhAQABAAAAACw="
                      "</file>")
        << "Flag"
        << QStringList{"question 1: the picture f.gif is not kept: a GIF comes in from a file or "
                       "the clipboard, not from here"};
    QTest::newRow("damaged base64")
        << QByteArray("<text><![CDATA[Flag <img src=\"@@PLUGINFILE@@/f.png\">]]></text>"
                      "<file name=\"f.png\" path=\"/\" encoding=\"base64\">iVBO*w==</file>")
        << "Flag" << QStringList{"question 1: the picture f.png is not kept: its file is damaged"};
    QTest::newRow("not a picture")
        << QByteArray("<text><![CDATA[Flag <img src=\"@@PLUGINFILE@@/f.png\">]]></text>"
                      "<file name=\"f.png\" path=\"/\" encoding=\"base64\">" +
                      QByteArray("#!/bin/sh\nrm -rf ~\n").toBase64() + "</file>")
        << "Flag"
        << QStringList{"question 1: the picture f.png is not kept: it is not a PNG, JPEG or SVG "
                       "picture"};
    QTest::newRow("larger than a paper takes")
        << QByteArray("<text><![CDATA[Flag <img src=\"@@PLUGINFILE@@/f.png\">]]></text>"
                      "<file name=\"f.png\" path=\"/\" encoding=\"base64\">" +
                      QByteArray(std::size_t(kMaxPictureFileBytes) / 3 * 4 + 4, 'A') + "</file>")
        << "Flag"
        << QStringList{"question 1: the picture f.png is not kept: it is larger than 10 MB"};
}

// What a file does not hold, or holds but a paper does not take, is named;
// the option and its credit stay.
void InterchangePicturesTest::picturesNotKept() {
    QFETCH(QByteArray, answer);
    QFETCH(QString, text);
    QFETCH(QStringList, notes);
    const QByteArray content = "<quiz><question type=\"multichoice\"><questiontext format=\"html\">"
                               "<text>Which flag?</text></questiontext>"
                               "<answer fraction=\"0\"><text>Rome</text></answer>"
                               "<answer fraction=\"100\">" +
                               answer + "</answer></question></quiz>";
    const ReadOutcome read = ReadMoodle(content);
    QVERIFY2(read.Read(), qPrintable(read.reason));
    QCOMPARE(read.notes, notes);
    QCOMPARE(read.rows[0].Items[1], text);
    QVERIFY(read.rows[0].Pictures[PictureBoxOfItem(1)].isEmpty());
    QCOMPARE(read.rows[0].Answer, AnswerMask(2));
}

void InterchangePicturesTest::textFormatsNameWhatTheyLeaveOut_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("name");
    QTest::newRow("CSV") << int(Format::Csv) << "CSV";
    QTest::newRow("GIFT") << int(Format::Gift) << "GIFT";
    QTest::newRow("Aiken") << int(Format::Aiken) << "Aiken";
}

// CSV, GIFT and Aiken write a picture-only option as [picture] with its
// credit, and name every picture they leave out.
void InterchangePicturesTest::textFormatsNameWhatTheyLeaveOut() {
    QFETCH(int, format);
    QFETCH(QString, name);
    QuestionRecord plain = Question(QStringLiteral("Plain"),
                                    {QStringLiteral("x"), QStringLiteral("y")}, QStringLiteral("A"));
    QuestionRecord pictured = MapQuestion();
    pictured.Pictures[PictureBoxOfItem(0)] = {
        FixturePicture(QStringLiteral("rock.jpg"), "jpeg"),
        Picture{FileBytes(kPictures + "rock.jpg"), QStringLiteral("jpeg"), QString()}};
    // A title that is only a picture (Aiken needs a text).
    QuestionRecord titleOnly = Question(QString(), {QStringLiteral("p"), QStringLiteral("q")},
                                        QStringLiteral("B"));
    titleOnly.Pictures[kPictureTitle] = {FixturePicture(QStringLiteral("graph_b.svg"), "svg")};
    const std::vector<QuestionRecord> paper = {plain, pictured, titleOnly};

    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out"));
    const WriteOutcome written = WriteQuestionFile(path, paper, Format(format));
    QVERIFY2(written.Written(), qPrintable(written.unfit.join(u'\n') + written.reason));
    QCOMPARE(written.notes,
             (QStringList{
                 QStringLiteral("question 2: %1 does not carry pictures: river map.png (the "
                                "question), rock.jpg (option A), picture.jpg (option A), "
                                "graph_a.svg (option B) are left out")
                     .arg(name),
                 QStringLiteral("question 3: %1 does not carry pictures: graph_b.svg (the "
                                "question) is left out")
                     .arg(name)}));
    const ReadOutcome read = ReadQuestionFileAs(path, Format(format), kDefaultMark);
    QVERIFY2(read.Read(), qPrintable(read.reason));
    QCOMPARE(read.rows[1].Title, pictured.Title);
    QCOMPARE(read.rows[1].Items[0], QStringLiteral("A line"));
    QCOMPARE(read.rows[1].Items[1], kPictureStandIn);
    QCOMPARE(read.rows[1].Answer, AnswerMask(2));
    QCOMPARE(read.rows[2].Title, kPictureStandIn);
    QVERIFY(!HasPictures(read.rows[1].Pictures));
}

// An answer on an option that is only a picture is an answer on a filled
// option: the platform formats write it; on an option of blanks alone they
// still refuse it.
void InterchangePicturesTest::pictureOnlyAnswerIsFilled() {
    for (const Format format : {Format::Moodle, Format::Gift, Format::Aiken})
        QVERIFY(UnfitFor({MapQuestion()}, format).isEmpty());
    QuestionRecord blank = MapQuestion();
    blank.Pictures[PictureBoxOfItem(1)].clear();
    blank.Items[1] = QStringLiteral("  ");
    for (const Format format : {Format::Moodle, Format::Gift, Format::Aiken})
        QCOMPARE(UnfitFor({blank}, format),
                 QStringList{QStringLiteral("question 1: the answer names an empty option")});
}

// Base64 adds a third: pictures of 49 MiB make a Moodle file past the 64
// MiB that is read back, so it is refused and nothing is written; the same
// pictures fit a workbook-free text format, which leaves them out.
void InterchangePicturesTest::moodleFileTooLargeIsNotWritten() {
    QuestionRecord q = MapQuestion();
    const QByteArray big(7 << 20, 'x');
    for (int box = 0; box < kPictureBoxes; ++box)
        q.Pictures[box] = {Picture{big, QStringLiteral("png"), QStringLiteral("big.png")}};
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.xml"));
    const WriteOutcome written = WriteQuestionFile(path, {q}, Format::Moodle);
    QCOMPARE(written.status, WriteOutcome::Status::Unfit);
    QCOMPARE(written.unfit, QStringList{QStringLiteral(
                                "the file with its pictures would be 65.3 MiB, more than the "
                                "64 MiB that a file read back may be")});
    QVERIFY(!QFile::exists(path));
    // One picture fewer fits.
    q.Pictures[kPictureTitle].clear();
    QVERIFY(UnfitFor({q}, Format::Moodle).isEmpty());
}

// A TeX formula is text: every format carries it unchanged.
void InterchangePicturesTest::formulaStaysText() {
    const QString formula = QStringLiteral("Which graph shows \\(y = kx\\)?");
    const QuestionRecord q =
        Question(formula, {QStringLiteral("\\(k > 0\\)"), QStringLiteral("\\[k = 0\\]")},
                 QStringLiteral("A"));
    const QTemporaryDir dir;
    for (const Format format : {Format::Xls, Format::Xlsx, Format::Ods, Format::Csv,
                                Format::Moodle, Format::Gift, Format::Aiken}) {
        const QString path = dir.filePath(QStringLiteral("f") + InfoOf(format).extension);
        const WriteOutcome written = WriteQuestionFile(path, {q}, format);
        QVERIFY2(written.Written(), qPrintable(InfoOf(format).name));
        const ReadOutcome read = ReadQuestionFile(path, kDefaultMark);
        QVERIFY2(read.Read(), qPrintable(InfoOf(format).name + ": " + read.reason));
        QCOMPARE(read.rows[0].Title, formula);
        QCOMPARE(read.rows[0].Items[0], q.Items[0]);
        QCOMPARE(read.rows[0].Items[1], q.Items[1]);
    }
}

QTEST_GUILESS_MAIN(InterchangePicturesTest)
#include "test_interchangepictures.moc"
