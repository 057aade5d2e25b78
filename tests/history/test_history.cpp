// The undo history against a plain model of the paper: random sequences of
// edits, commands, saves, undos and redos, checked after every step.
#include <QRandomGenerator>
#include <QTest>

#include "history/historyactions.h"
#include "history/paperhistory.h"
#include "history/papersteps.h"
#include "papermodel.h"

using namespace scrivane;
using namespace scrivane::test;

namespace {

struct Paper {
    Moddule1 state;
    PaperDocument document{state};
    PaperHistory history{document};
    Paper() {
        document.Install({Blank()}, {});
        history.Reset(true);
    }
};

}  // namespace

class HistoryTest : public QObject {
    Q_OBJECT
private slots:
    // focus: mostly saves under new names, opens and rebalances between
    // undos and redos, where a file name could move with a step.
    void randomSequencesFollowThePlainModel_data() {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<bool>("focus");
        for (quint32 seed : {1u, 2u, 3u, 4u})
            QTest::newRow(qPrintable(QString::number(seed))) << seed << false;
        for (quint32 seed : {5u, 6u, 7u, 8u})
            QTest::newRow(qPrintable(QStringLiteral("saves %1").arg(seed))) << seed << true;
    }
    void randomSequencesFollowThePlainModel() {
        QFETCH(quint32, seed);
        QFETCH(bool, focus);
        QRandomGenerator random(seed);
        Paper paper;
        Model model;
        auto pick = [&](int n) { return int(random.bounded(n)); };
        const float marks[] = {0, 2.5f, 10, 12.5f, 250};
        const QString texts[] = {QString(), QStringLiteral("Which one?"), QStringLiteral(" blank "),
                                 QStringLiteral(u"数学")};
        auto randomRows = [&] {
            Rows rows(std::size_t(1 + pick(8)));
            for (auto& q : rows) {
                q.Score = marks[pick(5)];
                q.Answer = AnswerMask(pick(64));
                q.Title = texts[pick(4)];
            }
            return rows;
        };
        int files = 0;

        for (int op = 0; op < 700; ++op) {
            const int count = int(model.rows.size());
            int kind = pick(20);
            if (focus && kind >= 5 && kind < 11) kind = 11 + kind % 2;
            if (kind < 5 && count > 0) {  // an edit of the grid or the panel
                const int p = 1 + pick(count);
                const int column = QuestionTable::Score + pick(QuestionTable::kColumnCount - 1);
                QVariant value;
                if (column == QuestionTable::Score)
                    value = marks[pick(5)];
                else if (column == QuestionTable::Answer)
                    value = AnswerMaskToText(AnswerMask(pick(64)));
                else
                    value = texts[pick(4)];
                QuestionTable& table = paper.document.Table();
                QVERIFY(table.SetAbsolutePosition(p));
                table.SetBoundValue(column, value);
                QVERIFY(table.Update());
                const QuestionRecord before = model.rows[std::size_t(p - 1)];
                QuestionRecord after = paper.document.Row(p);
                after.QuestionNo = before.QuestionNo;
                model.current = p;
                if (!(after == before)) {
                    Model::Step s;
                    s.kind = Model::Step::Edit;
                    s.position = p;
                    s.before = before;
                    s.after = after;
                    model.Push(s);
                    model.modified = true;  // a value like the old one is no edit
                }
            } else if (kind < 7 && count < kMaxQuestions) {
                Model::Step s;
                s.kind = Model::Step::Add;
                s.after = Blank(5);
                s.currentBefore = model.current;
                paper.history.AddQuestion(s.after);
                model.Push(s);
                model.modified = true;
            } else if (kind < 9 && model.current > 0) {
                Model::Step s;
                s.kind = Model::Step::Delete;
                s.position = model.current;
                s.before = model.rows[std::size_t(s.position - 1)];
                paper.history.DeleteQuestion(s.position);
                model.Push(s);
                model.modified = true;
            } else if (kind < 11 && model.current > 0 && count > 1) {
                Model::Step s;
                s.kind = Model::Step::Move;
                s.position = model.current;
                s.to = s.position > 1 && (s.position == count || pick(2)) ? s.position - 1
                                                                          : s.position + 1;
                paper.history.MoveQuestion(s.position, s.to);
                model.Push(s);
                model.modified = true;
            } else if (kind == 11) {  // new, open, import or a change of all rows
                Model::Step s;
                s.kind = Model::Step::Replace;
                s.rowsBefore = model.rows;
                s.fileBefore = model.fileName;
                s.currentBefore = model.current;
                s.rowsAfter = randomRows();
                s.currentAfter = 1;
                bool flag = false, opened = false;
                switch (focus ? 1 + 2 * pick(2) : pick(4)) {
                    case 0:  // a blank paper keeps the flag
                        s.rowsAfter = {Blank()};
                        flag = model.modified;
                        paper.history.ReplacePaper(kStepNewPaper, {s.rowsAfter, {}, flag, 1});
                        break;
                    case 1:
                        s.fileAfter = QStringLiteral("/papers/open%1.tpf").arg(++files);
                        paper.history.ReplacePaper(kStepOpenPaper,
                                                   {s.rowsAfter, s.fileAfter, false, 1});
                        paper.history.MarkClean();
                        opened = true;
                        break;
                    case 2:
                        paper.history.ReplacePaper(kStepImport, {s.rowsAfter, {}, false, 1});
                        break;
                    default:
                        s.kind = Model::Step::AllRows;
                        s.currentAfter =
                            std::min(std::max(model.current, 1), int(s.rowsAfter.size()));
                        flag = true;
                        paper.history.ReplaceRows(QStringLiteral("Rebalance answers"), s.rowsAfter);
                        break;
                }
                model.Push(s);
                model.modified = flag;
                if (!flag && !opened) model.MarkRead();
                if (opened) {
                    // The opened paper is the one on file now, as after a save.
                    model.clean = model.index;
                    model.readAt = -1;
                }
            } else if (kind == 12) {
                const QString name = QStringLiteral("/papers/saved%1.tpf").arg(++files);
                paper.history.MarkSaved(name);
                model.Save(name);
            } else if (kind == 13 && count > 0) {  // the user moves to another question
                const int p = 1 + pick(count);
                paper.document.SetCurrent(p);
                model.current = p;
            } else {
                // Only a step that replaced the paper takes its name along.
                const bool undo = kind < 17;
                const int step = undo ? model.index - 1 : model.index;
                const bool named = step >= model.floor && step < int(model.steps.size()) &&
                                   model.steps[std::size_t(step)].kind == Model::Step::Replace;
                const QString file = paper.state.PaperFileName;
                const QString caption = paper.document.ShownName();
                if (undo) {
                    paper.history.Undo();
                    model.Undo();
                } else {
                    paper.history.Redo();
                    model.Redo();
                }
                if (!named) {
                    QCOMPARE(paper.state.PaperFileName, file);
                    QCOMPARE(paper.document.ShownName(), caption);
                }
            }
            CompareWithModel(paper.document, paper.state, paper.history, model);
            if (QTest::currentTestFailed()) {
                qWarning("seed %u, operation %d (kind %d)", seed, op, kind);
                return;
            }
        }
        QVERIFY(model.floor > 0);  // the bound was reached
    }

