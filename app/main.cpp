// Scrivane: hands control to start-up and runs until the main window closes.
//   scrivane [FILE]   FILE opens at start-up: a name ending .tpf as a test paper,
//                     any other file imported in the format its content shows.
// For the build's check of the grading module, SCRIVANE_QUIT_WHEN_SHOWN=grading
// in the environment loads the module with every symbol bound and ends the
// program once its window has been painted; it fails when the module cannot
// be loaded. A teacher never sets it.
#include <QApplication>
#include <QCommandLineParser>
#include <QEvent>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

#include "checks/ui/attachchecks.h"
#include "checks/ui/paperchecksaction.h"
#include "editor/commandicons.h"
#include "editor/formpaper.h"
#include "editor/startup.h"
#include "grading/menu/gradingmenu.h"
#include "history/paperhistory.h"
#include "print/ui/printcommands.h"
#include "print/ui/printmenu.h"
#include "seams/desktopseams.h"
#include "spreadsheet/svgstandin.h"
#include "workspace/papercontext.h"

namespace {

// Quits once the window it watches has been painted for the first time.
class QuitWhenShown : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !quitting_) {
            quitting_ = true;
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool quitting_ = false;
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    scrivane::InstallSvgStandIn();  // SVG pictures drawn in the workbooks the editor writes
    QApplication::setApplicationName(QStringLiteral("Scrivane"));
    QApplication::setApplicationVersion(QStringLiteral(SCRIVANE_VERSION));
    // Ties the windows to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("scrivane"));
    QApplication::setWindowIcon(scrivane::ProgramIcon());

    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("An editor for multiple-choice test papers."));
    options.addHelpOption();
    options.addVersionOption();
    options.addPositionalArgument(
        QStringLiteral("file"),
        QStringLiteral("A test paper (.tpf) to open, or a file to import: a workbook (.xls, "
                       ".xlsx, .ods), CSV, Moodle XML, GIFT or Aiken."),
        QStringLiteral("[file]"));
    options.process(app);

    scrivane::DesktopPrompts prompts;
    scrivane::DesktopPlatform platform;
    scrivane::DesktopModalRunner modal;
    scrivane::Seams seams{prompts, platform, modal};
    scrivane::Moddule1 state;
    const auto window = scrivane::Main(state, seams);
    // Printing a paper with problems asks first.
    scrivane::PrintCommands& print = scrivane::AttachPrintCommands(window->Context());
    scrivane::PaperChecksAction& checks = scrivane::AttachPaperChecks(window->Context());
    print.AddBeforePrinting([&checks] { return checks.ConfirmPrinting(); });
    // The grading and the libraries behind it load when first chosen.
    scrivane::AttachGradingModule(window->Context());
    if (qgetenv("SCRIVANE_QUIT_WHEN_SHOWN") == "grading") {
        QString why;
        if (!scrivane::LoadGradingModule(&why)) {
            std::fprintf(stderr, "%s\n", qPrintable(why));
            return 1;
        }
        window->installEventFilter(new QuitWhenShown(window.get()));
        return QApplication::exec();
    }
    if (!options.positionalArguments().isEmpty()) {
        // The file opens once the window is up, so its messages have an owner.
        const QString file =
            QFileInfo(options.positionalArguments().constFirst()).absoluteFilePath();
        QTimer::singleShot(0, window.get(), [&window, file] { window->OpenFile(file); });
    }
    return QApplication::exec();
}
