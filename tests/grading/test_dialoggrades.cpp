// The grades window on the real main window, with scans of sheets filled and
// scanned by the generator: reading, review, corrections and their undo,
// re-scoring when the paper's key changes, export, and the save first.
#include <sys/stat.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <random>

#include "../editor/harness.h"
#include "editor/mainmenu.h"
#include "grading/session/gradingmodels.h"
#include "grading/ui/attachgrading.h"
#include "grading/ui/dialoggrades.h"
#include "grading/ui/scorechart.h"
#include "history/paperhistory.h"
#include "interchange/format.h"
#include "paperfile/papercommands.h"
#include "print/layout/answersheet.h"
#include "scangen/scangen.h"
#include "seams/desktopseams.h"
#include "spreadsheet/codec/reader.h"
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

// A control of the window by its objectName: the one way the tests reach them.
template <typename Control>
Control* Get(const QObject& window, const char* name) {
    auto* control = window.findChild<Control*>(QString::fromLatin1(name));
    if (!control) qFatal("the window has no %s", name);
    return control;
}

struct Grading {
    Harness harness{0};
    QTemporaryDir dir;
    PaperContext context{harness.state,
                         harness.fake.seams,
                         harness.window->Document(),
                         harness.window->History(),
                         harness.window->Paper(),
                         harness.window->Workspace(),
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
        return GradesWindowOf(context);
    }
    static QString Cell(const DialogGrades& d, int row, int column) {
        return Get<QTableView>(d, "TableSheets")->model()->index(row, column).data().toString();
    }
};

// The scans chosen together in Add Scans' dialog.
void ReadAll(DialogGrades& dialog, FakePrompts& prompts, const QStringList& files) {
    QSignalSpy finished(&dialog, &DialogGrades::ReadingFinished);
    prompts.fileLists.push_back(files);
    QTest::mouseClick(Get<QPushButton>(dialog, "ButtonAddScans"), Qt::LeftButton);
    QVERIFY(finished.wait(60000));
    QCOMPARE(finished.first().first().toBool(), true);
}

int RowOf(const DialogGrades& dialog, const QString& student) {
    for (int row = 0; row < Get<QTableView>(dialog, "TableSheets")->model()->rowCount(); ++row)
        if (Grading::Cell(dialog, row, SheetsModel::Student) == student) return row;
    return -1;
}