    // Open, Rebalance, save under a new name, undo, delete, save: the save
    // writes the file saved under last, never the one opened first.
    void undoNeverTakesTheFileNameBack() {
        Paper paper;
        const QString opened = QStringLiteral("/papers/endofterm.tpf");
        const QString saved = QStringLiteral("/papers/rb_test.tpf");
        const Rows rows(30, Blank());
        paper.history.ReplacePaper(kStepOpenPaper, {rows, opened, false, 1});
        paper.history.MarkSaved(opened);
        Rows balanced = rows;
        balanced[0].Answer = 4;
        paper.history.ReplaceRows(QStringLiteral("Rebalance answers"), balanced);
        paper.history.MarkSaved(saved);
        paper.history.Undo();
        QCOMPARE(paper.document.Rows()[0].Answer, AnswerMask(0));
        QCOMPARE(paper.state.PaperFileName, saved);
        QCOMPARE(paper.document.ShownName(), saved);
        QVERIFY(paper.state.PaperModified);
        paper.history.DeleteQuestion(1);
        QCOMPARE(paper.document.Count(), 29);
        QCOMPARE(paper.state.PaperFileName, saved);
        paper.history.Undo();
        paper.history.Redo();
        QCOMPARE(paper.state.PaperFileName, saved);

        // Undoing the open brings back the paper it replaced, with its name;
        // redoing it, the name the opened paper was saved under last.
        paper.history.Undo();
        paper.history.Undo();
        QCOMPARE(paper.state.PaperFileName, QString());
        paper.history.Redo();
        QCOMPARE(paper.state.PaperFileName, saved);
        QCOMPARE(paper.document.Count(), 30);
    }

    void stepsAreNamedForTheUser() {
        Paper paper;
        QuestionTable& table = paper.document.Table();
        struct Case {
            int column;
            QVariant value;
            QString name;
        };
        const Case cases[] = {
            {QuestionTable::Score, 15.f, QStringLiteral("Mark of question 1")},
            {QuestionTable::Title, QStringLiteral("t"), QStringLiteral("Title of question 1")},
            {QuestionTable::ItemB, QStringLiteral("b"), QStringLiteral("Option B of question 1")},
            {QuestionTable::Answer, QStringLiteral("AC"), QStringLiteral("Answer of question 1")},
        };
        for (const Case& c : cases) {
            table.SetBoundValue(c.column, c.value);
            QVERIFY(table.Update());
            QCOMPARE(paper.history.UndoText(), c.name);
        }
        table.SetBoundValue(QuestionTable::ItemA, QStringLiteral("a"));
        table.SetBoundValue(QuestionTable::ItemF, QStringLiteral("f"));
        QVERIFY(table.Update());
        QCOMPARE(paper.history.UndoText(), QStringLiteral("Edit of question 1"));

        for (int i = 0; i < 4; ++i) paper.history.AddQuestion(Blank());
        QCOMPARE(paper.history.UndoText(), QStringLiteral("Add question"));
        paper.history.MoveQuestion(4, 3);
        QCOMPARE(paper.history.UndoText(), QStringLiteral("Move question 4 up"));
        paper.history.MoveQuestion(3, 4);
        QCOMPARE(paper.history.UndoText(), QStringLiteral("Move question 3 down"));
        paper.history.DeleteQuestion(5);
        QCOMPARE(paper.history.UndoText(), QStringLiteral("Delete question 5"));
        paper.history.Undo();
        QCOMPARE(paper.history.RedoText(), QStringLiteral("Delete question 5"));
    }

