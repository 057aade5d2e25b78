#include "history/historyactions.h"

namespace scrivane {

HistoryActions::HistoryActions(PaperHistory& history, std::function<bool()> check, QObject* parent)
    : QObject(parent),
      history_(history),
      check_(std::move(check)),
      undo_(new QAction(this)),
      redo_(new QAction(this)) {
    undo_->setObjectName(QStringLiteral("actionUndo"));
    undo_->setShortcut(QKeySequence(QStringLiteral("Ctrl+Z")));
    redo_->setObjectName(QStringLiteral("actionRedo"));
    redo_->setShortcuts(
        {QKeySequence(QStringLiteral("Ctrl+Shift+Z")), QKeySequence(QStringLiteral("Ctrl+Y"))});
    connect(undo_, &QAction::triggered, this, &HistoryActions::Undo);
    connect(redo_, &QAction::triggered, this, &HistoryActions::Redo);
    QUndoStack& stack = history_.Stack();
    connect(&stack, &QUndoStack::indexChanged, this, &HistoryActions::ShowState);
    connect(&stack, &QUndoStack::undoTextChanged, this, &HistoryActions::ShowState);
    connect(&stack, &QUndoStack::redoTextChanged, this, &HistoryActions::ShowState);
    connect(&stack, &QUndoStack::canUndoChanged, this, &HistoryActions::ShowState);
    connect(&stack, &QUndoStack::canRedoChanged, this, &HistoryActions::ShowState);
    ShowState();
}

void HistoryActions::ShowState() {
    auto show = [](QAction* action, const QString& verb, bool can, const QString& step) {
        action->setEnabled(can);
        action->setText(can && !step.isEmpty() ? verb + u' ' + step : verb);
    };
    show(undo_, QStringLiteral("Undo"), history_.CanUndo(), history_.UndoText());
    show(redo_, QStringLiteral("Redo"), history_.CanRedo(), history_.RedoText());
}

bool HistoryActions::Undo() {
    // The check may write the row's edit, which becomes the step undone.
    if (check_ && !check_()) return false;
    history_.Undo();
    return true;
}

bool HistoryActions::Redo() {
    if (check_ && !check_()) return false;
    history_.Redo();
    return true;
}

}  // namespace scrivane
