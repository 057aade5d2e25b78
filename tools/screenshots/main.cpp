// Makes the screenshots of the documentation from the real windows: the main
// window with a small paper, both answer setting dialogs, the quick new paper
// dialog, both quick answer sheets, the unsaved-changes prompt, the paper
// checks and the grades window with a class's generated scans.
//
//   QT_QPA_PLATFORM=offscreen scrivane-screenshots OUTPUT-FOLDER
#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>

#include "checks/ui/attachchecks.h"
#include "checks/ui/dialogchecks.h"
#include "checks/ui/paperchecksaction.h"
#include "core/answercode.h"
#include "core/moddule1.h"
#include "core/questiontable.h"
#include "core/seams.h"
#include "core/typeinfo.h"
#include "dialogs/dialogquicknew.h"
#include "dialogs/dlganswerset.h"
#include "dialogs/dlganswerset17.h"
#include "dialogs/formquickpaper.h"
#include "dialogs/formquickpaper17.h"
#include "editor/formpaper.h"
#include "editor/startup.h"
#include "grading/ui/attachgrading.h"
#include "grading/ui/dialoggrades.h"
#include "history/paperhistory.h"
#include "paperfile/dlgcausion.h"
#include "paperfile/papercommands.h"
#include "print/layout/answersheet.h"
#include "print/ui/printcommands.h"
#include "print/ui/printmenu.h"
#include "printsample/samplegraphs.h"
#include "scangen/scangen.h"
#include "spreadsheet/paperio.h"
#include "workspace/papercontext.h"