    // Undoing to the saved state clears the flag; any other undo or redo
    // sets it; a replaced paper comes back with its name and flag.
    void undoToTheSavedStateClearsModified() {
        Paper paper;
        const QuestionRecord edited = [] {
            QuestionRecord q = Blank();
            q.Title = QStringLiteral("kept");
            return q;
        }();
        paper.history.AddQuestion(edited);
        paper.history.MarkSaved(QStringLiteral("/papers/a.tpf"));
        QVERIFY(!paper.state.PaperModified);
        paper.history.DeleteQuestion(1);
        QVERIFY(paper.state.PaperModified);
        paper.history.Undo();
        QVERIFY(!paper.state.PaperModified);
        paper.history.Undo();
        QVERIFY(paper.state.PaperModified);
        paper.history.Redo();
        QVERIFY(!paper.state.PaperModified);

        // The three-key loss: a blank paper over a modified one, one undo away.
        paper.history.DeleteQuestion(1);
        const PaperSnapshot modified = paper.document.Snapshot();
        paper.history.ReplacePaper(kStepNewPaper, {{Blank()}, {}, true, 1});
        QCOMPARE(paper.document.Count(), 1);
        QCOMPARE(paper.state.PaperFileName, QString());
        paper.history.Undo();
        QCOMPARE(paper.document.Snapshot(), modified);
        QCOMPARE(paper.state.PaperFileName, QStringLiteral("/papers/a.tpf"));
        QVERIFY(paper.state.PaperModified);
    }

    // Undo or redo back to the state in which a paper was imported (or a
    // blank NEW left an unmodified paper) leaves it unmodified, as the saved
    // state does, until a save makes another state the one on file.
    void undoToTheImportedStateClearsModified() {
        for (const bool blank : {false, true}) {
            Paper paper;
            const Rows read(3, Blank(2));
            if (blank)
                paper.history.ReplacePaper(kStepNewPaper, {{Blank()}, {}, false, 1});
            else
                paper.history.ReplacePaper(kStepImport, {read, {}, false, 1});
            QVERIFY(!paper.state.PaperModified);
            paper.history.AddQuestion(Blank());
            paper.history.DeleteQuestion(1);
            QVERIFY(paper.state.PaperModified);
            paper.history.Undo();
            QVERIFY(paper.state.PaperModified);
            paper.history.Undo();
            QVERIFY(!paper.state.PaperModified);
            paper.history.Redo();
            QVERIFY(paper.state.PaperModified);
            paper.history.Undo();
            QVERIFY(!paper.state.PaperModified);
            // Undoing the import itself brings back the paper before it, as it was.
            paper.history.Undo();
            QVERIFY(!paper.state.PaperModified);
            paper.history.Redo();
            QVERIFY(!paper.state.PaperModified);
            // After a save the imported state is no longer the one on file.
            paper.history.AddQuestion(Blank());
            paper.history.MarkSaved(QStringLiteral("/papers/b.tpf"));
            paper.history.Undo();
            QVERIFY(paper.state.PaperModified);
        }
    }

    void actionsNameTheStepAndRunTheCheckFirst() {
        Paper paper;
        bool accept = true;
        int checks = 0;
        HistoryActions actions(paper.history, [&] {
            ++checks;
            return accept;
        });
        QAction* undo = actions.UndoAction();
        QAction* redo = actions.RedoAction();
        QCOMPARE(undo->objectName(), QStringLiteral("actionUndo"));
        QVERIFY(!undo->isEnabled() && !redo->isEnabled());
        QCOMPARE(undo->text(), QStringLiteral("Undo"));
        QCOMPARE(redo->shortcuts(),
                 QList<QKeySequence>({QKeySequence(QStringLiteral("Ctrl+Shift+Z")),
                                      QKeySequence(QStringLiteral("Ctrl+Y"))}));

        paper.history.DeleteQuestion(1);
        QVERIFY(undo->isEnabled());
        QCOMPARE(undo->text(), QStringLiteral("Undo Delete question 1"));
        accept = false;  // a refused mark stops the undo
        undo->trigger();
        QCOMPARE(paper.document.Count(), 0);
        accept = true;
        undo->trigger();
        QCOMPARE(paper.document.Count(), 1);
        QCOMPARE(checks, 2);
        QVERIFY(!undo->isEnabled());
        QCOMPARE(redo->text(), QStringLiteral("Redo Delete question 1"));
    }
};

QTEST_MAIN(HistoryTest)
#include "test_history.moc"
