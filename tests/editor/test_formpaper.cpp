#include <QAbstractButton>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QTableView>
#include <QToolButton>

#include "editor/griddelegate.h"
#include "editor/recordnavigator.h"
#include "harness.h"

using namespace scrivane;
using scrivane::test::Harness;

class FormPaperTest : public QObject {
    Q_OBJECT
private slots:
    void startsWithTheBlankPaper() {
        Harness h;
        QVERIFY(h.fake.prompts.messages.empty());
        QCOMPARE(h.window->windowTitle(), QString("Quennet  "));
        QCOMPARE(h.Text("LabNoCount"), QString("1"));
        QCOMPARE(h.Text("LabScoreCount"), QString("10"));
        QVERIFY(!h.state.PaperModified);
        QVERIFY(h.state.PaperFileName.isEmpty());
        QCOMPARE(h.state.ScoreList(1), 10.f);
        QuestionTable& t = h.table();
        QCOMPARE(t.RecordCount(), 1);
        QCOMPARE(t.AbsolutePosition(), 1);
        QCOMPARE(t.Fields(u"QuestionNo").toInt(), 1);
        QCOMPARE(t.Fields(u"Answer").toString(), QString("Uncertain"));
        for (const char* f : {"Title", "ItemA", "ItemB", "ItemC", "ItemD", "ItemE", "ItemF"})
            QCOMPARE(t.Fields(QString::fromLatin1(f)).toString(), QString());
        // The panel shows the current question.
        QCOMPARE(h.Text("LabelNo"), QString("1"));
        QCOMPARE(h.Text("TextScore"), QString("10"));
        QCOMPARE(h.Text("LabelAnswer"), QString("Uncertain"));
        QCOMPARE(h.Find<RecordNavigator>("adoStdMarks")->caption(), QString("Select Qu."));
    }

    void everyControlHasItsName() {
        Harness h;
        QStringList names = {"FrameTools",    "Frame1",      "adoStdMarks",  "LabNo",
                             "LabelNo",       "Label2",      "TextScore",    "Label1",
                             "Label3",        "LabelAnswer", "CmdSetAnswer", "Frame2",
                             "TextTitle",     "Label5",      "LabNoCount",   "Label7",
                             "LabScoreCount", "DataGrid1",   "Timer1"};
        for (int i = 0; i < 11; ++i) names << QStringLiteral("CommandTools_%1").arg(i);
        for (int i = 0; i < 6; ++i)
            names << QStringLiteral("LabItem_%1").arg(i) << QStringLiteral("TextItems_%1").arg(i);
        for (const QString& name : names)
            QVERIFY2(h.window->findChild<QObject*>(name), qPrintable(name));
        const QStringList captions = {"NEW", "OPEN", "IMPORT", "EXPORT", "SAVE", "ADD",
                                      "DEL", "UP",   "DOWN",   "EXIT",   "HELP"};
        for (int i = 0; i < 11; ++i) {
            auto* b = h.Find<QToolButton>(QStringLiteral("CommandTools_%1").arg(i));
            QCOMPARE(b->text(), captions[i]);
            QCOMPARE(b->toolTip(), captions[i]);
            QVERIFY(!b->icon().isNull());
        }
        QCOMPARE(h.Text("LabItem_0"), QString("OptionA:"));
        QCOMPARE(h.Text("LabItem_5"), QString("OptionF:"));
        QCOMPARE(h.Text("Label1"), QString("(0-250)"));
        QCOMPARE(h.Text("Label5"), QString("Total Questions:"));
        QCOMPARE(h.Text("Label7"), QString("Total Points:"));
        QCOMPARE(h.Find<QGroupBox>("Frame2")->title(), QString("Question title"));
        const QStringList columns = {"NO.",     "Mark",    "Answer",  "Question title", "OptionA",
                                     "OptionB", "OptionC", "OptionD", "OptionE",        "OptionF"};
        for (int c = 0; c < 10; ++c)
            QCOMPARE(h.table().headerData(c, Qt::Horizontal).toString(), columns[c]);
    }

    void missingTypeInfoWarnsAndHidesOptionF() {
        test::FakeSeams fake;
        Moddule1 state;
        const auto window = Main(state, fake.seams);
        QCOMPARE(fake.prompts.Texts(), QStringList{"Type Information Error!"});
        QVERIFY(std::filesystem::exists(fake.platform.ProgramFolder() / "TypeInfo.con"));
        QCOMPARE(int(state.AnswerType()), 0);
        QVERIFY(!window->findChild<QLineEdit*>("TextItems_5")->isEnabled());
        window->close();
    }

