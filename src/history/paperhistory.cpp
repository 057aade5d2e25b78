#include "history/paperhistory.h"

#include <algorithm>
#include <utility>

#include "history/papersteps.h"

namespace scrivane {

PaperHistory::PaperHistory(PaperDocument& document, QObject* parent)
    : QObject(parent), document_(document) {
    stack_.setUndoLimit(kUndoLimit);
    connect(&document_, &PaperDocument::RowEdited, this, &PaperHistory::OnRowEdited);
    connect(&stack_, &QUndoStack::indexChanged, this, &PaperHistory::OnIndexChanged);
}

void PaperHistory::Push(QUndoCommand* step) {
    const bool wasQuiet = std::exchange(quiet_, true);
    stack_.push(step);
    quiet_ = wasQuiet;
}

void PaperHistory::Undo() {
    stack_.undo();
}

void PaperHistory::Redo() {
    stack_.redo();
}

void PaperHistory::OnIndexChanged() {
    if (!quiet_) document_.SetModified(!stack_.isClean());
}

void PaperHistory::MarkSaved(const QString& fileName) {
    document_.MarkSaved(fileName);
    stack_.setClean();
    const int index = stack_.index();
    for (int i = index - 1; i >= 0; --i) {
        auto* step = dynamic_cast<ReplacePaperStep*>(const_cast<QUndoCommand*>(stack_.command(i)));
        if (!step) continue;
        step->SetFileNameAfter(fileName);
        break;
    }
    for (int i = index; i < stack_.count(); ++i) {
        auto* step = dynamic_cast<ReplacePaperStep*>(const_cast<QUndoCommand*>(stack_.command(i)));
        if (!step) continue;
        step->SetFileNameBefore(fileName);
        break;
    }
}

void PaperHistory::Reset(bool clean) {
    const bool wasQuiet = std::exchange(quiet_, true);
    stack_.clear();
    if (!clean) stack_.resetClean();
    quiet_ = wasQuiet;
}

void PaperHistory::AddQuestion(const QuestionRecord& question) {
    Push(new AddQuestionStep(document_, question));
}

void PaperHistory::DeleteQuestion(int position) {
    if (position < 1 || position > document_.Count()) return;
    Push(new DeleteQuestionStep(document_, position));
}

void PaperHistory::MoveQuestion(int from, int to) {
    const int count = document_.Count();
    if (from < 1 || to < 1 || from > count || to > count || from == to) return;
    Push(new MoveQuestionStep(document_, from, to));
}

void PaperHistory::ReplacePaper(const QString& name, PaperSnapshot after) {
    Push(new ReplacePaperStep(document_, name, std::move(after)));
}

void PaperHistory::ReplaceRows(const QString& name, const std::vector<QuestionRecord>& rows) {
    const int current = document_.Current();
    Push(new ReplaceRowsStep(document_, name, rows,
                             std::min(current < 1 ? 1 : current, int(rows.size()))));
}

void PaperHistory::OnRowEdited(int position, const QuestionRecord& before,
                               const QuestionRecord& after) {
    Push(new EditQuestionStep(document_, position, before, after));
}

}  // namespace scrivane
