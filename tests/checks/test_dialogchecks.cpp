// The checks window on the real main window: opened by F7, following edits,
// deletes and moves, leading to a question, rebalancing the paper, and the
// question asked before printing.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "checks/answerbalance.h"
#include "checks/ui/attachchecks.h"
#include "checks/ui/dialogchecks.h"
#include "checks/ui/paperchecksaction.h"
#include "checksamples.h"
#include "harness.h"
#include "history/paperhistory.h"
#include "print/ui/printcommands.h"
#include "print/ui/printmenu.h"

using namespace scrivane;
using namespace scrivane::test;

namespace {

struct ChecksHarness : Harness {
    PaperChecksAction& checks = AttachPaperChecks(window->Context());

    ChecksHarness(const std::function<void(FakeSeams&)>& prepare = {})
        : Harness(3, {1024, 768}, prepare) {}

    // Puts rows in place of the paper as an open does.
    void Load(const std::vector<QuestionRecord>& rows) {
        window->ReplacePaper(kStepOpenPaper, rows);
        window->History().MarkClean();
    }
    DialogChecks& Open() {
        QApplication::setActiveWindow(window.get());
        QTest::keyClick(window.get(), Qt::Key_F7);
        DialogChecks* dialog = checks.Dialog();
        if (!dialog) qFatal("F7 opened no checks window");
        return *dialog;
    }
    QStringList Lines() {
        QCoreApplication::processEvents();  // the window checks once a change is complete
        QStringList lines;
        auto* list = checks.Dialog()->ListProblems;
        for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
        return lines;
    }
};

}  // namespace

class DialogChecksTest : public QObject {
    Q_OBJECT
private slots:
    void opensFromTheEditMenu() {
        ChecksHarness h;
        QAction* action = h.window->findChild<QAction*>(QStringLiteral("actionCheck"));
        QVERIFY(action);
        QCOMPARE(action->shortcut(), QKeySequence(Qt::Key_F7));
        QVERIFY(
            h.window->findChild<QMenu*>(QStringLiteral("menuEdit"))->actions().contains(action));
        DialogChecks& dialog = h.Open();
        QVERIFY(dialog.isVisible());
        QVERIFY(!dialog.isModal());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Paper checks"));
        for (const char* name : {"ListProblems", "ChartBalance", "LabelBalance", "ButtonRebalance"})
            QVERIFY2(dialog.findChild<QWidget*>(QString::fromLatin1(name)), name);
        // The blank paper's one question, printed with the mode's letters.
        QCOMPARE(h.Lines(),
                 (QStringList{"Question 1: no answer is set",
                              "question 1 has no option texts: its letters are printed"}));
    }

    // The window goes beside the editor where the screen has room, else at
    // the screen's right edge; never over SET and the edit panel.
    void placedBesideTheEditor_data() {
        QTest::addColumn<QRect>("main");
        QTest::addColumn<QPoint>("at");
        const QRect screen(0, 0, 1920, 1080);
        QTest::newRow("room on the right") << QRect(0, 0, 1024, 768) << QPoint(1024, 0);
        QTest::newRow("room on the left") << QRect(896, 50, 1024, 768) << QPoint(296, 50);
        QTest::newRow("no room") << QRect(0, 0, 1920, 1040) << QPoint(1320, 0);
        QTest::newRow("low on the screen") << QRect(0, 900, 800, 600) << QPoint(800, 580);
    }
    void placedBesideTheEditor() {
        QFETCH(QRect, main);
        QFETCH(QPoint, at);
        QCOMPARE(PaperChecksAction::PlaceBeside(main, QSize(600, 500), QRect(0, 0, 1920, 1080)),
                 at);
    }
    void keepsWhereTheTeacherMovedIt() {
        ChecksHarness h;
        DialogChecks& dialog = h.Open();
        const QRect available = h.window->screen()->availableGeometry();
        const QPoint placed = PaperChecksAction::PlaceBeside(
            h.window->frameGeometry(),
            dialog.size() + (h.window->frameGeometry().size() - h.window->size()), available);
        QCOMPARE(dialog.pos(), placed);
        dialog.move(placed + QPoint(-40, 30));
        dialog.ButtonClose->click();
        QVERIFY(!dialog.isVisible());
        h.Open();
        QCOMPARE(dialog.pos(), placed + QPoint(-40, 30));
    }

