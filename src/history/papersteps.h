// The undo steps of the paper, each built on the paper document's methods
// and named for the user. A step holds what it changed: one question, a
// position, or, for the steps that replace the paper, the paper before and
// after.
#pragma once

#include <QUndoCommand>
#include <memory>
#include <optional>

#include "core/paperdocument.h"

namespace scrivane {

// An edit of one question written by the grid or the panel. The windows
// have written it already, so the first redo does nothing.
class EditQuestionStep : public QUndoCommand {
public:
    EditQuestionStep(PaperDocument& document, int position, const QuestionRecord& before,
                     const QuestionRecord& after);
    void undo() override;
    void redo() override;
    // "Mark of question 3", "Option B of question 2", "Title picture of
    // question 1", ...
    static QString Name(int position, const QuestionRecord& before, const QuestionRecord& after);

private:
    PaperDocument& document_;
    int position_;
    QuestionRecord before_, after_;
    bool written_ = true;
};

class AddQuestionStep : public QUndoCommand {
public:
    AddQuestionStep(PaperDocument& document, const QuestionRecord& question);
    void undo() override;
    void redo() override;

private:
    PaperDocument& document_;
    QuestionRecord question_;
    int currentBefore_;
};

class DeleteQuestionStep : public QUndoCommand {
public:
    DeleteQuestionStep(PaperDocument& document, int position);
    void undo() override;
    void redo() override;

private:
    PaperDocument& document_;
    int position_;
    QuestionRecord question_;
};

// Moves the question at `from` to the neighbouring place `to`.
class MoveQuestionStep : public QUndoCommand {
public:
    MoveQuestionStep(PaperDocument& document, int from, int to);
    void undo() override;
    void redo() override;

private:
    PaperDocument& document_;
    int from_, to_;
};

// The file name, and the caption where it is not the file name, of every
// state between two steps that replace the paper. Those steps share it, so
// a save names the paper the one put in place and the next one replaces.
struct PaperName {
    QString fileName;
    std::optional<QString> shownName;
};

// Replaces the whole paper (new, open, import); undoing it brings the
// previous paper back whole, with its own file name. Only these steps carry
// a file name: `current` is the history's name of the states now in place,
// which the step moves on redo and back on undo.
class ReplacePaperStep : public QUndoCommand {
public:
    ReplacePaperStep(PaperDocument& document, const QString& name, const PaperSnapshot& after,
                     std::shared_ptr<PaperName>& current);
    void undo() override;
    void redo() override;

private:
    void Install(const std::vector<QuestionRecord>& rows, int current,
                 const std::shared_ptr<PaperName>& name);

    PaperDocument& document_;
    std::shared_ptr<PaperName>& current_;
    std::vector<QuestionRecord> rowsBefore_, rowsAfter_;
    int currentBefore_, currentAfter_;
    std::shared_ptr<PaperName> nameBefore_, nameAfter_;
};

// A change of every question at once (a rebalance): the rows and the current
// question change, the paper's file name and caption stay whatever they are
// when it is undone or redone.
class ReplaceRowsStep : public QUndoCommand {
public:
    ReplaceRowsStep(PaperDocument& document, const QString& name,
                    const std::vector<QuestionRecord>& rows, int current);
    void undo() override;
    void redo() override;

private:
    void Install(const std::vector<QuestionRecord>& rows, int current);

    PaperDocument& document_;
    std::vector<QuestionRecord> rowsBefore_, rowsAfter_;
    int currentBefore_, currentAfter_;
};

}  // namespace scrivane
