// scrivane-convert --grade as a whole program: answer sheets printed by the
// converter, rendered by poppler, filled in by drawing into the picture where
// the layout puts each bubble, and graded back.
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "core/paperidentity.h"
#include "programrun.h"
#include "spreadsheet/paperio.h"

using namespace scrivane;
using namespace scrivane::test;

namespace {

constexpr double kDpi = 150;

ProgramRun Convert(const QStringList& arguments) {
    return RunProgram(QStringLiteral(SCRIVANE_CONVERT), arguments);
}

QuestionRecord Question(float score, const QString& answer, std::array<QString, 6> items) {
    QuestionRecord record;
    record.Score = score;
    record.Answer = answer == "Uncertain" ? 0 : AnswerTextToMask(answer);
    record.Title = QStringLiteral("Question");
    record.Items = std::move(items);
    return record;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QJsonObject ReadJson(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

}  // namespace

class GradeCommandTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void gradesFilledSheets();
    void refusals_data();
    void refusals();
    void identityRepeatsAndQuiet();
    void outputOverAnInputIsRefused();
    void aPipeAmongTheScansIsNeverWaitedOn();

private:
    // Fills the bubbles of a PDF page that mark() chooses, as a pen would.
    QString Filled(int pdfPage, const QString& name,
                   const std::function<bool(const QJsonObject& bubble, const QString& key)>& mark);

    QTemporaryDir dir_;
    QString paper_;
    QJsonArray layoutPages_;
    QJsonArray versions_;
};

void GradeCommandTest::initTestCase() {
    paper_ = dir_.filePath(QStringLiteral("test.tpf"));
    const std::vector<QuestionRecord> rows{
        Question(2, "B", {"Berlin", "Paris", "Rome", "Madrid", "", ""}),
        Question(1, "AC", {"two", "four", "three", "nine", "", ""}),
        Question(1, "Uncertain", {"yes", "no", "maybe", "", "", ""}),
        Question(1, "D", {"red", "green", "blue", "black", "", ""})};
    QVERIFY(WritePaperFile(paper_, rows).WasWritten());
    const QString pdf = dir_.filePath(QStringLiteral("sheets.pdf"));
    const ProgramRun printed = Convert(
        {paper_, pdf, "--versions", "2", "--seed", "9", "--shuffle-questions", "--shuffle-options",
         "--answer-sheet", "--no-paper", "--no-key", "--id-digits", "4", "--sheet-layout-json",
         dir_.filePath("layout.json"), "--versions-json", dir_.filePath("versions.json")});
    QVERIFY2(printed.exitCode == 0, printed.err.constData());
    layoutPages_ = ReadJson(dir_.filePath("layout.json"))["pages"].toArray();
    versions_ = ReadJson(dir_.filePath("versions.json"))["versions"].toArray();
    QCOMPARE(layoutPages_.size(), 2);
    QProcess render;
    render.start("pdftoppm",
                 {"-r", QString::number(kDpi), "-gray", "-png", pdf, dir_.filePath("page")});
    QVERIFY(render.waitForFinished(60000) && render.exitCode() == 0);
}

QString GradeCommandTest::Filled(
    int pdfPage, const QString& name,
    const std::function<bool(const QJsonObject& bubble, const QString& key)>& mark) {
    QImage image(dir_.filePath(QStringLiteral("page-%1.png").arg(pdfPage)));
    if (image.isNull()) return {};
    image = image.convertToFormat(QImage::Format_RGB32);
    QJsonObject page;
    for (const auto& p : layoutPages_)
        if (p.toObject()["page"].toInt() == pdfPage) page = p.toObject();
    // The printed answer of each question of this page's version, by its number in the paper.
    QHash<int, QString> keys;
    for (const auto& v : versions_)
        if (v.toObject()["name"].toString() == page["version"].toString())
            for (const auto& q : v.toObject()["questions"].toArray())
                keys.insert(q.toObject()["source"].toInt(), q.toObject()["Answer"].toString());
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 40, 40));
    const double scale = kDpi / 72;
    for (const auto& b : page["bubbles"].toArray()) {
        const QJsonObject bubble = b.toObject();
        if (!mark(bubble, keys.value(bubble["source"].toInt()))) continue;
        const double r = bubble["r"].toDouble() * scale * 0.85;
        painter.drawEllipse(QPointF(bubble["x"].toDouble() * scale, bubble["y"].toDouble() * scale),
                            r, r);
    }
    painter.end();
    image.setDotsPerMeterX(int(kDpi / 0.0254 + 0.5));
    image.setDotsPerMeterY(int(kDpi / 0.0254 + 0.5));
    const QString path = dir_.filePath(name);
    return image.save(path) ? path : QString();
}