    // A restart is a fresh window over the same settings file.
    void keepsTheMovedPositionBetweenRuns() {
        QByteArray settings;
        QPoint moved;
        {
            ChecksHarness h;
            DialogChecks& dialog = h.Open();
            moved = dialog.pos() + QPoint(-40, 30);
            dialog.move(moved);
            dialog.ButtonClose->click();
            QFile file(h.fake.platform.SettingsFile());
            QVERIFY(file.open(QIODevice::ReadOnly));
            settings = file.readAll();
        }
        const auto restart = [](const QByteArray& bytes) {
            return [bytes](FakeSeams& fake) {
                QFile file(fake.platform.SettingsFile());
                QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
            };
        };
        {
            ChecksHarness h(restart(settings));
            QCOMPARE(h.Open().pos(), moved);
        }
        // A position on no screen is not used: beside the editor as before.
        ChecksHarness h(restart("[checksWindow]\nposition=@Point(-9000 -9000)\n"));
        DialogChecks& dialog = h.Open();
        QCOMPARE(dialog.pos(),
                 PaperChecksAction::PlaceBeside(
                     h.window->frameGeometry(),
                     dialog.size() + (h.window->frameGeometry().size() - h.window->size()),
                     h.window->screen()->availableGeometry()));
    }

    // Typing, adding, moving and deleting questions in the main window.
    void followsThePaper() {
        ChecksHarness h;
        h.Load({CleanQuestion(1), CleanQuestion(2, 1), CleanQuestion(3, 2)});
        h.Open();
        QCOMPARE(h.Lines(), QStringList{"No problems found"});

        // The title being typed counts before it is written.
        auto* title = h.Find<QPlainTextEdit>("TextTitle");
        title->setFocus();
        title->selectAll();
        QTest::keyClick(title, Qt::Key_Delete);
        QCOMPARE(h.Lines(), QStringList{"Question 1: the question title is empty"});
        QTest::keyClicks(title, "question NUMBER 3?");
        QCOMPARE(h.Lines(), QStringList{"Question 3: the title is the same as that of question 1"});

        h.Click(FormPaper::ADD);  // question 4, blank
        QCOMPARE(h.Lines(),
                 (QStringList{"Question 3: the title is the same as that of question 1",
                              "Question 4: no answer is set",
                              "question 4 has no option texts: its letters are printed"}));
        h.Click(FormPaper::UP);  // the blank question is now 3
        QCOMPARE(h.Lines(),
                 (QStringList{"Question 3: no answer is set",
                              "question 3 has no option texts: its letters are printed",
                              "Question 4: the title is the same as that of question 1"}));
        h.table().SetAbsolutePosition(1);
        h.Click(FormPaper::DEL);
        QCOMPARE(h.Lines(),
                 (QStringList{"Question 2: no answer is set",
                              "question 2 has no option texts: its letters are printed"}));
    }

    // Settings › Answer Mode changes what is a problem.
    void followsTheAnswerMode() {
        ChecksHarness h;
        std::vector<QuestionRecord> rows = CleanPaper(2);
        rows[1].Items[4] = QStringLiteral("e");
        rows[1].Items[5] = QStringLiteral("f");
        rows[1].Answer = 1 | 2;
        h.Load(rows);
        h.Open();
        QCOMPARE(h.Lines(), QStringList{"No problems found"});
        h.window->findChild<QAction*>(QStringLiteral("actionSingleMode"))->trigger();
        QCOMPARE(h.Lines(),
                 (QStringList{"Question 2: option F is filled, but this answer mode hides it",
                              "Question 2: the answer AB has more than one letter in "
                              "single-answer mode"}));
    }

