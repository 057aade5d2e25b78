// Rebalance as one step of the paper's history: undo brings the paper back
// exactly, redo the rebalanced one, and the modified flag follows.
#include <QTest>
#include <QWidget>

#include "checks/answerbalance.h"
#include "checks/ui/paperchecksaction.h"
#include "checksamples.h"
#include "core/paperdocument.h"
#include "fakeseams.h"
#include "history/paperhistory.h"

using namespace scrivane;
using namespace scrivane::test;

class RebalanceUndoTest : public QObject {
    Q_OBJECT
private slots:
    void undoRestoresExactly() {
        Moddule1 state;
        state.TypeInfoRecord.AnswerType = 3;
        PaperDocument document(state);
        PaperHistory history(document);
        const std::vector<QuestionRecord> rows = SkewedPaper(7, 40);
        document.Install(rows, QStringLiteral("/papers/skewed.tpf"), 5);
        history.Reset(true);
        document.SetModified(false);

        QWidget window;
        FakePrompts prompts;
        PaperChecksAction checks(window, document.Table(), state, prompts,
                                 {[&] { return document.Table().Update(); },
                                  [&](const std::vector<QuestionRecord>& rebalanced) {
                                      history.ReplaceRows(kStepRebalance, rebalanced);
                                  }});
        QVERIFY(checks.RebalancePaper());
        const std::vector<QuestionRecord> rebalanced = document.Rows();
        QVERIFY(MeasureBalance(rebalanced, 3).longestRun.length <= 3);
        QVERIFY(!(rebalanced == rows));
        QVERIFY(document.Modified());
        QCOMPARE(history.UndoText(), QStringLiteral("Rebalance answers"));
        QCOMPARE(history.Stack().count(), 1);  // one step for the whole paper
        QCOMPARE(document.Current(), 5);

        history.Undo();
        QVERIFY(document.Rows() == rows);
        QVERIFY(!document.Modified());
        QCOMPARE(document.FileName(), QStringLiteral("/papers/skewed.tpf"));
        history.Redo();
        QVERIFY(document.Rows() == rebalanced);
        QVERIFY(document.Modified());

        // A balanced paper makes no step.
        QVERIFY(!checks.RebalancePaper());
        QCOMPARE(history.Stack().count(), 1);
    }
};

QTEST_MAIN(RebalanceUndoTest)
#include "test_rebalanceundo.moc"
