// The converter's PDF mode as a whole program: the PDF, the versions as JSON
// and the exit statuses.
#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include "printtestsupport.h"
#include "programrun.h"
#include "spreadsheet/paperio.h"

using namespace scrivane;
using namespace scrivane::test;

namespace {

ProgramRun Convert(const QStringList& arguments) {
    return RunProgram(QStringLiteral(SCRIVANE_CONVERT), arguments);
}

const QString kFixtures = QStringLiteral(SCRIVANE_FIXTURES "/");

}  // namespace

class PdfConvertTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void writesPdfAndVersions();
    void writesSheetLayout();
    void refusals_data();
    void refusals();
    void targets_data();
    void targets();
    void blankOptionsFollowTheMode();

private:
    QTemporaryDir dir_;
    QString paper_;
};

void PdfConvertTest::initTestCase() {
    paper_ = dir_.filePath(QStringLiteral("Unit 3.tpf"));
    const std::vector<QuestionRecord> rows{
        Question(5, "B", "Capital of France?", {"Berlin", "Paris", "Rome", "", "", ""}),
        Question(2, "AC", "Primes", {"two", "four", "three", "All of the above", "", ""}),
        Question(1, "A", "Largest planet", {"Jupiter", "Mars", "", "", "", ""})};
    QVERIFY(WritePaperFile(paper_, rows).WasWritten());
}

void PdfConvertTest::writesPdfAndVersions() {
    const QString pdf = dir_.filePath(QStringLiteral("out.PDF"));
    const QString json = dir_.filePath(QStringLiteral("versions.json"));
    const ProgramRun r =
        Convert({paper_, pdf, "--versions", "3", "--seed", "42", "--shuffle-questions",
                 "--shuffle-options", "--answer-sheet", "--versions-json", json});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray());
    const QString text = PdfText(pdf);
    QVERIFY(text.contains(QStringLiteral("Unit 3")));  // the paper's name heads it
    QVERIFY(text.contains(QStringLiteral("Version C")));
    QVERIFY(text.contains(QStringLiteral("Answer sheet")));

    QFile file(json);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(root.value("seed").toInt(), 42);
    const QJsonArray versions = root.value("versions").toArray();
    QCOMPARE(versions.size(), 3);
    const auto expected = BuildVersions(
        {Question(5, "B", "Capital of France?", {"Berlin", "Paris", "Rome", "", "", ""}),
         Question(2, "AC", "Primes", {"two", "four", "three", "All of the above", "", ""}),
         Question(1, "A", "Largest planet", {"Jupiter", "Mars", "", "", "", ""})},
        {3, true, true, 42});
    for (int v = 0; v < 3; ++v) {
        const QJsonArray questions = versions[v].toObject().value("questions").toArray();
        for (int i = 0; i < 3; ++i) {
            const QJsonObject q = questions[i].toObject();
            const PrintedQuestion& printed = expected[std::size_t(v)].questions[std::size_t(i)];
            QCOMPARE(q.value("source").toInt(), printed.source);
            QCOMPARE(q.value("Answer").toString(), AnswerMaskToText(printed.answer));
            QCOMPARE(q.value("Items").toArray().first().toString(), printed.options[0].text);
        }
    }

    // The same seed writes the same pages; the workbook conversions are as before.
    const QString again = dir_.filePath(QStringLiteral("again.pdf"));
    QCOMPARE(Convert({paper_, again, "--versions", "3", "--seed", "42", "--shuffle-questions",
                      "--shuffle-options", "--answer-sheet"})
                 .exitCode,
             0);
    QCOMPARE(PdfText(again), text);
    const ProgramRun plain = Convert({paper_, "--json"});
    QCOMPARE(plain.exitCode, 0);
    QVERIFY(plain.out.startsWith("{\"valid\": true"));
}

