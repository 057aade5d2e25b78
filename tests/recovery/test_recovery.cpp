// The recovery store: files written and removed as the paper changes, read
// back exactly, damaged ones set aside, and a killed editor's paper found by
// the next one while a running editor's never is.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "childeditor.h"
#include "recovery/recoverystore.h"

using namespace scrivane;
using namespace scrivane::test;

namespace {

// A paper that shows every loss a round trip could cause: marks that are not
// short decimals, blanks around texts, other scripts, empty options, every
// kind of answer.
std::vector<QuestionRecord> Fixture() {
    std::vector<QuestionRecord> rows;
    const float marks[] = {2.5f, 0, 250, 0.1f, 33.333f};
    const QString titles[] = {QStringLiteral("  blanks kept  "), QStringLiteral(u"数学 question"),
                              QString(250, u'x'), QString(), QStringLiteral("line\nbreak")};
    for (int i = 0; i < 5; ++i) {
        QuestionRecord q;
        q.QuestionNo = std::int16_t(i + 1);
        q.Score = marks[i];
        q.Answer = AnswerMask(i * 13 % 64);
        q.Title = titles[i];
        q.Items[0] = QStringLiteral("A%1").arg(i);
        q.Items[5] = i % 2 ? QString(100, u'f') : QString();
        rows.push_back(q);
    }
    return rows;
}

const QString kFileName = QStringLiteral("/home/teacher/papers/week 1.tpf");

// The child editor: writes its paper to the recovery folder, says so, and
// waits to be killed.
int RunChild(const QString& folder) {
    Moddule1 state;
    PaperDocument document(state);
    RecoveryStore store(document, 3, folder);
    document.Install(Fixture(), kFileName);
    document.SetModified(true);
    if (!store.WriteNow()) return 2;
    return ReadyUntilKilled();
}

}  // namespace

class RecoveryTest : public QObject {
    Q_OBJECT
private slots:
    void papersReadBackExactly_data() {
        QTest::addColumn<std::vector<QuestionRecord>>("rows");
        QTest::addColumn<int>("editedPosition");
        QTest::newRow("questions") << Fixture() << 0;
        QTest::newRow("empty paper") << std::vector<QuestionRecord>() << 0;
        QTest::newRow("typing not yet written") << Fixture() << 4;
    }
    void papersReadBackExactly() {
        QFETCH(std::vector<QuestionRecord>, rows);
        QFETCH(int, editedPosition);
        QTemporaryDir dir;
        const QString base = dir.filePath(QStringLiteral("1"));
        QuestionRecord edited = Fixture()[1];
        edited.QuestionNo = std::int16_t(editedPosition);
        edited.Items[2] = QStringLiteral(u" typed \u00a0");
        const RecoveredPaper paper{rows, kFileName, 0, editedPosition,
                                   editedPosition ? edited : QuestionRecord()};
        QString why;
        QVERIFY2(RecoveryStore::Write(base, paper, &why), qPrintable(why));
        const auto back = RecoveryStore::Read(base, &why);
        QVERIFY2(back, qPrintable(why));
        QVERIFY(*back == paper);
        // Written again over the first, as each change does.
        QVERIFY(RecoveryStore::Write(base, {Fixture(), {}, 3, 0, {}}, &why));
        QCOMPARE(RecoveryStore::Read(base, &why)->rows, Fixture());
        QCOMPARE(RecoveryStore::Read(base, &why)->editedPosition, 0);
    }

