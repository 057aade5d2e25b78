#include "dialogs/formquickpaper17.h"

#include <QKeyEvent>

#include <QButtonGroup>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "dialogs/answercolours.h"
#include "dialogs/twips.h"

namespace scrivane {

namespace {

const char* const kLetters[5] = {"A", "B", "C", "D", "E"};
constexpr int kOptionX[6] = {720, 1440, 2160, 2985, 3795, 4560};
constexpr int kUncertainColumn = 5;

QLabel* MakeLabel(QWidget& parent, const QWidget& ref, const char* name, const QString& text, int x,
                  int y) {
    auto* label = new QLabel(text, &parent);
    label->setObjectName(QString::fromLatin1(name));
    label->adjustSize();
    label->move(TwipsToPixelsX(ref, x), TwipsToPixelsY(ref, y));
    return label;
}

}  // namespace

FormQuickPaper17::FormQuickPaper17(Moddule1& state, QWidget* parent)
    : QDialog(parent), state_(state) {
    setObjectName(QStringLiteral("FormQuickPaper17"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(TwipsSize(*this, 7545, 10260));

    auto* frame1 = new QFrame(this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    frame1->setFrameShape(QFrame::Box);
    frame1->setGeometry(TwipsRect(*this, 0, 0, 6255, 10215));
    auto* label2 = MakeLabel(*frame1, *this, "Label2", QString(), 360, 240);
    auto* label4 = MakeLabel(*frame1, *this, "Label4", QString(), 2760, 240);

    for (int k = 0; k < kRowsPerPage; ++k) {
        auto* row = new QFrame(frame1);
        row->setObjectName(QStringLiteral("FrameItem_%1").arg(k));
        row->setFrameShape(QFrame::Box);
        row->setGeometry(TwipsRect(*this, 240, 480 * (k + 1), 5775, 495));
        FrameItem_[k] = row;

        auto* number = new QLabel(row);
        number->setObjectName(QStringLiteral("LabelNo_%1").arg(k));
        number->setGeometry(TwipsRect(*this, 240, 150, 480, 300));
        LabelNo_[k] = number;

        // One exclusive group a row: each row has exactly one chosen button.
        auto* group = new QButtonGroup(row);
        group->setExclusive(true);
        rowGroups_[k] = group;
        for (int j = 0; j < 6; ++j) {
            const int i = 6 * k + j;
            auto* option = new QRadioButton(row);
            option->setObjectName(QStringLiteral("OptionAnswer_%1").arg(i));
            if (j < kUncertainColumn) option->setText(QString::fromLatin1(kLetters[j]));
            SetBackColour(*option, ButtonFace());
            group->addButton(option, j);
            // toggled, not clicked: ShowPage's choices run the same reaction.
            connect(option, &QRadioButton::toggled, this, [this, i](bool on) {
                if (on) OptionAnswer_Click(i);
            });
            OptionAnswer_[i] = option;
        }
    }

    auto* label1 = MakeLabel(*this, *this, "Label1", QString(), 6480, 720);
    LabelPage_ = new QLabel(this);
    LabelPage_->setObjectName(QStringLiteral("LabelPage"));
    LabelPage_->setGeometry(TwipsRect(*this, 6480, 960, 735, 285));
    LabelPage_->setAlignment(Qt::AlignCenter);
    SetBackColour(*LabelPage_, Qt::white);

    CommandUP_ = new QPushButton(this);
    CommandUP_->setObjectName(QStringLiteral("CommandUP"));
    CommandUP_->setGeometry(TwipsRect(*this, 6360, 2160, 975, 735));
    CommandDown_ = new QPushButton(this);
    CommandDown_->setObjectName(QStringLiteral("CommandDown"));
    CommandDown_->setGeometry(TwipsRect(*this, 6360, 3480, 975, 735));
    CommandOK_ = new QPushButton(this);
    CommandOK_->setObjectName(QStringLiteral("CommandOK"));
    CommandOK_->setGeometry(TwipsRect(*this, 6360, 6480, 975, 735));
    // Enter confirms the sheet unless a focused page button takes it.
    CommandOK_->setDefault(true);
    connect(CommandUP_, &QPushButton::clicked, this, &FormQuickPaper17::CommandUP_Click);
    connect(CommandDown_, &QPushButton::clicked, this, &FormQuickPaper17::CommandDown_Click);
    connect(CommandOK_, &QPushButton::clicked, this, &FormQuickPaper17::CommandOK_Click);

    // Form_Load
    setWindowTitle(QStringLiteral("Set Answer"));
    label2->setText(QStringLiteral("Question No."));
    label2->adjustSize();
    label4->setText(QStringLiteral("Answer"));
    label4->adjustSize();
    label1->setText(QStringLiteral("Page No."));
    label1->adjustSize();
    CommandUP_->setText(QStringLiteral("Prev Page"));
    CommandDown_->setText(QStringLiteral("Next Page"));
    CommandOK_->setText(QStringLiteral("OK"));
    for (int k = 0; k < kRowsPerPage; ++k) {
        OptionAnswer_[6 * k + kUncertainColumn]->setText(QStringLiteral("Uncertain"));
        for (int j = 0; j < 6; ++j) {
            const int width = j == kUncertainColumn ? 1095 : 615;
            PlaceAt(*OptionAnswer_[6 * k + j], *this, kOptionX[j], 150, width, 240);
        }
    }
    state_.QuickNewResult = false;
    const QuickPages pages = CountQuickPages(state_.QuickQuestionCount);
    pageCount_ = pages.PageCount;
    lastPageCount_ = pages.LastPageCount;
    ResetQuickAnswers(state_);
    currentPage_ = 1;
    ShowPage();
}

void FormQuickPaper17::ShowPage() {
    LabelPage_->setText(QStringLiteral("%1/%2").arg(currentPage_).arg(pageCount_));
    CommandUP_->setEnabled(currentPage_ > 1);
    CommandDown_->setEnabled(currentPage_ < pageCount_);
    const int rows = currentPage_ == pageCount_ ? lastPageCount_ : kRowsPerPage;
    for (int k = 0; k < rows; ++k) {
        FrameItem_[k]->setVisible(true);
        const int q = QuestionOfRow(k);
        LabelNo_[k]->setText(QString::number(q));
        ClearRowColors(k);
        int column = kUncertainColumn;
        switch (state_.QuickAnswers(q).Answer) {
            case 1:
                column = 0;
                break;
            case 2:
                column = 1;
                break;
            case 4:
                column = 2;
                break;
            case 8:
                column = 3;
                break;
            case 16:
                column = 4;
                break;
            default:
                break;  // no answer, F or several letters
        }
        QRadioButton& chosen = *OptionAnswer_[6 * k + column];
        chosen.setChecked(true);
        SetBackColour(chosen, column == kUncertainColumn ? kWarningRed : kChosenGreen);
    }
    for (int k = rows; k < kRowsPerPage; ++k) FrameItem_[k]->setVisible(false);
}

void FormQuickPaper17::ClearRowColors(int k) {
    if (k < 0 || k >= kRowsPerPage) return;
    for (int j = 0; j < 6; ++j) SetBackColour(*OptionAnswer_[6 * k + j], ButtonFace());
}

void FormQuickPaper17::OptionAnswer_Click(int index) {
    const int k = index / 6;
    const int j = index % 6;
    ClearRowColors(k);
    QuestionRecord& record = state_.QuickAnswers(QuestionOfRow(k));
    if (j < kUncertainColumn) {
        record.Answer = AnswerMask(1u << j);
        SetBackColour(*OptionAnswer_[6 * k + j], kChosenGreen);
    } else {
        record.Answer = 0;
        SetBackColour(*OptionAnswer_[6 * k + kUncertainColumn], kWarningRed);
    }
}

void FormQuickPaper17::CommandUP_Click() {
    currentPage_ = currentPage_ >= 2 ? std::int16_t(currentPage_ - 1) : std::int16_t(1);
    ShowPage();
}

void FormQuickPaper17::CommandDown_Click() {
    currentPage_ = currentPage_ < pageCount_ ? std::int16_t(currentPage_ + 1) : pageCount_;
    ShowPage();
}

void FormQuickPaper17::CommandOK_Click() {
    state_.QuickNewResult = true;
    accept();
}

void FormQuickPaper17::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace scrivane