int BubbleOf(const DialogGrades& dialog, int question, const QString& letter) {
    const auto& bubbles = Get<SheetView>(dialog, "ViewSheet")->Bubbles();
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
    void aPipeNeverHoldsTheWindow();
    void movedScansAreAskedForOnceAndASecondWindowOnlyShows();
    void acceptAsksAboutDoubtsAndKeysCorrectTheScan();
    void gradesUseTheRowBeingEditedAndExportTellsWhatItDid();
    void fileDialogsShowTheFilesTheirFiltersName();
    void aWindowOfItsOwnBesideTheEditor();
    void entersByHandInTheVersionsOrder();
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
    QCOMPARE(Get<QLabel>(*dialog, "LabelSheets")->text(), QStringLiteral("3 sheets, 1 to review"));
    // The review starts at the sheet to review, not at the first read.
    QCOMPARE(dialog->CurrentSheet(), dialog->Session().Sheets()[2].id);
    // The sheet to review comes first, coloured.
    QCOMPARE(Grading::Cell(*dialog, 0, SheetsModel::Student), QStringLiteral("1003"));
    QCOMPARE(Grading::Cell(*dialog, 0, SheetsModel::Status), QStringLiteral("review"));
    QVERIFY(Get<QTableView>(*dialog, "TableSheets")
                ->model()
                ->index(0, SheetsModel::Student)
                .data(Qt::BackgroundRole)
                .isValid());
    const int wrong = RowOf(*dialog, QStringLiteral("1002"));
    QCOMPARE(Grading::Cell(*dialog, wrong, SheetsModel::Mark), QString::number(kQuestions - 1));
    QCOMPARE(Grading::Cell(*dialog, wrong, SheetsModel::Maximum), QString::number(kQuestions));

    // The picture of the sheet to review: its extra mark, clicked off.
    const int doubtful = dialog->Session().Sheets()[2].id;
    dialog->SelectSheet(doubtful);
    QCOMPARE(dialog->CurrentSheet(), doubtful);
    QTRY_COMPARE(dialog->PictureSheet(), doubtful);
    QVERIFY(Get<QListWidget>(*dialog, "ListReasons")->count() > 0);
    const int extra = BubbleOf(*dialog, 2, WrongLetter(1));
    QVERIFY(extra >= 0);
    QCOMPARE(Get<SheetView>(*dialog, "ViewSheet")->Bubbles()[std::size_t(extra)].look,
             ViewBubble::Look::Doubt);
    QTest::mouseClick(Get<SheetView>(*dialog, "ViewSheet")->Canvas(), Qt::LeftButton, {},
                      Get<SheetView>(*dialog, "ViewSheet")->BubbleAt(extra));
    QCOMPARE(Get<QLabel>(*dialog, "LabelSheets")->text(), QStringLiteral("3 sheets, 0 to review"));
    const int corrected = RowOf(*dialog, QStringLiteral("1003"));
    QCOMPARE(Grading::Cell(*dialog, corrected, SheetsModel::Status), QStringLiteral("corrected"));
    QCOMPARE(Grading::Cell(*dialog, corrected, SheetsModel::Mark), QString::number(kQuestions));

    // Undone and redone in the window, apart from the paper's history.
    const int paperSteps = g.harness.window->History().Stack().count();
    dialog->Session().UndoStack()->undo();
    QCOMPARE(g.harness.window->History().Stack().count(), paperSteps);
    QCOMPARE(Get<QLabel>(*dialog, "LabelSheets")->text(), QStringLiteral("3 sheets, 1 to review"));
    dialog->Session().UndoStack()->redo();
    QCOMPARE(Get<QLabel>(*dialog, "LabelSheets")->text(), QStringLiteral("3 sheets, 0 to review"));

    // A student digit chosen on the picture, and one typed.
    dialog->SelectSheet(dialog->Session().Sheets()[0].id);
    Get<QLineEdit>(*dialog, "EditStudent")->setText(QStringLiteral("1009"));
    emit Get<QLineEdit>(*dialog, "EditStudent")->editingFinished();
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
    Get<QPushButton>(*dialog, "ButtonExport")->click();
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QVERIFY(
        lines[0].startsWith("Student number,Name,Version,Mark,Maximum,Percentage,Status,Q1,Q2,Q3"));
    QCOMPARE(lines.size(), 5);  // a header, three sheets and the end of the last line
    QVERIFY(lines[2].startsWith("1002,,A,8,8,100,ok,"));
    QVERIFY(lines[3].startsWith("1003,,A,7,8,87.5,corrected,"));
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
    Get<QPushButton>(*dialog, "ButtonClassList")->click();
    QCOMPARE(Grading::Cell(*dialog, RowOf(*dialog, QStringLiteral("1001")), 1),
             QStringLiteral("Ada"));
    QCOMPARE(Get<ScoreChart>(*dialog, "ChartScores")->Absent(),
             QStringList{QStringLiteral("1003 Carl")});
    QCOMPARE(Get<ScoreChart>(*dialog, "ChartScores")->Bins()[9], 1);

    auto* questions =
        qobject_cast<QuestionsModel*>(Get<QTableView>(*dialog, "TableQuestions")->model());
    QVERIFY(questions);
    QCOMPARE(questions->rowCount(), kQuestions);
    QCOMPARE(questions->index(0, QuestionsModel::Answer).data().toString(), KeyLetter(0));
    QCOMPARE(questions->index(0, QuestionsModel::P).data().toString(), QStringLiteral("0.5"));
    const int blanks = questions->BlankColumn();
    QCOMPARE(questions->index(4, blanks).data().toString(), QStringLiteral("1"));
    // The answer's count stands out.
    const int keyColumn = questions->LetterColumn(KeyLetter(0)[0]);
    QVERIFY(questions->index(0, keyColumn).data(Qt::FontRole).value<QFont>().bold());
    // How the top and bottom groups (one sheet each here) chose it.
    QCOMPARE(questions->index(0, keyColumn).data(Qt::ToolTipRole).toString(),
             QStringLiteral("Top group: 1 · bottom group: 0 (of 1 each)"));
    QVERIFY(Get<QLabel>(*dialog, "LabelSummary")->text().contains(QStringLiteral("Sheets 2")));
    QVERIFY(
        Get<QLabel>(*dialog, "LabelSummary")->text().contains(QStringLiteral("Cronbach's alpha")));

    // Double-click goes to the question in the main window.
    const QRect cell = Get<QTableView>(*dialog, "TableQuestions")
                           ->visualRect(questions->index(2, QuestionsModel::Question));
    dialog->show();
    QTest::mouseClick(Get<QTableView>(*dialog, "TableQuestions")->viewport(), Qt::LeftButton, {},
                      cell.center());
    QTest::mouseDClick(Get<QTableView>(*dialog, "TableQuestions")->viewport(), Qt::LeftButton, {},
                       cell.center());
    QCOMPARE(g.shown, std::vector<int>{3});

    // Question 1 also accepts the wrong letter; question 5 gives everyone its mark.
    Get<QTableView>(*dialog, "TableQuestions")->selectRow(0);
    g.harness.fake.modal.steps.push_back([](QDialog& d) {
        d.findChild<QLineEdit*>(QStringLiteral("EditLine"))->setText(WrongLetter(0).toLower());
        d.accept();
    });
    Get<QPushButton>(*dialog, "ButtonAcceptAlso")->click();
    Get<QTableView>(*dialog, "TableQuestions")->selectRow(4);
    Get<QPushButton>(*dialog, "ButtonGiveAll")->click();
    QCOMPARE(Grading::Cell(*dialog, RowOf(*dialog, QStringLiteral("1002")), 3),
             QString::number(kQuestions));
    QVERIFY(questions->index(0, QuestionsModel::Answer)
                .data()
                .toString()
                .contains(QStringLiteral("also")));
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
    const QString moved = WriteScan(g.dir, QStringLiteral("a.png"), key, QStringLiteral("1001"));
    DialogGrades* dialog = g.Grade();
    ReadAll(*dialog, g.harness.fake.prompts,
            {moved, WriteScan(g.dir, QStringLiteral("b.png"), twoMarked, QStringLiteral("1002"))});
    QCOMPARE(Get<QLabel>(*dialog, "LabelSheets")->text(), QStringLiteral("2 sheets, 1 to review"));
    QCOMPARE(Grading::Cell(*dialog, 0, SheetsModel::Student), QStringLiteral("1002"));
    dialog->SelectSheet(dialog->Session().Sheets()[1].id);
    QTest::keyClick(Get<QTableView>(*dialog, "TableSheets"), Qt::Key_Return);
    QCOMPARE(Get<QLabel>(*dialog, "LabelSheets")->text(), QStringLiteral("2 sheets, 0 to review"));
    QPointer<DialogGrades> watched(dialog);
    dialog->close();
    QTRY_VERIFY(!watched);

    // The next day: one scan was moved, and is found where the teacher says.
    QDir(g.dir.path()).mkdir(QStringLiteral("pile"));
    const QString found = g.dir.filePath(QStringLiteral("pile/a.png"));
    QVERIFY(QFile::rename(moved, found));
    g.harness.fake.prompts.files.push_back(found);
    dialog = g.Grade();
    QVERIFY(dialog);
    QCOMPARE(g.harness.fake.prompts.fileRequests.back().title, QStringLiteral("Where is a.png?"));
    // The moved scan is the sheet shown first: its picture comes at once,
    // not the reading tried before it was found.
    QCOMPARE(dialog->CurrentSheet(), dialog->Session().Sheets()[0].id);
    QTRY_COMPARE(dialog->PictureSheet(), dialog->Session().Sheets()[0].id);
    QCOMPARE(Get<QLabel>(*dialog, "LabelSheets")->text(), QStringLiteral("2 sheets, 0 to review"));
    const int row = RowOf(*dialog, QStringLiteral("1002"));
    QCOMPARE(Grading::Cell(*dialog, row, SheetsModel::Status), QStringLiteral("corrected"));
    QCOMPARE(Grading::Cell(*dialog, row, SheetsModel::Scan), QStringLiteral("b.png p. 1"));

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
    QCOMPARE(Get<QLabel>(*dialog, "LabelSheets")->text(), QStringLiteral("0 sheets, 0 to review"));
}

