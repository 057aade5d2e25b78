// The answer setting dialog of multiple-answer mode: six check boxes A to F.
// It shows CurrentAnswer, rewrites it on every change and, on OK, writes the
// answer text into the main window's answer box.
#pragma once

#include <QDialog>
#include <array>

#include "core/moddule1.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace scrivane {

class DlgAnswerSet : public QDialog {
    Q_OBJECT
public:
    // Loads the dialog: captions, and the boxes from state.CurrentAnswer.
    DlgAnswerSet(Moddule1& state, QLineEdit& answerBox, QWidget* parent = nullptr);

    // The question number; the caller copies the main window's into it.
    QLabel* LabelNo = nullptr;

private:
    void OptionAnswer_Click(int index);
    void OKButton_Click();

    Moddule1& state_;
    QLineEdit& answerBox_;
    QFrame* FrameItem_ = nullptr;
    std::array<QCheckBox*, 6> OptionAnswer_{};
    QPushButton* OKButton_ = nullptr;
    QPushButton* CancelButton_ = nullptr;
};

}  // namespace scrivane