namespace scrivane {
namespace {

// Nobody answers: message boxes take their default, file dialogs are cancelled.
// Anything shown is reported, since the screenshots should need none.
class ToolPrompts : public Prompts {
public:
    MsgAnswer MsgBox(const MessageRequest& request) override {
        std::fprintf(stderr, "unexpected message box: %s\n", qPrintable(request.text));
        if (request.defaultButton) return *request.defaultButton;
        return request.buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Cancel;
    }
    std::optional<QString> ChooseFile(const FileRequest& request) override {
        std::fprintf(stderr, "unexpected file dialog: %s\n", qPrintable(request.title));
        return std::nullopt;
    }
};

// A 1024 by 768 screen at 96 dpi, and a program folder of our own.
class ToolPlatform : public Platform {
public:
    explicit ToolPlatform(std::filesystem::path folder) : folder_(std::move(folder)) {}
    QSize ScreenPixels() const override { return {1024, 768}; }
    double LogicalDpi() const override { return 96; }
    std::filesystem::path ProgramFolder() const override { return folder_; }
    void SetWaitCursor(bool) override {}
    void ProcessPendingEvents() override { QCoreApplication::processEvents(); }
    bool OpenWithDesktop(const std::filesystem::path&) override { return false; }

private:
    std::filesystem::path folder_;
};

// The windows are shown and photographed directly, never run modally.
class ToolModalRunner : public ModalRunner {
public:
    int Exec(QDialog& dialog) override {
        std::fprintf(stderr, "unexpected modal dialog: %s\n", qPrintable(dialog.objectName()));
        return QDialog::Rejected;
    }
};

struct SampleQuestion {
    float mark;
    const char* answer;
    const char* title;
    std::array<const char*, 6> options;
};

const SampleQuestion kSample[] = {
    {4, "B", "Which planet is closest to the Sun?", {"Venus", "Mercury", "Earth", "Mars", "", ""}},
    {4, "AC", "Which of these numbers are prime?", {"2", "4", "7", "9", "15", ""}},
    {2,
     "D",
     "What is the boiling point of water at sea level?",
     {"50 °C", "75 °C", "90 °C", "100 °C", "120 °C", ""}},
    {5,
     "ABE",
     "Which of these are mammals?",
     {"Whale", "Bat", "Shark", "Penguin", "Dolphin", "Eel"}},
    {3,
     "C",
     "Who wrote \"Romeo and Juliet\"?",
     {"Charles Dickens", "Jane Austen", "William Shakespeare", "Mark Twain", "", ""}},
    {2, "Uncertain", "", {"", "", "", "", "", ""}},
};

// A paper for the checks: a key that favours C, a repeated option, a
// missing answer and a mark of 0.
const SampleQuestion kChecked[] = {
    {2,
     "C",
     "Which gas do plants take in?",
     {"Oxygen", "Nitrogen", "Carbon dioxide", "Helium", "", ""}},
    {2, "C", "What is 7 x 8?", {"54", "58", "56", "64", "", ""}},
    {2, "C", "Which is a prime number?", {"21", "27", "29", "33", "", ""}},
    {2, "C", "Which ocean is the largest?", {"Atlantic", "Indian", "Pacific", "Arctic", "", ""}},
    {2, "C", "How many legs has a spider?", {"6", "10", "8", "12", "", ""}},
    {0,
     "A",
     "Which metal is liquid at room temperature?",
     {"Mercury", "Iron", "Tin", "Lead", "", ""}},
    {2, "Uncertain", "Which planet has rings?", {"Saturn", "Mars", "Venus", "", "", ""}},
    {2,
     "B",
     "What colour do blue and yellow make?",
     {"Purple", "Green", "Orange", "green", "", ""}},
    {2, "C", "Which is the longest river?", {"Thames", "Rhine", "Nile", "Seine", "", ""}},
    {2, "D", "Which instrument has 88 keys?", {"Violin", "Flute", "Drum", "Piano", "", ""}},
};

// Fills the main window's paper as an import would: the rows handed to the
// window, which keeps the marks list, the totals and the count.
template <std::size_t N>
void FillPaper(FormPaper& window, const SampleQuestion (&sample)[N]) {
    std::vector<QuestionRecord> rows;
    for (const SampleQuestion& q : sample) {
        QuestionRecord row;
        row.Score = q.mark;
        row.Answer = AnswerTextToMask(QString::fromLatin1(q.answer));
        row.Title = QString::fromUtf8(q.title);
        for (int c = 0; c < 6; ++c)
            row.Items[std::size_t(c)] = QString::fromUtf8(q.options[std::size_t(c)]);
        rows.push_back(row);
    }
    window.ReplacePaper(kStepImport, rows);
    // The panel shows the question with several answers.
    window.BoundTable().SetAbsolutePosition(2);
}

bool Save(QWidget& widget, const QDir& out, const QString& name) {
    widget.show();
    // Two rounds: showing lays out and polishes, the second paints.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    const QString path = out.filePath(name);
    const bool ok = widget.grab().save(path, "PNG");
    std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "could not write",
                 qPrintable(path));
    widget.hide();
    return ok;
}

// The window with one of its menus open, the menu painted where it drops.
bool SaveWithMenu(QWidget& window, const QString& menuName, const QDir& out, const QString& name) {
    auto* menu = window.findChild<QMenu*>(menuName);
    auto* bar = window.findChild<QMenuBar*>(QStringLiteral("MenuBar"));
    if (!menu || !bar) {
        std::fprintf(stderr, "no menu %s\n", qPrintable(menuName));
        return false;
    }
    window.show();
    QCoreApplication::processEvents();
    const QPoint at = bar->actionGeometry(menu->menuAction()).bottomLeft() + QPoint(0, 1);
    menu->popup(bar->mapToGlobal(at));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QPixmap picture = window.grab();
    {
        QPainter painter(&picture);
        painter.drawPixmap(bar->mapTo(&window, at), menu->grab());
    }
    menu->hide();
    const QString path = out.filePath(name);
    const bool ok = picture.save(path, "PNG");
    std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "could not write",
                 qPrintable(path));
    window.hide();
    return ok;
}

void Click(QWidget& window, const QString& name) {
    if (auto* button = window.findChild<QAbstractButton*>(name))
        button->click();
    else
        std::fprintf(stderr, "no button %s in %s\n", qPrintable(name),
                     qPrintable(window.objectName()));
}

