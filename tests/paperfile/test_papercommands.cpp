#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>

#include "harness.h"
#include "paperfile/dlgcausion.h"
#include "paperfile/papercommands.h"
#include "spreadsheet/paperio.h"

using namespace scrivane;
using scrivane::test::Harness;

namespace {

const QString kAsk = QStringLiteral("The paper has been modified. Save or not?");
const QString kOverwrite = QStringLiteral("File exists. Overwrite it or not?");

// The quick new paper dialog, filled in and confirmed.
std::function<void(QDialog&)> QuickNew(const QString& amount, const QString& mark) {
    return [=](QDialog& d) {
        d.findChild<QLineEdit*>("TextQuNo")->setText(amount);
        d.findChild<QLineEdit*>("TextScore")->setText(mark);
        d.findChild<QPushButton*>("OKButton")->click();
    };
}
std::function<void(QDialog&)> Press(const char* button) {
    return [=](QDialog& d) { d.findChild<QAbstractButton*>(button)->click(); };
}
std::function<void(QDialog&)> CloseBox() {
    return [](QDialog& d) { d.close(); };
}

QStringList Column(QuestionTable& t, int column) {
    QStringList values;
    for (int r = 0; r < t.RecordCount(); ++r)
        values << t.data(t.index(r, column), Qt::EditRole).toString();
    return values;
}

void Modify(Harness& h) {
    h.table().SetField(QuestionTable::Title, QStringLiteral("changed"));
    h.state.PaperModified = true;
}

QString Path(const QTemporaryDir& dir, const char* name) {
    return dir.filePath(QString::fromLatin1(name));
}

void WriteText(const QString& path, const char* text) {
    std::ofstream(path.toStdString()) << text;
}
std::string ReadText(const QString& path) {
    std::ifstream in(path.toStdString());
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

class PaperCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void closingAtOnceAsksNothing() {
        auto h = std::make_unique<Harness>();
        QVERIFY(h->window->close());
        QVERIFY(h->fake.prompts.messages.empty());
    }

    void newThenCancelGivesTheBlankPaper() {
        for (bool modified : {false, true}) {
            Harness h;
            h.Click(FormPaper::ADD);
            h.state.PaperModified = modified;
            // A paper with a file, so that a NEW that keeps the caption fails.
            h.window->Document().SetFileName("/tmp/old.tpf");
            if (modified) h.fake.modal.steps.push_back(Press("NoButton"));
            h.fake.modal.steps.push_back(Press("CancelButton"));
            h.Click(FormPaper::NEW);
            QCOMPARE(h.table().RecordCount(), 1);
            QCOMPARE(h.Text("LabNoCount"), QString("1"));
            QCOMPARE(h.Text("LabScoreCount"), QString("10"));
            QCOMPARE(h.state.PaperModified, modified);
            QCOMPARE(h.window->windowTitle(), QString("Quennet  "));
        }
    }

    void newQuickPaperWithPickedAnswers() {
        Harness h;  // multiple-answer mode
        h.window->Document().SetFileName("/tmp/old.tpf");
        h.fake.modal.steps.push_back(QuickNew("25", "4"));
        h.fake.modal.steps.push_back([](QDialog& d) {
            d.findChild<QAbstractButton*>("OptionAnswer_0")->click();   // 1: A
            d.findChild<QAbstractButton*>("OptionAnswer_14")->click();  // 3: C
            d.findChild<QAbstractButton*>("OptionAnswer_15")->click();  // 3: D
            d.findChild<QAbstractButton*>("CommandDown")->click();
            d.findChild<QAbstractButton*>("OptionAnswer_5")->click();  // 21: F
            d.findChild<QAbstractButton*>("CommandOK")->click();
        });
        h.Click(FormPaper::NEW);
        QCOMPARE(h.fake.modal.shown, (std::vector<QString>{"DialogQuickNew", "FormQuickPaper"}));
        QuestionTable& t = h.table();
        QCOMPARE(t.RecordCount(), 25);
        QCOMPARE(t.AbsolutePosition(), 1);
        const QStringList answers = Column(t, QuestionTable::Answer);
        QCOMPARE(answers[0], QString("A"));
        QCOMPARE(answers[2], QString("CD"));
        QCOMPARE(answers[20], QString("F"));
        QCOMPARE(answers.count("Uncertain"), 22);
        QCOMPARE(Column(t, QuestionTable::QuestionNo).last(), QString("25"));
        QCOMPARE(Column(t, QuestionTable::Score), QStringList(25, "4"));
        QCOMPARE(h.Text("LabNoCount"), QString("25"));
        QCOMPARE(h.Text("LabScoreCount"), QString("100"));
        QVERIFY(h.state.PaperModified);
        QVERIFY(h.state.PaperFileName.isEmpty());
        QCOMPARE(h.window->windowTitle(), QString("Quennet  "));
    }

    void newQuickPaperInSingleAnswerMode() {
        Harness h{0};
        h.fake.modal.steps.push_back(QuickNew("3", "2"));
        h.fake.modal.steps.push_back([](QDialog& d) {
            d.findChild<QAbstractButton*>("OptionAnswer_8")->click();  // 2: C
            d.findChild<QAbstractButton*>("CommandOK")->click();
        });
        h.Click(FormPaper::NEW);
        QCOMPARE(h.fake.modal.shown.back(), QString("FormQuickPaper17"));
        QCOMPARE(Column(h.table(), QuestionTable::Answer),
                 (QStringList{"Uncertain", "C", "Uncertain"}));
    }

    void closingTheSheetKeepsThePaperButTheMark() {
        Harness h;
        h.Click(FormPaper::ADD);
        h.state.PaperModified = false;
        h.fake.modal.steps.push_back(QuickNew("5", "7"));
        h.fake.modal.steps.push_back(CloseBox());
        h.Click(FormPaper::NEW);
        QCOMPARE(h.table().RecordCount(), 2);
        h.Click(FormPaper::ADD);
        QCOMPARE(h.table().Fields(u"Score").toFloat(), 7.f);
    }

    void causionPromptBehaves() {
        Moddule1 state;
        int saves = 0;
        DlgCausion prompt(
            state, [&] { ++saves; }, nullptr);
        prompt.show();
        QApplication::setActiveWindow(&prompt);
        QVERIFY(QTest::qWaitForWindowActive(&prompt));
        QCOMPARE(prompt.windowTitle(), QString("Warning"));
        QCOMPARE(prompt.findChild<QLabel*>("Label1")->text(),
                 QString("The test paper has been modified. Save or not?"));
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("NoButton"));
        QTest::keyClick(&prompt, Qt::Key_Escape);
        QVERIFY(prompt.isVisible());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(!prompt.isVisible());
        QVERIFY(state.CausionResult);
        QCOMPARE(saves, 0);

        DlgCausion closed(
            state, [&] { ++saves; }, nullptr);
        QVERIFY(!state.CausionResult);  // each showing starts afresh
        closed.show();
        closed.close();
        QVERIFY(!state.CausionResult);
    }

