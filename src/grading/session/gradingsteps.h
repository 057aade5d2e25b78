// The undo steps of a grading's corrections: sheets changed, added or taken
// out (with the list of scans), and the adjustments of flawed questions. Each
// puts its state back through GradingEdits, which the session implements.
#pragma once

#include <QStringList>
#include <QUndoCommand>
#include <optional>
#include <vector>

#include "grading/session/gradingsheet.h"

namespace scrivane {

// One sheet as a step finds it and leaves it (none when it is not there).
struct SheetChange {
    int id = 0;
    int index = 0;  // where the sheet stands, or comes back
    std::optional<GradingSheet> before, after;
};

// What the steps change in a grading.
class GradingEdits {
public:
    // Every sheet of changes as it stands before (undone) or after the step,
    // and the list of scans as it then is; scored, kept and told once.
    virtual void PutSheets(const std::vector<SheetChange>& changes, bool undone,
                           const QStringList& scans) = 0;
    virtual void PutAdjustments(const GradingAdjustments& adjustments) = 0;

protected:
    ~GradingEdits() = default;
};

// A correction of sheets, with the list of scans before and after.
class SheetsStep : public QUndoCommand {
public:
    SheetsStep(GradingEdits& grading, const QString& text, std::vector<SheetChange> changes,
               QStringList scansBefore, QStringList scansAfter);
    void redo() override;
    void undo() override;

private:
    GradingEdits& grading_;
    std::vector<SheetChange> changes_;
    QStringList scansBefore_, scansAfter_;
};

// The adjustments of flawed questions or the class list changed.
class AdjustStep : public QUndoCommand {
public:
    AdjustStep(GradingEdits& grading, const QString& text, GradingAdjustments before,
               GradingAdjustments after);
    void redo() override;
    void undo() override;

private:
    GradingEdits& grading_;
    GradingAdjustments before_, after_;
};

}  // namespace scrivane
