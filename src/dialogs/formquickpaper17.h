// The quick answer sheet of single-answer mode: twenty questions a page, each
// with option buttons A to E and "Uncertain". The answers live in
// QuickAnswers; the rows only show the page in view.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>

#include "core/moddule1.h"
#include "dialogs/quickpages.h"

class QButtonGroup;
class QFrame;
class QLabel;
class QPushButton;
class QRadioButton;

namespace scrivane {

class FormQuickPaper17 : public QDialog {
    Q_OBJECT
public:
    // Loads the sheet: resets QuickAnswers, counts the pages and shows page 1.
    explicit FormQuickPaper17(Moddule1& state, QWidget* parent = nullptr);

    // Lays out page CurrentPage from QuickAnswers.
    void ShowPage();
    // Gives the six buttons of row k (0 to 19) the button-face colour.
    void ClearRowColors(int k);

    std::int16_t PageCount() const { return pageCount_; }
    std::int16_t LastPageCount() const { return lastPageCount_; }
    std::int16_t CurrentPage() const { return currentPage_; }

protected:
    // Escape does not close the sheet: the picks would be lost with it.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OptionAnswer_Click(int index);
    void CommandUP_Click();
    void CommandDown_Click();
    void CommandOK_Click();
    int QuestionOfRow(int k) const { return (currentPage_ - 1) * kRowsPerPage + k + 1; }

    Moddule1& state_;
    std::int16_t pageCount_ = 1;
    std::int16_t lastPageCount_ = kRowsPerPage;
    std::int16_t currentPage_ = 1;

    std::array<QFrame*, kRowsPerPage> FrameItem_{};
    std::array<QLabel*, kRowsPerPage> LabelNo_{};
    std::array<QButtonGroup*, kRowsPerPage> rowGroups_{};
    std::array<QRadioButton*, kRowsPerPage * 6> OptionAnswer_{};
    QLabel* LabelPage_ = nullptr;
    QPushButton* CommandUP_ = nullptr;
    QPushButton* CommandDown_ = nullptr;
    QPushButton* CommandOK_ = nullptr;
};

}  // namespace scrivane
