// The grades window on the real main window, with scans of sheets filled and
// scanned by the generator: reading, review, corrections and their undo,
// re-scoring when the paper's key changes, export, and the save first.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <random>

#include "../editor/harness.h"
#include "editor/mainmenu.h"
#include "grading/ui/attachgrading.h"
#include "grading/ui/dialoggrades.h"
#include "grading/ui/scorechart.h"
#include "history/paperhistory.h"
#include "paperfile/papercommands.h"
#include "print/answersheet.h"
#include "scangen/scangen.h"
#include "spreadsheet/paperio.h"
#include "workspace/papercontext.h"

using namespace scrivane;
using namespace scrivane::test;

namespace {

constexpr int kQuestions = 8;

const scangen::PrintRun& Run() {
    static const scangen::PrintRun run =
        scangen::Print(scangen::SamplePaper(kQuestions, 7), QStringLiteral("ABCDE"), 1, 7, 4);
    return run;
}

// A sheet marked in pencil: letters[q] for question q + 1 (the paper's own
// letters, a single version keeps them), the student number's digits.
QString WriteScan(const QTemporaryDir& dir, const QString& name, const QStringList& letters,
                  const QString& student) {
    const scangen::PrintRun& run = Run();
    const SheetPageLayout& layout = run.layouts[0];
    scangen::Filling filling;
    filling.student = student;
    for (const SheetBubble& b : layout.bubbles) {
        bool on = false;
        if (b.kind == SheetBubble::Kind::Answer)
            on = letters.value(b.source - 1).contains(b.option);
        else
            on = b.position < student.size() && student[b.position].digitValue() == b.digit;
        filling.marks.push_back(on ? scangen::Mark::Pencil : scangen::Mark::None);
    }
    std::mt19937 random(5);
    const QImage page = scangen::DrawMarks(
        RenderBlankSheet(layout, run.versions[0], run.codes[0], 200), 200, layout, filling, random);
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write(scangen::Encode(page, 0, 200));
    return path;
}

QString KeyLetter(int question) {
    return AnswerMaskToText(Run().paper[std::size_t(question)].Answer);
}

// Another letter than the key's.
QString WrongLetter(int question) {
    return KeyLetter(question) == QStringLiteral("A") ? QStringLiteral("B") : QStringLiteral("A");
}

struct Grading {
    Harness harness{0};
    QTemporaryDir dir;
    PaperContext context{harness.state,
                         harness.fake.seams,
                         harness.window->Document(),
                         harness.window->History(),
                         harness.window->Paper(),
                         harness.window->Settings(),
                         harness.window->Menu(),
                         [this] { return harness.window->CheckCurrentRow(); },
                         [this](int position) { shown.push_back(position); },
                         *harness.window};
    std::vector<int> shown;

    Grading() { AttachGrading(context); }

    // The sample paper, saved as a file of its own and open.
    void OpenPaper() {
        const QString path = dir.filePath(QStringLiteral("endofterm.tpf"));
        QVERIFY(WritePaperFile(path, Run().paper).WasWritten());
        QVERIFY(harness.window->Paper().OpenChosenPaper(path));
    }
    QAction* Action() const {
        return harness.window->findChild<QAction*>(QStringLiteral("actionGrade"));
    }
    DialogGrades* Grade() {
        Action()->trigger();
        return OpenGrades(context);
    }
    static QString Cell(const DialogGrades& d, int row, int column) {
        return d.TableSheets->model()->index(row, column).data().toString();
    }
};

// The scans chosen together in Add Scans' dialog.
void ReadAll(DialogGrades& dialog, FakePrompts& prompts, const QStringList& files) {
    QSignalSpy finished(&dialog, &DialogGrades::ReadingFinished);
    prompts.fileLists.push_back(files);
    QTest::mouseClick(dialog.ButtonAddScans, Qt::LeftButton);
    QVERIFY(finished.wait(60000));
    QCOMPARE(finished.first().first().toBool(), true);
}

int RowOf(const DialogGrades& dialog, const QString& student) {
    for (int row = 0; row < dialog.TableSheets->model()->rowCount(); ++row)
        if (Grading::Cell(dialog, row, 0) == student) return row;
    return -1;
}

int BubbleOf(const DialogGrades& dialog, int question, const QString& letter) {
    const auto& bubbles = dialog.ViewSheet->Bubbles();
    for (std::size_t i = 0; i < bubbles.size(); ++i)
        if (bubbles[i].bubble.kind == SheetBubble::Kind::Answer &&
            bubbles[i].bubble.source == question && QString(bubbles[i].bubble.option) == letter)
            return int(i);
    return -1;
}

}  // namespace

