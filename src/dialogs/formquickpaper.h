// The quick answer sheet of multiple-answer mode: twenty questions a page,
// each with check boxes A to F in any combination. The answers live in
// QuickAnswers; the rows only show the page in view.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>

#include "core/moddule1.h"
#include "dialogs/quickpages.h"

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;

namespace scrivane {

class FormQuickPaper : public QDialog {
    Q_OBJECT
public:
    // Loads the sheet: resets QuickAnswers, counts the pages and shows page 1.
    explicit FormQuickPaper(Moddule1& state, QWidget* parent = nullptr);

    // Lays out page CurrentPage from QuickAnswers.
    void ShowPage();

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
    std::array<QCheckBox*, kRowsPerPage * 6> OptionAnswer_{};
    QLabel* LabelPage_ = nullptr;
    QPushButton* CommandUP_ = nullptr;
    QPushButton* CommandDown_ = nullptr;
    QPushButton* CommandOK_ = nullptr;
};

}  // namespace scrivane
