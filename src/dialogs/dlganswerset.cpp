#include "dialogs/dlganswerset.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/answercode.h"
#include "dialogs/answercolours.h"
#include "dialogs/twips.h"

namespace scrivane {

namespace {
const char* const kLetters[6] = {"A", "B", "C", "D", "E", "F"};
}

DlgAnswerSet::DlgAnswerSet(Moddule1& state, QLineEdit& answerBox, QWidget* parent)
    : QDialog(parent), state_(state), answerBox_(answerBox) {
    setObjectName(QStringLiteral("DlgAnswerSet"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(TwipsSize(*this, 6030, 1335));

    FrameItem_ = new QFrame(this);
    FrameItem_->setObjectName(QStringLiteral("FrameItem_0"));
    FrameItem_->setFrameShape(QFrame::Box);
    FrameItem_->setGeometry(TwipsRect(*this, 120, 120, 5775, 495));

    LabelNo = new QLabel(FrameItem_);
    LabelNo->setObjectName(QStringLiteral("LabelNo"));
    QFont bold = LabelNo->font();
    bold.setBold(true);
    bold.setPointSizeF(10.5);
    LabelNo->setFont(bold);
    LabelNo->setGeometry(TwipsRect(*this, 240, 150, 480, 300));

    for (int i = 0; i < 6; ++i) {
        auto* box = new QCheckBox(QString::fromLatin1(kLetters[i]), FrameItem_);
        box->setObjectName(QStringLiteral("OptionAnswer_%1").arg(i));
        PlaceAt(*box, *this, 720 + 840 * i, 150, 615, 180);
        SetBackColour(*box, ButtonFace());
        // toggled, not clicked: the reaction must also follow values set by code.
        connect(box, &QCheckBox::toggled, this, [this, i] { OptionAnswer_Click(i); });
        OptionAnswer_[i] = box;
    }

    OKButton_ = new QPushButton(this);
    OKButton_->setObjectName(QStringLiteral("OKButton"));
    OKButton_->setGeometry(TwipsRect(*this, 1200, 720, 1215, 375));
    CancelButton_ = new QPushButton(this);
    CancelButton_->setObjectName(QStringLiteral("CancelButton"));
    CancelButton_->setGeometry(TwipsRect(*this, 3360, 720, 1215, 375));
    connect(OKButton_, &QPushButton::clicked, this, &DlgAnswerSet::OKButton_Click);
    connect(CancelButton_, &QPushButton::clicked, this, &QDialog::reject);

    // Form_Load
    setWindowTitle(QStringLiteral("Answer Setting"));
    OKButton_->setText(QStringLiteral("OK"));
    CancelButton_->setText(QStringLiteral("Cancel"));
    const AnswerMask m = state_.CurrentAnswer;
    int count = 0;
    for (int i = 0; i < 6; ++i) {
        const bool on = (m >> i) & 1;
        OptionAnswer_[i]->setChecked(on);
        if (on) ++count;
    }
    SetForeColour(*LabelNo, count == 1 ? kLabelBlack : kWarningRed);
}

void DlgAnswerSet::OptionAnswer_Click(int index) {
    QCheckBox& box = *OptionAnswer_[index];
    SetBackColour(box, box.isChecked() ? kChosenGreen : ButtonFace());
    AnswerMask mask = 0;
    int count = 0;
    for (int i = 0; i < 6; ++i) {
        if (OptionAnswer_[i]->isChecked()) {
            mask |= AnswerMask(1u << i);
            ++count;
        }
    }
    state_.CurrentAnswer = mask;
    SetForeColour(*LabelNo, count == 1 ? kLabelBlack : kWarningRed);
}

void DlgAnswerSet::OKButton_Click() {
    answerBox_.setText(AnswerMaskToText(state_.CurrentAnswer));
    accept();
    answerBox_.setFocus();
}

}  // namespace scrivane
