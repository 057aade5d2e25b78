#include "history/papersteps.h"

#include <utility>

namespace scrivane {

EditQuestionStep::EditQuestionStep(PaperDocument& document, int position,
                                   const QuestionRecord& before, const QuestionRecord& after)
    : QUndoCommand(Name(position, before, after)),
      document_(document),
      position_(position),
      before_(before),
      after_(after) {}

QString EditQuestionStep::Name(int position, const QuestionRecord& before,
                               const QuestionRecord& after) {
    QString field;
    int changed = 0;
    if (before.Score != after.Score) {
        field = QStringLiteral("Mark");
        ++changed;
    }
    if (before.Answer != after.Answer) {
        field = QStringLiteral("Answer");
        ++changed;
    }
    if (before.Title != after.Title) {
        field = QStringLiteral("Title");
        ++changed;
    }
    for (int i = 0; i < 6; ++i) {
        if (before.Items[std::size_t(i)] != after.Items[std::size_t(i)]) {
            field = QStringLiteral("Option ") + QChar(u'A' + i);
            ++changed;
        }
    }
    for (int box = 0; box < kPictureBoxes; ++box) {
        if (before.Pictures[std::size_t(box)] != after.Pictures[std::size_t(box)]) {
            field = (box == kPictureTitle ? QStringLiteral("Title")
                                          : QStringLiteral("Option ") + QChar(u'A' + box - 1)) +
                    QStringLiteral(" picture");
            ++changed;
        }
    }
    // One write of several fields is one step.
    if (changed != 1) field = QStringLiteral("Edit");
    return QStringLiteral("%1 of question %2").arg(field).arg(position);
}

void EditQuestionStep::undo() {
    document_.WriteRow(position_, before_);
    document_.SetCurrent(position_);
}

void EditQuestionStep::redo() {
    if (std::exchange(written_, false)) return;
    document_.WriteRow(position_, after_);
    document_.SetCurrent(position_);
}

AddQuestionStep::AddQuestionStep(PaperDocument& document, const QuestionRecord& question)
    : QUndoCommand(QStringLiteral("Add question")),
      document_(document),
      question_(question),
      currentBefore_(document.Current()) {}

void AddQuestionStep::undo() {
    document_.RemoveRow(document_.Count());
    document_.SetCurrent(currentBefore_);
}

void AddQuestionStep::redo() {
    document_.AppendRow(question_);
}

DeleteQuestionStep::DeleteQuestionStep(PaperDocument& document, int position)
    : QUndoCommand(QStringLiteral("Delete question %1").arg(position)),
      document_(document),
      position_(position),
      question_(document.Row(position)) {}

void DeleteQuestionStep::undo() {
    document_.InsertRow(position_, question_);
}

void DeleteQuestionStep::redo() {
    document_.RemoveRow(position_);
}

MoveQuestionStep::MoveQuestionStep(PaperDocument& document, int from, int to)
    : QUndoCommand(QStringLiteral("Move question %1 %2")
                       .arg(from)
                       .arg(to < from ? QStringLiteral("up") : QStringLiteral("down"))),
      document_(document),
      from_(from),
      to_(to) {}

void MoveQuestionStep::undo() {
    document_.ExchangeRows(to_, from_);
}

void MoveQuestionStep::redo() {
    document_.ExchangeRows(from_, to_);
}

ReplacePaperStep::ReplacePaperStep(PaperDocument& document, const QString& name,
                                   const PaperSnapshot& after, std::shared_ptr<PaperName>& current)
    : QUndoCommand(name),
      document_(document),
      current_(current),
      rowsBefore_(document.Rows()),
      rowsAfter_(after.rows),
      currentBefore_(document.Current()),
      currentAfter_(after.current),
      nameBefore_(current),
      nameAfter_(std::make_shared<PaperName>(PaperName{after.fileName, after.shownName})) {}

void ReplacePaperStep::Install(const std::vector<QuestionRecord>& rows, int current,
                               const std::shared_ptr<PaperName>& name) {
    current_ = name;
    document_.Install(rows, name->fileName, current, name->shownName);
}

void ReplacePaperStep::undo() {
    Install(rowsBefore_, currentBefore_, nameBefore_);
}

void ReplacePaperStep::redo() {
    Install(rowsAfter_, currentAfter_, nameAfter_);
}

ReplaceRowsStep::ReplaceRowsStep(PaperDocument& document, const QString& name,
                                 const std::vector<QuestionRecord>& rows, int current)
    : QUndoCommand(name),
      document_(document),
      rowsBefore_(document.Rows()),
      rowsAfter_(rows),
      currentBefore_(document.Current()),
      currentAfter_(current) {}

void ReplaceRowsStep::Install(const std::vector<QuestionRecord>& rows, int current) {
    const QString& shown = document_.ShownName();
    document_.Install(rows, document_.FileName(), current,
                      shown == document_.FileName() ? std::nullopt : std::optional<QString>(shown));
}

void ReplaceRowsStep::undo() {
    Install(rowsBefore_, currentBefore_);
}

void ReplaceRowsStep::redo() {
    Install(rowsAfter_, currentAfter_);
}

}  // namespace scrivane
