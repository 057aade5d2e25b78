// The .xlsx and .ods writers as the editor has them: the module beside the
// program, loaded at the first write and not before, writing what the
// readers read back; and, from a copy of this test without the module
// beside it, a write refused with a message that names the module's file.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "interchange/questionfile.h"
#include "interchange/workbooks.h"

using namespace scrivane;
using namespace scrivane::interchange;

namespace {

// Whether a shared object whose file name holds `name` is loaded.
bool Loaded(const QByteArray& name) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly)) return false;
    return maps.readAll().contains(name);
}

QString ModuleBesideProgram() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/scrivane-writers.so");
}

std::vector<QuestionRecord> Paper() {
    QuestionRecord first;
    first.QuestionNo = 1;
    first.Score = 2.5f;
    first.Answer = 0b101;
    first.Title = QStringLiteral("Which are prime? ½");
    first.Items = {QStringLiteral("2"), QStringLiteral("4"), QStringLiteral("5"), {}, {}, {}};
    QuestionRecord second = first;
    second.QuestionNo = 2;
    second.Title = QStringLiteral("Second");
    return {first, second};
}

}  // namespace

class TestWritersModule : public QObject {
    Q_OBJECT
private slots:
    void loadedAtTheFirstWriteAndReadBack_data() {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("xlsx") << QStringLiteral("xlsx");
        QTest::newRow("ods") << QStringLiteral("ods");
    }
    void loadedAtTheFirstWriteAndReadBack() {
        QFETCH(QString, suffix);
        if (!QFile::exists(ModuleBesideProgram())) QSKIP("run from a copy without the module");
        // Nothing of the writers before the first write of the run.
        static bool first = true;
        if (first) {
            QVERIFY(!Loaded("scrivane-writers.so"));
            QVERIFY(!Loaded("libxlsxwriter"));
            first = false;
        }
        const WrittenBytes written =
            suffix == QLatin1String("xlsx") ? WriteXlsx(Paper()) : WriteOds(Paper());
        QVERIFY2(written.error.isEmpty(), qPrintable(written.error));
        QVERIFY(Loaded("scrivane-writers.so"));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("paper.") + suffix);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(written.bytes);
        file.close();
        const ReadOutcome read = ReadQuestionFile(path, 1);
        QVERIFY2(read.Read(), qPrintable(read.reason));
        QCOMPARE(read.rows, Paper());
    }

    // Run by the test below in a copy of this program, alone in its folder.
    void withoutTheModuleTheWriteNamesIt() {
        if (QFile::exists(ModuleBesideProgram())) QSKIP("run from a copy without the module");
        const WrittenBytes written = WriteXlsx(Paper());
        QVERIFY(written.bytes.isEmpty());
        QVERIFY2(written.error.contains(QStringLiteral("scrivane-writers.so")),
                 qPrintable(written.error));
        QVERIFY(written.error.startsWith(QStringLiteral("the workbook writers cannot be loaded")));
    }

    void aCopyWithoutTheModuleRefusesTheWrite() {
        QTemporaryDir dir;
        const QString copy = dir.filePath(QStringLiteral("writers-copy"));
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
        QProcess run;
        run.start(copy, {QStringLiteral("withoutTheModuleTheWriteNamesIt")});
        QVERIFY(run.waitForFinished(60000));
        const QByteArray output = run.readAllStandardOutput();
        QVERIFY2(run.exitCode() == 0, output.constData());
        QVERIFY2(output.contains("PASS   : TestWritersModule::withoutTheModuleTheWriteNamesIt"),
                 output.constData());
    }
};

QTEST_GUILESS_MAIN(TestWritersModule)
#include "test_writersmodule.moc"