void GradeCommandTest::gradesFilledSheets() {
    const auto student = [](const QString& number) {
        return [number](const QJsonObject& bubble) {
            return bubble["kind"] == "student" &&
                   number[bubble["position"].toInt()].digitValue() == bubble["digit"].toInt();
        };
    };
    // Version A: every answer right, and A on the question without an answer.
    const QString right =
        Filled(1, "right.png", [&](const QJsonObject& bubble, const QString& key) {
            if (bubble["kind"] == "student") return student("0042")(bubble);
            return key.contains(bubble["option"].toString()) ||
                   (key == "Uncertain" && bubble["option"] == "A");
        });
    // Version B: the same student again, and two marks on the first question's sheet line.
    const QString twice =
        Filled(2, "twice.png", [&](const QJsonObject& bubble, const QString& key) {
            if (bubble["kind"] == "student") return student("0042")(bubble);
            return key.contains(bubble["option"].toString()) ||
                   (bubble["source"] == 1 && bubble["option"] == (key == "A" ? "B" : "A"));
        });
    QVERIFY(!right.isEmpty() && !twice.isEmpty());
    QImage blank(800, 1100, QImage::Format_Grayscale8);
    blank.fill(255);
    const QString blankPath = dir_.filePath("blank.png");
    QVERIFY(blank.save(blankPath));
    const QString classList = dir_.filePath("class.csv");
    QFile list(classList);
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write("Number,Name\n0042,Ada Lovelace\n0043,Blaise Pascal\n");
    list.close();

    // The converter prints sheets in multiple-answer mode.
    // One right sheet: its line and exit 0.
    ProgramRun r =
        Convert({paper_, "--grade", right, "--class-list", classList, "--mode", "multiple"});
    QVERIFY2(r.exitCode == 0, r.out + r.err);
    QCOMPARE(r.out, (right + " page 1: 0042 Ada Lovelace, version A, 4 of 4\n"
                             "question 3: no answer is set, so the marks leave it out\n")
                        .toUtf8());

    // Both, and a page that is no sheet: review, unreadable, exit 5.
    const QString csv = dir_.filePath("grades.csv");
    r = Convert({paper_, "--grade", right, twice, blankPath, "--json", "--class-list", classList,
                 "--csv", csv, "--mode", "multiple"});
    QVERIFY2(r.exitCode == 5, r.out + r.err);
    QVERIFY(r.err.contains("(3 of 3)"));  // progress
    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(r.out, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(root["paper"].toObject(), (QJsonObject{{"questions", 4}, {"max", 4}}));
    const QJsonArray sheets = root["sheets"].toArray();
    QCOMPARE(sheets.size(), 3);
    const QJsonObject first = sheets[0].toObject();
    QCOMPARE(first["version"].toString(), "A");
    QCOMPARE(first["student"].toString(), "0042");
    QCOMPARE(first["name"].toString(), "Ada Lovelace");
    QCOMPARE(first["score"].toDouble(), 4.0);
    QCOMPARE(first["status"].toString(), "review");
    QCOMPARE(first["reasons"].toArray(),
             QJsonArray{"student number 0042 is also on " + twice + " page 1"});
    const QJsonArray answers = first["answers"].toArray();
    QCOMPARE(answers.size(), 4);
    QCOMPARE(answers[1].toObject()["marked"].toString(), "AC");  // the paper's letters
    QCOMPARE(answers[1].toObject()["correct"], QJsonValue(true));
    QVERIFY(answers[2].toObject()["correct"].isNull());
    QCOMPARE(answers[2].toObject()["marked"].toString(), "A");
    const QJsonObject second = sheets[1].toObject();
    QCOMPARE(second["version"].toString(), "B");
    QCOMPARE(second["score"].toDouble(), 2.0);
    QCOMPARE(second["answers"].toArray()[0].toObject()["status"].toString(), "multiple");
    QCOMPARE(sheets[2].toObject()["status"].toString(), "unreadable");
    QCOMPARE(sheets[2].toObject()["file"].toString(), blankPath);
    const QJsonObject q1 = root["questions"].toArray()[0].toObject();
    QCOMPARE(q1["p"].toDouble(), 0.5);
    QCOMPARE(q1["multiple"].toInt(), 1);
    QCOMPARE(root["summary"].toObject()["sheets"].toInt(), 2);
    QCOMPARE(root["absent"].toArray(),
             (QJsonArray{QJsonObject{{"student", "0043"}, {"name", "Blaise Pascal"}}}));

    QFile grades(csv);
    QVERIFY(grades.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = grades.readAll().split('\n');
    QCOMPARE(lines[0], "Student number,Name,Version,Mark,Maximum,Percentage,Status,Q1,Q2,Q3,Q4\r");
    QCOMPARE(lines[1], "0042,Ada Lovelace,A,4,4,100,review,B,AC,A,D\r");
    QCOMPARE(lines[3], ",,,,,,unreadable,,,,\r");
    QCOMPARE(lines[4], "0043,Blaise Pascal,,,,,absent,,,,\r");

    // Nothing readable at all.
    r = Convert({paper_, "--grade", blankPath, "--mode", "multiple"});
    QCOMPARE(r.exitCode, 2);
}

void GradeCommandTest::refusals_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("no scan") << QStringList{"PAPER", "--grade"} << 2 << "SCAN";
    QTest::newRow("unknown option")
        << QStringList{"PAPER", "--grade", "x.pdf", "--colour"} << 2 << "--colour";
    QTest::newRow("dpi") << QStringList{"PAPER", "--grade", "x.pdf", "--dpi", "0"} << 2 << "--dpi";
    QTest::newRow("scoring") << QStringList{"PAPER", "--grade", "x.pdf", "--scoring", "half"} << 2
                             << "--scoring";
    QTest::newRow("mode") << QStringList{"PAPER", "--grade", "x.pdf", "--mode", "all"} << 2
                          << "--mode";
    QTest::newRow("class list missing")
        << QStringList{"PAPER", "--grade", "x.pdf", "--class-list", "/nonexistent.csv"} << 2
        << "no such file";
    QTest::newRow("no paper") << QStringList{"/nonexistent/p.tpf", "--grade", "x.pdf"} << 2
                              << "no such file";
    QTest::newRow("refused paper")
        << QStringList{QStringLiteral(SCRIVANE_FIXTURES
                                      "/header-mark-lowercase.libxlsxwriter.xlsx"),
                       "--grade", "x.pdf"}
        << 1 << "Invalid format";
}

void GradeCommandTest::refusals() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    arguments.replaceInStrings(QStringLiteral("PAPER"), paper_);
    const ProgramRun r = Convert(arguments);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
}

