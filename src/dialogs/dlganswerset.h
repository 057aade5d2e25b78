// The answer setting dialog of multiple-answer mode: six check boxes A to F.
// It shows CurrentAnswer, rewrites it on every change and, on OK, writes the
// answer text into the main window's answer box.
#pragma once

#include <array>

#include "dialogs/answerchoices.h"
#include "dialogs/answersetdialog.h"

namespace scrivane {

class DlgAnswerSet : public AnswerSetDialog {
    Q_OBJECT
public:
    // Loads the dialog: captions, and the boxes from state.CurrentAnswer.
    DlgAnswerSet(Moddule1& state, QLineEdit& answerBox, QWidget* parent = nullptr);

private:
    void OptionAnswer_Click(int index);

    std::array<QCheckBox*, kAnswerChoices> OptionAnswer_{};
};

}  // namespace scrivane
