#include "history/paperhistory.h"

#include <QScopedValueRollback>
#include <algorithm>

#include "history/papersteps.h"

namespace scrivane {

namespace {

PaperName NameOf(const PaperDocument& document) {
    const PaperSnapshot now = document.Snapshot();
    return {now.fileName, now.shownName};
}

}  // namespace

PaperHistory::PaperHistory(PaperDocument& document, QObject* parent)
    : QObject(parent), document_(document), name_(std::make_shared<PaperName>(NameOf(document))) {
    stack_.setUndoLimit(kUndoLimit);
    connect(&document_, &PaperDocument::RowEdited, this, &PaperHistory::OnRowEdited);
    // A row written unchanged still makes the paper modified, until the
    // history next moves.
    connect(&document_, &PaperDocument::RowWritten, this, [this] {
        written_ = true;
        ShowModified();
    });
    connect(&stack_, &QUndoStack::indexChanged, this, &PaperHistory::OnStackMoved);
    connect(&stack_, &QUndoStack::cleanChanged, this, &PaperHistory::OnStackMoved);
}

PaperHistory::~PaperHistory() = default;

void PaperHistory::ShowModified() {
    document_.SetModified(written_ || (!asRead_ && !stack_.isClean() && !AtReadState()));
}

bool PaperHistory::AtReadState() const {
    const int index = stack_.index();
    return readStep_ && index > 0 && stack_.command(index - 1) == readStep_;
}

void PaperHistory::ForgetDroppedReadStep() {
    // A push drops the steps that were undone, and the oldest past the limit.
    for (int i = 0; readStep_ && i < stack_.count(); ++i)
        if (stack_.command(i) == readStep_) return;
    readStep_ = nullptr;
}

void PaperHistory::OnStackMoved() {
    if (quiet_) return;
    asRead_ = false;
    written_ = false;
    ShowModified();
}

void PaperHistory::Push(QUndoCommand* step, bool asRead) {
    {
        const QScopedValueRollback quiet(quiet_, true);
        stack_.push(step);
    }
    ForgetDroppedReadStep();
    // Undo or redo back to this state finds the paper as read again, until a
    // save makes another state the one on file.
    if (asRead) readStep_ = step;
    asRead_ = asRead;
    written_ = written_ && !asRead;
    ShowModified();
}

void PaperHistory::Undo() {
    stack_.undo();
}

void PaperHistory::Redo() {
    stack_.redo();
}

void PaperHistory::MarkSaved(const QString& fileName) {
    MarkClean();
    *name_ = {fileName, std::nullopt};
    document_.SetFileName(fileName);
}

void PaperHistory::MarkClean() {
    {
        const QScopedValueRollback quiet(quiet_, true);
        stack_.setClean();
    }
    readStep_ = nullptr;
    asRead_ = false;
    written_ = false;
    ShowModified();
}

void PaperHistory::Reset(bool clean) {
    {
        const QScopedValueRollback quiet(quiet_, true);
        stack_.clear();
        if (!clean) stack_.resetClean();
    }
    name_ = std::make_shared<PaperName>(NameOf(document_));
    readStep_ = nullptr;
    asRead_ = false;
    written_ = false;
    ShowModified();
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

void PaperHistory::ReplacePaper(const QString& name, const PaperSnapshot& after) {
    // A name given the paper outside the history starts a name of its own.
    const PaperName now = NameOf(document_);
    if (name_->fileName != now.fileName || name_->shownName != now.shownName)
        name_ = std::make_shared<PaperName>(now);
    Push(new ReplacePaperStep(document_, name, after, name_), !after.modified);
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
