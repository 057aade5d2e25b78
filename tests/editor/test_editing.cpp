#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTableView>

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
        const float mark = t.data(t.index(r, QuestionTable::Score), Qt::EditRole).toFloat();
        QCOMPARE(h.state.ScoreList(r + 1), mark);
        total += mark;
    }
    QCOMPARE(h.Text("LabNoCount"), QString::number(t.RecordCount()));
    QCOMPARE(h.Text("LabScoreCount"), FormatSingle(total));
}

}  // namespace

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
    // 1..n, ScoreList equal to the marks and the totals right.
    void randomCommandsKeepTheBookkeeping() {
        Harness h;
        Activate(h);
        QRandomGenerator random(20261210);
        QList<float> model{10};
        int current = 0;  // 0-based, -1 without a row
        for (int step = 0; step < 400; ++step) {
            const int op = random.bounded(6);
            if (op == 0 && model.size() < 100) {
                h.Click(FormPaper::ADD);
                model << h.state.DefaultScore;
                current = model.size() - 1;
            } else if (op == 1 && !model.isEmpty()) {
                h.Click(FormPaper::DEL);
                model.removeAt(current);
                if (current >= model.size()) current = model.size() - 1;
            } else if (op == 2 && current > 0) {
                h.Click(FormPaper::UP);
                model.swapItemsAt(current, current - 1);
                --current;
            } else if (op == 3 && current >= 0 && current + 1 < model.size()) {
                h.Click(FormPaper::DOWN);
                model.swapItemsAt(current, current + 1);
                ++current;
            } else if (op == 4 && current >= 0) {
                const int tenths = random.bounded(2501);
                const QString text = QString::number(tenths / 10.0);
                TypeMark(h, text.left(4));
                model[current] = float(ReadLeadingNumber(text.left(4)));
            } else if (op == 5 && !model.isEmpty()) {
                current = random.bounded(model.size());
                QVERIFY(h.table().SetAbsolutePosition(current + 1));
            }
            if (op != 4) {
                QVERIFY(h.table().Update());  // as leaving the row does
                QCOMPARE(Marks(h), model);
                QCOMPARE(h.table().AbsolutePosition() - 1, current < 0 ? -1 - 1 : current);
                CheckBookkeeping(h);
            }
        }
        QVERIFY(h.fake.prompts.messages.empty());
    }
};

QTEST_MAIN(EditingTest)
#include "test_editing.moc"
