// The quick answer sheet of single-answer mode: twenty questions a page, each
// with option buttons A to E and "Uncertain". The answers live in
// QuickAnswers; the rows only show the page in view.
#pragma once

#include <array>

#include "dialogs/answerchoices.h"
#include "dialogs/quickanswersheet.h"

class QButtonGroup;

namespace scrivane {

class FormQuickPaper17 : public QuickAnswerSheet {
    Q_OBJECT
public:
    // Loads the sheet: resets QuickAnswers, counts the pages and shows page 1.
    explicit FormQuickPaper17(Moddule1& state, QWidget* parent = nullptr);

    // Gives the six buttons of row k (0 to 19) the button-face colour.
    void ClearRowColors(int k);

private:
    void BuildRow(int k, QFrame& row) override;
    void LoadRowCaptions() override;
    void ShowRow(int k, int q) override;
    void OptionAnswer_Click(int index);

    std::array<QButtonGroup*, kRowsPerPage> rowGroups_{};
    std::array<QRadioButton*, kRowsPerPage * kAnswerChoices> OptionAnswer_{};
};

}  // namespace scrivane
