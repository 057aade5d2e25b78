// The converter's check commands: their output, JSON, exit statuses and the
// answer mode they read beside the program.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "checks/answerbalance.h"
#include "checks/checkcommand.h"
#include "checksamples.h"
#include "core/typeinfo.h"
#include "options.h"
#include "spreadsheet/paperio.h"

namespace scrivane::test {

class CheckCommandTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::filesystem::path Folder() const { return dir_.path().toStdString(); }
    QString Path(const QString& name) const { return dir_.filePath(name); }

    // Five questions: 3 has no answer, 4 repeats the title of 1, and the
    // key runs C C C C from question 1; the fifth question's answer is F.
    QString FaultyPaper() {
        std::vector<QuestionRecord> rows;
        for (int n = 1; n <= 5; ++n) rows.push_back(CleanQuestion(n, 2));
        rows[2].Answer = 0;
        rows[3].Title = rows[0].Title;
        rows[4].Items[5] = QStringLiteral("f");
        rows[4].Items[4] = QStringLiteral("e");
        rows[4].Answer = 32;
        const QString path = Path(QStringLiteral("faulty.xls"));
        if (!WritePaperFile(path, rows).WasWritten()) return {};
        return path;
    }

    ConverterRun Run(const QStringList& arguments) {
        const auto run = convert::RunCheckArguments(arguments, Folder());
        if (!run) return {-1, {}, "not a check command"};
        return *run;
    }

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void otherCommandsPassThrough() {
        QVERIFY(!convert::RunCheckArguments({"paper.xls", "--json"}, Folder()));
        QVERIFY(!convert::RunCheckArguments({"in.xls", "out.xls"}, Folder()));
    }

    // The mode of TypeInfo.con beside the program, unless --mode says.
    void checkLines() {
        const QString paper = FaultyPaper();
        QVERIFY(!paper.isEmpty());
        QVERIFY(WriteTypeInfoFile(Folder() / kTypeInfoFileName, 3));
        ConverterRun run = Run({paper, "--check"});
        QCOMPARE(run.exitCode, 4);
        QCOMPARE(QString::fromUtf8(run.out).split('\n'),
                 (QStringList{"question 3: no-answer: no answer is set",
                              "question 4: duplicate-question: the title is the same as that of "
                              "question 1",
                              "balance: A 0, B 0, C 3, D 0, E 0, F 1; longest run C x2 from "
                              "question 1; C is the answer 3 times in 4; about 1 expected",
                              ""}));

        run = Run({"--mode", "single", paper, "--check"});
        QCOMPARE(run.exitCode, 4);
        QVERIFY(
            run.out.contains("question 5: hidden-option: option F is filled and is the answer"));

        QVERIFY(WriteTypeInfoFile(Folder() / kTypeInfoFileName, 0));
        QVERIFY(Run({paper, "--check"}).out.contains("question 5: hidden-option"));
        QVERIFY(!Run({paper, "--check", "--mode", "multiple"}).out.contains("hidden-option"));
    }

