// The undo history of the paper: every written change is one step on a
// bounded QUndoStack. The commands push their steps here; an edit written by
// the grid or the panel becomes a step by itself.
//
// The modified flag is set by a step's first run as the commands set it;
// afterwards undoing or redoing to the state last saved or opened clears it
// and any other undo or redo sets it.
#pragma once

#include <QObject>
#include <QUndoStack>
#include <vector>

#include "core/paperdocument.h"

namespace scrivane {

class PaperHistory : public QObject {
    Q_OBJECT
public:
    static constexpr int kUndoLimit = 100;

    explicit PaperHistory(PaperDocument& document, QObject* parent = nullptr);

    QUndoStack& Stack() { return stack_; }
    bool CanUndo() const { return stack_.canUndo(); }
    bool CanRedo() const { return stack_.canRedo(); }
    QString UndoText() const { return stack_.undoText(); }
    QString RedoText() const { return stack_.redoText(); }

    // Runs the step and keeps it; the history owns it.
    void Push(QUndoCommand* step);
    void Undo();
    void Redo();

    // The paper now is what the file holds, by a save: no unsaved changes.
    // Only the steps that replace the paper (new, open, import) carry a file
    // name: the name goes to every state since the last of them, so the one
    // that put this paper in place and the next one, which replaces it, learn
    // it; no other step's undo or redo changes the name.
    void MarkSaved(const QString& fileName);
    // The paper now is what a file holds, by an open.
    void MarkClean() { stack_.setClean(); }
    // Forgets every step. clean: the paper counts as the one on file (start-up);
    // otherwise no state is (a recovered paper).
    void Reset(bool clean);

    // The steps of the commands.
    void AddQuestion(const QuestionRecord& question);
    void DeleteQuestion(int position);
    void MoveQuestion(int from, int to);
    void ReplacePaper(const QString& name, PaperSnapshot after);
    // All rows at once, keeping the file name; the paper becomes modified and
    // the current question stays where it is when it still exists.
    void ReplaceRows(const QString& name, const std::vector<QuestionRecord>& rows);

private:
    void OnRowEdited(int position, const QuestionRecord& before, const QuestionRecord& after);
    void OnIndexChanged();

    PaperDocument& document_;
    QUndoStack stack_;
    bool quiet_ = false;  // a push or a reset: the steps set the flag themselves
};

}  // namespace scrivane