// A sheet read from a scan, with chosen bubbles read as neither marked nor
// empty (an erasure, a faint mark): the reading itself is real.
int AddWithDoubts(DialogGrades& dialog, const QString& path,
                  const std::function<bool(const SheetBubble&)>& unclear) {
    PageRead read = dialog.Session().ReadPage(path, 1);
    if (read.status != PageRead::Status::Read) return -1;
    for (BubbleRead& b : read.bubbles)
        if (unclear(b.bubble)) b.mark = BubbleRead::Mark::Unclear;
    return dialog.Session().AddPage(path, 1, read);
}

void TestDialogGrades::acceptAsksAboutDoubtsAndKeysCorrectTheScan() {
    Grading g;
    g.OpenPaper();
    QStringList key;
    for (int q = 0; q < kQuestions; ++q) key << KeyLetter(q);
    const QString path = WriteScan(g.dir, QStringLiteral("u.png"), key, QStringLiteral("1001"));
    DialogGrades* dialog = g.Grade();
    dialog->show();
    // Question 2's answer and a wrong letter of question 4 in doubt, and the
    // third digit of the number.
    const int id = AddWithDoubts(*dialog, path, [](const SheetBubble& b) {
        if (b.kind == SheetBubble::Kind::Student) return b.position == 2 && b.digit == 0;
        return (b.source == 2 && QString(b.option) == KeyLetter(1)) ||
               (b.source == 4 && QString(b.option) == WrongLetter(3));
    });
    QVERIFY(id > 0);
    dialog->SelectSheet(id);
    QTRY_COMPARE(dialog->PictureSheet(), id);
    // The student number first, then the questions as the sheet prints them.
    QStringList reasons;
    for (int i = 0; i < Get<QListWidget>(*dialog, "ListReasons")->count(); ++i)
        reasons << Get<QListWidget>(*dialog, "ListReasons")->item(i)->text();
    QCOMPARE(reasons, (QStringList{"student number place 3: unclear mark",
                                   "question 2: unclear mark", "question 4: unclear mark"}));

    // A click on a reason shows that question's bubbles, zoomed.
    const double zoom = Get<SheetView>(*dialog, "ViewSheet")->Zoom();
    QListWidgetItem* fourth = Get<QListWidget>(*dialog, "ListReasons")->item(2);
    QTest::mouseClick(Get<QListWidget>(*dialog, "ListReasons")->viewport(), Qt::LeftButton, {},
                      Get<QListWidget>(*dialog, "ListReasons")->visualItemRect(fourth).center());
    QVERIFY(Get<SheetView>(*dialog, "ViewSheet")->Zoom() > zoom);
    const int current = Get<SheetView>(*dialog, "ViewSheet")->CurrentBubble();
    QCOMPARE(Get<SheetView>(*dialog, "ViewSheet")->Bubbles()[std::size_t(current)].bubble.source,
             4);
    const QPoint at = Get<SheetView>(*dialog, "ViewSheet")->BubbleAt(current) +
                      Get<SheetView>(*dialog, "ViewSheet")->Canvas()->pos();
    QVERIFY(Get<SheetView>(*dialog, "ViewSheet")->viewport()->rect().contains(at));

    // Accept asks for the number first, then whether the doubts are empty:
    // No keeps reviewing.
    g.harness.fake.modal.steps.push_back([](QDialog& d) {
        QCOMPARE(d.objectName(), QStringLiteral("DialogAcceptStudent"));
        d.findChild<QLineEdit*>(QStringLiteral("EditLine"))->setText(QStringLiteral("1001"));
        d.accept();
    });
    g.harness.fake.prompts.answers.push_back(MsgAnswer::No);
    QTest::mouseClick(Get<QPushButton>(*dialog, "ButtonAccept"), Qt::LeftButton);
    QCOMPARE(g.harness.fake.prompts.messages.back().text,
             QStringLiteral("2 bubbles are still unclear. Count them as empty?"));
    QCOMPARE(*dialog->Session().Result(id)->student, QStringLiteral("1001"));
    QCOMPARE(dialog->Session().Status(id), ReviewStatus::Review);
    g.harness.fake.prompts.answers.push_back(MsgAnswer::Yes);
    QTest::mouseClick(Get<QPushButton>(*dialog, "ButtonAccept"), Qt::LeftButton);
    QCOMPARE(dialog->Session().Status(id), ReviewStatus::Corrected);
    // The mark counts the doubts as empty, never as unclear.
    const SheetResult* result = dialog->Session().Result(id);
    QCOMPARE(result->score, double(kQuestions - 1));
    for (const AnswerResult& answer : result->answers)
        QVERIFY(answer.status != AnswerStatus::Unclear);
    QCOMPARE(dialog->Session().UnclearBubbles(id), 0);

    // Back to the doubts: a click on an unclear bubble marks it, a second
    // one empties it, a third marks it again.
    dialog->Session().UndoStack()->undo();
    dialog->SelectSheet(id);
    QTRY_COMPARE(dialog->PictureSheet(), id);
    const int doubt = BubbleOf(*dialog, 2, KeyLetter(1));
    const auto clickDoubt = [&] {
        QTest::mouseClick(Get<SheetView>(*dialog, "ViewSheet")->Canvas(), Qt::LeftButton, {},
                          Get<SheetView>(*dialog, "ViewSheet")->BubbleAt(doubt));
        return dialog->Session().Sheet(id)->bubbles[std::size_t(doubt)].mark;
    };
    QCOMPARE(clickDoubt(), BubbleRead::Mark::Marked);
    QCOMPARE(clickDoubt(), BubbleRead::Mark::Empty);
    QCOMPARE(clickDoubt(), BubbleRead::Mark::Marked);

    // The keys, while the scan has focus: arrows choose, E empties, M marks,
    // Space toggles, + and - zoom.
    dialog->activateWindow();
    Get<SheetView>(*dialog, "ViewSheet")->setFocus();
    QVERIFY(Get<SheetView>(*dialog, "ViewSheet")->hasFocus());
    const int wrong = BubbleOf(*dialog, 4, WrongLetter(3));
    Get<SheetView>(*dialog, "ViewSheet")->SetCurrentBubble(wrong);
    const auto markOf = [&](int bubble) {
        return dialog->Session().Sheet(id)->bubbles[std::size_t(bubble)].mark;
    };
    QTest::keyClick(Get<SheetView>(*dialog, "ViewSheet"), Qt::Key_E);
    QCOMPARE(markOf(wrong), BubbleRead::Mark::Empty);
    QTest::keyClick(Get<SheetView>(*dialog, "ViewSheet"), Qt::Key_M);
    QCOMPARE(markOf(wrong), BubbleRead::Mark::Marked);
    QTest::keyClick(Get<SheetView>(*dialog, "ViewSheet"), Qt::Key_Space);
    QCOMPARE(markOf(wrong), BubbleRead::Mark::Empty);
    QTest::keyClick(Get<SheetView>(*dialog, "ViewSheet"), Qt::Key_Right);
    const SheetBubble& right =
        Get<SheetView>(*dialog, "ViewSheet")
            ->Bubbles()[std::size_t(Get<SheetView>(*dialog, "ViewSheet")->CurrentBubble())]
            .bubble;
    QCOMPARE(right.source, 4);
    QCOMPARE(right.option.unicode(), WrongLetter(3)[0].unicode() + 1);
    QTest::keyClick(Get<SheetView>(*dialog, "ViewSheet"), Qt::Key_Down);
    QCOMPARE(Get<SheetView>(*dialog, "ViewSheet")
                 ->Bubbles()[std::size_t(Get<SheetView>(*dialog, "ViewSheet")->CurrentBubble())]
                 .bubble.source,
             5);
    const double before = Get<SheetView>(*dialog, "ViewSheet")->Zoom();
    QTest::keyClick(Get<SheetView>(*dialog, "ViewSheet"), Qt::Key_Plus);
    QVERIFY(Get<SheetView>(*dialog, "ViewSheet")->Zoom() > before);
    QTest::keyClick(Get<SheetView>(*dialog, "ViewSheet"), Qt::Key_Minus);
    QCOMPARE(Get<SheetView>(*dialog, "ViewSheet")->Zoom(), before);
    // Every key was a step of its own.
    QCOMPARE(dialog->Session().UndoStack()->undoText(), QStringLiteral("Mark a bubble"));
}

