// Scrivane: hands control to start-up and runs until the main window closes.
#include <QApplication>

#include "dialogs/desktopseams.h"
#include "editor/formpaper.h"
#include "editor/startup.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Scrivane"));
    scrivane::DesktopPrompts prompts;
    scrivane::DesktopPlatform platform;
    scrivane::DesktopModalRunner modal;
    scrivane::Seams seams{prompts, platform, modal};
    scrivane::Moddule1 state;
    const auto window = scrivane::Main(state, seams);
    return QApplication::exec();
}
