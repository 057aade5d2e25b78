// What the quick answer sheets of both modes share: twenty question rows a
// page in Frame1, the page indicator, paging, OK, and Escape kept from closing
// the sheet. The answers live in QuickAnswers; the rows only show the page in
// view, each sheet with its own choices in them.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>

#include "core/moddule1.h"
#include "dialogs/quickpages.h"

class QFrame;
class QLabel;
class QPushButton;

namespace scrivane {

class QuickAnswerSheet : public QDialog {
    Q_OBJECT
public:
    // Lays out page CurrentPage from QuickAnswers.
    void ShowPage();

    std::int16_t PageCount() const { return pageCount_; }
    std::int16_t LastPageCount() const { return lastPageCount_; }
    std::int16_t CurrentPage() const { return currentPage_; }

protected:
    // Where the two sheets' designs differ, in twips.
    struct Design {
        int width;  // client area
        int height;
        int label2X;  // the "Question No." heading
        int pageY;    // "Page No."; the indicator and the buttons follow at fixed offsets
    };

    QuickAnswerSheet(Moddule1& state, QWidget* parent);

    // Makes the controls. Each row's choices are added by BuildRow as the row
    // is made, so that they take their places in the tab order.
    void Build(const Design& design);
    // Form_Load: the captions, QuickAnswers reset, the pages counted, page 1.
    void Load();

    // Adds the sheet's own controls to row k (0 to 19).
    virtual void BuildRow(int k, QFrame& row) = 0;
    // Assigns the captions of the rows' choices that are set on load.
    virtual void LoadRowCaptions() {}
    // Shows the answer of question q in visible row k.
    virtual void ShowRow(int k, int q) = 0;

    int QuestionOfRow(int k) const { return (currentPage_ - 1) * kRowsPerPage + k + 1; }

    // Escape does not close the sheet: the picks would be lost with it.
    void keyPressEvent(QKeyEvent* event) override;

    Moddule1& state_;
    std::array<QLabel*, kRowsPerPage> LabelNo_{};

private:
    void CommandUP_Click();
    void CommandDown_Click();
    void CommandOK_Click();

    std::int16_t pageCount_ = 1;
    std::int16_t lastPageCount_ = kRowsPerPage;
    std::int16_t currentPage_ = 1;

    QLabel* Label1_ = nullptr;
    QLabel* Label2_ = nullptr;
    QLabel* Label4_ = nullptr;
    std::array<QFrame*, kRowsPerPage> FrameItem_{};
    QLabel* LabelPage_ = nullptr;
    QPushButton* CommandUP_ = nullptr;
    QPushButton* CommandDown_ = nullptr;
    QPushButton* CommandOK_ = nullptr;
};

}  // namespace scrivane
