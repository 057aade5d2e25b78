// The unsaved-changes prompt of the new-paper command: Yes saves first, No
// goes on without saving, Cancel (or the close box) abandons the command.
// The focus starts on No; Enter presses the focused button; Escape does
// nothing.
#pragma once

#include <QDialog>
#include <functional>

#include "core/moddule1.h"

class QLabel;
class QPushButton;

namespace scrivane {

class DlgCausion : public QDialog {
    Q_OBJECT
public:
    // save runs the save command; Yes looks at PaperModified afterwards.
    DlgCausion(Moddule1& state, std::function<void()> save, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void OKButton_Click();
    void NoButton_Click();
    void CancelButton_Click();

    Moddule1& state_;
    std::function<void()> save_;
    QLabel* Label1_;
    QPushButton* OKButton_;
    QPushButton* NoButton_;
    QPushButton* CancelButton_;
};

}  // namespace scrivane