    void causionYesWithACancelledSaveKeepsThePaper() {
        Harness h;
        h.Click(FormPaper::ADD);
        h.state.PaperModified = true;
        h.fake.modal.steps.push_back(Press("OKButton"));
        h.fake.prompts.files.push_back(std::nullopt);
        h.Click(FormPaper::NEW);
        QCOMPARE(h.fake.modal.shown, std::vector<QString>{"DlgCausion"});
        QCOMPARE(h.table().RecordCount(), 2);
        QVERIFY(h.state.PaperModified);
        QVERIFY(!h.state.CausionResult);
    }

    void causionYesSavesThenGoesOn() {
        Harness h;
        QTemporaryDir dir;
        h.Click(FormPaper::ADD);
        h.state.PaperModified = true;
        h.fake.modal.steps.push_back(Press("OKButton"));
        h.fake.prompts.files.push_back(Path(dir, "saved.tpf"));
        h.fake.modal.steps.push_back(Press("CancelButton"));
        h.Click(FormPaper::NEW);
        QVERIFY(QFile::exists(Path(dir, "saved.tpf")));
        QCOMPARE(h.table().RecordCount(), 1);
        QVERIFY(!h.state.PaperModified);
        QVERIFY(h.state.PaperFileName.isEmpty());
    }

