// The Undo and Redo actions of the menu bar: their texts name the step they
// undo or redo ("Undo Delete question 5"), they are disabled when there is
// none, and each first runs the window's check of the current row, which may
// stop it as it stops a command.
#pragma once

#include <QAction>
#include <QObject>
#include <functional>

#include "history/paperhistory.h"

namespace scrivane {

class HistoryActions : public QObject {
    Q_OBJECT
public:
    // check: true when the current row may be left (its edit is written).
    HistoryActions(PaperHistory& history, std::function<bool()> check, QObject* parent = nullptr);

    QAction* UndoAction() const { return undo_; }
    QAction* RedoAction() const { return redo_; }

    // Undo and redo as the actions run them; false when the check refused.
    bool Undo();
    bool Redo();

private:
    void ShowState();

    PaperHistory& history_;
    std::function<bool()> check_;
    QAction* undo_;
    QAction* redo_;
};

}  // namespace scrivane