    void optionFByMode_data() {
        QTest::addColumn<int>("answerType");
        QTest::addColumn<bool>("hidden");
        for (int t : {0, 1, 5}) QTest::newRow(qPrintable(QString::number(t))) << t << true;
        for (int t : {2, 3, 4, 6}) QTest::newRow(qPrintable(QString::number(t))) << t << false;
    }
    void optionFByMode() {
        QFETCH(int, answerType);
        QFETCH(bool, hidden);
        Harness h{std::int16_t(answerType)};
        QCOMPARE(h.Find<QLabel>("LabItem_5")->isEnabled(), !hidden);
        QCOMPARE(h.Find<QLineEdit>("TextItems_5")->isEnabled(), !hidden);
        QCOMPARE(h.Find<QTableView>("DataGrid1")->isColumnHidden(9), hidden);
        QVERIFY(!h.Find<QTableView>("DataGrid1")->isColumnHidden(8));
    }

    void layoutAtTheReferenceScreen() {
        Harness h;
        QCOMPARE(h.window->ScaleX(), 1.f);
        QCOMPARE(h.window->ScaleY(), 1.f);
        QCOMPARE(h.window->FontScale(), 1.f);
        struct Expect {
            const char* name;
            QRectF twips;
        };
        const Expect expected[] = {
            {"FrameTools", {120, 0, 15014, 710}},       {"CommandTools_0", {50, 140, 850, 520}},
            {"CommandTools_4", {3450, 140, 850, 520}},  {"CommandTools_5", {4450, 140, 850, 520}},
            {"CommandTools_8", {7000, 140, 850, 520}},  {"CommandTools_9", {8000, 140, 850, 520}},
            {"CommandTools_10", {8850, 140, 850, 520}}, {"adoStdMarks", {120, 240, 2175, 405}},
            {"TextScore", {3720, 480, 550, 255}},       {"CmdSetAnswer", {6630, 460, 1245, 300}},
            {"TextTitle", {0, 240, 7815, 855}},         {"LabItem_5", {8160, 1640, 855, 255}},
            {"TextItems_5", {9000, 1600, 3495, 270}},   {"LabScoreCount", {13560, 2160, 975, 285}},
            {"DataGrid1", {120, 2760, 15015, 7695}},
        };
        // The reference layout lies below the menu bar, unmoved within that area.
        const int menu = h.Find("MenuBar")->height();
        QVERIFY(menu > 0);
        QCOMPARE(h.Find("MenuBar")->geometry(), QRect(0, 0, 1024, menu));
        for (const auto& e : expected) {
            QCOMPARE(h.window->TwipsGeometry(e.name), e.twips);
            QWidget* control = h.Find(e.name);
            const QRect px = control->geometry().translated(
                0, control->parentWidget() == h.window.get() ? -menu : 0);
            QCOMPARE(px, QRect(qRound(e.twips.x() / 15), qRound(e.twips.y() / 15),
                               qRound(e.twips.width() / 15), qRound(e.twips.height() / 15)));
        }
        QCOMPARE(h.window->size(), QSize(1024, 768));
        // The menu bar, the layout and the status bar share the screen's
        // 768 pixels: the grid ends above the status bar.
        QWidget* status = h.Find("StatusBar");
        QCOMPARE(status->geometry().bottom(), 767);
        QCOMPARE(status->width(), 1024);
        QWidget* table = h.Find("DataGrid1");
        QVERIFY(table->mapTo(h.window.get(), QPoint(0, table->height())).y() <= status->y());
        auto* grid = h.Find<QTableView>("DataGrid1");
        QCOMPARE(grid->columnWidth(0), 77);   // 1155 twips
        QCOMPARE(grid->columnWidth(3), 250);  // 3750 twips
        QCOMPARE(grid->font().pointSizeF(), 8.25);
    }

    void layoutScalesToTheScreen() {
        Harness small(3, {800, 600});
        QCOMPARE(small.window->ScaleX(), 0.78125f);
        QCOMPARE(small.window->ScaleY(), 0.78125f);
        QVERIFY(qAbs(small.window->TwipsGeometry("DataGrid1").width() - 11730.47) < 0.01);
        QCOMPARE(small.window->size(), QSize(800, 600));

        Harness large(3, {1280, 1024});
        QCOMPARE(large.window->ScaleX(), 1.25f);
        QVERIFY(qAbs(large.window->ScaleY() - 1.3333f) < 1e-4);
        QCOMPARE(large.window->FontScale(), 1.25f);
        const QRectF exit = large.window->TwipsGeometry("CommandTools_9");
        const QRectF down = large.window->TwipsGeometry("CommandTools_8");
        QCOMPARE(exit.x(), 10000.0);
        QVERIFY(exit.x() > down.right());
        QCOMPARE(large.Find<QTableView>("DataGrid1")->font().pointSizeF(), 8.25 * 1.25);
        QCOMPARE(large.Find<QTableView>("DataGrid1")->columnWidth(3), qRound(3750 * 1.25 / 15));
    }