    void openAsksAgainAfterACancelledSave() {
        Harness h;
        Modify(h);
        h.fake.prompts.answers = {MsgAnswer::Yes};
        h.fake.prompts.files.push_back(std::nullopt);  // the save dialog
        h.Click(FormPaper::OPEN);
        QCOMPARE(h.window->Paper().PendingCommand(), 1);
        QCOMPARE(h.fake.platform.waitDepth, 1);
        QVERIFY(h.Find<QTimer>("Timer1")->isActive());
        QCOMPARE(h.fake.prompts.Texts(), QStringList{kAsk});
        h.fake.prompts.answers = {MsgAnswer::Cancel};
        QTRY_COMPARE(h.fake.prompts.Texts(), (QStringList{kAsk, kAsk}));
        QCOMPARE(h.window->Paper().PendingCommand(), 0);
        QCOMPARE(h.fake.platform.waitDepth, 0);
        QVERIFY(!h.Find<QTimer>("Timer1")->isActive());
        QVERIFY(h.state.PaperModified);
        // No, then cancelling the open dialog: the paper stays, still modified.
        h.fake.prompts.answers = {MsgAnswer::No};
        h.fake.prompts.files.push_back(std::nullopt);
        h.Click(FormPaper::OPEN);
        QVERIFY(h.state.PaperModified);
        QCOMPARE(h.fake.prompts.fileRequests.back().title,
                 QString("Please choose a file (test paper) to open"));
        QCOMPARE(h.fake.prompts.fileRequests.back().filter, QString("Test Paper (*.tpf)|*.tpf"));
        QCOMPARE(
            h.fake.prompts.fileRequests.back().folder,
            QString::fromStdString((h.fake.platform.ProgramFolder() / "test_papers").string()));
    }

    void openingABadHeaderKeepsThePaperAndCaption() {
        Harness h;
        QTemporaryDir dir;
        const QString bad = Path(dir, "bad.tpf");
        QVERIFY(QFile::copy(SCRIVANE_FIXTURES "/header-mark-lowercase.libxlsxwriter.xlsx", bad));
        const QString good = Path(dir, "good.tpf");
        h.fake.prompts.files = {good};
        h.Click(FormPaper::SAVE);
        h.fake.prompts.files = {bad};
        h.Click(FormPaper::OPEN);
        QCOMPARE(h.fake.prompts.Texts(), QStringList{"Invalid format"});
        QCOMPARE(h.fake.prompts.messages[0].title, QString("Error"));
        QCOMPARE(h.window->windowTitle(), "Quennet  " + good);
        QCOMPARE(h.state.PaperFileName, good);
    }

    void saveStartsWhereThePaperIs() {
        Harness h;
        QTemporaryDir dir;
        const QString own = Path(dir, "week1.tpf");
        h.fake.prompts.files = {own};
        h.Click(FormPaper::SAVE);
        QCOMPARE(h.fake.prompts.fileRequests[0].title,
                 QString("Select the file name that you want to save"));
        QCOMPARE(h.fake.prompts.fileRequests[0].fileName, QString());
        QVERIFY(h.fake.prompts.fileRequests[0].folder.endsWith("test_papers"));
        QCOMPARE(h.window->windowTitle(), "Quennet  " + own);
        QVERIFY(!h.state.PaperModified);

        // Its own name again: no overwrite question.
        Modify(h);
        h.fake.prompts.files = {own};
        h.Click(FormPaper::SAVE);
        QCOMPARE(h.fake.prompts.fileRequests[1].folder, dir.path() + "/");
        QCOMPARE(h.fake.prompts.fileRequests[1].fileName, QString("week1.tpf"));
        QVERIFY(h.fake.prompts.messages.empty());
        QVERIFY(!h.state.PaperModified);

        // Another existing file: the question, with No preselected.
        const QString other = Path(dir, "other.tpf");
        WriteText(other, "keep me");
        Modify(h);
        h.fake.prompts.files = {other};
        h.fake.prompts.answers = {MsgAnswer::No};
        h.Click(FormPaper::SAVE);
        QCOMPARE(h.fake.prompts.Texts(), QStringList{kOverwrite});
        const MessageRequest& ask = h.fake.prompts.messages[0];
        QVERIFY(ask.buttons == MsgButtons::YesNo && ask.icon == MsgIcon::Exclamation);
        QVERIFY(ask.defaultButton == MsgAnswer::No);
        QCOMPARE(ReadText(other), std::string("keep me"));
        QVERIFY(h.state.PaperModified);
        QCOMPARE(h.state.PaperFileName, own);

        // Its own name after the file was removed: written anew.
        QFile::remove(own);
        h.fake.prompts.files = {own};
        h.Click(FormPaper::SAVE);
        QVERIFY(QFile::exists(own));
        QVERIFY(!h.state.PaperModified);
    }

