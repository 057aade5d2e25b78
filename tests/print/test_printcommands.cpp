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
#include "print/ui/printcommands.h"
#include "print/ui/printmenu.h"
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
    PrintCommands& commands = AttachPrintCommands(window->Context());
    QTemporaryDir dir;

    explicit PrintHarness(std::int16_t answerType = 3,
                          const std::function<void(FakeSeams&)>& prepare = {})
        : Harness(answerType, {1024, 768}, prepare) {
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
    void choicesKeptForRecentPapers();
    void quickPaperPrintsTheModesLetters();
    void damagedPrintSettings();
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
        print->printer()->setCopyCount(3);
        print->done(QDialog::Accepted);
    });
    h.Trigger("actionPrint");
    QCOMPARE(h.fake.modal.shown, (std::vector<QString>{"DialogPrint", "PrintDialog"}));
    const QString text = PdfText(pdf);
    QVERIFY(text.contains(QStringLiteral("Which is a noble gas?")));
    QVERIFY(text.contains(QStringLiteral("Unit 4")));
    // Three copies of the paper, three of the sheet, then its key once.
    const QStringList pages = text.split(u'\f');
    QCOMPARE(pages.size(), 8);  // and the empty text after the last form feed
    for (int p = 0; p < 3; ++p) QVERIFY(pages[p].contains(QStringLiteral("Which is a noble gas?")));
    for (int p = 3; p < 6; ++p) QVERIFY(pages[p].contains(QStringLiteral("Answer sheet")));
    QVERIFY(pages[6].contains(QStringLiteral("Answer key")));
    QCOMPARE(h.fake.platform.waitDepth, 0);

    // The sheet, the fourth page, stands on the whole paper with its
    // top-left marker 8 mm from the corner, and its code names the paper.
    const QImage sheet = ScanPdfPage(pdf, 4, 150);
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

