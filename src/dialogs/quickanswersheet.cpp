#include "dialogs/quickanswersheet.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "dialogs/answercolours.h"
#include "dialogs/twips.h"

namespace scrivane {

namespace {

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

QPushButton* MakeButton(QWidget& parent, const char* name, int y) {
    auto* button = new QPushButton(&parent);
    button->setObjectName(QString::fromLatin1(name));
    // No button takes Enter: an Enter meant for a choice must not end the
    // sheet with the later pages unseen.
    button->setAutoDefault(false);
    button->setGeometry(TwipsRect(parent, 6360, y, 975, 735));
    return button;
}

}  // namespace

QuickAnswerSheet::QuickAnswerSheet(Moddule1& state, QWidget* parent)
    : QDialog(parent), state_(state) {
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

void QuickAnswerSheet::Build(const Design& design) {
    resize(TwipsSize(*this, design.width, design.height));

    auto* frame1 = new QFrame(this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    frame1->setFrameShape(QFrame::Box);
    frame1->setGeometry(TwipsRect(*this, 0, 0, 6255, 10215));
    Label2_ = MakeLabel(*frame1, *this, "Label2", design.label2X, 240);
    Label4_ = MakeLabel(*frame1, *this, "Label4", 2760, 240);

    for (int k = 0; k < kRowsPerPage; ++k) {
        auto* row = new QFrame(frame1);
        row->setObjectName(QStringLiteral("FrameItem_%1").arg(k));
        row->setFrameShape(QFrame::Box);
        row->setGeometry(TwipsRect(*this, 240, 480 * (k + 1), 5775, 495));
        FrameItem_[k] = row;

        auto* number = new QLabel(row);
        number->setObjectName(QStringLiteral("LabelNo_%1").arg(k));
        number->setGeometry(TwipsRect(*this, 240, 195, 480, 300));
        LabelNo_[k] = number;

        BuildRow(k, *row);
    }

    Label1_ = MakeLabel(*this, *this, "Label1", 6480, design.pageY);
    LabelPage_ = new QLabel(this);
    LabelPage_->setObjectName(QStringLiteral("LabelPage"));
    LabelPage_->setGeometry(TwipsRect(*this, 6480, design.pageY + 240, 735, 285));
    LabelPage_->setAlignment(Qt::AlignCenter);
    SetBackColour(*LabelPage_, Qt::white);

    CommandUP_ = MakeButton(*this, "CommandUP", design.pageY + 1440);
    CommandDown_ = MakeButton(*this, "CommandDown", design.pageY + 2760);
    CommandOK_ = MakeButton(*this, "CommandOK", design.pageY + 5760);
    connect(CommandUP_, &QPushButton::clicked, this, &QuickAnswerSheet::CommandUP_Click);
    connect(CommandDown_, &QPushButton::clicked, this, &QuickAnswerSheet::CommandDown_Click);
    connect(CommandOK_, &QPushButton::clicked, this, &QuickAnswerSheet::CommandOK_Click);
}

void QuickAnswerSheet::Load() {
    setWindowTitle(QStringLiteral("Set Answer"));
    SetCaption(*Label2_, QStringLiteral("Question No."));
    SetCaption(*Label4_, QStringLiteral("Answer"));
    SetCaption(*Label1_, QStringLiteral("Page No."));
    CommandUP_->setText(QStringLiteral("Prev Page"));
    CommandDown_->setText(QStringLiteral("Next Page"));
    CommandOK_->setText(QStringLiteral("OK"));
    LoadRowCaptions();
    state_.QuickNewResult = false;
    const QuickPages pages = CountQuickPages(state_.QuickQuestionCount);
    pageCount_ = pages.PageCount;
    lastPageCount_ = pages.LastPageCount;
    ResetQuickAnswers(state_);
    currentPage_ = 1;
    ShowPage();
}

void QuickAnswerSheet::ShowPage() {
    LabelPage_->setText(QStringLiteral("%1/%2").arg(currentPage_).arg(pageCount_));
    CommandUP_->setEnabled(currentPage_ > 1);
    CommandDown_->setEnabled(currentPage_ < pageCount_);
    const int rows = currentPage_ == pageCount_ ? lastPageCount_ : kRowsPerPage;
    for (int k = 0; k < rows; ++k) {
        FrameItem_[k]->setVisible(true);
        const int q = QuestionOfRow(k);
        LabelNo_[k]->setText(QString::number(q));
        ShowRow(k, q);
    }
    for (int k = rows; k < kRowsPerPage; ++k) FrameItem_[k]->setVisible(false);
}

void QuickAnswerSheet::CommandUP_Click() {
    currentPage_ = currentPage_ >= 2 ? std::int16_t(currentPage_ - 1) : std::int16_t(1);
    ShowPage();
}

void QuickAnswerSheet::CommandDown_Click() {
    currentPage_ = currentPage_ < pageCount_ ? std::int16_t(currentPage_ + 1) : pageCount_;
    ShowPage();
}

void QuickAnswerSheet::CommandOK_Click() {
    state_.QuickNewResult = true;
    accept();
}

void QuickAnswerSheet::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace scrivane