    void aFailedSaveLosesNothing() {
        Harness h;
        QTemporaryDir dir;
        const QString own = Path(dir, "paper.tpf");
        h.fake.prompts.files = {own};
        h.Click(FormPaper::SAVE);
        const std::string before = ReadText(own);
        Modify(h);
        h.excel.faults = [](std::string_view op, int, int) { return op == xlop::SaveAs; };
        h.fake.prompts.files = {own};
        h.Click(FormPaper::SAVE);
        QCOMPARE(h.fake.prompts.messages.size(), std::size_t(1));
        QVERIFY(h.fake.prompts.messages[0].text.startsWith("The file could not be written.\n"));
        QCOMPARE(h.fake.prompts.messages[0].title, QString("Error"));
        QVERIFY(h.fake.prompts.messages[0].icon == MsgIcon::Exclamation);
        QCOMPARE(ReadText(own), before);
        QVERIFY(h.state.PaperModified);
        QCOMPARE(h.window->windowTitle(), "Quennet  " + own);

        // A folder that cannot be written gives the system's reason.
        h.excel.faults = {};
        h.fake.prompts.messages.clear();
        h.fake.prompts.files = {Path(dir, "no-such-folder/paper.tpf")};
        h.Click(FormPaper::SAVE);
        QCOMPARE(h.fake.prompts.messages.size(), std::size_t(1));
        QVERIFY(h.fake.prompts.messages[0].text.contains("No such file or directory"));
        QCOMPARE(h.state.PaperFileName, own);
    }

    void importPaths() {
        Harness h;
        QTemporaryDir dir;
        const QString sheet = Path(dir, "plain.xls");
        QVERIFY(QFile::copy(SCRIVANE_FIXTURES "/plain-3q.lo.xls", sheet));
        h.fake.prompts.files = {Path(dir, "mine.tpf")};
        h.Click(FormPaper::SAVE);
        Modify(h);
        h.fake.prompts.answers = {MsgAnswer::Cancel};
        h.Click(FormPaper::IMPORT);
        QVERIFY(h.fake.prompts.fileRequests.size() == 1);
        h.fake.prompts.answers = {MsgAnswer::No};
        h.fake.prompts.files = {std::nullopt};
        h.Click(FormPaper::IMPORT);
        QCOMPARE(h.fake.prompts.fileRequests.back().title,
                 QString("Please select the file should be imported."));
        // The specified filter first; the other workbooks as a second choice.
        QCOMPARE(h.fake.prompts.fileRequests.back().filter,
                 QString("Excel File (*.xls)|*.xls|Workbooks (*.xls *.xlsx *.ods)|*.xls *.xlsx "
                         "*.ods"));
        QVERIFY(h.state.PaperModified);
        h.fake.prompts.messages.clear();
        h.fake.prompts.answers = {MsgAnswer::No};
        h.fake.prompts.files = {sheet};
        h.Click(FormPaper::IMPORT);
        QCOMPARE(h.fake.prompts.Texts(), (QStringList{kAsk, "Import succeed"}));
        QCOMPARE(h.fake.prompts.messages[1].title, QString("Message"));
        QCOMPARE(h.table().RecordCount(), 3);
        QCOMPARE(h.Text("LabScoreCount"), QString("17.5"));
        QVERIFY(!h.state.PaperModified);
        QVERIFY(h.state.PaperFileName.isEmpty());
        // The caption is not rebuilt by an import.
        QCOMPARE(h.window->windowTitle(), "Quennet  " + Path(dir, "mine.tpf"));
    }

