// The main window's menu bar: File, Edit, Settings and Help. Each command
// action stands for a button of the command bar and only reports that it was
// chosen; the window runs the button's own handler. Other capabilities add
// their actions through the menu host (AddFileAction, AddEditAction), or
// find the menus by objectName (menuFile, menuEdit, menuSettings, menuHelp).
#pragma once

#include <QMenuBar>
#include <QStringList>
#include <array>

#include "core/prompts.h"
#include "editor/commandtable.h"
#include "workspace/menuhost.h"

class QActionGroup;

namespace scrivane {

class MainMenu : public QMenuBar, public MenuHost {
    Q_OBJECT
public:
    explicit MainMenu(QWidget* parent = nullptr);

    QMenu* FileMenu() const { return file_; }
    QMenu* RecentMenu() const { return recent_; }
    QMenu* EditMenu() const { return edit_; }
    QMenu* SettingsMenu() const { return settings_; }
    QMenu* HelpMenu() const { return help_; }

    // The action of command button index (0 NEW to 10 HELP).
    QAction* CommandAction(int index) const { return commands_.at(std::size_t(index)); }
    QAction* SetAnswerAction() const { return setAnswer_; }
    QAction* SingleModeAction() const { return singleMode_; }
    QAction* MultipleModeAction() const { return multipleMode_; }
    QAction* AboutAction() const { return about_; }

    // MenuHost
    void AddFileAction(QAction* action) override;
    void AddEditAction(QAction* action, bool atTop = false) override;
    void AddEditSeparator() override;

    // The menus' font follows the window's layout scale, never smaller than
    // the desktop's own.
    void SetScale(double scale);

    // Checks the answer mode's action without reporting a choice.
    void ShowAnswerMode(bool multiple);
    // Lists the recent papers, newest first; an empty list disables the menu.
    void ShowRecentPapers(const QStringList& paths);

signals:
    void CommandChosen(int index);
    void SetAnswerChosen();
    void AnswerModeChosen(bool multiple);
    void RecentPaperChosen(const QString& path);
    void AboutChosen();

private:
    QAction* NewAction(QMenu* menu, const QString& text, const QString& name,
                       const QString& shortcut = {});

    QMenu* file_ = nullptr;
    QMenu* recent_ = nullptr;
    QMenu* edit_ = nullptr;
    QMenu* settings_ = nullptr;
    QMenu* help_ = nullptr;
    std::array<QAction*, kCommandCount> commands_{};
    QAction* setAnswer_ = nullptr;
    QAction* singleMode_ = nullptr;
    QAction* multipleMode_ = nullptr;
    QAction* about_ = nullptr;
    QAction* quitSeparator_ = nullptr;
    QAction* editTopSeparator_ = nullptr;
    double scale_ = 1;
};

// The About box: the program's version, its licence and the Qt it runs on.
MessageRequest AboutScrivane();

}  // namespace scrivane