// Each answer sheet's page in the PDF, its bubbles and markers; the student
// number grid as --id-digits asks.
void PdfConvertTest::writesSheetLayout() {
    for (int digits : {-1, 0, 10}) {
        const QString pdf = dir_.filePath(QStringLiteral("sheets.pdf"));
        const QString json = dir_.filePath(QStringLiteral("sheets.json"));
        QStringList arguments{
            paper_, pdf, "--versions", "2", "--answer-sheet", "--sheet-layout-json", json};
        if (digits >= 0) arguments << "--id-digits" << QString::number(digits);
        const ProgramRun r = Convert(arguments);
        QCOMPARE(r.exitCode, 0);
        QFile file(json);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonArray pages = QJsonDocument::fromJson(file.readAll())["pages"].toArray();
        QCOMPARE(pages.size(), 2);
        const QStringList texts = PdfText(pdf).split(u'\f');
        for (int v = 0; v < 2; ++v) {
            const QJsonObject page = pages[v].toObject();
            QCOMPARE(page["version"].toString(), VersionName(v));
            QCOMPARE(page["sheet_page"].toInt(), 1);
            QCOMPARE(page["width"].toDouble(), 595.0);  // A4 where the locale is not American
            const QString text = texts.value(page["page"].toInt() - 1);
            QVERIFY2(text.contains(QStringLiteral("Version %1").arg(VersionName(v))),
                     qPrintable(text));
            QVERIFY(text.contains(QStringLiteral("Answer sheet")));
            int answers = 0, students = 0;
            for (const QJsonValue& bubble : page["bubbles"].toArray()) {
                const bool answer = bubble["kind"].toString() == "answer";
                answers += answer;
                students += !answer;
                if (answer) QVERIFY(bubble["source"].toInt() >= 1);
            }
            QCOMPARE(answers, 3 + 4 + 2);
            QCOMPARE(students, 10 * (digits < 0 ? 8 : digits));
            QCOMPARE(page["markers"].toArray().size(), 4);
        }
    }
}

void PdfConvertTest::refusals_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QString out = QDir::temp().filePath(QStringLiteral("scrivane-never-written.pdf"));
    QTest::newRow("versions 0") << QStringList{"PAPER", out, "--versions", "0"} << 2
                                << "--versions";
    QTest::newRow("versions 27") << QStringList{"PAPER", out, "--versions", "27"} << 2
                                 << "--versions";
    QTest::newRow("seed not a number")
        << QStringList{"PAPER", out, "--seed", "x1"} << 2 << "--seed";
    QTest::newRow("id digits 11") << QStringList{"PAPER", out, "--id-digits", "11"} << 2
                                  << "--id-digits takes 0 to 10";
    QTest::newRow("id digits not a number")
        << QStringList{"PAPER", out, "--id-digits", "eight"} << 2 << "--id-digits";
    QTest::newRow("layout without a sheet")
        << QStringList{"PAPER", out, "--sheet-layout-json", "layout.json"} << 2
        << "--sheet-layout-json needs --answer-sheet";
    QTest::newRow("no value") << QStringList{"PAPER", out, "--heading"} << 2 << "needs a value";
    QTest::newRow("nothing to print")
        << QStringList{"PAPER", out, "--no-paper", "--no-key"} << 2 << "nothing to print";
    QTest::newRow("not a pdf") << QStringList{"PAPER", "out.xls", "--versions", "2"} << 2
                               << "OUT.pdf";
    QTest::newRow("unknown option") << QStringList{"PAPER", out, "--colour"} << 2 << "--colour";
    QTest::newRow("no paper") << QStringList{"/nonexistent/p.tpf", out} << 2 << "no such file";
    QTest::newRow("refused sheet")
        << QStringList{kFixtures + "header-mark-lowercase.libxlsxwriter.xlsx", out} << 1
        << "Invalid format";
    QTest::newRow("folder cannot be written")
        << QStringList{"PAPER", "/nonexistent/out.pdf"} << 2 << "cannot write";
}

void PdfConvertTest::refusals() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    arguments.replaceInStrings(QStringLiteral("PAPER"), paper_);
    const ProgramRun r = Convert(arguments);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
    QVERIFY(!QFile::exists(QDir::temp().filePath(QStringLiteral("scrivane-never-written.pdf"))));
}

// What stands where the PDF or the versions JSON goes: a file or a link to
// one is written (the link stays a link); anything else is refused with its
// reason and left as it was. The JSON follows only a written PDF.
void PdfConvertTest::targets_data() {
    QTest::addColumn<QString>("target");  // what stands at the path
    QTest::addColumn<bool>("json");       // the path is --versions-json's, else the PDF's
    QTest::addColumn<QString>("reason");  // empty: written
    for (const bool json : {false, true}) {
        const char* what = json ? "json" : "pdf";
        QTest::addRow("%s: new file", what) << "none" << json << "";
        QTest::addRow("%s: file", what) << "file" << json << "";
        QTest::addRow("%s: link to a file", what) << "link" << json << "";
        QTest::addRow("%s: folder", what) << "folder" << json << "it is a folder, not a file";
        QTest::addRow("%s: pipe", what) << "fifo" << json << "it is a pipe, not a file";
        QTest::addRow("%s: link to a pipe", what)
            << "fifolink" << json << "it is a pipe, not a file";
        QTest::addRow("%s: link to a device", what)
            << "device" << json << "it is a device, not a file";
        QTest::addRow("%s: read-only file", what) << "readonly" << json << "the file is read-only";
    }
}

