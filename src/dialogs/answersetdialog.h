// What the two answer setting dialogs share: the frame holding the question
// number and the choices, OK and Cancel, and OK writing the answer text into
// the main window's answer box.
#pragma once

#include <QDialog>

#include "core/moddule1.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace scrivane {

class AnswerSetDialog : public QDialog {
    Q_OBJECT
public:
    // The question number; the caller copies the main window's into it.
    QLabel* LabelNo = nullptr;

protected:
    // Makes the fixed-size window (client height in twips), the frame and
    // LabelNo; the dialog then adds its choices to FrameItem_.
    AnswerSetDialog(Moddule1& state, QLineEdit& answerBox, int heightTwips, QWidget* parent);

    // Adds OK (at x okX twips) and Cancel below the frame, after the choices
    // in the tab order, and assigns the captions of Form_Load.
    void AddButtons(int okX);

    // The letter keys A to F tick or choose the option of that letter.
    void keyPressEvent(QKeyEvent* event) override;

    Moddule1& state_;
    QFrame* FrameItem_ = nullptr;

private:
    void OKButton_Click();

    QLineEdit& answerBox_;
    QPushButton* OKButton_ = nullptr;
    QPushButton* CancelButton_ = nullptr;
};

}  // namespace scrivane