// Printing gave the paper file an identity its sheets carry: a paper of the
// same questions does not take them. A file given twice is read once, and
// the converter prints its own lines only, with or without a runtime folder.
void GradeCommandTest::identityRepeatsAndQuiet() {
    const QString identity = ReadPaperIdentity(paper_);
    QVERIFY(IsPaperIdentity(identity));
    const QString right = Filled(1, "own.png", [](const QJsonObject& bubble, const QString& key) {
        return bubble["kind"] == "answer" && key.contains(bubble["option"].toString());
    });
    QVERIFY(!right.isEmpty());

    // Its twin, printed too: the same questions, its own identity.
    const QString twin = dir_.filePath(QStringLiteral("twin.tpf"));
    QVERIFY(QFile::copy(dir_.filePath(QStringLiteral("test.tpf")), twin));
    QCOMPARE(WritePaperIdentity(twin, QStringLiteral("00C0FFEE00C0FFEE")), QString());
    ProgramRun r = Convert({twin, "--grade", right, "--mode", "multiple"});
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.out, (right + " page 1: unreadable: this sheet belongs to another paper\n"
                             "question 3: no answer is set, so the marks leave it out\n")
                        .toUtf8());

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    process.setProcessEnvironment(environment);
    process.start(
        QStringLiteral(SCRIVANE_CONVERT),
        {paper_, "--grade", right, right, dir_.filePath("./own.png"), "--mode", "multiple"});
    QVERIFY(process.waitForFinished(60000));
    const QByteArray out = process.readAllStandardOutput(), err = process.readAllStandardError();
    QCOMPARE(err, QByteArray());
    QCOMPARE(out.count('\n'), 2);  // the sheet, and the note on the question without an answer
    QVERIFY2(out.startsWith((right + " page 1: ").toUtf8()) && !out.contains("also on"),
             out.constData());

    process.start(QStringLiteral(SCRIVANE_CONVERT),
                  {paper_, dir_.filePath("again.pdf"), "--answer-sheet", "--no-paper"});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardError(), QByteArray());
    QCOMPARE(ReadPaperIdentity(paper_), identity);  // printed again, the same identity
}