class TestDialogGrades : public QObject {
    Q_OBJECT
private slots:
    void gradesNeedThePaperOnDisk();
    void readReviewCorrectAndFollowThePaper();
    void questionsStatisticsAndFlawedQuestions();
    void reopensAsLeftAndAsksForAMovedScan();
    void aChangedPaperIsToldAndReviewed();
};

void TestDialogGrades::gradesNeedThePaperOnDisk() {
    Grading g;
    QVERIFY(g.Action());
    QCOMPARE(g.Action()->shortcut(), QKeySequence(QStringLiteral("Ctrl+G")));
    // A paper never saved goes through SAVE, and the teacher cancels it.
    g.harness.fake.prompts.files.push_back(std::nullopt);
    QVERIFY(!g.Grade());
    QVERIFY(g.harness.fake.prompts.Texts().contains(
        QStringLiteral("Save the paper before grading it.")));

    g.OpenPaper();
    DialogGrades* dialog = g.Grade();
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Grades - endofterm.tpf"));
    QVERIFY(!dialog->isModal());
    // One window per paper.
    QCOMPARE(g.Grade(), dialog);
    // Another paper closes it.
    QPointer<DialogGrades> watched(dialog);
    g.harness.window->Document().Install(Run().paper, QStringLiteral("other.tpf"));
    QTRY_VERIFY(!watched);
}

