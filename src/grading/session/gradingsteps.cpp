#include "grading/session/gradingsteps.h"

namespace scrivane {

SheetsStep::SheetsStep(GradingEdits& grading, const QString& text, std::vector<SheetChange> changes,
                       QStringList scansBefore, QStringList scansAfter)
    : QUndoCommand(text),
      grading_(grading),
      changes_(std::move(changes)),
      scansBefore_(std::move(scansBefore)),
      scansAfter_(std::move(scansAfter)) {}

void SheetsStep::redo() {
    grading_.PutSheets(changes_, false, scansAfter_);
}

void SheetsStep::undo() {
    grading_.PutSheets(changes_, true, scansBefore_);
}

AdjustStep::AdjustStep(GradingEdits& grading, const QString& text, GradingAdjustments before,
                       GradingAdjustments after)
    : QUndoCommand(text), grading_(grading), before_(std::move(before)), after_(std::move(after)) {}

void AdjustStep::redo() {
    grading_.PutAdjustments(after_);
}

void AdjustStep::undo() {
    grading_.PutAdjustments(before_);
}

}  // namespace scrivane
