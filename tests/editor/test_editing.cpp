#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>

#include "core/numbers.h"
#include "harness.h"

using namespace scrivane;
using scrivane::test::Harness;

namespace {

void Activate(Harness& h) {
    QApplication::setActiveWindow(h.window.get());
    QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
}

// Types into the mark box through its real key filter.
void TypeMark(Harness& h, const QString& keys) {
    auto* box = h.Find<QLineEdit>("TextScore");
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, keys);
}

// Moves the focus out of the mark box, as Tab does, and lets a refused
// check put it back.
void LeaveMark(Harness& h) {
    QTest::keyClick(h.Find<QLineEdit>("TextScore"), Qt::Key_Tab);
    QTest::qWait(1);
}

void Paper(Harness& h, const QList<float>& marks) {
    h.state.DefaultScore = 0;
    while (h.table().RecordCount() < marks.size()) h.Click(FormPaper::ADD);
    for (int i = 0; i < marks.size(); ++i) {
        h.table().SetAbsolutePosition(i + 1);
        h.table().SetField(QuestionTable::Score, marks[i]);
        h.table().SetField(QuestionTable::Title, QStringLiteral("q%1").arg(i + 1));
        h.state.ScoreList(i + 1) = marks[i];
    }
    h.window->CountScore();
    h.state.PaperModified = false;
    h.table().MoveFirst();
}

// Clicks a cell of the grid, scrolled into view first.
void ClickCell(Harness& h, int row, int column) {
    auto* grid = h.Find<QTableView>("DataGrid1");
    const QModelIndex cell = h.table().index(row, column);
    grid->scrollTo(cell);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
}

// Opens the grid's editor on a cell, types into it and confirms with Enter;
// no editor opens when the row cannot be left.
void EditCell(Harness& h, int row, int column, const QString& keys) {
    auto* grid = h.Find<QTableView>("DataGrid1");
    const QModelIndex cell = h.table().index(row, column);
    ClickCell(h, row, column);
    QTest::keyClick(grid, Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(grid->indexWidget(cell));
    if (!editor) return;
    editor->selectAll();
    QTest::keyClicks(editor, keys);
    QTest::keyClick(editor, Qt::Key_Return);
}

void ClickButton(Harness& h, const QString& name) {
    QTest::mouseClick(h.Find<QAbstractButton>(name), Qt::LeftButton);
}

// The ways of leaving the current row of a three-question paper while its
// mark box holds an edit, each as a user would take it.
enum class Leave {
    SaveButton,
    AddButton,
    ExitButton,
    Navigator,
    Shortcut,
    GridRow,
    GridCell,
    EnterKey,
    Closing,
    SetButton
};

const std::pair<const char*, Leave> kWays[] = {
    {"SAVE", Leave::SaveButton},     {"ADD", Leave::AddButton},     {"EXIT", Leave::ExitButton},
    {"navigator", Leave::Navigator}, {"shortcut", Leave::Shortcut}, {"grid row", Leave::GridRow},
    {"grid cell", Leave::GridCell},  {"Enter", Leave::EnterKey},    {"closing", Leave::Closing},
    {"SET", Leave::SetButton}};

void LeaveRowBy(Harness& h, Leave way) {
    switch (way) {
        case Leave::SaveButton:
            ClickButton(h, "CommandTools_4");
            break;
        case Leave::AddButton:
            ClickButton(h, "CommandTools_5");
            break;
        case Leave::ExitButton:
            ClickButton(h, "CommandTools_9");
            break;
        case Leave::Navigator:
            ClickButton(h, "adoStdMarks_Next");
            break;
        case Leave::Shortcut:  // ADD
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_A,
                            Qt::ControlModifier | Qt::ShiftModifier);
            break;
        case Leave::GridRow:
            ClickCell(h, 2, QuestionTable::Title);
            break;
        case Leave::GridCell:
            EditCell(h, 2, QuestionTable::ItemA, "grid");
            break;
        case Leave::EnterKey:
            QTest::keyClick(h.Find<QLineEdit>("TextScore"), Qt::Key_Return);
            break;
        case Leave::Closing:
            h.window->close();
            break;
        case Leave::SetButton:
            ClickButton(h, "CmdSetAnswer");
            break;
    }
    QTest::qWait(1);
}