    // Enter or a double-click on a problem makes its question current.
    void leadsToTheQuestion() {
        ChecksHarness h;
        std::vector<QuestionRecord> rows = CleanPaper(6);
        rows[3].Score = 0;
        rows[4].Answer = 0;
        h.Load(rows);
        DialogChecks& dialog = h.Open();
        h.Lines();
        QListWidget* list = dialog.ListProblems;
        list->setFocus();
        list->setCurrentRow(1);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(h.table().AbsolutePosition(), 5);
        QVERIFY(dialog.isVisible());
        const QRect first = list->visualItemRect(list->item(0));
        // A double-click: the first click's press, then the second one.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first.center());
        QCOMPARE(h.table().AbsolutePosition(), 5);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, first.center());
        QCOMPARE(h.table().AbsolutePosition(), 4);
        QCOMPARE(h.Text("LabelNo"), QStringLiteral("4"));
    }

    void rebalancesThePaper() {
        ChecksHarness h;
        std::vector<QuestionRecord> rows;
        for (int n = 1; n <= 12; ++n) rows.push_back(CleanQuestion(n, 2));
        rows[5].Answer = 1 | 2;  // several answers stay
        h.Load(rows);
        h.table().SetAbsolutePosition(3);
        DialogChecks& dialog = h.Open();
        h.Lines();
        QVERIFY(dialog.LabelBalance->text().contains(
            "C is the answer 11 times in 11; about 3 expected\n"));
        QVERIFY(
            dialog.LabelBalance->text().endsWith("C is the answer to questions 7 to 12 in a row"));
        QVERIFY(dialog.ButtonRebalance->isEnabled());
        QTest::mouseClick(dialog.ButtonRebalance, Qt::LeftButton);
        h.Lines();
        QVERIFY(h.state.PaperModified);
        QCOMPARE(dialog.LabelBalance->text(), QStringLiteral("Balanced"));
        QVERIFY(!dialog.ButtonRebalance->isEnabled());
        QCOMPARE(h.table().AbsolutePosition(), 3);
        const std::vector<QuestionRecord> after = h.table().Records();
        QVERIFY(after[5] == rows[5]);
        for (std::size_t r = 0; r < rows.size(); ++r)
            if (r != 5)
                QCOMPARE(after[r].Items[std::size_t(SingleLetter(after[r].Answer))],
                         rows[r].Items[2]);
        const AnswerBalance balance = MeasureBalance(after, 3);
        QVERIFY(balance.Balanced());

        // One step of Edit › Undo brings the paper back exactly, the window too.
        QAction* undo = h.window->findChild<QAction*>(QStringLiteral("actionUndo"));
        QVERIFY(undo->text().contains(QStringLiteral("Rebalance answers")));
        undo->trigger();
        QVERIFY(h.table().Records() == rows);
        QVERIFY(!h.state.PaperModified);
        h.Lines();
        QVERIFY(dialog.ButtonRebalance->isEnabled());
        h.window->findChild<QAction*>(QStringLiteral("actionRedo"))->trigger();
        QVERIFY(h.table().Records() == after);
        QVERIFY(h.state.PaperModified);
    }

    // Printing a paper with problems asks first; No opens the checks window.
    void asksBeforePrinting() {
        ChecksHarness h;
        std::vector<QuestionRecord> rows = CleanPaper(8);
        for (int r : {1, 2, 4, 5, 6, 7}) rows[std::size_t(r)].Score = 0;
        h.Load(rows);
        PrintCommands& print = AttachPrintCommands(h.window->Context());
        print.AddBeforePrinting([&h] { return h.checks.ConfirmPrinting(); });

        h.fake.prompts.answers.push_back(MsgAnswer::No);
        h.window->findChild<QAction*>(QStringLiteral("actionPrint"))->trigger();
        QCOMPARE(h.fake.prompts.messages.size(), std::size_t(1));
        const MessageRequest& asked = h.fake.prompts.messages[0];
        QCOMPARE(asked.text, QStringLiteral("The paper has 6 problems. Print anyway?"));
        QCOMPARE(asked.title, QStringLiteral("Scrivane"));
        QCOMPARE(asked.buttons, MsgButtons::YesNo);
        QCOMPARE(asked.informativeText.split('\n'),
                 (QStringList{"Question 2: the mark is 0", "Question 3: the mark is 0",
                              "Question 5: the mark is 0", "Question 6: the mark is 0",
                              "Question 7: the mark is 0"}));
        QVERIFY(h.checks.Dialog() && h.checks.Dialog()->isVisible());
        QVERIFY(h.fake.modal.shown.empty());  // the print dialog never came

        // Yes goes on to the print dialog, which is cancelled here.
        h.checks.Dialog()->close();
        h.fake.prompts.answers.push_back(MsgAnswer::Yes);
        h.fake.modal.steps.push_back([](QDialog& dialog) { dialog.reject(); });
        h.window->findChild<QAction*>(QStringLiteral("actionPrint"))->trigger();
        QCOMPARE(h.fake.modal.shown.size(), std::size_t(1));
        QVERIFY(!h.checks.Dialog()->isVisible());

        // A clean paper prints without a question.
        h.Load(CleanPaper(3));
        QVERIFY(h.checks.ConfirmPrinting());
        QCOMPARE(h.fake.prompts.messages.size(), std::size_t(2));

        // So does a quick paper: its questions without option texts are
        // information, named once in the window above "No problems found".
        std::vector<QuestionRecord> quick;
        for (int n = 1; n <= 9; ++n) quick.push_back(QuestionRecord{std::int16_t(n), 1, 2, "", {}});
        h.Load(quick);
        QVERIFY(h.checks.ConfirmPrinting());
        QCOMPARE(h.fake.prompts.messages.size(), std::size_t(2));
        h.Open();
        QCOMPARE(h.Lines(),
                 (QStringList{"questions 1\u20139 have no option texts: their letters are printed",
                              "No problems found"}));
    }
};

QTEST_MAIN(DialogChecksTest)
#include "test_dialogchecks.moc"