void TestDialogGrades::gradesUseTheRowBeingEditedAndExportTellsWhatItDid() {
    Grading g;
    g.OpenPaper();
    QStringList key, third;
    for (int q = 0; q < kQuestions; ++q) key << KeyLetter(q);
    third = key;
    third[2] = WrongLetter(2);
    QStringList twice = key;
    twice[0] = key[0] + WrongLetter(0);
    DialogGrades* dialog = g.Grade();
    ReadAll(*dialog, g.harness.fake.prompts,
            {WriteScan(g.dir, QStringLiteral("a.png"), third, QStringLiteral("1001")),
             WriteScan(g.dir, QStringLiteral("b.png"), twice, QStringLiteral("1002"))});
    const QString classes = g.dir.filePath(QStringLiteral("class.csv"));
    {
        QFile list(classes);
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("1001,Ada\n1002,Blaise\n0042,Carl\n");
    }
    g.harness.fake.prompts.files.push_back(classes);
    Get<QPushButton>(*dialog, "ButtonClassList")->click();

    // Question 3's key set with SET in the main window, the row not left.
    const auto setKey = [&g](int position, const QString& letter) {
        QVERIFY(g.harness.table().SetAbsolutePosition(position));
        g.harness.fake.modal.steps.push_back([letter](QDialog& d) {
            d.findChild<QAbstractButton*>(
                 QStringLiteral("OptionAnswer_%1").arg(letter[0].unicode() - u'A'))
                ->click();
            d.findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
        });
        g.harness.Find<QPushButton>(QStringLiteral("CmdSetAnswer"))->click();
        QCOMPARE(g.harness.Text(QStringLiteral("LabelAnswer")), letter);
    };
    setKey(3, WrongLetter(2));
    QVERIFY(g.harness.window->Document().Row(3).Answer != AnswerTextToMask(WrongLetter(2)));

    // A sheet still to review: asked, and No writes nothing.
    g.harness.fake.prompts.answers.push_back(MsgAnswer::No);
    const std::size_t dialogs = g.harness.fake.prompts.fileRequests.size();
    Get<QPushButton>(*dialog, "ButtonExport")->click();
    QCOMPARE(g.harness.fake.prompts.messages.back().text,
             QStringLiteral("1 sheet still needs review. Export anyway?"));
    QCOMPARE(g.harness.fake.prompts.fileRequests.size(), dialogs);
    // The row was written first: the grades use what the editor shows.
    QCOMPARE(g.harness.window->Document().Row(3).Answer, AnswerTextToMask(WrongLetter(2)));

    const QString xlsx = g.dir.filePath(QStringLiteral("grades.xlsx"));
    g.harness.fake.prompts.answers.push_back(MsgAnswer::Yes);
    g.harness.fake.prompts.files.push_back(xlsx);
    Get<QPushButton>(*dialog, "ButtonExport")->click();
    QCOMPARE(g.harness.fake.prompts.messages.back().text,
             QStringLiteral("The grades were written to %1.").arg(QDir::toNativeSeparators(xlsx)));
    const codec::Workbook book = codec::ReadWorkbookFile(xlsx.toStdString());
    const codec::Worksheet& grades = book.sheets[0];
    QCOMPARE(grades.At(1, 7).text, std::string("Status"));
    QCOMPARE(grades.At(2, 1).text, std::string("1001"));
    QCOMPARE(grades.At(2, 4).number, double(kQuestions));  // the key as the panel shows it
    QCOMPARE(grades.At(2, 7).text, std::string("ok"));
    QCOMPARE(grades.At(3, 7).text, std::string("review"));
    // The absent student: a row without a mark, the number kept as text.
    QCOMPARE(grades.At(4, 1).kind, codec::Cell::Kind::Text);
    QCOMPARE(grades.At(4, 1).text, std::string("0042"));
    QCOMPARE(grades.At(4, 2).text, std::string("Carl"));
    QVERIFY(grades.At(4, 4).text.empty() && grades.At(4, 4).kind != codec::Cell::Kind::Number);
    QCOMPARE(grades.At(4, 7).text, std::string("absent"));

    // Coming to the grades window writes the row being edited too.
    setKey(1, WrongLetter(0));
    QVERIFY(g.harness.window->Document().Row(1).Answer != AnswerTextToMask(WrongLetter(0)));
    g.harness.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(g.harness.window.get()));
    dialog->show();
    dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    QTRY_COMPARE(g.harness.window->Document().Row(1).Answer, AnswerTextToMask(WrongLetter(0)));
}