QList<float> Marks(Harness& h) {
    QList<float> marks;
    QuestionTable& t = h.table();
    for (int r = 0; r < t.RecordCount(); ++r)
        marks << t.data(t.index(r, QuestionTable::Score), Qt::EditRole).toFloat();
    return marks;
}

// Numbering, ScoreList and the totals agree with the table.
void CheckBookkeeping(Harness& h) {
    QuestionTable& t = h.table();
    float total = 0;
    for (int r = 0; r < t.RecordCount(); ++r) {
        QCOMPARE(t.data(t.index(r, QuestionTable::QuestionNo)).toInt(), r + 1);
        const QVariant written = t.data(t.index(r, QuestionTable::Score), Qt::EditRole);
        QVERIFY2(!written.isNull(), "every written row has a mark");
        const float mark = written.toFloat();
        QCOMPARE(h.state.ScoreList(r + 1), mark);
        total += mark;
    }
    QCOMPARE(h.Text("LabNoCount"), QString::number(t.RecordCount()));
    QCOMPARE(h.Text("LabScoreCount"), FormatSingle(total));
}

}  // namespace

Q_DECLARE_METATYPE(Leave)

class EditingTest : public QObject {
    Q_OBJECT
private slots:
    void markBoxFilterDiscardsOtherKeys() {
        Harness h;
        Activate(h);
        TypeMark(h, "12a5");
        QCOMPARE(h.Text("TextScore"), QString("125"));
        TypeMark(h, "-7 %");
        QCOMPARE(h.Text("TextScore"), QString("7%"));
        TypeMark(h, "1.5'");
        QCOMPARE(h.Text("TextScore"), QString("1.5'"));
        TypeMark(h, "12345");
        QCOMPARE(h.Text("TextScore"), QString("1234"));  // four characters at most
        // The answer box takes no typing.
        auto* answer = h.Find<QLineEdit>("LabelAnswer");
        answer->setFocus();
        QTest::keyClicks(answer, "AB");
        QCOMPARE(answer->text(), QString("Uncertain"));
    }

    void tabGoesThroughThePanel() {
        Harness h;
        Activate(h);
        h.Find<QLineEdit>("TextScore")->setFocus();
        QStringList order;
        for (int i = 0; i < 10; ++i) {
            order << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(order, (QStringList{"TextScore", "LabelAnswer", "CmdSetAnswer", "TextTitle",
                                     "TextItems_0", "TextItems_1", "TextItems_2", "TextItems_3",
                                     "TextItems_4", "TextItems_5"}));
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("DataGrid1"));
    }

