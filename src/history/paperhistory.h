// The undo history of the paper: every written change is one step on a
// bounded QUndoStack. The commands push their steps here; an edit written by
// the grid or the panel becomes a step by itself.
//
// The history decides the modified flag: the paper is modified unless the
// stack stands at its clean state (the state last saved or opened), or at
// the state in which the paper was read or built unchanged (an import, a
// blank NEW over an unmodified paper) with no save since, whether just put in
// place or come back to by undo or redo.
#pragma once

#include <QObject>
#include <QUndoStack>
#include <memory>
#include <vector>

#include "core/paperdocument.h"

namespace scrivane {

struct PaperName;

class PaperHistory : public QObject {
    Q_OBJECT
public:
    static constexpr int kUndoLimit = 100;

    explicit PaperHistory(PaperDocument& document, QObject* parent = nullptr);
    ~PaperHistory() override;

    QUndoStack& Stack() { return stack_; }
    bool CanUndo() const { return stack_.canUndo(); }
    bool CanRedo() const { return stack_.canRedo(); }
    QString UndoText() const { return stack_.undoText(); }
    QString RedoText() const { return stack_.redoText(); }

    // Runs the step and keeps it; the history owns it. asRead: the paper the
    // step puts in place counts as unmodified until the stack moves.
    void Push(QUndoCommand* step, bool asRead = false);
    void Undo();
    void Redo();

    // The paper now is what the file holds, by a save: no unsaved changes.
    // Only the steps that replace the paper (new, open, import) carry a file
    // name: the name goes to every state since the last of them, so the one
    // that put this paper in place and the next one, which replaces it, learn
    // it; no other step's undo or redo changes the name.
    void MarkSaved(const QString& fileName);
    // The paper now is what a file holds, by an open.
    void MarkClean();
    // Forgets every step. clean: the paper counts as the one on file (start-up);
    // otherwise no state is (a recovered paper).
    void Reset(bool clean);

    // The steps of the commands.
    void AddQuestion(const QuestionRecord& question);
    void DeleteQuestion(int position);
    void MoveQuestion(int from, int to);
    // after.modified: the paper put in place counts as modified (a blank NEW
    // keeps the flag of the paper it replaces).
    void ReplacePaper(const QString& name, const PaperSnapshot& after);
    // All rows at once, keeping the file name; the paper becomes modified and
    // the current question stays where it is when it still exists.
    void ReplaceRows(const QString& name, const std::vector<QuestionRecord>& rows);

private:
    void OnRowEdited(int position, const QuestionRecord& before, const QuestionRecord& after);
    void OnStackMoved();
    // The one place the modified flag is decided.
    void ShowModified();
    // The stack stands just after the step that put a paper in place as read.
    bool AtReadState() const;
    void ForgetDroppedReadStep();

    PaperDocument& document_;
    QUndoStack stack_;
    bool quiet_ = false;    // a push, a mark or a reset: the flag is decided once, after it
    bool asRead_ = false;   // the paper in place is as read, whatever the clean state
    bool written_ = false;  // a row was written, changed or not, since the stack last moved
    // The name of the states now in place, shared with the steps that
    // replace the paper around them.
    std::shared_ptr<PaperName> name_;
    // The step that last put a paper in place as read, while it is on the
    // stack and no save has come since; compared, never used.
    const QUndoCommand* readStep_ = nullptr;
};

}  // namespace scrivane
