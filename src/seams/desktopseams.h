// The program's own seams: real message boxes, file dialogs, screen and
// modal showing.
#pragma once

#include <QString>

#include "core/seams.h"

class QWidget;

namespace scrivane {

// A program's filter ("Scans (*.pdf *.png)|*.pdf *.png|..." with the
// patterns after each bar, blank- or semicolon-separated) as Qt's file
// dialogs read one: "Scans (*.pdf *.png);;...", the patterns in the last
// parentheses, separated by blanks.
QString QtNameFilters(const QString& filter);

class DesktopPrompts : public Prompts {
public:
    MsgAnswer MsgBox(const MessageRequest& request) override;
    std::optional<QString> ChooseFile(const FileRequest& request) override;
    std::optional<FileChoice> ChooseFileAndFilter(const FileRequest& request) override;
    QStringList ChooseFiles(const FileRequest& request) override;
};

class DesktopPlatform : public Platform {
public:
    QSize ScreenPixels() const override;
    double LogicalDpi() const override;
    std::filesystem::path ProgramFolder() const override;
    void SetWaitCursor(bool on) override;
    void ProcessPendingEvents() override;
    bool OpenWithDesktop(const std::filesystem::path& file) override;
    QString SettingsFile() const override;

private:
    int waitDepth_ = 0;
};

class DesktopModalRunner : public ModalRunner {
public:
    int Exec(QDialog& dialog) override;
};

}  // namespace scrivane