void TestDialogGrades::readReviewCorrectAndFollowThePaper() {
    Grading g;
    g.OpenPaper();
    QStringList key, oneWrong, twoMarked;
    for (int q = 0; q < kQuestions; ++q) key << KeyLetter(q);
    oneWrong = key;
    oneWrong[2] = WrongLetter(2);
    twoMarked = key;
    twoMarked[1] = key[1] + WrongLetter(1);  // a single-answer question marked twice
    const QStringList files{
        WriteScan(g.dir, QStringLiteral("a.png"), key, QStringLiteral("1001")),
        WriteScan(g.dir, QStringLiteral("b.png"), oneWrong, QStringLiteral("1002")),
        WriteScan(g.dir, QStringLiteral("c.png"), twoMarked, QStringLiteral("1003"))};
    DialogGrades* dialog = g.Grade();
    QVERIFY(dialog);
    ReadAll(*dialog, g.harness.fake.prompts, files);
    QCOMPARE(dialog->LabelSheets->text(), QStringLiteral("3 sheets, 1 to review"));
    // The sheet to review comes first, coloured.
    QCOMPARE(Grading::Cell(*dialog, 0, 0), QStringLiteral("1003"));
    QCOMPARE(Grading::Cell(*dialog, 0, 6), QStringLiteral("review"));
    QVERIFY(dialog->TableSheets->model()->index(0, 0).data(Qt::BackgroundRole).isValid());
    const int wrong = RowOf(*dialog, QStringLiteral("1002"));
    QCOMPARE(Grading::Cell(*dialog, wrong, 3), QString::number(kQuestions - 1));
    QCOMPARE(Grading::Cell(*dialog, wrong, 4), QString::number(kQuestions));

    // The picture of the sheet to review: its extra mark, clicked off.
    const int doubtful = dialog->Session().Sheets()[2].id;
    dialog->SelectSheet(doubtful);
    QCOMPARE(dialog->CurrentSheet(), doubtful);
    QTRY_COMPARE(dialog->PictureSheet(), doubtful);
    QVERIFY(dialog->ListReasons->count() > 0);
    const int extra = BubbleOf(*dialog, 2, WrongLetter(1));
    QVERIFY(extra >= 0);
    QCOMPARE(dialog->ViewSheet->Bubbles()[std::size_t(extra)].look, ViewBubble::Look::Doubt);
    QTest::mouseClick(dialog->ViewSheet->Canvas(), Qt::LeftButton, {},
                      dialog->ViewSheet->BubbleAt(extra));
    QCOMPARE(dialog->LabelSheets->text(), QStringLiteral("3 sheets, 0 to review"));
    const int corrected = RowOf(*dialog, QStringLiteral("1003"));
    QCOMPARE(Grading::Cell(*dialog, corrected, 6), QStringLiteral("corrected"));
    QCOMPARE(Grading::Cell(*dialog, corrected, 3), QString::number(kQuestions));

    // Undone and redone in the window, apart from the paper's history.
    const int paperSteps = g.harness.window->History().Stack().count();
    dialog->Session().UndoStack()->undo();
    QCOMPARE(g.harness.window->History().Stack().count(), paperSteps);
    QCOMPARE(dialog->LabelSheets->text(), QStringLiteral("3 sheets, 1 to review"));
    dialog->Session().UndoStack()->redo();
    QCOMPARE(dialog->LabelSheets->text(), QStringLiteral("3 sheets, 0 to review"));

    // A student digit chosen on the picture, and one typed.
    dialog->SelectSheet(dialog->Session().Sheets()[0].id);
    dialog->EditStudent->setText(QStringLiteral("1009"));
    emit dialog->EditStudent->editingFinished();
    QVERIFY(RowOf(*dialog, QStringLiteral("1009")) >= 0);

    // The key of question 3 fixed in the paper: the marks follow at once,
    // and the paper's Undo takes it back here too.
    QuestionRecord fixed = g.harness.window->Document().Row(3);
    fixed.Answer = AnswerTextToMask(WrongLetter(2));
    g.harness.window->Document().WriteRow(3, fixed);
    QCOMPARE(Grading::Cell(*dialog, RowOf(*dialog, QStringLiteral("1002")), 3),
             QString::number(kQuestions));
    QCOMPARE(Grading::Cell(*dialog, RowOf(*dialog, QStringLiteral("1003")), 3),
             QString::number(kQuestions - 1));
    // A change that is a step of the paper's history, undone there.
    std::vector<QuestionRecord> rows = g.harness.window->Document().Rows();
    rows[0].Answer = AnswerTextToMask(WrongLetter(0));
    g.harness.window->History().ReplaceRows(QStringLiteral("Fix the key"), rows);
    QCOMPARE(Grading::Cell(*dialog, RowOf(*dialog, QStringLiteral("1002")), 3),
             QString::number(kQuestions - 1));
    g.harness.window->History().Undo();
    QCOMPARE(Grading::Cell(*dialog, RowOf(*dialog, QStringLiteral("1002")), 3),
             QString::number(kQuestions));

    // The export, read back.
    const QString csv = g.dir.filePath(QStringLiteral("grades.csv"));
    g.harness.fake.prompts.files.push_back(csv);
    dialog->ButtonExport->click();
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QVERIFY(lines[0].startsWith("Student number,Name,Version,Mark,Maximum,Percentage,Q1,Q2,Q3"));
    QCOMPARE(lines.size(), 5);  // a header, three sheets and the end of the last line
    QVERIFY(lines[2].startsWith("1002,,A,8,8,100,"));
}

