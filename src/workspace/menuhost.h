// Where a capability puts its commands: the main window's File and Edit
// menus, reached without the window's own menu bar class. The actions are
// the capability's; the host only places them (in the File menu above Quit,
// in the Edit menu at its top or end).
#pragma once

class QAction;

namespace scrivane {

class MenuHost {
public:
    virtual ~MenuHost() = default;
    // Adds an action to the File menu, in the group above Quit.
    virtual void AddFileAction(QAction* action) = 0;
    // Adds an action to the Edit menu: at its top (undo and redo, followed by
    // a separator) or at its end.
    virtual void AddEditAction(QAction* action, bool atTop = false) = 0;
    // Starts a new group at the end of the Edit menu.
    virtual void AddEditSeparator() = 0;
};

}  // namespace scrivane