    // The refusal keeps its text and says why below it; the confirmation
    // says how much was read and what the end of the data left out.
    void importTellsWhatItReadAndWhy_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("details");
        QTest::newRow("plain") << "plain-3q.lo.xls"
                               << "Import succeed"
                               << "3 questions were read.";
        QTest::newRow("gap row") << "gap-row.libxlsxwriter.xlsx"
                                 << "Import succeed"
                                 << "2 questions were read.\nReading stopped at row 4, which has "
                                    "no question number and no mark: rows 5 to 6 below it were "
                                    "left out.";
        QTest::newRow("header") << "header-mark-lowercase.libxlsxwriter.xlsx"
                                << "Invalid format"
                                << "header cell B1 holds \"mark\", expected \"Mark\"";
        QTest::newRow("mark") << "mark-250.5.xlwt.xls"
                              << "Invalid format"
                              << "row 3: mark 250.5 is outside 0 to 250";
    }
    void importTellsWhatItReadAndWhy() {
        QFETCH(QString, fixture);
        QFETCH(QString, text);
        QFETCH(QString, details);
        Harness h;
        h.fake.prompts.files = {QStringLiteral(SCRIVANE_FIXTURES "/") + fixture};
        h.Click(FormPaper::IMPORT);
        QCOMPARE(h.fake.prompts.Texts(), QStringList{text});
        QCOMPARE(h.fake.prompts.messages[0].informativeText, details);
    }

    // SAVE and EXPORT give a name without an extension the one of their
    // list, and ask about that file before replacing it.
    void aNameWithoutExtensionGetsOne() {
        Harness h;
        QTemporaryDir dir;
        h.fake.prompts.files = {Path(dir, "week1")};
        h.Click(FormPaper::SAVE);
        QVERIFY(QFile::exists(Path(dir, "week1.tpf")));
        QVERIFY(!QFile::exists(Path(dir, "week1")));
        QCOMPARE(h.state.PaperFileName, Path(dir, "week1.tpf"));
        QCOMPARE(h.window->windowTitle(), "Quennet  " + Path(dir, "week1.tpf"));

        h.fake.prompts.files = {Path(dir, "week1"), Path(dir, "week1")};
        h.Click(FormPaper::EXPORT);
        QVERIFY(QFile::exists(Path(dir, "week1.xls")));
        h.fake.prompts.answers = {MsgAnswer::No};
        h.Click(FormPaper::EXPORT);  // week1.xls exists now
        QCOMPARE(h.fake.prompts.Texts(), QStringList{kOverwrite});

        // Another paper saved as week1 would replace week1.tpf: asked first.
        h.state.PaperFileName.clear();
        Modify(h);
        h.fake.prompts.messages.clear();
        h.fake.prompts.files = {Path(dir, "week1")};
        h.fake.prompts.answers = {MsgAnswer::No};
        h.Click(FormPaper::SAVE);
        QCOMPARE(h.fake.prompts.Texts(), QStringList{kOverwrite});
        QVERIFY(h.state.PaperModified);
        // A name with an extension stays as it is.
        h.fake.prompts.files = {Path(dir, "week1.v2")};
        h.Click(FormPaper::SAVE);
        QCOMPARE(h.state.PaperFileName, Path(dir, "week1.v2"));
        // A dot inside a name is no extension.
        h.fake.prompts.files = {Path(dir, "Ch.3 quiz")};
        h.Click(FormPaper::SAVE);
        QCOMPARE(h.state.PaperFileName, Path(dir, "Ch.3 quiz.tpf"));
        QVERIFY(QFile::exists(Path(dir, "Ch.3 quiz.tpf")));
    }

    // A paper opened from a file without an extension is saved over that
    // file; an existing file chosen and agreed to is written as chosen.
    void theChosenFileStandsAsChosen() {
        Harness h;
        QTemporaryDir dir;
        const QString made = Path(dir, "made.tpf"), paper2 = Path(dir, "paper2");
        h.fake.prompts.files = {made};
        h.Click(FormPaper::SAVE);
        QVERIFY(QFile::rename(made, paper2));
        h.fake.prompts.files = {paper2};
        h.Click(FormPaper::OPEN);
        QCOMPARE(h.state.PaperFileName, paper2);
        Modify(h);
        h.fake.prompts.files = {paper2};  // Enter in the save dialog
        h.Click(FormPaper::SAVE);
        QVERIFY(h.fake.prompts.messages.empty());
        QVERIFY(!QFile::exists(paper2 + ".tpf"));
        QCOMPARE(h.state.PaperFileName, paper2);
        QCOMPARE(h.window->windowTitle(), "Quennet  " + paper2);
        QVERIFY(!h.state.PaperModified);
        std::vector<QuestionRecord> saved;
        QCOMPARE(ReadPaperFile(paper2, saved).outcome, ImportReport::Outcome::Imported);
        QCOMPARE(saved[0].Title, QStringLiteral("changed"));

        // Another existing file without an extension, agreed to: written as chosen.
        const QString notes = Path(dir, "notes");
        WriteText(notes, "old");
        for (const int command : {int(FormPaper::SAVE), int(FormPaper::EXPORT)}) {
            h.fake.prompts.messages.clear();
            h.fake.prompts.files = {notes};
            h.fake.prompts.answers = {MsgAnswer::Yes};
            h.Click(command);
            QCOMPARE(h.fake.prompts.Texts(), QStringList{kOverwrite});
            QVERIFY(!QFile::exists(notes + ".tpf") && !QFile::exists(notes + ".xls"));
            QCOMPARE(ReadPaperFile(notes, saved).outcome, ImportReport::Outcome::Imported);
            WriteText(notes, "old");
        }
    }

    void onlyAPlainEndingCountsAsAnExtension_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("saved");
        QTest::newRow("none") << "/p/week1"
                              << "/p/week1.tpf";
        QTest::newRow("blank after dot") << "/p/Ch.3 quiz"
                                         << "/p/Ch.3 quiz.tpf";
        QTest::newRow("dot at end") << "/p/quiz."
                                    << "/p/quiz..tpf";
        QTest::newRow("six long") << "/p/notes.backup"
                                  << "/p/notes.backup.tpf";
        QTest::newRow("dot in folder") << "/p/v1.2/quiz"
                                       << "/p/v1.2/quiz.tpf";
        QTest::newRow("punctuation") << "/p/term-1.a_b"
                                     << "/p/term-1.a_b.tpf";
        QTest::newRow("tpf") << "/p/quiz.tpf"
                             << "/p/quiz.tpf";
        QTest::newRow("letters and digits") << "/p/week1.v2"
                                            << "/p/week1.v2";
        QTest::newRow("five") << "/p/quiz.xlsx1"
                              << "/p/quiz.xlsx1";
    }
    void onlyAPlainEndingCountsAsAnExtension() {
        QFETCH(QString, chosen);
        QFETCH(QString, saved);
        QCOMPARE(PaperCommands::WithExtension(chosen, QStringLiteral(".tpf")), saved);
    }

    // A link whose file is gone is still something the save would replace
    // (writing through it creates that file): the question comes first.
    void aDanglingLinkIsAskedAbout() {
        Harness h;
        QTemporaryDir dir;
        const QString link = Path(dir, "link.tpf");
        QVERIFY(QFile::link(Path(dir, "gone.tpf"), link));
        Modify(h);
        h.fake.prompts.files = {link};
        h.fake.prompts.answers = {MsgAnswer::No};
        h.Click(FormPaper::SAVE);
        QCOMPARE(h.fake.prompts.Texts(), QStringList{kOverwrite});
        QVERIFY(!QFile::exists(Path(dir, "gone.tpf")));
    }

    // A question whose mark is empty is saved with the mark 0: an empty mark
    // cell would end the questions there when the paper is opened.
    void everyQuestionIsSavedWithAMark() {
        Harness h;
        h.Click(FormPaper::ADD);
        h.Click(FormPaper::ADD);
        h.table().SetAbsolutePosition(2);
        h.table().SetField(QuestionTable::Score, QString());
        QTemporaryDir dir;
        h.fake.prompts.files = {Path(dir, "p.tpf"), Path(dir, "p.tpf")};
        h.Click(FormPaper::SAVE);
        h.Click(FormPaper::OPEN);
        QCOMPARE(Column(h.table(), QuestionTable::Score), (QStringList{"10", "0", "10"}));
    }

    void exportOntoAnExistingFile() {
        Harness h;
        QTemporaryDir dir;
        const QString target = Path(dir, "out.xls");
        WriteText(target, "old");
        Modify(h);
        h.fake.prompts.files = {target};
        h.fake.prompts.answers = {MsgAnswer::No};
        h.Click(FormPaper::EXPORT);
        QCOMPARE(h.fake.prompts.Texts(), QStringList{kOverwrite});
        QCOMPARE(ReadText(target), std::string("old"));
        h.fake.prompts.files = {target};
        h.fake.prompts.answers = {MsgAnswer::Yes};
        h.Click(FormPaper::EXPORT);
        QVERIFY(ReadText(target) != "old");
        QVERIFY(h.state.PaperModified);  // an export is no save
        QVERIFY(h.state.PaperFileName.isEmpty());
        h.fake.prompts.files = {std::nullopt};
        h.Click(FormPaper::EXPORT);
        QCOMPARE(h.fake.prompts.messages.size(), std::size_t(2));
    }

    void exitPaths() {
        {
            Harness h;
            Modify(h);
            h.fake.prompts.answers = {MsgAnswer::Cancel};
            h.Click(FormPaper::EXIT);
            QVERIFY(h.window->isVisible());
            QVERIFY(h.state.PaperModified);
            h.fake.prompts.answers = {MsgAnswer::Yes};
            h.fake.prompts.files = {std::nullopt};  // the save does not take place
            h.window->close();
            QVERIFY(h.window->isVisible());
            QCOMPARE(h.fake.prompts.Texts(), (QStringList{kAsk, kAsk}));
            h.fake.prompts.answers = {MsgAnswer::No};
            h.Click(FormPaper::EXIT);
            QVERIFY(!h.window->isVisible());
        }
        {
            Harness h;
            QTemporaryDir dir;
            Modify(h);
            h.fake.prompts.answers = {MsgAnswer::Yes};
            h.fake.prompts.files = {Path(dir, "on-exit.tpf")};
            h.Click(FormPaper::EXIT);
            QVERIFY(!h.window->isVisible());
            QVERIFY(QFile::exists(Path(dir, "on-exit.tpf")));
        }
    }

    void helpOpensTheFileBesideTheProgram() {
        Harness h;
        h.Click(FormPaper::HELP);
        QVERIFY(h.fake.platform.opened.empty());
        QVERIFY(h.fake.prompts.messages.empty());
        QVERIFY(!h.state.PaperModified);
        WriteText(
            QString::fromStdString((h.fake.platform.ProgramFolder() / "quillary.chm").string()),
            "ITSF");
        h.fake.platform.openResult = false;  // no viewer: the teacher is told where help is
        h.Click(FormPaper::HELP);
        QCOMPARE(h.fake.platform.opened.size(), std::size_t(1));
        QCOMPARE(h.fake.prompts.messages.size(), std::size_t(1));
        QVERIFY(!h.state.PaperModified);
    }

    void wholeRoundTrip() {
        Harness h;
        QTemporaryDir dir;
        h.fake.modal.steps.push_back(QuickNew("4", "5"));
        h.fake.modal.steps.push_back([](QDialog& d) {
            d.findChild<QAbstractButton*>("OptionAnswer_1")->click();
            d.findChild<QAbstractButton*>("OptionAnswer_7")->click();
            d.findChild<QAbstractButton*>("OptionAnswer_9")->click();
            d.findChild<QAbstractButton*>("CommandOK")->click();
        });
        h.Click(FormPaper::NEW);
        QuestionTable& t = h.table();
        t.SetAbsolutePosition(3);
        t.SetBoundValue(QuestionTable::Title, QStringLiteral("  Which river is longest? 长江 "));
        t.SetBoundValue(QuestionTable::ItemA, QStringLiteral("Nile"));
        t.SetBoundValue(QuestionTable::Score, QStringLiteral("12.5"));
        h.Find<QLineEdit>("TextScore")->setText("12.5");
        h.Click(FormPaper::DOWN);
        QCOMPARE(h.Text("LabScoreCount"), QString("27.5"));
        const QStringList before[] = {Column(t, 1), Column(t, 2), Column(t, 3), Column(t, 4)};
        const QString file = Path(dir, "round.tpf");
        h.fake.prompts.files = {file};
        h.Click(FormPaper::SAVE);
        h.fake.modal.steps.push_back(Press("CancelButton"));
        h.Click(FormPaper::NEW);
        QCOMPARE(t.RecordCount(), 1);
        h.fake.prompts.files = {file};
        h.Click(FormPaper::OPEN);
        QCOMPARE(t.RecordCount(), 4);
        const QStringList after[] = {Column(t, 1), Column(t, 2), Column(t, 3), Column(t, 4)};
        for (int c = 0; c < 4; ++c) QCOMPARE(after[c], before[c]);
        QCOMPARE(h.window->windowTitle(), "Quennet  " + file);
        QVERIFY(!h.state.PaperModified);
        QCOMPARE(h.Text("LabScoreCount"), QString("27.5"));
    }
};

QTEST_MAIN(PaperCommandsTest)
#include "test_papercommands.moc"