void TestDialogGrades::fileDialogsShowTheFilesTheirFiltersName() {
    Grading g;
    g.OpenPaper();
    DialogGrades* dialog = g.Grade();
    FakePrompts& prompts = g.harness.fake.prompts;
    prompts.files = {std::nullopt, std::nullopt, std::nullopt};
    Get<QPushButton>(*dialog, "ButtonAddScans")->click();
    Get<QPushButton>(*dialog, "ButtonClassList")->click();
    Get<QPushButton>(*dialog, "ButtonExport")->click();
    QStringList filters;
    for (const FileRequest& request : prompts.fileRequests) filters << request.filter;
    QCOMPARE(filters.size(), 3);
    // The main window's paper and workbook dialogs too.
    for (const int command : {FormPaper::OPEN, FormPaper::IMPORT, FormPaper::EXPORT}) {
        prompts.files.push_back(std::nullopt);
        g.harness.Click(command);
        filters << prompts.fileRequests.back().filter;
    }
    QVERIFY(prompts.files.empty());
    for (const interchange::FormatInfo& format : interchange::Formats())
        filters << interchange::FilterOf(format.format);

    // Qt's own reading of each filter, in a real (widget) file dialog: every
    // pattern a filter names lets a file of that name through.
    QTemporaryDir folder;
    for (const QString& filter : filters) {
        QFileDialog files(nullptr, QString(), folder.path(), QtNameFilters(filter));
        files.setOption(QFileDialog::DontUseNativeDialog);
        const QStringList parts = filter.split(u'|');
        QCOMPARE(files.nameFilters().size(), parts.size() / 2);
        auto* model = files.findChild<QFileSystemModel*>();
        QVERIFY(model);
        for (int i = 0; i + 1 < parts.size(); i += 2) {
            files.selectNameFilter(files.nameFilters()[i / 2]);
            for (const QString& pattern :
                 parts[i + 1].split(QRegularExpression(QStringLiteral("[ ;]")), Qt::SkipEmptyParts))
                QVERIFY2(QDir::match(model->nameFilters(), QStringLiteral("x") + pattern.mid(1)),
                         qPrintable(filter + QStringLiteral(" hides ") + pattern));
            QVERIFY2(!QDir::match(model->nameFilters(), QStringLiteral("x.unknown")),
                     qPrintable(filter));
        }
    }
}

