// The grading the window shows: every sheet as read, the teacher's
// corrections on top, the scores against the paper as it stands now, and
// the statistics, with corrections undoable apart from the paper's history.
// The window holds no grading of its own beyond this.
#pragma once

#include <QObject>
#include <QUndoStack>
#include <optional>
#include <vector>

#include "grading/grades.h"
#include "grading/statistics.h"

namespace scrivane {

struct GradedSheet {
    SheetRead read;
    bool accepted = false;   // taken as read by the teacher
    bool corrected = false;  // changed or accepted by the teacher
    bool byHand = false;     // typed in from the student's paper
};

class GradesBook : public QObject {
    Q_OBJECT
public:
    GradesBook(std::vector<QuestionRecord> paper, QString modeLetters, QObject* parent = nullptr);

    // The paper's questions or answers changed: every sheet is scored again.
    void SetPaper(std::vector<QuestionRecord> paper);
    const AnswerKey& Key() const { return key_; }

    void Add(GradedSheet sheet);
    // Corrections, each one undoable step.
    void ToggleOption(int sheet, int question, AnswerMask option);
    void ChooseDigit(int sheet, int position, int digit);
    void SetStudent(int sheet, const QString& digits);
    void Accept(int sheet);
    void Remove(const std::vector<int>& sheets);
    void AddByHand(GradedSheet sheet);
    // For a flawed question: more answers that score, or the mark for all.
    void AlsoAccept(int question, AnswerMask answer);
    void GiveAll(int question);
    void SetClassList(std::optional<ClassList> list);

    const std::vector<GradedSheet>& Sheets() const { return sheets_; }
    const std::vector<SheetResult>& Results() const { return results_; }
    const GradeStatistics& Statistics() const { return stats_; }
    const ClassList* Classes() const { return classList_ ? &*classList_ : nullptr; }
    const std::vector<AnswerMask>& AlsoAccepted(int question) const;
    bool GivenToAll(int question) const;
    int ToReview() const;
    QUndoStack& Undo() { return undo_; }

    // The "Grades" table as a CSV file, through the safe write; the reason
    // when it could not be written.
    QString ExportCsv(const QString& path) const;

signals:
    // Any change of a sheet, the key or the class list; the results are new.
    void Rescored();

private:
    friend class SheetStep;
    friend class KeyStep;
    void Regrade();
    void Replace(std::vector<GradedSheet> sheets, const QString& step);

    AnswerKey key_;
    QString modeLetters_;
    std::vector<GradedSheet> sheets_;
    std::vector<SheetResult> results_;
    GradeStatistics stats_;
    std::optional<ClassList> classList_;
    std::vector<std::vector<AnswerMask>> alsoAccepted_;  // by question index
    std::vector<bool> givenToAll_;
    QUndoStack undo_;
};

}  // namespace scrivane
