#include "dialogs/formquickpaper.h"

#include <QKeyEvent>

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "dialogs/answercolours.h"
#include "dialogs/twips.h"

namespace scrivane {

namespace {

const char* const kLetters[6] = {"A", "B", "C", "D", "E", "F"};

QLabel* MakeLabel(QWidget& parent, const QWidget& ref, const char* name, int x, int y) {
    auto* label = new QLabel(&parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(TwipsToPixelsX(ref, x), TwipsToPixelsY(ref, y));
    return label;
}

void SetCaption(QLabel& label, const QString& text) {
    label.setText(text);
    label.adjustSize();
}

}  // namespace

FormQuickPaper::FormQuickPaper(Moddule1& state, QWidget* parent) : QDialog(parent), state_(state) {
    setObjectName(QStringLiteral("FormQuickPaper"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(TwipsSize(*this, 7530, 10305));

    auto* frame1 = new QFrame(this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    frame1->setFrameShape(QFrame::Box);
    frame1->setGeometry(TwipsRect(*this, 0, 0, 6255, 10215));
    auto* label2 = MakeLabel(*frame1, *this, "Label2", 120, 240);
    auto* label4 = MakeLabel(*frame1, *this, "Label4", 2760, 240);

    QFont numberFont(QStringLiteral("Arial"));
    numberFont.setPointSizeF(10.5);
    numberFont.setBold(true);
    for (int k = 0; k < kRowsPerPage; ++k) {
        auto* row = new QFrame(frame1);
        row->setObjectName(QStringLiteral("FrameItem_%1").arg(k));
        row->setFrameShape(QFrame::Box);
        row->setGeometry(TwipsRect(*this, 240, 480 * (k + 1), 5775, 495));
        FrameItem_[k] = row;

        auto* number = new QLabel(row);
        number->setObjectName(QStringLiteral("LabelNo_%1").arg(k));
        number->setFont(numberFont);
        number->setGeometry(TwipsRect(*this, 240, 150, 480, 300));
        LabelNo_[k] = number;

        for (int j = 0; j < 6; ++j) {
            const int i = 6 * k + j;
            auto* box = new QCheckBox(QString::fromLatin1(kLetters[j]), row);
            box->setObjectName(QStringLiteral("OptionAnswer_%1").arg(i));
            PlaceAt(*box, *this, 720 + 840 * j, 150, 615, 180);
            SetBackColour(*box, ButtonFace());
            // toggled, not clicked: ShowPage's changes run the same reaction.
            connect(box, &QCheckBox::toggled, this, [this, i] { OptionAnswer_Click(i); });
            OptionAnswer_[i] = box;
        }
    }

    auto* label1 = MakeLabel(*this, *this, "Label1", 6480, 600);
    LabelPage_ = new QLabel(this);
    LabelPage_->setObjectName(QStringLiteral("LabelPage"));
    LabelPage_->setGeometry(TwipsRect(*this, 6480, 840, 735, 285));
    LabelPage_->setAlignment(Qt::AlignCenter);
    SetBackColour(*LabelPage_, Qt::white);

    CommandUP_ = new QPushButton(this);
    CommandUP_->setObjectName(QStringLiteral("CommandUP"));
    CommandUP_->setGeometry(TwipsRect(*this, 6360, 2040, 975, 735));
    CommandDown_ = new QPushButton(this);
    CommandDown_->setObjectName(QStringLiteral("CommandDown"));
    CommandDown_->setGeometry(TwipsRect(*this, 6360, 3360, 975, 735));
    CommandOK_ = new QPushButton(this);
    CommandOK_->setObjectName(QStringLiteral("CommandOK"));
    CommandOK_->setGeometry(TwipsRect(*this, 6360, 6360, 975, 735));
    // Enter confirms the sheet unless a focused page button takes it.
    CommandOK_->setDefault(true);
    connect(CommandUP_, &QPushButton::clicked, this, &FormQuickPaper::CommandUP_Click);
    connect(CommandDown_, &QPushButton::clicked, this, &FormQuickPaper::CommandDown_Click);
    connect(CommandOK_, &QPushButton::clicked, this, &FormQuickPaper::CommandOK_Click);

    // Form_Load
    setWindowTitle(QStringLiteral("Set Answer"));
    SetCaption(*label2, QStringLiteral("Question No."));
    SetCaption(*label4, QStringLiteral("Answer"));
    SetCaption(*label1, QStringLiteral("Page No."));
    CommandUP_->setText(QStringLiteral("Prev Page"));
    CommandDown_->setText(QStringLiteral("Next Page"));
    CommandOK_->setText(QStringLiteral("OK"));
    state_.QuickNewResult = false;
    const QuickPages pages = CountQuickPages(state_.QuickQuestionCount);
    pageCount_ = pages.PageCount;
    lastPageCount_ = pages.LastPageCount;
    ResetQuickAnswers(state_);
    currentPage_ = 1;
    ShowPage();
}

void FormQuickPaper::ShowPage() {
    LabelPage_->setText(QStringLiteral("%1/%2").arg(currentPage_).arg(pageCount_));
    CommandUP_->setEnabled(currentPage_ > 1);
    CommandDown_->setEnabled(currentPage_ < pageCount_);
    const int rows = currentPage_ == pageCount_ ? lastPageCount_ : kRowsPerPage;
    for (int k = 0; k < rows; ++k) {
        FrameItem_[k]->setVisible(true);
        const int q = QuestionOfRow(k);
        LabelNo_[k]->setText(QString::number(q));
        // Read once: the boxes' reactions rewrite the record while they change.
        const AnswerMask m = state_.QuickAnswers(q).Answer;
        int count = 0;
        for (int j = 0; j < 6; ++j) {
            const bool on = (m >> j) & 1;
            OptionAnswer_[6 * k + j]->setChecked(on);
            if (on) ++count;
        }
        SetForeColour(*LabelNo_[k], count == 1 ? kLabelBlack : kWarningRed);
    }
    for (int k = rows; k < kRowsPerPage; ++k) FrameItem_[k]->setVisible(false);
}

void FormQuickPaper::OptionAnswer_Click(int index) {
    const int k = index / 6;
    QCheckBox& box = *OptionAnswer_[index];
    SetBackColour(box, box.isChecked() ? kChosenGreen : ButtonFace());
    AnswerMask mask = 0;
    int count = 0;
    for (int j = 0; j < 6; ++j) {
        if (OptionAnswer_[6 * k + j]->isChecked()) {
            mask |= AnswerMask(1u << j);
            ++count;
        }
    }
    state_.QuickAnswers(QuestionOfRow(k)).Answer = mask;
    SetForeColour(*LabelNo_[k], count == 1 ? kLabelBlack : kWarningRed);
}

void FormQuickPaper::CommandUP_Click() {
    currentPage_ = currentPage_ >= 2 ? std::int16_t(currentPage_ - 1) : std::int16_t(1);
    ShowPage();
}

void FormQuickPaper::CommandDown_Click() {
    currentPage_ = currentPage_ < pageCount_ ? std::int16_t(currentPage_ + 1) : pageCount_;
    ShowPage();
}

void FormQuickPaper::CommandOK_Click() {
    state_.QuickNewResult = true;
    accept();
}

void FormQuickPaper::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace scrivane