// A class of 24 scanned sheets of a 20-question paper: abler students answer
// more questions right, question 12's key is wrong, a few sheets have two
// marks on a question and go to review.
bool SaveGrades(FormPaper& window, Moddule1& state, const QDir& out) {
    QTemporaryDir folder;
    std::vector<QuestionRecord> paper = scangen::SamplePaper(20, 12);
    const QString letters = AnswerModeLetters(state.AnswerType());
    const scangen::PrintRun run = scangen::Print(paper, letters, 1, 12, 6);
    // The key printed in the paper says A where the class was taught C.
    paper[11].Answer = 1;
    const QString paperPath = folder.filePath(QStringLiteral("endofterm.tpf"));
    if (!WritePaperFile(paperPath, paper).WasWritten() ||
        !window.Paper().OpenChosenPaper(paperPath)) {
        std::fprintf(stderr, "could not open the grading paper\n");
        return false;
    }
    const SheetPageLayout& layout = run.layouts[0];
    const QImage blank = RenderBlankSheet(layout, run.versions[0], run.codes[0], 150);
    std::mt19937 random(3);
    std::uniform_real_distribution<double> unit(0, 1);
    QStringList files;
    for (int s = 0; s < 24; ++s) {
        const double ability = 0.45 + 0.5 * unit(random);
        const QString student = QStringLiteral("2400%1").arg(s + 11, 2, 10, QChar(u'0'));
        std::vector<QString> marked(paper.size());
        for (std::size_t q = 0; q < paper.size(); ++q) {
            const int options = paper[q].Items[4].isEmpty() ? 4 : 5;
            int right = 0;
            while (!(run.paper[q].Answer & (1 << right))) ++right;
            if (q == 11) right = 2;
            const int pick = unit(random) < ability
                                 ? right
                                 : std::uniform_int_distribution<int>(0, options - 1)(random);
            marked[q] = QString(QChar(u'A' + pick));
            if ((s == 4 || s == 9 || s == 17) && q == std::size_t(s % 7))
                marked[q] += QChar(u'A' + (pick + 1) % options);
        }
        scangen::Filling filling;
        filling.student = student;
        for (const SheetBubble& b : layout.bubbles)
            filling.marks.push_back((b.kind == SheetBubble::Kind::Answer
                                         ? marked[std::size_t(b.source - 1)].contains(b.option)
                                         : student[b.position].digitValue() == b.digit)
                                        ? scangen::Mark::Pencil
                                        : scangen::Mark::None);
        const QImage page =
            scangen::Distort(scangen::DrawMarks(blank, 150, layout, filling, random), 150,
                             scangen::RandomDistortion(random, 1), random);
        const QString path =
            folder.filePath(QStringLiteral("scan-%1.jpg").arg(s + 1, 2, 10, QChar(u'0')));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return false;
        file.write(scangen::Encode(page, 85, 150));
        files << path;
    }

    PaperContext& context = window.Context();
    window.findChild<QAction*>(QStringLiteral("actionGrade"))->trigger();
    DialogGrades* grades = GradesWindowOf(context);
    if (!grades) return false;
    QEventLoop wait;
    QObject::connect(grades, &DialogGrades::ReadingFinished, &wait, &QEventLoop::quit);
    grades->AddScans(files);
    wait.exec();
    grades->resize(1180, 760);
    const int review = grades->Session().ReviewOrder().front();
    grades->SelectSheet(review);
    QObject::connect(grades, &DialogGrades::PictureShown, &wait, &QEventLoop::quit);
    if (grades->PictureSheet() != review) wait.exec();
    bool ok = Save(*grades, out, QStringLiteral("dialoggrades-review.png"));
    grades->findChild<QTabWidget*>(QStringLiteral("TabsGrades"))->setCurrentIndex(1);
    grades->findChild<QTableView*>(QStringLiteral("TableQuestions"))->selectRow(11);
    ok &= Save(*grades, out, QStringLiteral("dialoggrades-questions.png"));
    grades->close();
    QCoreApplication::processEvents();
    return ok;
}

