// Print, Print Preview and Export PDF from the real window's File menu, with
// the print dialog driven through its controls and the file dialogs scripted.
#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QSpinBox>

#include "harness.h"
#include "print/printcommands.h"
#include "print/printmenu.h"
#include "printtestsupport.h"
#include "sheetscan.h"

using namespace scrivane;
using namespace scrivane::test;

namespace {

template <typename T>
T* Child(QDialog& dialog, const char* name) {
    auto* child = dialog.findChild<T*>(QString::fromLatin1(name));
    if (!child) qWarning("no control %s", name);
    return child;
}

// A click on the box itself, as a check box in a wide row takes clicks only there.
void Toggle(QDialog& dialog, const char* box) {
    auto* check = Child<QCheckBox>(dialog, box);
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
}

void Click(QDialog& dialog, const char* button) {
    QTest::mouseClick(Child<QPushButton>(dialog, button), Qt::LeftButton);
}

struct PrintHarness : Harness {
    PrintCommands& commands = AttachPrintCommands(*window, state, fake.seams);
    QTemporaryDir dir;

    PrintHarness() {
        // The blank paper's one question, filled in.
        table().SetField(QuestionTable::Title, QStringLiteral("Which is a noble gas?"));
        table().SetField(QuestionTable::ItemA, QStringLiteral("Neon"));
        table().SetField(QuestionTable::ItemB, QStringLiteral("Nitrogen"));
        table().SetField(QuestionTable::Answer, QStringLiteral("A"));
    }
    void Trigger(const char* action) {
        QAction* found = window->findChild<QAction*>(QString::fromLatin1(action));
        QVERIFY2(found, action);
        found->trigger();
    }
};

}  // namespace

class PrintCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void menuActions();
    void exportPdfKeepsTheChoices();
    void printThroughTheSystemDialog();
    void previewShowsThePages();
    void refusals();
};

void PrintCommandsTest::menuActions() {
    PrintHarness h;
    QMenu* file = h.window->findChild<QMenu*>(QStringLiteral("menuFile"));
    QVERIFY(file);
    QStringList names;
    for (QAction* action : file->actions()) names << action->objectName();
    for (const char* name : {"actionPrint", "actionPrintPreview", "actionExportPdf"})
        QVERIFY2(names.contains(QString::fromLatin1(name)), name);
    QCOMPARE(h.window->findChild<QAction*>(QStringLiteral("actionPrint"))->shortcut(),
             QKeySequence(QStringLiteral("Ctrl+P")));
}