// The last choices for each recent paper outlive the program; the ninth
// paper printed pushes out the oldest.
void PrintCommandsTest::choicesKeptForRecentPapers() {
    QTemporaryDir papers;
    const auto paper = [&](const QString& name) { return papers.filePath(name + ".tpf"); };
    const auto choose = [](const std::function<void(QDialog&)>& change) {
        return [change](QDialog& dialog) {
            if (change) change(dialog);
            Click(dialog, "ButtonOK");
        };
    };
    const auto reject = [](QDialog& dialog) { dialog.reject(); };  // the system print dialog
    // What a window leaves in its settings file, for the next one.
    QByteArray settings;
    const auto keep = [&settings](PrintHarness& h) {
        QFile file(h.fake.platform.SettingsFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        settings = file.readAll();
    };
    {
        PrintHarness h;
        h.state.PaperFileName = paper("Unit 5");
        h.fake.modal.steps.push_back(choose([](QDialog& dialog) {
            Child<QLineEdit>(dialog, "TextHeading")->setText(QStringLiteral("Final exam"));
            Child<QLineEdit>(dialog, "TextSubheading")->setText(QStringLiteral("Class 4B"));
            Child<QSpinBox>(dialog, "SpinVersions")->setValue(3);
            Toggle(dialog, "CheckShuffleQuestions");
            Toggle(dialog, "CheckMarks");
            Toggle(dialog, "CheckAnswerSheet");
            Child<QSpinBox>(dialog, "SpinIdDigits")->setValue(6);
            Child<QLineEdit>(dialog, "TextSeed")->setText(QStringLiteral("679717"));
        }));
        h.fake.modal.steps.push_back(reject);
        h.Trigger("actionPrint");
        h.state.PaperFileName = paper("Unit 6");
        h.fake.modal.steps.push_back(choose([](QDialog& dialog) {
            Child<QLineEdit>(dialog, "TextHeading")->setText(QStringLiteral("Unit 6 quiz"));
            Child<QLineEdit>(dialog, "TextSeed")->setText(QStringLiteral("4294967295"));
        }));
        h.fake.modal.steps.push_back(reject);
        h.Trigger("actionPrint");
        keep(h);
    }
    // As after a restart: the same settings file, a fresh window.
    const auto restart = [&settings](FakeSeams& fake) {
        QFile file(fake.platform.SettingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(settings) == settings.size());
    };
    {
        PrintHarness h(3, restart);
        h.state.PaperFileName = paper("Unit 5");
        h.fake.modal.steps.push_back(choose([](QDialog& dialog) {
            QCOMPARE(Child<QLineEdit>(dialog, "TextHeading")->text(), QStringLiteral("Final exam"));
            QCOMPARE(Child<QLineEdit>(dialog, "TextSubheading")->text(),
                     QStringLiteral("Class 4B"));
            QCOMPARE(Child<QSpinBox>(dialog, "SpinVersions")->value(), 3);
            QVERIFY(Child<QCheckBox>(dialog, "CheckShuffleQuestions")->isChecked());
            QVERIFY(!Child<QCheckBox>(dialog, "CheckShuffleOptions")->isChecked());
            QVERIFY(!Child<QCheckBox>(dialog, "CheckMarks")->isChecked());
            QVERIFY(Child<QCheckBox>(dialog, "CheckAnswerSheet")->isChecked());
            QVERIFY(Child<QCheckBox>(dialog, "CheckKey")->isChecked());
            QCOMPARE(Child<QSpinBox>(dialog, "SpinIdDigits")->value(), 6);
            QCOMPARE(Child<QLineEdit>(dialog, "TextSeed")->text(), QStringLiteral("679717"));
        }));
        h.fake.modal.steps.push_back(reject);
        h.Trigger("actionPrint");
        h.state.PaperFileName = paper("Unit 6");
        h.fake.modal.steps.push_back(choose([](QDialog& dialog) {
            QCOMPARE(Child<QLineEdit>(dialog, "TextHeading")->text(),
                     QStringLiteral("Unit 6 quiz"));
            QCOMPARE(Child<QLineEdit>(dialog, "TextSeed")->text(), QStringLiteral("4294967295"));
        }));
        h.fake.modal.steps.push_back(reject);
        h.Trigger("actionPrint");
        // Seven more papers: Unit 5, the oldest, goes.
        for (int n = 1; n <= 7; ++n) {
            h.state.PaperFileName = paper(QStringLiteral("Extra %1").arg(n));
            h.fake.modal.steps.push_back(choose({}));
            h.fake.modal.steps.push_back(reject);
            h.Trigger("actionPrint");
        }
        QVERIFY(h.fake.prompts.messages.empty());
        keep(h);
    }
    PrintHarness h(3, restart);
    h.state.PaperFileName = paper("Unit 5");
    h.fake.modal.steps.push_back([](QDialog& dialog) {
        QCOMPARE(Child<QLineEdit>(dialog, "TextHeading")->text(), QStringLiteral("Unit 5"));
        QCOMPARE(Child<QSpinBox>(dialog, "SpinVersions")->value(), 1);
        QVERIFY(Child<QLineEdit>(dialog, "TextSeed")->text() != QStringLiteral("679717"));
        Click(dialog, "ButtonCancel");
    });
    h.Trigger("actionPrint");
    h.state.PaperFileName = paper("Unit 6");
    h.fake.modal.steps.push_back([](QDialog& dialog) {
        QCOMPARE(Child<QLineEdit>(dialog, "TextHeading")->text(), QStringLiteral("Unit 6 quiz"));
        Click(dialog, "ButtonCancel");
    });
    h.Trigger("actionPrint");
}

// A quick paper's question (an answer, no option texts) prints the letters
// of the answer mode.
void PrintCommandsTest::quickPaperPrintsTheModesLetters() {
    for (const std::int16_t answerType : {std::int16_t(0), std::int16_t(3)}) {
        PrintHarness h(answerType);
        h.table().SetField(QuestionTable::Title, QString());
        h.table().SetField(QuestionTable::ItemA, QString());
        h.table().SetField(QuestionTable::ItemB, QString());
        h.fake.modal.steps.push_back([](QDialog& dialog) { Click(dialog, "ButtonOK"); });
        const QString pdf = h.dir.filePath(QStringLiteral("quick.pdf"));
        h.fake.prompts.files.push_back(pdf);
        h.Trigger("actionExportPdf");
        const QString text = Squeezed(PdfText(pdf));
        QVERIFY2(text.contains(answerType == 0 ? QStringLiteral("1.ABCDE(10points)")
                                               : QStringLiteral("1.ABCDEF(10points)")),
                 qPrintable(text));
    }
}

// Values that are not of their kind are passed over, a count beyond the
// versions' limit is held to it, and a huge array size costs nothing.
void PrintCommandsTest::damagedPrintSettings() {
    QTemporaryDir papers;
    const QString paper = papers.filePath(QStringLiteral("Unit 7.tpf"));
    PrintHarness h(3, [&](FakeSeams& fake) {
        QFile file(fake.platform.SettingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[printSettings]\npapers\\1\\path=" + paper.toUtf8() +
                   "\npapers\\1\\heading=Kept\npapers\\1\\versions=99\n"
                   "papers\\1\\seed=12x\npapers\\1\\marks=perhaps\n"
                   "papers\\1\\shuffleOptions=true\npapers\\size=2000000000\n");
    });
    h.state.PaperFileName = paper;
    h.fake.modal.steps.push_back([](QDialog& dialog) {
        QCOMPARE(Child<QLineEdit>(dialog, "TextHeading")->text(), QStringLiteral("Kept"));
        QCOMPARE(Child<QSpinBox>(dialog, "SpinVersions")->value(), kMaxVersions);
        QVERIFY(Child<QLineEdit>(dialog, "TextSeed")->text().toUInt() >= 100000);
        QVERIFY(Child<QCheckBox>(dialog, "CheckMarks")->isChecked());
        QVERIFY(Child<QCheckBox>(dialog, "CheckShuffleOptions")->isChecked());
        Click(dialog, "ButtonCancel");
    });
    h.Trigger("actionPrint");
    QCOMPARE(h.fake.modal.shown.size(), std::size_t(1));
}

QTEST_MAIN(PrintCommandsTest)
#include "test_printcommands.moc"
