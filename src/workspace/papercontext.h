// The one door through which a capability (print, checks, interchange,
// grading) attaches to the editor: the paper and its history, the commands
// that save and replace it, the menus and the settings file behind their
// interfaces, the seams and the window that owns the capability's dialogs. A
// capability keeps the context and never needs the editor's library.
#pragma once

#include <functional>

#include "core/moddule1.h"
#include "core/paperdocument.h"
#include "core/seams.h"

class QWidget;

namespace scrivane {

class MenuHost;
class PaperCommands;
class PaperHistory;
class PaperWorkspace;
class SettingsFile;

struct PaperContext {
    Moddule1& state;
    Seams& seams;
    // The paper; its signals tell every change (Changed, Replaced, RowEdited,
    // ModifiedChanged, FileNameChanged).
    PaperDocument& document;
    PaperHistory& history;
    // NEW, OPEN, SAVE, IMPORT and EXPORT with their prompts; a capability
    // that needs the paper on disk runs SAVE through it.
    PaperCommands& paper;
    // The paper's workspace; its AnswerModeChanged tells that the teacher
    // switched the answer mode.
    PaperWorkspace& workspace;
    // The settings file, where a capability remembers its choices.
    SettingsFile& settings;
    // The main window's menus, where a capability adds its actions.
    MenuHost& menu;
    // Writes the edit of the current question first; false when the edit was
    // refused and told, and the command that asked must not run.
    std::function<bool()> checkCurrentRow;
    // Makes question `position` (1-based) the current one in the main window
    // and brings the window forward.
    std::function<void(int position)> showQuestion;
    // The main window: the parent of a capability's windows and dialogs.
    QWidget& window;
};

}  // namespace scrivane