    // The questions in a paper file that reads are recovered whatever became
    // of the description beside them.
    void aDamagedDescriptionStillGivesThePaper_data() {
        QTest::addColumn<QByteArray>("info");
        QTest::newRow("not JSON") << QByteArray("{\"fileName\":");
        QTest::newRow("wrong shape")
            << QByteArray(R"({"fileName":7,"answerType":3,"questions":0})");
        QTest::newRow("damaged typing")
            << QByteArray(R"({"fileName":"","answerType":3,"questions":5,"edit":{"question":1}})");
    }
    void aDamagedDescriptionStillGivesThePaper() {
        QFETCH(QByteArray, info);
        QTemporaryDir dir;
        QString why;
        QVERIFY(RecoveryStore::Write(dir.filePath(QStringLiteral("4242")),
                                     {Fixture(), kFileName, 3, 0, {}}, &why));
        QFile file(dir.filePath(QStringLiteral("4242.json")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(info);
        file.close();

        Moddule1 state;
        PaperDocument document(state);
        RecoveryStore store(document, 3, dir.path());
        const auto paper = store.Take(QStringLiteral("4242"), &why);
        QVERIFY2(paper, qPrintable(why));
        QCOMPARE(paper->rows, Fixture());
        QCOMPARE(paper->fileName, QString());
        QCOMPARE(paper->editedPosition, 0);
        QVERIFY(!QDir(dir.filePath(QStringLiteral("damaged"))).exists());
    }

    // A paper with more text than a paper file holds (titles of 28,000 Chinese
    // characters, 8.4 MB) is refused with the reason before anything is
    // written, so the last copy that reads back stays.
    void tooMuchTextKeepsTheLastCopy() {
        QTemporaryDir dir;
        const QString base = dir.filePath(QStringLiteral("1"));
        QString why;
        QVERIFY(RecoveryStore::Write(base, {Fixture(), kFileName, 0, 0, {}}, &why));
        std::vector<QuestionRecord> big(100, Fixture().front());
        for (QuestionRecord& q : big) q.Title = QString(28000, QChar(0x4E2D));
        QVERIFY(!RecoveryStore::Write(base, {big, kFileName, 0, 0, {}}, &why));
        QVERIFY2(why.startsWith(QStringLiteral("the paper holds too much text: ")),
                 qPrintable(why));
        QCOMPARE(RecoveryStore::Read(base, &why)->rows, Fixture());
    }

    void damagedFilesAreReportedAndSetAside_data() {
        QTest::addColumn<QByteArray>("info");
        QTest::addColumn<QByteArray>("paper");  // empty: no paper file
        const QByteArray three = R"({"fileName":"","answerType":3,"questions":3})";
        QTest::newRow("description not JSON") << QByteArray("{\"fileName\":") << QByteArray();
        QTest::newRow("description of the wrong shape")
            << QByteArray(R"({"fileName":7,"answerType":3,"questions":0})") << QByteArray();
        QTest::newRow("questions missing") << three << QByteArray();
        QTest::newRow("paper file not a workbook") << three << QByteArray("PK\x03\x04 torn");
    }
    void damagedFilesAreReportedAndSetAside() {
        QFETCH(QByteArray, info);
        QFETCH(QByteArray, paper);
        QTemporaryDir dir;
        auto put = [&](const QString& name, const QByteArray& bytes) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        };
        put(QStringLiteral("4242.json"), info);
        if (!paper.isEmpty()) put(QStringLiteral("4242.tpf"), paper);

        Moddule1 state;
        PaperDocument document(state);
        RecoveryStore store(document, 3, dir.path());
        QCOMPARE(store.LeftOver(), QStringList{QStringLiteral("4242")});
        QString why;
        QVERIFY(!store.Take(QStringLiteral("4242"), &why));
        QVERIFY(store.LeftOver().isEmpty());
        // The reason names the folder the files went to.
        const QString aside = dir.filePath(QStringLiteral("damaged"));
        QVERIFY2(why.contains(QDir::toNativeSeparators(aside)), qPrintable(why));
        QCOMPARE(QDir(aside).entryList(QDir::Files).size(), paper.isEmpty() ? 1 : 2);
    }

    // Written within the delay while the paper is modified; gone when it is
    // saved, replaced by an unmodified paper, or the session ends.
    void theFileFollowsTheModifiedPaper() {
        QTemporaryDir dir;
        Moddule1 state;
        PaperDocument document(state);
        auto store = std::make_unique<RecoveryStore>(document, 3, dir.path());
        document.Install(Fixture(), {});
        QVERIFY(!store->HasOwnFile());
        document.WriteRow(2, Fixture()[0]);
        document.SetModified(true);
        QTRY_VERIFY_WITH_TIMEOUT(store->HasOwnFile(), 2000);
        // Saved: no unsaved changes are left, under the file's name.
        document.SetModified(false);
        document.SetFileName(kFileName);
        QVERIFY(!store->HasOwnFile());

        document.SetModified(true);
        QVERIFY(store->WriteNow() && store->HasOwnFile());
        document.Install(Fixture(), {});  // a replacing command clears the flag itself
        document.SetModified(false);
        QVERIFY(!store->HasOwnFile());

        document.SetModified(true);
        QVERIFY(store->WriteNow());
        store.reset();  // a normal end
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    }

    // Typing the panel shows but has not written is kept, also on a paper
    // that is not modified, without writing it or setting the flag.
    void typingNotYetWrittenIsKept() {
        QTemporaryDir dir;
        Moddule1 state;
        PaperDocument document(state);
        RecoveryStore store(document, 3, dir.path());
        document.Install(Fixture(), kFileName, 3);
        QuestionTable& table = document.Table();
        table.SetBoundValue(QuestionTable::Title, QStringLiteral("typed"));
        table.SetBoundValue(QuestionTable::Score, QStringLiteral("7.5"));
        QTRY_VERIFY_WITH_TIMEOUT(store.HasOwnFile(), 2000);
        QVERIFY(!state.PaperModified);
        QCOMPARE(document.Rows(), Fixture());  // nothing written
        QString why;
        const auto back = RecoveryStore::Read(dir.filePath(store.Id()), &why);
        QVERIFY2(back, qPrintable(why));
        QCOMPARE(back->rows, Fixture());
        QCOMPARE(back->editedPosition, 3);
        QuestionRecord shown = Fixture()[2];
        shown.Title = QStringLiteral("typed");
        shown.Score = 7.5f;
        QCOMPARE(back->edited, shown);

        // Typing taken back leaves nothing to keep.
        table.CancelUpdate();
        QVERIFY(!store.HasOwnFile());
        table.SetBoundValue(QuestionTable::Title, Fixture()[2].Title);
        QVERIFY(store.WriteNow());
        QVERIFY(!store.HasOwnFile());
    }

    // A recovered paper's files stay until this editor's own copy of it is
    // written: a crash in between still leaves the paper.
    void takenFilesStayUntilTheOwnCopyIsWritten() {
        QTemporaryDir dir;
        QString why;
        const QString left = dir.filePath(QStringLiteral("4242"));
        QVERIFY(RecoveryStore::Write(left, {Fixture(), kFileName, 3, 0, {}}, &why));
        Moddule1 state;
        PaperDocument document(state);
        RecoveryStore store(document, 3, dir.path());
        const auto paper = store.Take(QStringLiteral("4242"), &why);
        QVERIFY2(paper, qPrintable(why));
        QVERIFY(store.LeftOver().isEmpty());
        QVERIFY(RecoveryStore::Read(left, &why));
        document.SetModified(true);
        document.Install(paper->rows, paper->fileName);
        QVERIFY(RecoveryStore::Read(left, &why));
        QVERIFY(store.WriteNow());
        QVERIFY(!QFile::exists(left + QStringLiteral(".tpf")));
        QVERIFY(!QFile::exists(left + QStringLiteral(".json")));
        QCOMPARE(RecoveryStore::Read(dir.filePath(store.Id()), &why)->rows, Fixture());
    }

    void aKilledEditorsPaperIsFoundByTheNext() {
        QTemporaryDir dir;
        QProcess child;
        QVERIFY(StartChildEditor(child, dir.path()));
        const QString childId = QString::number(child.processId());

        Moddule1 state;
        PaperDocument document(state);
        RecoveryStore store(document, 3, dir.path());
        // A running editor's file is never offered.
        QVERIFY(store.LeftOver().isEmpty());

        QVERIFY(KillChildEditor(child));
        QCOMPARE(store.LeftOver(), QStringList{childId});
        QString why;
        const auto paper = store.Take(childId, &why);
        QVERIFY2(paper, qPrintable(why));
        QCOMPARE(paper->rows, Fixture());
        QCOMPARE(paper->fileName, kFileName);
        QCOMPARE(paper->answerType, 3);
        QVERIFY(store.LeftOver().isEmpty());
    }
};

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (IsChildEditor(argc, argv)) return RunChild(QString::fromLocal8Bit(argv[2]));
    RecoveryTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_recovery.moc"