    void markBoxValidation_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<float>("stored");
        QTest::newRow("empty") << "" << false << "0" << 0.f;
        QTest::newRow("0.4") << "0.4" << false << "0" << 0.f;
        QTest::newRow("0.5 rounds to 0") << "0.5" << false << "0" << 0.f;
        QTest::newRow("1.5 kept unrounded") << "1.5" << false << "1.5" << 1.5f;
        QTest::newRow("250") << "250" << false << "250" << 250.f;
        QTest::newRow("251") << "251" << true << "251" << 10.f;
        QTest::newRow("999") << "999" << true << "999" << 10.f;
        QTest::newRow("lone per cent") << "%" << false << "0" << 0.f;
    }
    void markBoxValidation() {
        QFETCH(QString, typed);
        QFETCH(bool, refused);
        QFETCH(QString, shown);
        QFETCH(float, stored);
        Harness h;
        Activate(h);
        TypeMark(h, typed);
        LeaveMark(h);
        QCOMPARE(h.Text("TextScore"), shown);
        QCOMPARE(h.fake.prompts.Texts(),
                 refused ? QStringList{"The mark should be between 0 and 250."} : QStringList{});
        QCOMPARE(h.Find<QLineEdit>("TextScore")->hasFocus(), refused);
        // Writing the row: a refused mark is refused again and keeps the row.
        h.Click(FormPaper::ADD);
        QCOMPARE(h.table().RecordCount(), refused ? 1 : 2);
        QCOMPARE(h.table().HasBoundEdit(), refused);
        QCOMPARE(h.state.ScoreList(1), stored);
        if (!refused) {
            h.table().MoveFirst();
            QCOMPARE(h.table().Fields(u"Score").toFloat(), stored);
        }
    }

    void clickingAnotherRowWithABadMarkSaysSoOnce() {
        Harness h;
        Activate(h);
        Paper(h, {10, 10});
        TypeMark(h, "251");
        auto* grid = h.Find<QTableView>("DataGrid1");
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(h.table().index(1, 3)).center());
        QTest::qWait(1);
        QCOMPARE(h.fake.prompts.Texts(), QStringList{"The mark should be between 0 and 250."});
        QCOMPARE(h.table().AbsolutePosition(), 1);
        QVERIFY(h.Find<QLineEdit>("TextScore")->hasFocus());
        // Trying again is refused again, and said again.
        h.Click(FormPaper::ADD);
        QCOMPARE(h.fake.prompts.messages.size(), std::size_t(2));
        QCOMPARE(h.table().RecordCount(), 2);
    }

    void markChangeUpdatesTheTotal() {
        Harness h;
        Activate(h);
        Paper(h, {10, 10, 10, 10});
        h.table().SetAbsolutePosition(3);
        TypeMark(h, "15");
        QCOMPARE(h.Text("LabScoreCount"), QString("40"));
        QTest::keyClick(h.Find<QLineEdit>("TextScore"), Qt::Key_Return);  // writes the row
        QCOMPARE(h.Text("LabScoreCount"), QString("45"));
        QCOMPARE(h.table().AbsolutePosition(), 3);
        QCOMPARE(h.state.ScoreList(3), 15.f);
        QVERIFY(h.state.PaperModified);
    }

    void titleChangeMarksThePaperModified() {
        Harness h;
        Activate(h);
        Paper(h, {10, 10});
        auto* title = h.Find<QPlainTextEdit>("TextTitle");
        title->setFocus();
        title->moveCursor(QTextCursor::End);
        QTest::keyClicks(title, "Capital of France?");
        QVERIFY(!h.state.PaperModified);
        QVERIFY(h.table().MoveNext());
        QVERIFY(h.state.PaperModified);
        QCOMPARE(h.Text("LabScoreCount"), QString("20"));
        h.table().MoveFirst();
        QCOMPARE(h.table().Fields(u"Title").toString(), QString("q1Capital of France?"));
        // The title holds 250 characters at most, typed or pasted.
        title->setPlainText(QString(300, u'x'));
        QCOMPARE(h.table().Fields(u"Title").toString().size(), 250);
    }

    void gridEditsPassTheSameCheck() {
        Harness h;
        Activate(h);
        Paper(h, {10, 10});
        QuestionTable& t = h.table();
        QVERIFY(t.setData(t.index(1, QuestionTable::Score), "20"));
        QCOMPARE(h.state.ScoreList(2), 20.f);
        QCOMPARE(h.Text("LabScoreCount"), QString("30"));
        QVERIFY(!t.setData(t.index(1, QuestionTable::Score), "251"));
        QCOMPARE(h.fake.prompts.Texts(), QStringList{"The mark should be between 0 and 250."});
        QCOMPARE(h.Text("TextScore"), QString("251"));
        TypeMark(h, "30");
        QVERIFY(t.MoveFirst());
        QCOMPARE(h.Text("LabScoreCount"), QString("40"));
        QVERIFY(t.setData(t.index(0, QuestionTable::ItemB), "Paris"));
        QCOMPARE(h.Text("TextItems_1"), QString("Paris"));
    }

    void setOpensTheDialogOfTheMode_data() {
        QTest::addColumn<int>("answerType");
        QTest::addColumn<QString>("dialog");
        QTest::newRow("3") << 3 << "DlgAnswerSet";
        QTest::newRow("0") << 0 << "DlgAnswerSet17";
        QTest::newRow("7") << 7 << "DlgAnswerSet17";
    }
    void setOpensTheDialogOfTheMode() {
        QFETCH(int, answerType);
        QFETCH(QString, dialog);
        Harness h{std::int16_t(answerType)};
        h.fake.prompts.messages.clear();
        h.Click(FormPaper::ADD);
        QString number;
        h.fake.modal.steps.push_back([&](QDialog& d) {
            number = d.findChild<QLabel*>("LabelNo")->text();
            d.findChild<QAbstractButton*>("OptionAnswer_1")->click();
            d.findChild<QPushButton*>("OKButton")->click();
        });
        h.Find<QPushButton>("CmdSetAnswer")->click();
        QCOMPARE(h.fake.modal.shown, std::vector<QString>{dialog});
        QCOMPARE(number, QString("2"));
        QCOMPARE(h.Text("LabelAnswer"), QString("B"));
        QVERIFY(h.table().MoveFirst());
        h.table().MoveLast();
        QCOMPARE(h.table().Fields(u"Answer").toString(), QString("B"));
        // Cancel leaves the answer as it was.
        h.fake.modal.steps.push_back([](QDialog& d) {
            d.findChild<QAbstractButton*>("OptionAnswer_0")->click();
            d.findChild<QPushButton*>("CancelButton")->click();
        });
        h.Find<QPushButton>("CmdSetAnswer")->click();
        QCOMPARE(h.Text("LabelAnswer"), QString("B"));
    }

    // Whichever way the row is left, the mark is checked as leaving the box
    // checks it, and the row is written with a number.
    void everyWayOutWritesTheCheckedMark_data() {
        QTest::addColumn<Leave>("way");
        QTest::addColumn<QString>("typed");
        // SET writes no row.
        for (const auto& [name, way] : kWays) {
            if (way == Leave::SetButton) continue;
            QTest::addRow("%s, emptied", name) << way << QString();
            QTest::addRow("%s, 0.4", name) << way << QString("0.4");
        }
    }
    void everyWayOutWritesTheCheckedMark() {
        QFETCH(Leave, way);
        QFETCH(QString, typed);
        Harness h;
        Activate(h);
        Paper(h, {10, 10, 10});
        h.table().SetAbsolutePosition(2);
        TypeMark(h, typed);
        QTemporaryDir dir;
        const QString file = dir.filePath("paper.tpf");
        h.fake.prompts.files.push_back(file);                 // SAVE
        h.fake.prompts.answers.push_back(MsgAnswer::Cancel);  // EXIT and closing ask to save
        LeaveRowBy(h, way);
        QuestionTable& t = h.table();
        QCOMPARE(t.data(t.index(1, QuestionTable::Score), Qt::EditRole).toString(), QString("0"));
        QVERIFY(!t.HasBoundEdit());
        QCOMPARE(h.state.ScoreList(2), 0.f);
        QCOMPARE(h.Text("LabScoreCount"), QString("20"));
        QVERIFY(!h.fake.prompts.Texts().contains("The mark should be between 0 and 250."));
        if (way == Leave::GridCell)
            QCOMPARE(t.data(t.index(2, QuestionTable::ItemA)).toString(), QString("grid"));
        if (way != Leave::SaveButton) return;
        // The saved paper opens with all three questions.
        QCOMPARE(h.state.PaperFileName, file);
        h.fake.prompts.files.push_back(file);
        ClickButton(h, "CommandTools_1");
        QCOMPARE(Marks(h), (QList<float>{10, 0, 10}));
    }

    // A mark out of range stops every way out of the row, and says so every
    // time, whether or not the focus has left the box before.
    void aRefusedMarkStopsEveryWayOut_data() {
        QTest::addColumn<Leave>("way");
        for (const auto& [name, way] : kWays) QTest::newRow(name) << way;
    }
    void aRefusedMarkStopsEveryWayOut() {
        QFETCH(Leave, way);
        Harness h;
        Activate(h);
        Paper(h, {10, 10, 10});
        h.table().SetAbsolutePosition(2);
        TypeMark(h, "251");
        h.fake.prompts.answers.push_back(MsgAnswer::Cancel);  // were the paper ever asked to save
        h.fake.modal.steps.push_back(
            [](QDialog& d) { d.findChild<QAbstractButton*>("CancelButton")->click(); });
        const QString told = "The mark should be between 0 and 250.";
        auto tries = [&](int messages) {
            LeaveRowBy(h, way);
            QCOMPARE(h.fake.prompts.Texts(), QStringList(messages, told));
            QVERIFY(h.fake.prompts.fileRequests.empty());
            QVERIFY(h.fake.modal.shown.empty());
            QVERIFY(h.window->isVisible());
            QCOMPARE(h.table().RecordCount(), 3);
            QCOMPARE(h.table().AbsolutePosition(), 2);
            QCOMPARE(h.Text("TextScore"), QString("251"));
            QVERIFY(h.Find<QLineEdit>("TextScore")->hasFocus());
            // What the grid highlights is the row the commands act on.
            auto* grid = h.Find<QTableView>("DataGrid1");
            QCOMPARE(grid->currentIndex().row(), 1);
            const QModelIndexList marked = grid->selectionModel()->selectedRows();
            QCOMPARE(marked.size(), 1);
            QCOMPARE(marked[0].row(), 1);
        };
        tries(1);
        tries(2);
        LeaveMark(h);  // the focus leaving the box refuses too
        QCOMPARE(h.fake.prompts.messages.size(), std::size_t(3));
        tries(4);
        QCOMPARE(h.state.ScoreList(2), 10.f);
        QCOMPARE(h.Text("LabScoreCount"), QString("30"));
        // Once mended, DEL deletes the question that was highlighted.
        TypeMark(h, "25");
        ClickButton(h, "CommandTools_6");
        QCOMPARE(h.table().RecordCount(), 2);
        h.table().MoveFirst();
        QCOMPARE(h.table().Field(QuestionTable::Title).toString(), QString("q1"));
        h.table().MoveNext();
        QCOMPARE(h.table().Field(QuestionTable::Title).toString(), QString("q3"));
    }

    // A command takes the text of an open cell editor first, as leaving the
    // cell would, so SAVE saves it.
    void aCommandWritesAnOpenCellEditor() {
        Harness h;
        Activate(h);
        Paper(h, {10, 10});
        auto* grid = h.Find<QTableView>("DataGrid1");
        const QModelIndex cell = h.table().index(1, QuestionTable::Title);
        ClickCell(h, 1, QuestionTable::Title);
        QTest::keyClick(grid, Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(grid->indexWidget(cell));
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, "typed");
        QTemporaryDir dir;
        h.fake.prompts.files = {dir.filePath("p.tpf"), dir.filePath("p.tpf")};
        ClickButton(h, "CommandTools_4");
        QVERIFY(!grid->indexWidget(cell));
        ClickButton(h, "CommandTools_1");
        QCOMPARE(h.table().data(cell).toString(), QString("typed"));
    }

    // A mark longer than the box's four characters comes from a workbook; it
    // shows whole and stays the row's mark, in ScoreList too, until the user
    // types another.
    void aLongMarkFromThePaperStaysWhole() {
        Harness h;
        Activate(h);
        Paper(h, {100.5f, 10});
        QCOMPARE(h.Text("TextScore"), QString("100.5"));
        auto* box = h.Find<QLineEdit>("TextScore");
        box->setFocus();
        box->end(false);
        QTest::keyClick(box, Qt::Key_7);  // the box is full
        QCOMPARE(box->text(), QString("100.5"));
        auto* title = h.Find<QPlainTextEdit>("TextTitle");
        title->setFocus();
        QTest::keyClicks(title, "new");
        ClickButton(h, "adoStdMarks_Next");
        QVERIFY(h.fake.prompts.messages.empty());
        QCOMPARE(h.table().AbsolutePosition(), 2);
        QCOMPARE(Marks(h), (QList<float>{100.5f, 10}));
        QVERIFY(h.state.PaperModified);
        CheckBookkeeping(h);
        // Typing a mark replaces it.
        ClickButton(h, "adoStdMarks_Previous");
        TypeMark(h, "12");
        ClickButton(h, "adoStdMarks_Next");
        QCOMPARE(Marks(h), (QList<float>{12, 10}));
        CheckBookkeeping(h);
    }

    // A box at its limit takes no more typing, pasted text is cut to what
    // fits at the cursor, and nothing already in a box is ever removed.
    void boxesKeepWhatTheyHold() {
        Harness h;
        Activate(h);
        Paper(h, {10});
        const QString full = QString(249, u'x') + u'E';
        auto* title = h.Find<QPlainTextEdit>("TextTitle");
        title->setFocus();
        title->selectAll();
        QApplication::clipboard()->setText(full);
        QTest::keyClick(title, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(title->toPlainText(), full);
        title->moveCursor(QTextCursor::Start);
        QTest::keyClicks(title, "S");
        QCOMPARE(title->toPlainText(), full);
        // Room for three: a paste of five keeps its first three at the cursor.
        QTextCursor cursor = title->textCursor();
        cursor.setPosition(10);
        cursor.setPosition(13, QTextCursor::KeepAnchor);
        title->setTextCursor(cursor);
        QApplication::clipboard()->setText("12345");
        QTest::keyClick(title, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(title->toPlainText(), full.left(10) + "123" + full.mid(13));
        QCOMPARE(title->textCursor().position(), 13);
        QCOMPARE(h.table().Field(QuestionTable::Title).toString(), title->toPlainText());

        // An option: 100 characters; a longer one from the paper shows whole.
        auto* option = h.Find<QLineEdit>("TextItems_0");
        option->setFocus();
        option->setCursorPosition(0);
        QApplication::clipboard()->setText(QString(120, u'o'));
        QTest::keyClick(option, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(option->text(), QString(100, u'o'));
        QTest::keyClick(option, Qt::Key_Z);
        QCOMPARE(option->text(), QString(100, u'o'));
        h.table().SetField(QuestionTable::ItemB, QString(150, u'b'));
        auto* optionB = h.Find<QLineEdit>("TextItems_1");
        QCOMPARE(optionB->text(), QString(150, u'b'));
        optionB->setFocus();
        optionB->end(false);
        QTest::keyClick(optionB, Qt::Key_C);
        QCOMPARE(optionB->text(), QString(150, u'b'));
        QTest::keyClick(optionB, Qt::Key_Backspace);
        QCOMPARE(h.table().Field(QuestionTable::ItemB).toString(), QString(149, u'b'));
        // The grid's editors hold their cells the same way.
        EditCell(h, 0, QuestionTable::ItemB, "");
        QCOMPARE(h.table().Field(QuestionTable::ItemB).toString(), QString(149, u'b'));
    }

    // Typing in a column that cannot be edited does nothing: the grid does not
    // jump to a row whose answer starts with the key.
    void typingInAReadOnlyColumnStays() {
        Harness h;
        Activate(h);
        Paper(h, {1, 2, 3});
        h.table().SetAbsolutePosition(3);
        h.table().SetField(QuestionTable::Answer, "D");
        h.table().SetAbsolutePosition(2);
        h.table().SetField(QuestionTable::Answer, "B");
        h.table().MoveFirst();
        ClickCell(h, 0, QuestionTable::Answer);
        auto* grid = h.Find<QTableView>("DataGrid1");
        for (const int column : {QuestionTable::Answer, QuestionTable::QuestionNo}) {
            grid->setCurrentIndex(h.table().index(0, column));
            QTest::keyClicks(grid, "D");
            QCOMPARE(h.table().AbsolutePosition(), 1);
            QVERIFY(!grid->indexWidget(grid->currentIndex()));  // no editor opened
        }
        QCOMPARE(h.table().Field(QuestionTable::Answer).toString(), QString("Uncertain"));
    }

    void addRespectsTheCapacity() {
        Harness h;
        h.state.DefaultScore = 1;
        while (h.table().RecordCount() < 99) h.Click(FormPaper::ADD);
        h.state.PaperModified = false;
        h.Click(FormPaper::ADD);
        QCOMPARE(h.table().RecordCount(), 100);
        QCOMPARE(h.table().Fields(u"QuestionNo").toInt(), 100);
        QVERIFY(h.state.PaperModified);
        h.state.PaperModified = false;
        h.Click(FormPaper::ADD);
        QCOMPARE(h.table().RecordCount(), 100);
        QCOMPARE(h.fake.prompts.Texts(),
                 QStringList{"There should not be more than 100 questions in one test paper."});
        QVERIFY(!h.state.PaperModified);
        QCOMPARE(h.Text("LabNoCount"), QString("100"));
        QCOMPARE(h.Text("LabScoreCount"), QString("109"));
    }

    void addToAnEmptyPaperUsesTheDefaultMark() {
        Harness h;
        h.Click(FormPaper::DEL);
        h.state.DefaultScore = 5;  // as a quick paper's mark leaves it
        h.Click(FormPaper::ADD);
        QCOMPARE(h.table().RecordCount(), 1);
        QCOMPARE(h.table().Fields(u"QuestionNo").toInt(), 1);
        QCOMPARE(h.table().Fields(u"Score").toFloat(), 5.f);
        QCOMPARE(h.table().Fields(u"Answer").toString(), QString("Uncertain"));
        QCOMPARE(h.Text("LabNoCount"), QString("1"));
        QCOMPARE(h.Text("TextScore"), QString("5"));
        CheckBookkeeping(h);
    }

    void deleteRenumbers_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("current");
        QTest::addColumn<QList<float>>("left");
        QTest::newRow("middle") << 3 << 3 << QList<float>{1, 2, 4, 5};
        QTest::newRow("last") << 5 << 4 << QList<float>{1, 2, 3, 4};
        QTest::newRow("first") << 1 << 1 << QList<float>{2, 3, 4, 5};
    }
    void deleteRenumbers() {
        QFETCH(int, position);
        QFETCH(int, current);
        QFETCH(QList<float>, left);
        Harness h;
        Paper(h, {1, 2, 3, 4, 5});
        h.table().SetAbsolutePosition(position);
        h.Click(FormPaper::DEL);
        QCOMPARE(Marks(h), left);
        QCOMPARE(h.table().AbsolutePosition(), current);
        QCOMPARE(h.Text("LabelNo"), QString::number(current));
        QVERIFY(h.state.PaperModified);
        CheckBookkeeping(h);
    }

    void deleteTheOnlyAndFromEmpty() {
        Harness h;
        h.Click(FormPaper::DEL);
        QCOMPARE(h.table().RecordCount(), 0);
        QCOMPARE(h.Text("LabNoCount"), QString("0"));
        QCOMPARE(h.Text("LabScoreCount"), QString("0"));
        QVERIFY(h.state.PaperModified);
        h.state.PaperModified = false;
        h.Click(FormPaper::DEL);
        QVERIFY(!h.state.PaperModified);
        h.Click(FormPaper::UP);
        h.Click(FormPaper::DOWN);
        QVERIFY(!h.state.PaperModified);
        QVERIFY(h.fake.prompts.messages.empty());
    }

    void upAndDown() {
        Harness h;
        Paper(h, {1, 2});
        h.Click(FormPaper::UP);  // first question
        QVERIFY(!h.state.PaperModified);
        h.table().MoveLast();
        h.Click(FormPaper::DOWN);  // last question
        QVERIFY(!h.state.PaperModified);
        h.Click(FormPaper::UP);
        QCOMPARE(Marks(h), (QList<float>{2, 1}));
        QCOMPARE(h.table().AbsolutePosition(), 1);
        QCOMPARE(h.table().Fields(u"Title").toString(), QString("q2"));
        QVERIFY(h.state.PaperModified);
        CheckBookkeeping(h);
        h.Click(FormPaper::DOWN);
        h.Click(FormPaper::UP);
        QCOMPARE(Marks(h), (QList<float>{2, 1}));
        QCOMPARE(h.Text("LabScoreCount"), QString("3"));
        Harness one;
        one.Click(FormPaper::UP);
        one.Click(FormPaper::DOWN);
        QVERIFY(!one.state.PaperModified);
    }

    // A pending mark edit is written before a move, and the move does not undo
    // ScoreList.
    void moveAfterAMarkEdit() {
        Harness h;
        Activate(h);
        Paper(h, {1, 2, 3});
        h.table().SetAbsolutePosition(2);
        TypeMark(h, "7");
        h.Click(FormPaper::DOWN);
        QCOMPARE(Marks(h), (QList<float>{1, 3, 7}));
        QCOMPARE(h.table().AbsolutePosition(), 3);
        QCOMPARE(h.Text("TextScore"), QString("7"));
        CheckBookkeeping(h);
    }

    // Add, delete, move and mark edits in any order keep the paper numbered
    // 1..n, ScoreList equal to the marks and the totals right. The mark box
    // is left through the focus or by the next command or move, and every
    // mark lands as the box's rules have it: empty and anything that rounds
    // to 0 become 0, other marks stay unrounded.
    void randomCommandsKeepTheBookkeeping() {
        Harness h;
        Activate(h);
        QRandomGenerator random(20261210);
        QList<float> model{10};
        int current = 0;      // 0-based, -1 without a row
        bool written = true;  // no typed mark waits to be written
        auto clickCommand = [&](int command) {
            ClickButton(h, QStringLiteral("CommandTools_%1").arg(command));
        };
        for (int step = 0; step < 400; ++step) {
            const int op = random.bounded(7);
            if (op == 0 && model.size() < 100) {
                clickCommand(FormPaper::ADD);
                model << h.state.DefaultScore;
                current = model.size() - 1;
            } else if (op == 1 && !model.isEmpty()) {
                clickCommand(FormPaper::DEL);
                model.removeAt(current);
                if (current >= model.size()) current = model.size() - 1;
            } else if (op == 2 && current > 0) {
                clickCommand(FormPaper::UP);
                model.swapItemsAt(current, current - 1);
                --current;
            } else if (op == 3 && current >= 0 && current + 1 < model.size()) {
                clickCommand(FormPaper::DOWN);
                model.swapItemsAt(current, current + 1);
                ++current;
            } else if (op == 4 && current >= 0) {
                // Empty, a whole mark, one with tenths or one below 1, as typed.
                const int kind = random.bounded(4);
                const int tenths = kind == 1   ? 10 * random.bounded(251)
                                   : kind == 2 ? random.bounded(1000)
                                               : random.bounded(10);
                const QString text =
                    kind == 0   ? QString()
                    : kind == 1 ? QString::number(tenths / 10)
                                : QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10);
                TypeMark(h, text);
                QCOMPARE(h.Text("TextScore"), text);
                // 0.5 rounds to the even 0.
                model[current] = kind == 0 || tenths <= 5 ? 0.f : float(tenths) / 10.f;
                written = false;
                continue;
            } else if (op == 5 && !model.isEmpty()) {
                if (random.bounded(2)) {
                    const int row = random.bounded(model.size());
                    ClickCell(h, row, QuestionTable::Title);
                    // A click on the row itself only takes the focus from the box.
                    if (row == current) continue;
                    current = row;
                } else {
                    const bool first = random.bounded(2);
                    ClickButton(h, first ? "adoStdMarks_First" : "adoStdMarks_Last");
                    current = first ? 0 : model.size() - 1;
                }
            } else if (op == 6 && !written) {
                LeaveMark(h);
                const int row = h.table().CurrentRow();
                QCOMPARE(h.table()
                             .data(h.table().index(row, QuestionTable::Score), Qt::EditRole)
                             .toFloat(),
                         model[current]);
                continue;
            } else {
                continue;
            }
            written = true;
            QVERIFY(!h.table().HasBoundEdit());
            QCOMPARE(Marks(h), model);
            QCOMPARE(h.table().AbsolutePosition() - 1, current < 0 ? -1 - 1 : current);
            CheckBookkeeping(h);
        }
        QVERIFY(h.fake.prompts.messages.empty());
    }
};

QTEST_MAIN(EditingTest)
#include "test_editing.moc"
