// The answer setting dialog of single-answer mode: option buttons A to E and
// "Uncertain". It shows CurrentAnswer, rewrites it on every choice and, on
// OK, writes the answer text into the main window's answer box.
#pragma once

#include <QDialog>
#include <array>

#include "core/moddule1.h"

class QButtonGroup;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace scrivane {

class DlgAnswerSet17 : public QDialog {
    Q_OBJECT
public:
    // Loads the dialog: captions, and the choice from state.CurrentAnswer.
    DlgAnswerSet17(Moddule1& state, QLineEdit& answerBox, QWidget* parent = nullptr);

    // The question number; the caller copies the main window's into it.
    QLabel* LabelNo = nullptr;

private:
    void OptionAnswer_Click();
    void OKButton_Click();

    Moddule1& state_;
    QLineEdit& answerBox_;
    QFrame* FrameItem_ = nullptr;
    QButtonGroup* group_ = nullptr;
    std::array<QRadioButton*, 6> OptionAnswer_{};
    QPushButton* OKButton_ = nullptr;
    QPushButton* CancelButton_ = nullptr;
};

}  // namespace scrivane