int Run(const QDir& out) {
    QTemporaryDir programFolder;
    if (!programFolder.isValid() ||
        !WriteTypeInfoFile(
            std::filesystem::path(programFolder.path().toStdString()) / kTypeInfoFileName, 3)) {
        std::fprintf(stderr, "could not prepare a program folder\n");
        return 1;
    }
    ToolPrompts prompts;
    ToolPlatform platform(programFolder.path().toStdString());
    ToolModalRunner modal;
    Seams seams{prompts, platform, modal};
    Moddule1 state;
    bool ok = true;

    const std::unique_ptr<FormPaper> window = Main(state, seams);
    // Every capability attached as the program attaches them, so the menus
    // show all their commands.
    PrintCommands& print = AttachPrintCommands(window->Context());
    PaperChecksAction& checks = AttachPaperChecks(window->Context());
    print.AddBeforePrinting([&checks] { return checks.ConfirmPrinting(); });
    AttachGrading(window->Context());
    FillPaper(*window, kSample);
    ok &= Save(*window, out, QStringLiteral("main-window.png"));
    ok &= SaveWithMenu(*window, QStringLiteral("menuFile"), out,
                       QStringLiteral("main-window-menu.png"));
    {
        // Narrowed, as when snapped to half of a 1920-pixel screen: laid out
        // again. Its status bar tells that the recovery copy cannot be written.
        const QSize full = window->size();
        window->resize(960, full.height());
        auto* status = window->findChild<QStatusBar*>(QStringLiteral("StatusBar"));
        if (status) status->showMessage(QString::fromLatin1(FormPaper::kRecoveryFailedText));
        ok &= Save(*window, out, QStringLiteral("main-window-narrow.png"));
        if (status) status->clearMessage();
        window->resize(full);
    }
    {
        // A question with a graph under its title, shown in the panel.
        std::vector<QuestionRecord> rows = window->BoundTable().Records();
        const int shown = window->BoundTable().CurrentRow();
        if (shown >= 0) {
            rows[std::size_t(shown)].Pictures[kPictureTitle] = {
                sample::Graph(QStringLiteral("cyclist.svg"), QStringLiteral("time"),
                              QStringLiteral("distance"), QStringLiteral("0,0 4,6 7,6 10,9"))};
            window->ReplacePaper(kStepImport, rows);
            window->BoundTable().SetAbsolutePosition(2);
            ok &= Save(*window, out, QStringLiteral("main-window-picture.png"));
        }
        FillPaper(*window, kSample);
    }

    QLineEdit answerBox;
    {
        state.CurrentAnswer = 1 | 4;  // A and C
        DlgAnswerSet dialog(state, answerBox);
        dialog.LabelNo->setText(QStringLiteral("2"));
        ok &= Save(dialog, out, QStringLiteral("dlganswerset.png"));
    }
    {
        state.CurrentAnswer = 8;  // D
        DlgAnswerSet17 dialog(state, answerBox);
        dialog.LabelNo->setText(QStringLiteral("3"));
        ok &= Save(dialog, out, QStringLiteral("dlganswerset17.png"));
    }
    {
        DialogQuickNew dialog(state, prompts);
        ok &= Save(dialog, out, QStringLiteral("dialogquicknew.png"));
    }

    state.QuickQuestionCount = 45;
    state.DefaultScore = 2;
    {
        FormQuickPaper sheet(state);
        // One answer, two answers, one, none: the colours of each case.
        for (int element : {1, 6 + 0, 6 + 3, 12 + 2, 24 + 4, 30 + 1, 30 + 5})
            Click(sheet, QStringLiteral("OptionAnswer_%1").arg(element));
        ok &= Save(sheet, out, QStringLiteral("formquickpaper.png"));
    }
    {
        FormQuickPaper17 sheet(state);
        for (int element : {1, 6 + 0, 12 + 3, 24 + 2, 30 + 4})
            Click(sheet, QStringLiteral("OptionAnswer_%1").arg(element));
        ok &= Save(sheet, out, QStringLiteral("formquickpaper17.png"));
    }
    {
        state.PaperModified = true;
        DlgCausion dialog(state, [] {});
        ok &= Save(dialog, out, QStringLiteral("dlgcausion.png"));
    }

    {
        FillPaper(*window, kChecked);
        checks.Open();
        checks.Dialog()->ListProblems->setCurrentRow(0);
        ok &= Save(*checks.Dialog(), out, QStringLiteral("dialogchecks.png"));
    }

    ok &= SaveGrades(*window, state, out);

    // Closing must not ask to save the sample paper.
    state.PaperModified = false;
    window->close();
    return ok ? 0 : 1;
}

}  // namespace
}  // namespace scrivane

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Scrivane"));
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: scrivane-screenshots OUTPUT-FOLDER\n");
        return 2;
    }
    QDir out(args[1]);
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(args[1]));
        return 1;
    }
    return scrivane::Run(out);
}