void GradeCommandTest::outputOverAnInputIsRefused() {
    const QString scan = dir_.filePath(QStringLiteral("page-1.png"));
    const QString linked = dir_.filePath(QStringLiteral("linked.png"));
    QFile::remove(linked);
    QVERIFY(QFile::link(scan, linked));
    const QString paperLink = dir_.filePath(QStringLiteral("hard.tpf"));
    QFile::remove(paperLink);
    QCOMPARE(
        ::link(QFile::encodeName(paper_).constData(), QFile::encodeName(paperLink).constData()), 0);
    const QByteArray paperBytes = ReadAll(paper_), scanBytes = ReadAll(scan);
    const QList<QStringList> runs = {
        {paper_, "--grade", scan, "--csv", paper_},
        {paper_, "--grade", scan, "--csv", linked},  // a link to the scan
        {paper_, "--grade", scan, "--class-list", scan, "--csv", scan},
        {paper_, dir_.filePath("out.pdf"), "--versions-json", paperLink},  // a hard link
        {paper_, dir_.filePath("out.pdf"), "--answer-sheet", "--sheet-layout-json", paper_},
        {paper_, paperLink, "--rebalance"},
        {paper_, paperLink},
        {paper_, paperLink, "--to", "csv"}};
    for (const QStringList& arguments : runs) {
        const ProgramRun r = Convert(arguments);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("would overwrite the input"), r.err.constData());
        QVERIFY(r.out.isEmpty());
    }
    QCOMPARE(ReadAll(paper_), paperBytes);
    QCOMPARE(ReadAll(scan), scanBytes);
}

void GradeCommandTest::aPipeAmongTheScansIsNeverWaitedOn() {
    const QString fifo = dir_.filePath(QStringLiteral("fifo.png"));
    QFile::remove(fifo);
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString folder = dir_.filePath(QStringLiteral("folder.png"));
    QDir().mkpath(folder);
    const ProgramRun r =
        Convert({paper_, "--grade", dir_.filePath(QStringLiteral("page-1.png")), fifo, folder});
    QCOMPARE(r.exitCode, 5);
    const QStringList lines = QString::fromUtf8(r.out).split(u'\n');
    QVERIFY2(lines.value(0).startsWith(dir_.filePath("page-1.png") + " page 1: "),
             r.out.constData());
    QCOMPARE(lines.value(1),
             fifo + " page 1: unreadable: the file is a pipe or a device, not a file");
    QCOMPARE(lines.value(2), folder + " page 1: unreadable: the file is a folder");
}

QTEST_MAIN(GradeCommandTest)
#include "test_gradecommand.moc"
