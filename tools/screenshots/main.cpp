// Makes the screenshots of the documentation from the real windows: the main
// window with a small paper, both answer setting dialogs, the quick new paper
// dialog, both quick answer sheets, the unsaved-changes prompt and the paper
// checks.
//
//   QT_QPA_PLATFORM=offscreen scrivane-screenshots OUTPUT-FOLDER
#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdio>
#include <fstream>
#include <memory>

#include "checks/ui/attachchecks.h"
#include "checks/ui/dialogchecks.h"
#include "checks/ui/paperchecksaction.h"
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
#include "paperfile/dlgcausion.h"

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
        PaperChecksAction& checks = AttachPaperChecks(window->Context());
        FillPaper(*window, kChecked);
        checks.Open();
        checks.Dialog()->ListProblems->setCurrentRow(0);
        ok &= Save(*checks.Dialog(), out, QStringLiteral("dialogchecks.png"));
    }

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
