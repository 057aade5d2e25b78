// The answer setting dialog of single-answer mode: option buttons A to E and
// "Uncertain". It shows CurrentAnswer, rewrites it on every choice and, on
// OK, writes the answer text into the main window's answer box.
#pragma once

#include <array>

#include "dialogs/answerchoices.h"
#include "dialogs/answersetdialog.h"

class QButtonGroup;

namespace scrivane {

class DlgAnswerSet17 : public AnswerSetDialog {
    Q_OBJECT
public:
    // Loads the dialog: captions, and the choice from state.CurrentAnswer.
    DlgAnswerSet17(Moddule1& state, QLineEdit& answerBox, QWidget* parent = nullptr);

private:
    void OptionAnswer_Click();

    QButtonGroup* group_ = nullptr;
    std::array<QRadioButton*, kAnswerChoices> OptionAnswer_{};
};

}  // namespace scrivane
