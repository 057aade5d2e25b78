#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include "core/questiontable.h"
#include "coretests.h"

using namespace scrivane;

namespace {

void AddQuestion(QuestionTable& table, float score, const QString& title = {}) {
    QVERIFY(table.AddNew());
    table.SetField(u"QuestionNo", table.AbsolutePosition());
    table.SetField(u"Score", score);
    table.SetField(u"Answer", QStringLiteral("Uncertain"));
    table.SetField(u"Title", title);
    QVERIFY(table.Update());
}

}  // namespace

class QuestionTableTest : public QObject {
    Q_OBJECT
private slots:
    void freshTableIsAtBothEnds() {
        QuestionTable table;
        QAbstractItemModelTester tester(&table,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(table.RecordCount(), 0);
        QVERIFY(table.BOF());
        QVERIFY(table.Eof());
        QVERIFY(!table.Bookmark().isValid());
        QVERIFY(table.Field(QuestionTable::Title).isNull());
        AddQuestion(table, 10);
        QCOMPARE(table.AbsolutePosition(), 1);
        QCOMPARE(table.RecordCount(), 1);
        QCOMPARE(table.Fields(u"Score").toFloat(), 10.f);
        QCOMPARE(table.Fields(u"Answer").toString(), QString("Uncertain"));
    }

    void cursorMovesAndEnds() {
        QuestionTable table;
        QAbstractItemModelTester tester(&table,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 1; i <= 5; ++i) AddQuestion(table, float(i));
        QSignalSpy moved(&table, &QuestionTable::CurrentRowChanged);
        QVERIFY(table.MoveFirst());
        QCOMPARE(table.AbsolutePosition(), 1);
        QVERIFY(table.MovePrevious());
        QVERIFY(table.BOF());
        QCOMPARE(table.AbsolutePosition(), int(QuestionTable::kPosBOF));
        QVERIFY(!table.MovePrevious());
        QVERIFY(table.MoveLast());
        QCOMPARE(table.Fields(u"Score").toFloat(), 5.f);
        QVERIFY(table.MoveNext());
        QVERIFY(table.Eof());
        QVERIFY(!table.MoveNext());
        QVERIFY(table.MoveFirst());
        QVERIFY(table.Move(2));
        QCOMPARE(table.AbsolutePosition(), 3);
        QCOMPARE(moved.count(), 6);
        QCOMPARE(moved.last().at(0).toInt(), 2);
    }

    void deleteKeepsTheFollowingRowCurrent() {
        QuestionTable table;
        QAbstractItemModelTester tester(&table,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 1; i <= 3; ++i) AddQuestion(table, float(i));
        table.SetAbsolutePosition(2);
        QVERIFY(table.Delete());
        QCOMPARE(table.RecordCount(), 2);
        QCOMPARE(table.Fields(u"Score").toFloat(), 3.f);
        QVERIFY(table.Delete());
        QVERIFY(table.Eof());
        QVERIFY(!table.Delete());
        table.MoveFirst();
        QVERIFY(table.Delete());
        QVERIFY(table.BOF() && table.Eof());
    }

    void fieldsConvertToTheirColumnTypes() {
        QuestionTable table;
        AddQuestion(table, 1);
        table.SetField(u"Score", QStringLiteral("12.5abc"));
        QCOMPARE(table.Fields(u"Score").typeId(), int(QMetaType::Float));
        QCOMPARE(table.Fields(u"Score").toFloat(), 12.5f);
        table.SetField(u"Score", QString());
        QVERIFY(table.Fields(u"Score").isNull());
        table.SetField(u"QuestionNo", 7.0);
        QCOMPARE(table.Fields(u"QuestionNo").typeId(), int(QMetaType::Int));
        QVERIFY(table.Fields(u"NoSuchField").isNull());
        QCOMPARE(QuestionTable::ColumnByName(u"ItemF"), 9);
    }

    // A bound edit is written only through RowChanging, which may refuse it;
    // a refused edit keeps the cursor and the edit.
    void boundEditsPassRowChanging() {
        QuestionTable table;
        QAbstractItemModelTester tester(&table,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        AddQuestion(table, 1, "one");
        AddQuestion(table, 2, "two");
        table.MoveFirst();
        bool refuse = true;
        int raised = 0;
        connect(&table, &QuestionTable::RowChanging, this, [&](bool* cancel) {
            ++raised;
            *cancel = refuse;
        });
        table.SetBoundValue(QuestionTable::Title, QStringLiteral("edited"));
        QVERIFY(table.HasBoundEdit());
        QCOMPARE(table.data(table.index(0, QuestionTable::Title)).toString(), QString("edited"));
        QVERIFY(!table.MoveNext());
        QCOMPARE(table.AbsolutePosition(), 1);
        QVERIFY(table.HasBoundEdit());
        refuse = false;
        QVERIFY(table.MoveNext());
        QCOMPARE(raised, 2);
        QVERIFY(!table.HasBoundEdit());
        table.MoveFirst();
        QCOMPARE(table.Fields(u"Title").toString(), QString("edited"));
        // Program writes raise nothing.
        table.SetField(u"Title", QStringLiteral("program"));
        QVERIFY(table.MoveNext());
        QCOMPARE(raised, 2);
    }

    void gridEditsGoThroughTheCurrentRow() {
        QuestionTable table;
        QAbstractItemModelTester tester(&table,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        AddQuestion(table, 1);
        AddQuestion(table, 2);
        table.MoveFirst();
        bool refuse = false;
        connect(&table, &QuestionTable::RowChanging, this, [&](bool* cancel) { *cancel = refuse; });
        QVERIFY(table.setData(table.index(1, QuestionTable::Score), QStringLiteral("7")));
        QCOMPARE(table.AbsolutePosition(), 2);
        QCOMPARE(table.Fields(u"Score").toFloat(), 7.f);
        QVERIFY(!(table.flags(table.index(0, QuestionTable::QuestionNo)) & Qt::ItemIsEditable));
        QVERIFY(!(table.flags(table.index(0, QuestionTable::Answer)) & Qt::ItemIsEditable));
        QVERIFY(!table.setData(table.index(0, QuestionTable::Answer), QStringLiteral("A")));
        refuse = true;
        QVERIFY(!table.setData(table.index(1, QuestionTable::Title), QStringLiteral("x")));
        QVERIFY(table.HasBoundEdit());
    }
};

static test::RegisterTest<QuestionTableTest> registerQuestionTable;
#include "test_questiontable.moc"