void TestDialogGrades::aWindowOfItsOwnBesideTheEditor() {
    Grading g;
    g.harness.fake.platform.screen = QSize(2560, 1440);
    g.OpenPaper();
    g.harness.window->move(0, 0);
    DialogGrades* dialog = g.Grade();
    QVERIFY(dialog->isVisible());
    // Its own window, never the editor's transient (kept above it).
    QCOMPARE(dialog->windowFlags() & Qt::WindowType_Mask, Qt::Window);
    QVERIFY(dialog->windowHandle());
    QVERIFY(!dialog->windowHandle()->transientParent());
    QVERIFY(dialog->x() > g.harness.window->frameGeometry().right());

    // The paper's unsaved changes are told while there are any.
    QCOMPARE(Get<QStatusBar>(*dialog, "StatusGrades")->currentMessage(), QString());
    std::vector<QuestionRecord> rows = g.harness.window->Document().Rows();
    rows[1].Score = 3;
    g.harness.window->History().ReplaceRows(QStringLiteral("Mark"), rows);
    QVERIFY(g.harness.window->Document().Modified());
    QCOMPARE(Get<QStatusBar>(*dialog, "StatusGrades")->currentMessage(),
             QStringLiteral("The paper has unsaved changes: the grades use them now, but only a "
                            "saved paper keeps them."));
    g.harness.window->History().Undo();
    QCOMPARE(Get<QStatusBar>(*dialog, "StatusGrades")->currentMessage(), QString());
    // Undone whole, it is still this paper: the window stays.
    QCoreApplication::processEvents();
    QVERIFY(dialog->isVisible());

    // Its place and size are kept for the next time.
    dialog->move(300, 200);
    dialog->resize(900, 600);
    QPointer<DialogGrades> watched(dialog);
    dialog->close();
    QTRY_VERIFY(!watched);
    dialog = g.Grade();
    QCOMPARE(dialog->pos(), QPoint(300, 200));
    QCOMPARE(dialog->size(), QSize(900, 600));
    // On a screen too small for that place, beside the editor again.
    watched = dialog;
    dialog->close();
    QTRY_VERIFY(!watched);
    g.harness.fake.platform.screen = QSize(1000, 700);
    dialog = g.Grade();
    QVERIFY(dialog->pos() != QPoint(300, 200));
    QVERIFY(QRect(QPoint(0, 0), QSize(1000, 700)).contains(dialog->pos()));
}