    void onlyTheCurrentRowIsMarked() {
        Harness h;
        h.Click(FormPaper::ADD);
        h.Click(FormPaper::ADD);
        auto* grid = h.Find<QTableView>("DataGrid1");
        auto marked = [grid] {
            QList<int> rows;
            for (const QModelIndex& i : grid->selectionModel()->selectedRows()) rows << i.row();
            return rows;
        };
        QCOMPARE(marked(), QList<int>{2});
        h.window->activateWindow();
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Up);
        QCOMPARE(h.table().AbsolutePosition(), 2);
        QCOMPARE(marked(), QList<int>{1});
        const QRect cell = grid->visualRect(h.table().index(0, 3));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(h.table().AbsolutePosition(), 1);
        QCOMPARE(marked(), QList<int>{0});
        QCOMPARE(h.Text("LabelNo"), QString("1"));
    }

    void navigatorFollowsTheRows() {
        Harness h;
        auto enabled = [&h](const char* name) { return h.Find<QToolButton>(name)->isEnabled(); };
        QVERIFY(!enabled("adoStdMarks_Previous") && !enabled("adoStdMarks_Next"));
        // A screen reader names each arrow by what it does.
        const std::pair<const char*, const char*> named[] = {
            {"adoStdMarks_First", "First question"},
            {"adoStdMarks_Previous", "Previous question"},
            {"adoStdMarks_Next", "Next question"},
            {"adoStdMarks_Last", "Last question"}};
        for (const auto& [name, spoken] : named)
            QCOMPARE(h.Find<QToolButton>(name)->accessibleName(), QString(spoken));
        h.Click(FormPaper::ADD);
        h.Click(FormPaper::ADD);
        QVERIFY(enabled("adoStdMarks_Previous") && !enabled("adoStdMarks_Next"));
        h.Find<QToolButton>("adoStdMarks_First")->click();
        QCOMPARE(h.table().AbsolutePosition(), 1);
        QVERIFY(!enabled("adoStdMarks_Previous") && enabled("adoStdMarks_Next"));
        h.Find<QToolButton>("adoStdMarks_Next")->click();
        QCOMPARE(h.table().AbsolutePosition(), 2);
        for (int i = 0; i < 3; ++i) h.Click(FormPaper::DEL);
        QVERIFY(!enabled("adoStdMarks_First") && !enabled("adoStdMarks_Last"));
        h.fake.modal.steps.push_back(
            [](QDialog& d) { d.findChild<QAbstractButton*>("NoButton")->click(); });
        h.fake.modal.steps.push_back(
            [](QDialog& d) { d.findChild<QAbstractButton*>("CancelButton")->click(); });
        h.Click(FormPaper::NEW);  // a new table taken over
        QVERIFY(enabled("adoStdMarks_First") && !enabled("adoStdMarks_Next"));
        QCOMPARE(h.Text("LabelNo"), QString("1"));
    }

    void anEmptyPaperMarksNoRow() {
        Harness h;
        h.Click(FormPaper::DEL);
        QCOMPARE(h.table().RecordCount(), 0);
        QVERIFY(h.Find<QTableView>("DataGrid1")->selectionModel()->selectedRows().isEmpty());
        QCOMPARE(h.Text("LabNoCount"), QString("0"));
        QCOMPARE(h.Text("LabScoreCount"), QString("0"));
        QVERIFY(!h.Find<QLineEdit>("TextScore")->isEnabled());
    }

    void totalsUseTheLocaleNumberForm() {
        QLocale::setDefault(QLocale(QLocale::German));
        Harness h;
        h.state.ScoreList(1) = 12.5f;
        h.window->CountScore();
        QCOMPARE(h.Text("LabScoreCount"), QString("12,5"));
        // The grid shows a mark as the mark box does.
        h.table().SetField(QuestionTable::Score, 3.5f);
        QCOMPARE(h.Text("TextScore"), QString("3.5"));
        struct Peek : GridDelegate {
            using GridDelegate::GridDelegate;
            using GridDelegate::initStyleOption;
        };
        QVERIFY(dynamic_cast<GridDelegate*>(h.Find<QTableView>("DataGrid1")->itemDelegate()));
        Peek grid({}, nullptr);
        QStyleOptionViewItem cell;
        grid.initStyleOption(&cell, h.table().index(0, QuestionTable::Score));
        QCOMPARE(cell.text, QString("3.5"));
        QLocale::setDefault(QLocale::c());
        // Sums are single precision.
        h.state.ScoreList(1) = 0.1f;
        h.Click(FormPaper::ADD);
        h.state.ScoreList(2) = 0.2f;
        h.window->CountScore();
        QCOMPARE(h.Text("LabScoreCount"), QString("0.3"));
    }
};

QTEST_MAIN(FormPaperTest)
#include "test_formpaper.moc"
