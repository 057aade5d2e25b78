// The quick answer sheet of multiple-answer mode: twenty questions a page,
// each with check boxes A to F in any combination. The answers live in
// QuickAnswers; the rows only show the page in view.
#pragma once

#include <array>

#include "dialogs/answerchoices.h"
#include "dialogs/quickanswersheet.h"

namespace scrivane {

class FormQuickPaper : public QuickAnswerSheet {
    Q_OBJECT
public:
    // Loads the sheet: resets QuickAnswers, counts the pages and shows page 1.
    explicit FormQuickPaper(Moddule1& state, QWidget* parent = nullptr);

private:
    void BuildRow(int k, QFrame& row) override;
    void ShowRow(int k, int q) override;
    void OptionAnswer_Click(int index);
    CheckRow RowBoxes(int k) const {
        return CheckRow(&OptionAnswer_[kAnswerChoices * k], kAnswerChoices);
    }

    std::array<QCheckBox*, kRowsPerPage * kAnswerChoices> OptionAnswer_{};
};

}  // namespace scrivane