void PdfConvertTest::targets() {
    QFETCH(QString, target);
    QFETCH(bool, json);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path =
        dir.filePath(json ? QStringLiteral("target.json") : QStringLiteral("target.pdf"));
    const QString real = dir.filePath(QStringLiteral("real"));
    const QByteArray old = "old contents";
    const auto writeOld = [&](const QString& file, QFile::Permissions permissions) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(old) == old.size());
        f.close();
        QVERIFY(f.setPermissions(permissions));
    };
    const QFile::Permissions rw = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    if (target == "file") writeOld(path, rw);
    if (target == "readonly") writeOld(path, QFile::ReadOwner | QFile::ReadGroup);
    if (target == "link") {
        writeOld(real, rw);
        QVERIFY(QFile::link(real, path));
    }
    if (target == "folder") QVERIFY(QDir(dir.path()).mkdir(QFileInfo(path).fileName()));
    if (target == "fifo") QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    if (target == "fifolink") {
        QCOMPARE(mkfifo(QFile::encodeName(real).constData(), 0600), 0);
        QVERIFY(QFile::link(real, path));
    }
    if (target == "device") QVERIFY(QFile::link(QStringLiteral("/dev/null"), path));

    const QString pdf = json ? dir.filePath(QStringLiteral("out.pdf")) : path;
    const QString jsonPath = json ? path : dir.filePath(QStringLiteral("versions.json"));
    const ProgramRun r = Convert({paper_, pdf, "--versions-json", jsonPath});
    const QString written = target.endsWith(QStringLiteral("link")) ? real : path;
    if (reason.isEmpty()) {
        QCOMPARE(r.exitCode, 0);
        QFile f(written);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().startsWith(json ? "{" : "%PDF"));
        if (target == "link") QVERIFY(QFileInfo(path).isSymLink());
        QVERIFY(QFile::exists(jsonPath));
    } else {
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(QString::fromUtf8(r.err).contains(
                     QStringLiteral("cannot write %1: %2").arg(path, reason)),
                 r.err.constData());
        const QFileInfo info(path);
        QCOMPARE(info.isSymLink(), target.endsWith(QStringLiteral("link")) || target == "device");
        QCOMPARE(info.isDir(), target == "folder");
        if (target == "readonly") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), old);
        }
        // Without its PDF the versions are not described.
        if (!json) QVERIFY(!QFile::exists(jsonPath));
    }
    // No temporary file stays beside the target.
    for (const QString& name :
         QDir(dir.path()).entryList(QDir::Hidden | QDir::Files | QDir::NoDotAndDotDot))
        QVERIFY2(!name.startsWith(u'.'), qPrintable(name));
}

// A question without option texts offers the answer mode's letters.
void PdfConvertTest::blankOptionsFollowTheMode() {
    const QString paper = dir_.filePath(QStringLiteral("quick.tpf"));
    QVERIFY(WritePaperFile(paper, {Question(1, "B", "", {"", "", "", "", "", ""}),
                                   Question(1, "A", "Filled", {"x", "y", "", "", "", ""})})
                .WasWritten());
    for (const char* mode : {"single", "multiple"}) {
        const QString pdf = dir_.filePath(QStringLiteral("quick-%1.pdf").arg(mode));
        QCOMPARE(Convert({paper, pdf, "--mode", mode, "--shuffle-options", "--no-key"}).exitCode,
                 0);
        const QString letters = Squeezed(PdfText(pdf)).section(QStringLiteral("1."), 1);
        QVERIFY2(letters.startsWith(qstrcmp(mode, "single") == 0 ? "ABCDE(" : "ABCDEF("),
                 qPrintable(letters.left(40)));
    }
    QVERIFY(Convert({paper, dir_.filePath("q.pdf"), "--mode", "several"})
                .err.contains("--mode takes single or multiple"));
    // --mode alone still belongs to the checks.
    const ProgramRun check = Convert({paper, "--check", "--mode", "single"});
    QVERIFY2(!check.err.contains("unknown option"), check.err.constData());
    QVERIFY(!QFile::exists(dir_.filePath("q.pdf")));
}

QTEST_GUILESS_MAIN(PdfConvertTest)
#include "test_pdfconvert.moc"
