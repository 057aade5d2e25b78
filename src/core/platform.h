// The seam to the desktop that the windows need beyond prompts: the screen,
// the program's folder, the user's data folder, the busy pointer and opening
// a file with its viewer.
#pragma once

#include <QSize>
#include <QStandardPaths>
#include <QString>
#include <filesystem>

namespace scrivane {

class Platform {
public:
    virtual ~Platform() = default;
    // The primary screen's size in pixels and its logical dots per inch.
    virtual QSize ScreenPixels() const = 0;
    virtual double LogicalDpi() const = 0;
    // The folder of the running program.
    virtual std::filesystem::path ProgramFolder() const = 0;
    // The hourglass pointer for long operations.
    virtual void SetWaitCursor(bool on) = 0;
    // Lets pending window events run once, so the window repaints.
    virtual void ProcessPendingEvents() = 0;
    // Opens a file with the desktop's viewer for it; false when that failed.
    virtual bool OpenWithDesktop(const std::filesystem::path& file) = 0;
    // The file that keeps the user's settings (the recent papers) between
    // runs; empty keeps them for this run only.
    virtual QString SettingsFile() const { return {}; }

    // The user's data folder for this program, where the recovery files live.
    virtual QString DataFolder() const {
        return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    }

    double ScreenWidthTwips() const { return ScreenPixels().width() * 1440.0 / LogicalDpi(); }
    double ScreenHeightTwips() const { return ScreenPixels().height() * 1440.0 / LogicalDpi(); }
};

}  // namespace scrivane
