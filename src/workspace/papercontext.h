// The one door through which a capability (print, checks, interchange,
// grading) attaches to the editor: the paper and its history, the commands
// that save and replace it, the menus, the seams and the window that owns
// the capability's dialogs. A capability keeps the context and never needs
// the main window's own class.
#pragma once

#include <functional>

#include "core/moddule1.h"
#include "core/paperdocument.h"
#include "core/seams.h"

class QWidget;

namespace scrivane {

class EditorSettings;
class MainMenu;
class PaperCommands;
class PaperHistory;

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
    EditorSettings& settings;
    // The menu bar, where a capability adds its actions.
    MainMenu& menu;
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