void PrintCommandsTest::exportPdfKeepsTheChoices() {
    PrintHarness h;
    QString seed;
    h.fake.modal.steps.push_back([&](QDialog& dialog) {
        QCOMPARE(dialog.objectName(), QStringLiteral("DialogPrint"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Print"));
        QCOMPARE(Child<QLineEdit>(dialog, "TextHeading")->text(), QStringLiteral("Test paper"));
        QVERIFY(Child<QCheckBox>(dialog, "CheckPaper")->isChecked());
        QVERIFY(Child<QCheckBox>(dialog, "CheckKey")->isChecked());
        QVERIFY(!Child<QCheckBox>(dialog, "CheckAnswerSheet")->isChecked());
        QVERIFY(!Child<QCheckBox>(dialog, "CheckShuffleQuestions")->isChecked());
        seed = Child<QLineEdit>(dialog, "TextSeed")->text();
        Child<QSpinBox>(dialog, "SpinVersions")->setValue(2);
        // The student number's digits count only for an answer sheet.
        auto* digits = Child<QSpinBox>(dialog, "SpinIdDigits");
        QCOMPARE(digits->value(), 8);
        QCOMPARE(digits->minimum(), 0);
        QCOMPARE(digits->maximum(), 10);
        QVERIFY(!digits->isEnabled());
        Toggle(dialog, "CheckAnswerSheet");
        QVERIFY(digits->isEnabled());
        digits->setValue(4);
        Toggle(dialog, "CheckShuffleOptions");
        Click(dialog, "ButtonOK");
    });
    h.fake.prompts.files.push_back(h.dir.filePath(QStringLiteral("chemistry")));
    h.Trigger("actionExportPdf");
    QVERIFY(seed.toUInt() > 0);
    QCOMPARE(h.fake.prompts.fileRequests.size(), std::size_t(1));
    QCOMPARE(h.fake.prompts.fileRequests[0].title, QStringLiteral("Export PDF"));
    QCOMPARE(h.fake.prompts.fileRequests[0].fileName, QStringLiteral("Test paper.pdf"));
    const QString pdf = h.dir.filePath(QStringLiteral("chemistry.pdf"));  // ".pdf" added
    const QString text = Squeezed(PdfText(pdf));
    for (const char* expected :
         {"VersionB", "Whichisanoblegas?", "Neon", "Answersheet", "Answerkey", "Studentnumber"})
        QVERIFY2(text.contains(QString::fromLatin1(expected)), expected);
    QVERIFY(h.fake.prompts.messages.empty());

    // The choices stay for the next command; Cancel does nothing.
    h.fake.modal.steps.push_back([&](QDialog& dialog) {
        QCOMPARE(Child<QSpinBox>(dialog, "SpinVersions")->value(), 2);
        QVERIFY(Child<QCheckBox>(dialog, "CheckAnswerSheet")->isChecked());
        QCOMPARE(Child<QSpinBox>(dialog, "SpinIdDigits")->value(), 4);
        QVERIFY(Child<QCheckBox>(dialog, "CheckShuffleOptions")->isChecked());
        QCOMPARE(Child<QLineEdit>(dialog, "TextSeed")->text(), seed);
        Click(dialog, "ButtonCancel");
    });
    h.Trigger("actionExportPdf");
    QCOMPARE(h.fake.prompts.fileRequests.size(), std::size_t(1));

    // An existing file is replaced only when the user says so.
    const QDateTime written = QFileInfo(pdf).lastModified();
    h.fake.modal.steps.push_back([](QDialog& dialog) { Click(dialog, "ButtonOK"); });
    h.fake.prompts.files.push_back(pdf);
    h.fake.prompts.answers.push_back(MsgAnswer::No);
    h.Trigger("actionExportPdf");
    QCOMPARE(h.fake.prompts.Texts(),
             QStringList{QStringLiteral("File exists. Overwrite it or not?")});
    QCOMPARE(QFileInfo(pdf).lastModified(), written);

    // A folder that cannot be written is told.
    h.fake.modal.steps.push_back([](QDialog& dialog) { Click(dialog, "ButtonOK"); });
    h.fake.prompts.files.push_back(QStringLiteral("/nonexistent/folder/paper.pdf"));
    h.Trigger("actionExportPdf");
    QCOMPARE(h.fake.prompts.messages.back().title, QStringLiteral("Error"));
    QVERIFY(h.fake.prompts.messages.back().text.startsWith(
        QStringLiteral("The file could not be written.")));
}

void PrintCommandsTest::printThroughTheSystemDialog() {
    PrintHarness h;
    h.state.PaperFileName = h.dir.filePath(QStringLiteral("Unit 4.tpf"));
    const QString pdf = h.dir.filePath(QStringLiteral("printed.pdf"));
    h.fake.modal.steps.push_back([](QDialog& dialog) {
        QCOMPARE(Child<QLineEdit>(dialog, "TextHeading")->text(), QStringLiteral("Unit 4"));
        Toggle(dialog, "CheckAnswerSheet");
        Click(dialog, "ButtonOK");
    });
    h.fake.modal.steps.push_back([&](QDialog& dialog) {
        auto* print = qobject_cast<QPrintDialog*>(&dialog);
        QVERIFY(print);
        print->printer()->setOutputFileName(pdf);
        print->done(QDialog::Accepted);
    });
    h.Trigger("actionPrint");
    QCOMPARE(h.fake.modal.shown, (std::vector<QString>{"DialogPrint", "PrintDialog"}));
    const QString text = PdfText(pdf);
    QVERIFY(text.contains(QStringLiteral("Which is a noble gas?")));
    QVERIFY(text.contains(QStringLiteral("Unit 4")));
    QCOMPARE(h.fake.platform.waitDepth, 0);

    // The sheet, the paper's third page, stands on the whole paper with its
    // top-left marker 8 mm from the corner, and its code names the paper.
    const QImage sheet = ScanPdfPage(pdf, 3, 150);
    QVERIFY(!sheet.isNull());
    QVERIFY(qGray(sheet.pixel(68, 68)) < 64);   // 11.5 mm in: the marker's centre
    QVERIFY(qGray(sheet.pixel(40, 40)) > 192);  // 6.8 mm in: outside it
    const auto code = SheetCode::Decode(ReadQr(sheet));
    QVERIFY(code);
    const std::vector<QuestionRecord> records = h.window->BoundTable().Records();
    QCOMPARE(code->paperDigest, PaperDigest(records, ModeLetters(h.commands.Choices().versions)));
    QCOMPARE(code->textDigest, TextDigest(records));
    QCOMPARE(code->version, QStringLiteral("A"));
    QCOMPARE(code->idDigits, kDefaultIdDigits);
}

void PrintCommandsTest::previewShowsThePages() {
    PrintHarness h;
    int pages = 0;
    h.fake.modal.steps.push_back([](QDialog& dialog) {
        Child<QCheckBox>(dialog, "CheckAnswerSheet")->setChecked(true);
        Click(dialog, "ButtonOK");
    });
    h.fake.modal.steps.push_back([&](QDialog& dialog) {
        QVERIFY(qobject_cast<QPrintPreviewDialog*>(&dialog));
        auto* preview = dialog.findChild<QPrintPreviewWidget*>();
        QVERIFY(preview);
        preview->updatePreview();
        pages = preview->pageCount();
        dialog.reject();
    });
    h.Trigger("actionPrintPreview");
    QCOMPARE(pages, 3);  // the paper, its key and its answer sheet
}

void PrintCommandsTest::refusals() {
    PrintHarness h;
    // A mark refused in the edit panel stops the command before anything is shown.
    auto* mark = h.Find<QLineEdit>(QStringLiteral("TextScore"));
    mark->setFocus();
    mark->selectAll();
    QTest::keyClicks(mark, QStringLiteral("999"));
    h.Trigger("actionPrint");
    QVERIFY(h.fake.modal.shown.empty());
    QCOMPARE(h.fake.prompts.messages.size(), std::size_t(1));
    mark->selectAll();
    QTest::keyClicks(mark, QStringLiteral("5"));
    h.fake.prompts.messages.clear();

    // So can any other step before printing.
    bool allow = false;
    h.commands.AddBeforePrinting([&] { return allow; });
    h.Trigger("actionPrint");
    QVERIFY(h.fake.modal.shown.empty());

    // A seed that is not a number, and nothing chosen to print, keep the dialog open.
    allow = true;
    h.fake.modal.steps.push_back([](QDialog& dialog) {
        Child<QLineEdit>(dialog, "TextSeed")->setText(QStringLiteral("12a"));
        Click(dialog, "ButtonOK");
        QVERIFY(dialog.isVisible());
        Child<QLineEdit>(dialog, "TextSeed")->setText(QStringLiteral("12"));
        Child<QCheckBox>(dialog, "CheckPaper")->setChecked(false);
        Child<QCheckBox>(dialog, "CheckKey")->setChecked(false);
        Click(dialog, "ButtonOK");
        QVERIFY(dialog.isVisible());
        Click(dialog, "ButtonCancel");
    });
    h.Trigger("actionExportPdf");
    QCOMPARE(h.fake.prompts.Texts(),
             (QStringList{QStringLiteral("The seed should be a whole number from 0 to 4294967295."),
                          QStringLiteral("Choose at least one of the question paper, the answer "
                                         "key and the answer sheet.")}));
    QVERIFY(h.fake.prompts.fileRequests.empty());

    // An empty paper is not printed.
    PrintCommands empty(
        h.fake.seams, [] { return std::vector<QuestionRecord>{}; }, [] { return QString(); },
        h.window.get());
    empty.ExportPdf_Click();
    QCOMPARE(h.fake.prompts.Texts().back(), QStringLiteral("The test paper should not be empty."));
    QCOMPARE(h.fake.modal.shown.size(), std::size_t(1));
}

QTEST_MAIN(PrintCommandsTest)
#include "test_printcommands.moc"
