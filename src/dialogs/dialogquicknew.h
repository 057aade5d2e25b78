// The first step of a quick new paper: asks for the question amount and the
// mark every question gets, and leaves them in the shared state.
#pragma once

#include <QDialog>

#include "core/moddule1.h"
#include "core/prompts.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace scrivane {

class DialogQuickNew : public QDialog {
    Q_OBJECT
public:
    // Loads the dialog: captions, both boxes "10", QuickNewResult False.
    DialogQuickNew(Moddule1& state, Prompts& prompts, QWidget* parent = nullptr);

private:
    void OKButton_Click();
    void CancelButton_Click();

    Moddule1& state_;
    Prompts& prompts_;
    QLineEdit* TextScore_ = nullptr;
    QLineEdit* TextQuNo_ = nullptr;
    QPushButton* OKButton_ = nullptr;
    QPushButton* CancelButton_ = nullptr;
};

}  // namespace scrivane