void TestDialogGrades::entersByHandInTheVersionsOrder() {
    Grading g;
    g.OpenPaper();
    DialogGrades* dialog = g.Grade();
    QStringList key;
    for (int q = 0; q < kQuestions; ++q) key << KeyLetter(q).toLower();
    FakeModalRunner& modal = g.harness.fake.modal;
    FakePrompts& prompts = g.harness.fake.prompts;
    // The version first, with the number.
    modal.steps.push_back([](QDialog& d) {
        QCOMPARE(d.objectName(), QStringLiteral("DialogByHand"));
        d.findChild<QLineEdit*>(QStringLiteral("EditStudentNumber"))->setText("1234");
        auto* versions = d.findChild<QComboBox*>(QStringLiteral("ComboVersion"));
        QCOMPARE(versions->count(), 1);
        QCOMPARE(versions->currentText(), QStringLiteral("A"));
        d.accept();
    });
    const auto answer = [&modal](const QString& letters) {
        modal.steps.push_back([letters](QDialog& d) {
            QCOMPARE(d.objectName(), QStringLiteral("DialogByHandAnswers"));
            d.findChild<QLineEdit*>(QStringLiteral("EditLine"))->setText(letters);
            d.accept();
        });
    };
    // Too few answers, then a letter question 2 does not offer, then the
    // sheet; its mark is shown before it is added, and No goes back.
    answer(key.mid(1).join(u','));
    QStringList foreign = key;
    foreign[1] = QStringLiteral("Z");
    answer(foreign.join(u','));
    answer(key.join(u','));
    prompts.answers.push_back(MsgAnswer::No);
    answer(key.join(u','));
    prompts.answers.push_back(MsgAnswer::Yes);
    Get<QPushButton>(*dialog, "ButtonAddByHand")->click();
    QVERIFY(modal.steps.empty());
    const QStringList texts = prompts.Texts();
    QCOMPARE(texts[texts.size() - 4],
             QStringLiteral("The answers cannot be taken: question 8: no letters were given; "
                            "version A has 8 questions."));
    QVERIFY2(texts[texts.size() - 3].startsWith(
                 QStringLiteral("The answers cannot be taken: question 2 offers ")),
             qPrintable(texts[texts.size() - 3]));
    QCOMPARE(texts.back(), QStringLiteral("Student 1234, version A: 8 of 8. Add this sheet?"));
    QCOMPARE(dialog->Session().SheetCount(), 1);
    const int id = dialog->CurrentSheet();
    QVERIFY(dialog->Session().Sheet(id)->byHand);
    QCOMPARE(dialog->Session().Result(id)->score, double(kQuestions));
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
    QCOMPARE(Get<QLabel>(*dialog, "LabelSheets")->text(), QStringLiteral("2 sheets, 0 to review"));
    QVERIFY(Get<QLabel>(*dialog, "LabelPaperChanged")->isHidden());

    std::vector<QuestionRecord> rows = g.harness.window->Document().Rows();
    rows.erase(rows.begin() + 2);
    g.harness.window->History().ReplaceRows(QStringLiteral("Delete question 3"), rows);
    QCOMPARE(Get<QLabel>(*dialog, "LabelSheets")->text(), QStringLiteral("2 sheets, 2 to review"));
    QVERIFY(!Get<QLabel>(*dialog, "LabelPaperChanged")->isHidden());
    QCOMPARE(Get<QLabel>(*dialog, "LabelPaperChanged")->text(),
             QStringLiteral("The paper no longer matches the sheets read: question 3 removed. "
                            "Those sheets are to review."));
    QCOMPARE(Grading::Cell(*dialog, 0, SheetsModel::Status), QStringLiteral("review"));

    g.harness.window->History().Undo();
    QCOMPARE(Get<QLabel>(*dialog, "LabelSheets")->text(), QStringLiteral("2 sheets, 0 to review"));
    QVERIFY(Get<QLabel>(*dialog, "LabelPaperChanged")->isHidden());
}