    void checkJson() {
        const QString paper = FaultyPaper();
        const ConverterRun run = Run({paper, "--check", "--json", "--mode", "multiple"});
        QCOMPARE(run.exitCode, 4);
        QJsonParseError error;
        const QJsonObject json = QJsonDocument::fromJson(run.out, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QJsonArray problems = json["problems"].toArray();
        QCOMPARE(problems.size(), 2);
        QCOMPARE(
            problems[0].toObject(),
            (QJsonObject{{"question", 3}, {"kind", "no-answer"}, {"text", "no answer is set"}}));
        const QJsonObject balance = json["balance"].toObject();
        QCOMPARE(balance["counts"].toObject(),
                 (QJsonObject{{"A", 0}, {"B", 0}, {"C", 3}, {"D", 0}, {"E", 0}, {"F", 1}}));
        QCOMPARE(balance["longestRun"].toObject(),
                 (QJsonObject{{"letter", "C"}, {"length", 2}, {"first", 1}}));
        QCOMPARE(balance["balanced"], QJsonValue(false));
        QVERIFY(run.out.startsWith("{\"problems\": [{\"question\": 3, \"kind\": \"no-answer\""));
    }

    void rebalanceWrites() {
        std::vector<QuestionRecord> rows;
        for (int n = 1; n <= 12; ++n) rows.push_back(CleanQuestion(n, 1));
        const QString in = Path(QStringLiteral("skewed.xls"));
        const QString out = Path(QStringLiteral("rebalanced.xls"));
        QVERIFY(WritePaperFile(in, rows).WasWritten());
        const ConverterRun run = Run({in, out, "--rebalance", "--mode", "single"});
        QCOMPARE(run.exitCode, 0);
        // Nine of the twelve B answers give way to A, C and D.
        QVERIFY(run.out.startsWith("options reordered in questions "));
        QCOMPARE(run.out.count(','), 8);
        std::vector<QuestionRecord> written;
        QCOMPARE(ReadPaperFile(out, written).outcome, ImportReport::Outcome::Imported);
        const AnswerBalance balance = MeasureBalance(written, 0);
        QCOMPARE(balance.counts, (std::array<int, 6>{3, 3, 3, 3, 0, 0}));
        QVERIFY(balance.Balanced());
        QCOMPARE(Run({out, "--check"}).exitCode, 0);
    }

    // OUT is written in the format its extension names, as every other mode
    // writes it; .tpf and any unknown name stay the Excel 97-2003 workbook.
    void rebalanceWritesOutsFormat_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("start");
        QTest::newRow("csv") << "out.csv" << QByteArray("Question NO");
        QTest::newRow("moodle") << "out.xml" << QByteArray("<?xml");
        QTest::newRow("gift") << "out.gift" << QByteArray("// Mark:");
        QTest::newRow("tpf") << "out.tpf" << QByteArray("\xD0\xCF\x11\xE0");
        QTest::newRow("unknown") << "out.key" << QByteArray("\xD0\xCF\x11\xE0");
    }
    void rebalanceWritesOutsFormat() {
        QFETCH(QString, name);
        QFETCH(QByteArray, start);
        std::vector<QuestionRecord> rows;
        for (int n = 1; n <= 8; ++n) rows.push_back(CleanQuestion(n, 1));
        const QString in = Path(QStringLiteral("skewed8.xls"));
        QVERIFY(WritePaperFile(in, rows).WasWritten());
        const ConverterRun run = Run({in, Path(name), "--rebalance", "--mode", "single"});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QFile out(Path(name));
        QVERIFY(out.open(QIODevice::ReadOnly));
        QVERIFY2(out.readAll().startsWith(start), qPrintable(name));
    }

    // Information is listed, but a paper with nothing else has no problem.
    void informationIsNoProblem() {
        std::vector<QuestionRecord> rows;
        for (int n = 1; n <= 20; ++n) rows.push_back(QuestionRecord{std::int16_t(n), 1, 2, "", {}});
        const QString path = Path(QStringLiteral("quick.xls"));
        QVERIFY(WritePaperFile(path, rows).WasWritten());
        const ConverterRun run = Run({path, "--check", "--mode", "multiple"});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.startsWith("question 1: no-option-texts: questions 1\u201320 have no "
                                    "option texts: their letters are printed\n"),
                 run.out.constData());
    }

    void refusals_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("error");
        QTest::newRow("missing paper") << QStringList{"missing.xls", "--check"} << 2
                                       << "cannot read missing.xls: no such file";
        QTest::newRow("no output")
            << QStringList{"p.xls", "--rebalance"} << 2 << "expected PAPER OUT --rebalance";
        QTest::newRow("both") << QStringList{"p.xls", "--check", "--rebalance"} << 2
                              << "cannot be combined";
        QTest::newRow("bad mode") << QStringList{"p.xls", "--check", "--mode", "two"} << 2
                                  << "--mode takes single or multiple";
        QTest::newRow("unknown option")
            << QStringList{"p.xls", "--check", "-x"} << 2 << "unknown option -x";
    }
    void refusals() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        const ConverterRun run = Run(arguments);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(error.toUtf8()), run.err.constData());
    }

    // A file that is no workbook is refused as the converter refuses it.
    void unreadablePaper() {
        const QString path = Path(QStringLiteral("note.xls"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a workbook");
        file.close();
        const ConverterRun run = Run({path, "--check", "--json"});
        QVERIFY2(run.exitCode == 1 || run.exitCode == 2, run.err.constData());
    }

    // The program itself takes the command before the converter's own.
    void program() {
        QProcess process;
        process.start(QStringLiteral(SCRIVANE_CONVERT),
                      {FaultyPaper(), "--check", "--mode", "multiple"});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 4);
        QVERIFY(process.readAllStandardOutput().startsWith("question 3: no-answer"));
    }
};

}  // namespace scrivane::test

QTEST_GUILESS_MAIN(scrivane::test::CheckCommandTest)
#include "test_checkcommand.moc"