void TestDialogGrades::questionsStatisticsAndFlawedQuestions() {
    Grading g;
    g.OpenPaper();
    QStringList key;
    for (int q = 0; q < kQuestions; ++q) key << KeyLetter(q);
    QStringList weak = key;
    weak[0] = WrongLetter(0);
    weak[4] = QString();
    // The pile comes as a folder dropped on the window; what is no scan stays out.
    QVERIFY(QDir(g.dir.path()).mkdir(QStringLiteral("pile")));
    WriteScan(g.dir, QStringLiteral("pile/a.png"), key, QStringLiteral("1001"));
    WriteScan(g.dir, QStringLiteral("pile/b.png"), weak, QStringLiteral("1002"));
    {
        QFile notes(g.dir.filePath(QStringLiteral("pile/notes.txt")));
        QVERIFY(notes.open(QIODevice::WriteOnly));
    }
    const QString classes = g.dir.filePath(QStringLiteral("class.csv"));
    {
        QFile list(classes);
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("1001,Ada\n1002,Blaise\n1003,Carl\n");
    }
    DialogGrades* dialog = g.Grade();
    {
        QSignalSpy finished(dialog, &DialogGrades::ReadingFinished);
        QMimeData pile;
        pile.setUrls({QUrl::fromLocalFile(g.dir.filePath(QStringLiteral("pile")))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &pile, Qt::LeftButton, {});
        QApplication::sendEvent(dialog, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &pile, Qt::LeftButton, {});
        QApplication::sendEvent(dialog, &drop);
        QVERIFY(finished.wait(60000));
    }
    QCOMPARE(dialog->Session().Scans().size(), 2);
    g.harness.fake.prompts.files.push_back(classes);
    dialog->ButtonClassList->click();
    QCOMPARE(Grading::Cell(*dialog, RowOf(*dialog, QStringLiteral("1001")), 1),
             QStringLiteral("Ada"));
    QCOMPARE(dialog->ChartScores->Absent(), QStringList{QStringLiteral("1003 Carl")});
    QCOMPARE(dialog->ChartScores->Bins()[9], 1);

    QAbstractItemModel* questions = dialog->TableQuestions->model();
    QCOMPARE(questions->rowCount(), kQuestions);
    QCOMPARE(questions->index(0, 1).data().toString(), KeyLetter(0));
    QCOMPARE(questions->index(0, 2).data().toString(), QStringLiteral("0.5"));
    const int blanks = questions->columnCount() - 3;
    QCOMPARE(questions->index(4, blanks).data().toString(), QStringLiteral("1"));
    // The answer's count stands out.
    const int keyColumn = 5 + (KeyLetter(0)[0].unicode() - u'A');
    QVERIFY(questions->index(0, keyColumn).data(Qt::FontRole).value<QFont>().bold());
    QVERIFY(dialog->LabelSummary->text().contains(QStringLiteral("Sheets 2")));
    QVERIFY(dialog->LabelSummary->text().contains(QStringLiteral("Cronbach's alpha")));

    // Double-click goes to the question in the main window.
    const QRect cell = dialog->TableQuestions->visualRect(questions->index(2, 0));
    dialog->show();
    QTest::mouseClick(dialog->TableQuestions->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(dialog->TableQuestions->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(g.shown, std::vector<int>{3});

    // Question 1 also accepts the wrong letter; question 5 gives everyone its mark.
    dialog->TableQuestions->selectRow(0);
    g.harness.fake.modal.steps.push_back([](QDialog& d) {
        d.findChild<QLineEdit*>(QStringLiteral("EditLine"))->setText(WrongLetter(0).toLower());
        d.accept();
    });
    dialog->ButtonAcceptAlso->click();
    dialog->TableQuestions->selectRow(4);
    dialog->ButtonGiveAll->click();
    QCOMPARE(Grading::Cell(*dialog, RowOf(*dialog, QStringLiteral("1002")), 3),
             QString::number(kQuestions));
    QVERIFY(questions->index(0, 1).data().toString().contains(QStringLiteral("also")));
    dialog->Session().UndoStack()->undo();
    QCOMPARE(Grading::Cell(*dialog, RowOf(*dialog, QStringLiteral("1002")), 3),
             QString::number(kQuestions - 1));
}

void TestDialogGrades::reopensAsLeftAndAsksForAMovedScan() {
    Grading g;
    g.OpenPaper();
    QStringList key, twoMarked;
    for (int q = 0; q < kQuestions; ++q) key << KeyLetter(q);
    twoMarked = key;
    twoMarked[0] = key[0] + WrongLetter(0);
    const QString moved =
        WriteScan(g.dir, QStringLiteral("b.png"), twoMarked, QStringLiteral("1002"));
    DialogGrades* dialog = g.Grade();
    ReadAll(*dialog, g.harness.fake.prompts,
            {WriteScan(g.dir, QStringLiteral("a.png"), key, QStringLiteral("1001")), moved});
    QCOMPARE(dialog->LabelSheets->text(), QStringLiteral("2 sheets, 1 to review"));
    QCOMPARE(Grading::Cell(*dialog, 0, 0), QStringLiteral("1002"));
    dialog->SelectSheet(dialog->Session().Sheets()[1].id);
    QTest::keyClick(dialog->TableSheets, Qt::Key_Return);
    QCOMPARE(dialog->LabelSheets->text(), QStringLiteral("2 sheets, 0 to review"));
    QPointer<DialogGrades> watched(dialog);
    dialog->close();
    QTRY_VERIFY(!watched);

    // The next day: one scan was moved, and is found where the teacher says.
    QDir(g.dir.path()).mkdir(QStringLiteral("pile"));
    const QString found = g.dir.filePath(QStringLiteral("pile/b.png"));
    QVERIFY(QFile::rename(moved, found));
    g.harness.fake.prompts.files.push_back(found);
    dialog = g.Grade();
    QVERIFY(dialog);
    QCOMPARE(g.harness.fake.prompts.fileRequests.back().title, QStringLiteral("Where is b.png?"));
    QCOMPARE(dialog->LabelSheets->text(), QStringLiteral("2 sheets, 0 to review"));
    const int row = RowOf(*dialog, QStringLiteral("1002"));
    QCOMPARE(Grading::Cell(*dialog, row, 6), QStringLiteral("corrected"));
    QCOMPARE(Grading::Cell(*dialog, row, 7), QStringLiteral("b.png p. 1"));
    // Its picture is read from where it is now.
    dialog->SelectSheet(dialog->Session().Sheets()[1].id);
    QTRY_COMPARE(dialog->PictureSheet(), dialog->Session().Sheets()[1].id);

    // A damaged grading file is told and set aside, and grading starts afresh.
    const QString gradingFile = dialog->Session().GradingFile();
    watched = dialog;
    dialog->close();
    QTRY_VERIFY(!watched);
    {
        QFile damaged(gradingFile);
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write("{\"sheets\": [");
    }
    const std::size_t told = g.harness.fake.prompts.messages.size();
    dialog = g.Grade();
    QCOMPARE(g.harness.fake.prompts.messages.size(), told + 1);
    QCOMPARE(dialog->LabelSheets->text(), QStringLiteral("0 sheets, 0 to review"));
}

// A question deleted in the editor after the sheets were read: every sheet
// to review, the window saying what changed, until Undo puts it back.
void TestDialogGrades::aChangedPaperIsToldAndReviewed() {
    Grading g;
    g.OpenPaper();
    QStringList key;
    for (int q = 0; q < kQuestions; ++q) key << KeyLetter(q);
    const QStringList files{WriteScan(g.dir, QStringLiteral("a.png"), key, QStringLiteral("1001")),
                            WriteScan(g.dir, QStringLiteral("b.png"), key, QStringLiteral("1002"))};
    DialogGrades* dialog = g.Grade();
    QVERIFY(dialog);
    ReadAll(*dialog, g.harness.fake.prompts, files);
    QCOMPARE(dialog->LabelSheets->text(), QStringLiteral("2 sheets, 0 to review"));
    QVERIFY(dialog->LabelPaperChanged->isHidden());

    std::vector<QuestionRecord> rows = g.harness.window->Document().Rows();
    rows.erase(rows.begin() + 2);
    g.harness.window->History().ReplaceRows(QStringLiteral("Delete question 3"), rows);
    QCOMPARE(dialog->LabelSheets->text(), QStringLiteral("2 sheets, 2 to review"));
    QVERIFY(!dialog->LabelPaperChanged->isHidden());
    QCOMPARE(dialog->LabelPaperChanged->text(),
             QStringLiteral("The paper no longer matches the sheets read: question 3 removed. "
                            "Those sheets are to review."));
    QCOMPARE(Grading::Cell(*dialog, 0, 6), QStringLiteral("review"));

    g.harness.window->History().Undo();
    QCOMPARE(dialog->LabelSheets->text(), QStringLiteral("2 sheets, 0 to review"));
    QVERIFY(dialog->LabelPaperChanged->isHidden());
}

QTEST_MAIN(TestDialogGrades)
#include "test_dialoggrades.moc"
