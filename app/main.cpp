// Scrivane: hands control to start-up and runs until the main window closes.
//   scrivane [FILE]   FILE opens at start-up: a name ending .tpf as a test paper,
//                     any other file imported in the format its content shows.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>

#include "checks/ui/attachchecks.h"
#include "checks/ui/paperchecksaction.h"
#include "editor/commandicons.h"
#include "editor/formpaper.h"
#include "editor/startup.h"
#include "grading/ui/attachgrading.h"
#include "history/paperhistory.h"
#include "print/printcommands.h"
#include "print/printmenu.h"
#include "seams/desktopseams.h"
#include "spreadsheet/svgstandin.h"
#include "workspace/papercontext.h"

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
    scrivane::AttachGrading(window->Context());
    if (!options.positionalArguments().isEmpty()) {
        // The file opens once the window is up, so its messages have an owner.
        const QString file =
            QFileInfo(options.positionalArguments().constFirst()).absoluteFilePath();
        QTimer::singleShot(0, window.get(), [&window, file] { window->OpenFile(file); });
    }
    return QApplication::exec();
}