void TestDialogGrades::aPipeNeverHoldsTheWindow() {
    Grading g;
    g.OpenPaper();
    QStringList key;
    for (int q = 0; q < kQuestions; ++q) key << KeyLetter(q);
    const QString fifo = g.dir.filePath(QStringLiteral("fifo.png"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    DialogGrades* dialog = g.Grade();
    // The pipe is refused at once and the good sheet is read.
    ReadAll(*dialog, g.harness.fake.prompts,
            {WriteScan(g.dir, QStringLiteral("s1.png"), key, QStringLiteral("1001")), fifo});
    QCOMPARE(Get<QLabel>(*dialog, "LabelSheets")->text(), QStringLiteral("2 sheets, 1 to review"));
    const int unreadable = RowOf(*dialog, QString());
    QCOMPARE(Grading::Cell(*dialog, unreadable, SheetsModel::Status), QStringLiteral("unreadable"));
    QCOMPARE(Get<QTableView>(*dialog, "TableSheets")
                 ->model()
                 ->index(unreadable, SheetsModel::Student)
                 .data(Qt::ToolTipRole)
                 .toString(),
             QStringLiteral("the file is a pipe or a device, not a file"));

    // A pipe added, cancelled, and the window closed at once: nothing waits.
    g.harness.fake.prompts.fileLists.push_back({g.dir.filePath(QStringLiteral("other.png")), fifo});
    QFile::copy(g.dir.filePath(QStringLiteral("s1.png")),
                g.dir.filePath(QStringLiteral("other.png")));
    QTest::mouseClick(Get<QPushButton>(*dialog, "ButtonAddScans"), Qt::LeftButton);
    QTest::mouseClick(Get<QPushButton>(*dialog, "ButtonCancelScans"), Qt::LeftButton);
    QPointer<DialogGrades> watched(dialog);
    dialog->close();
    QTRY_VERIFY(!watched);
}

void TestDialogGrades::movedScansAreAskedForOnceAndASecondWindowOnlyShows() {
    Grading g;
    g.OpenPaper();
    QStringList key;
    for (int q = 0; q < kQuestions; ++q) key << KeyLetter(q);
    DialogGrades* dialog = g.Grade();
    ReadAll(*dialog, g.harness.fake.prompts,
            {WriteScan(g.dir, QStringLiteral("a.png"), key, QStringLiteral("1001")),
             WriteScan(g.dir, QStringLiteral("b.png"), key, QStringLiteral("1002")),
             WriteScan(g.dir, QStringLiteral("c.png"), key, QStringLiteral("1003"))});
    const QString gradingFile = dialog->Session().GradingFile();
    QCOMPARE(Get<QLabel>(*dialog, "LabelGradingFile")->text(),
             QStringLiteral("Kept in %1").arg(gradingFile));
    // Added again: said to be read already, and not read twice.
    g.harness.fake.prompts.fileLists.push_back({g.dir.filePath(QStringLiteral("a.png"))});
    QTest::mouseClick(Get<QPushButton>(*dialog, "ButtonAddScans"), Qt::LeftButton);
    QCOMPARE(g.harness.fake.prompts.messages.back().text, QStringLiteral("a.png is already read."));
    QCOMPARE(Get<QLabel>(*dialog, "LabelSheets")->text(), QStringLiteral("3 sheets, 0 to review"));

    // A second editor on the same paper shows the grading read-only.
    {
        Grading second;
        QVERIFY(second.harness.window->Paper().OpenChosenPaper(g.dir.filePath("endofterm.tpf")));
        DialogGrades* shown = second.Grade();
        QVERIFY(shown);
        QVERIFY(second.harness.fake.prompts.messages.back().text.startsWith(
            QStringLiteral("This grading is open in another window, held by ")));
        QVERIFY(
            Get<QLabel>(*shown, "LabelGradingFile")->text().contains(QStringLiteral("read-only")));
        QCOMPARE(Get<QLabel>(*shown, "LabelSheets")->text(),
                 QStringLiteral("3 sheets, 0 to review"));
        QVERIFY(!Get<QPushButton>(*shown, "ButtonAddScans")->isEnabled());
        QVERIFY(!Get<QPushButton>(*shown, "ButtonRemove")->isEnabled());
        QVERIFY(!Get<QPushButton>(*shown, "ButtonClassList")->isEnabled());
    }

    QPointer<DialogGrades> watched(dialog);
    dialog->close();
    QTRY_VERIFY(!watched);
    // The pile moved to another folder: asked for once, the others found beside it.
    QDir(g.dir.path()).mkdir(QStringLiteral("pile"));
    for (const char* name : {"a.png", "b.png", "c.png"})
        QVERIFY(
            QFile::rename(g.dir.filePath(name), g.dir.filePath(QStringLiteral("pile/") + name)));
    const std::size_t asked = g.harness.fake.prompts.fileRequests.size();
    g.harness.fake.prompts.files.push_back(g.dir.filePath(QStringLiteral("pile/a.png")));
    dialog = g.Grade();
    QCOMPARE(g.harness.fake.prompts.fileRequests.size(), asked + 1);
    QCOMPARE(g.harness.fake.prompts.fileRequests.back().title,
             QStringLiteral("Where is a.png? The other 2 missing scans are looked for in the same "
                            "folder."));
    QVERIFY(dialog->Session().MissingScans().isEmpty());
    QCOMPARE(Get<QLabel>(*dialog, "LabelSheets")->text(), QStringLiteral("3 sheets, 0 to review"));
    // The first sheet's picture, asked for before the pile was found, is read from where it is.
    QTRY_COMPARE(dialog->PictureSheet(), dialog->CurrentSheet());
}

QTEST_MAIN(TestDialogGrades)
#include "test_dialoggrades.moc"
