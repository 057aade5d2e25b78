#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include "core/paperdocument.h"
#include "coretests.h"
#include "history/paperhistory.h"

using namespace scrivane;

namespace {

QuestionRecord Question(float score, const QString& title = {}) {
    QuestionRecord q;
    q.Score = score;
    q.Title = title;
    return q;
}

std::vector<QuestionRecord> Paper(std::initializer_list<float> marks) {
    std::vector<QuestionRecord> rows;
    for (float m : marks) rows.push_back(Question(m, QStringLiteral("Q%1").arg(rows.size() + 1)));
    return rows;
}

// Every invariant the document keeps: numbers are positions, ScoreList holds
// the marks in the same order, the total and the count follow the rows.
void CheckBookkeeping(const PaperDocument& document, const Moddule1& state) {
    const auto rows = document.Rows();
    float total = 0;
    for (int i = 1; i <= int(rows.size()); ++i) {
        QCOMPARE(rows[std::size_t(i - 1)].QuestionNo, i);
        QCOMPARE(state.ScoreList(i), rows[std::size_t(i - 1)].Score);
        total += rows[std::size_t(i - 1)].Score;
    }
    QCOMPARE(document.Total(), total);
    QCOMPARE(document.Count(), int(rows.size()));
}

}  // namespace

class PaperDocumentTest : public QObject {
    Q_OBJECT
private slots:
    void wholeRowChangesKeepTheBookkeeping() {
        Moddule1 state;
        PaperDocument document(state);
        QAbstractItemModelTester tester(&document.Table(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy counts(&document, &PaperDocument::CountChanged);
        QSignalSpy totals(&document, &PaperDocument::TotalChanged);
        QSignalSpy names(&document, &PaperDocument::FileNameChanged);

        document.Install(Paper({10, 10, 10, 10, 10}), QStringLiteral("/p/a.tpf"), 2);
        CheckBookkeeping(document, state);
        QCOMPARE(document.Current(), 2);
        QCOMPARE(state.PaperFileName, QStringLiteral("/p/a.tpf"));
        QCOMPARE(names.count(), 1);
        QCOMPARE(counts.last().at(0).toInt(), 5);
        QCOMPARE(totals.last().at(0).toFloat(), 50.f);

        // Deleting question 3 of 5: the old 4 and 5 become 3 and 4, the new 3
        // is current and the total drops by the deleted mark.
        document.WriteRow(3, Question(15, QStringLiteral("third")));
        QCOMPARE(document.Total(), 55.f);
        document.RemoveRow(3);
        CheckBookkeeping(document, state);
        QCOMPARE(document.Current(), 3);
        QCOMPARE(document.Row(3).Title, QStringLiteral("Q4"));
        QCOMPARE(document.Total(), 40.f);
        document.RemoveRow(4);  // the last: the new last is current
        QCOMPARE(document.Current(), 3);

        document.InsertRow(2, Question(7, QStringLiteral("back")));
        CheckBookkeeping(document, state);
        QCOMPARE(document.Current(), 2);
        document.AppendRow(Question(3));
        QCOMPARE(document.Current(), 5);
        CheckBookkeeping(document, state);

        // A move exchanges contents; numbers stay with the places.
        const float before = document.Total();
        document.ExchangeRows(5, 4);
        CheckBookkeeping(document, state);
        QCOMPARE(document.Row(4).Score, 3.f);
        QCOMPARE(document.Current(), 4);
        QCOMPARE(document.Total(), before);

        for (int i = document.Count(); i >= 1; --i) document.RemoveRow(1);
        QCOMPARE(document.Count(), 0);
        QCOMPARE(document.Current(), 0);
        QCOMPARE(document.Total(), 0.f);
        QCOMPARE(counts.last().at(0).toInt(), 0);
        // None of this marks the paper: the commands decide that.
        QVERIFY(!state.PaperModified);
    }

    // An edit written by the windows becomes a row edit: its mark joins the
    // total and the paper is modified (as its history decides), also when
    // nothing changed.
    void windowEditsAreReportedOnce() {
        Moddule1 state;
        PaperDocument document(state);
        PaperHistory history(document);
        document.Install(Paper({10, 10, 10, 10}), {});
        QSignalSpy edits(&document, &PaperDocument::RowEdited);
        QSignalSpy modified(&document, &PaperDocument::ModifiedChanged);
        QuestionTable& table = document.Table();

        QVERIFY(table.SetAbsolutePosition(3));
        table.SetBoundValue(QuestionTable::Score, QStringLiteral("15"));
        QVERIFY(table.Update());
        QCOMPARE(document.Total(), 45.f);
        QCOMPARE(state.ScoreList(3), 15.f);
        QVERIFY(state.PaperModified);
        QCOMPARE(modified.count(), 1);
        QCOMPARE(edits.count(), 1);
        QCOMPARE(edits[0][0].toInt(), 3);
        QCOMPARE(edits[0][1].value<QuestionRecord>().Score, 10.f);
        QCOMPARE(edits[0][2].value<QuestionRecord>().Score, 15.f);

        state.PaperModified = false;
        table.SetBoundValue(QuestionTable::Title, QStringLiteral("typed"));
        table.SetBoundValue(QuestionTable::Title, QStringLiteral("Q3"));  // typed back
        QVERIFY(table.Update());
        QCOMPARE(edits.count(), 1);
        QVERIFY(state.PaperModified);
    }

    void snapshotsRestoreThePaperWhole() {
        Moddule1 state;
        PaperDocument document(state);
        document.Install(Paper({1, 2, 3}), QStringLiteral("/p/x.tpf"), 3);
        document.SetModified(true);
        const PaperSnapshot before = document.Snapshot();
        QSignalSpy replaced(&document, &PaperDocument::Replaced);
        document.Install(Paper({9}), {});
        document.SetModified(false);
        document.Restore(before);
        QCOMPARE(document.Snapshot(), before);
        QCOMPARE(replaced.count(), 2);
        CheckBookkeeping(document, state);
        // ScoreList beyond the paper is cleared by an installed paper.
        document.Install(Paper({4}), {});
        QCOMPARE(state.ScoreList(2), 0.f);
    }

    // A question's pictures go wherever it goes (move, delete, undo), and a
    // change of them is held in the row's edit, checked by RowChanging and
    // written as one step, like typing.
    void picturesGoWithTheirQuestion() {
        Moddule1 state;
        PaperDocument document(state);
        PaperHistory history(document);
        QuestionTable& table = document.Table();
        const Picture map{QByteArray("map bytes"), QStringLiteral("png"),
                          QStringLiteral("map.png")};
        const Picture graph{QByteArray("<svg/>"), QStringLiteral("svg"), {}};
        std::vector<QuestionRecord> rows = Paper({1, 2, 3});
        for (std::size_t r = 0; r < rows.size(); ++r) rows[r].QuestionNo = std::int16_t(r + 1);
        rows[1].Pictures[kPictureTitle] = {map};
        rows[1].Pictures[std::size_t(PictureBoxOfItem(1))] = {graph, map};
        document.Install(rows, {});
        table.SetPictureSign(QStringLiteral("sign"));
        QCOMPARE(document.Rows(), rows);
        const auto sign = [&](int row, int column) {
            return table.data(table.index(row, column), Qt::DecorationRole);
        };
        QCOMPARE(sign(1, QuestionTable::Title), QVariant(QStringLiteral("sign")));
        QCOMPARE(sign(1, QuestionTable::ItemB), QVariant(QStringLiteral("sign")));
        QCOMPARE(sign(1, QuestionTable::ItemA), QVariant());
        QCOMPARE(sign(0, QuestionTable::Title), QVariant());
        QCOMPARE(table.data(table.index(1, QuestionTable::Title)).toString(), QStringLiteral("Q2"));

        history.MoveQuestion(2, 1);
        QCOMPARE(document.Row(1).Pictures, rows[1].Pictures);
        QVERIFY(!HasPictures(document.Row(2).Pictures));
        history.DeleteQuestion(1);
        QVERIFY(!HasPictures(document.Row(1).Pictures));
        history.Undo();
        history.Undo();
        QCOMPARE(document.Rows(), rows);

        // Held in the edit until the row is written; a refused write keeps it
        // there, a cancelled edit drops it.
        QVERIFY(table.SetAbsolutePosition(1));
        table.SetBoundPictures(kPictureTitle, {graph});
        QCOMPARE(table.Pictures(kPictureTitle), QList<Picture>{graph});
        QVERIFY(!HasPictures(document.Row(1).Pictures));
        QVERIFY(table.HasBoundEdit());
        bool refuse = true;
        connect(&table, &QuestionTable::RowChanging, this, [&](bool* cancel) { *cancel = refuse; });
        QVERIFY(!table.Update());
        QCOMPARE(table.Pictures(kPictureTitle), QList<Picture>{graph});
        table.CancelUpdate();
        QVERIFY(table.Pictures(kPictureTitle).isEmpty());

        refuse = false;
        table.SetBoundPictures(PictureBoxOfItem(0), {graph});
        QVERIFY(table.Update());
        QCOMPARE(document.Row(1).Pictures[std::size_t(PictureBoxOfItem(0))], QList<Picture>{graph});
        QVERIFY(state.PaperModified);
        QCOMPARE(history.UndoText(), QStringLiteral("Option A picture of question 1"));
        history.Undo();
        QVERIFY(!HasPictures(document.Row(1).Pictures));
        history.Redo();
        QCOMPARE(document.Row(1).Pictures[std::size_t(PictureBoxOfItem(0))], QList<Picture>{graph});
    }
};

static test::RegisterTest<PaperDocumentTest> registerPaperDocument;
#include "test_paperdocument.moc"
