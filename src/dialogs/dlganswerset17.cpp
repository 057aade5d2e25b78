#include "dialogs/dlganswerset17.h"

#include <QButtonGroup>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "core/answercode.h"
#include "dialogs/twips.h"

namespace scrivane {

namespace {
const char* const kLetters[5] = {"A", "B", "C", "D", "E"};
constexpr int kOptionX[6] = {720, 1440, 2160, 2985, 3795, 4560};
constexpr int kUncertainIndex = 5;
}  // namespace

DlgAnswerSet17::DlgAnswerSet17(Moddule1& state, QLineEdit& answerBox, QWidget* parent)
    : QDialog(parent), state_(state), answerBox_(answerBox) {
    setObjectName(QStringLiteral("DlgAnswerSet17"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(TwipsSize(*this, 6030, 1305));

    FrameItem_ = new QFrame(this);
    FrameItem_->setObjectName(QStringLiteral("FrameItem_0"));
    FrameItem_->setFrameShape(QFrame::Box);
    FrameItem_->setGeometry(TwipsRect(*this, 120, 120, 5775, 495));

    LabelNo = new QLabel(FrameItem_);
    LabelNo->setObjectName(QStringLiteral("LabelNo"));
    LabelNo->setGeometry(TwipsRect(*this, 240, 150, 480, 300));

    group_ = new QButtonGroup(this);
    group_->setExclusive(true);
    for (int i = 0; i < 6; ++i) {
        auto* option = new QRadioButton(FrameItem_);
        option->setObjectName(QStringLiteral("OptionAnswer_%1").arg(i));
        if (i < kUncertainIndex) option->setText(QString::fromLatin1(kLetters[i]));
        group_->addButton(option, i);
        // toggled, not clicked: the reaction must also follow a choice set by code.
        connect(option, &QRadioButton::toggled, this, [this](bool on) {
            if (on) OptionAnswer_Click();
        });
        OptionAnswer_[i] = option;
    }

    OKButton_ = new QPushButton(this);
    OKButton_->setObjectName(QStringLiteral("OKButton"));
    OKButton_->setGeometry(TwipsRect(*this, 1440, 720, 1215, 375));
    CancelButton_ = new QPushButton(this);
    CancelButton_->setObjectName(QStringLiteral("CancelButton"));
    CancelButton_->setGeometry(TwipsRect(*this, 3360, 720, 1215, 375));
    connect(OKButton_, &QPushButton::clicked, this, &DlgAnswerSet17::OKButton_Click);
    connect(CancelButton_, &QPushButton::clicked, this, &QDialog::reject);

    // Form_Load
    setWindowTitle(QStringLiteral("Answer Setting"));
    OKButton_->setText(QStringLiteral("OK"));
    CancelButton_->setText(QStringLiteral("Cancel"));
    OptionAnswer_[kUncertainIndex]->setText(QStringLiteral("Uncertain"));
    for (int i = 0; i < 6; ++i) {
        const int width = i == kUncertainIndex ? 1095 : 615;
        PlaceAt(*OptionAnswer_[i], *this, kOptionX[i], 150, width, 240);
    }
    int chosen = kUncertainIndex;
    switch (state_.CurrentAnswer) {
        case 1:
            chosen = 0;
            break;
        case 2:
            chosen = 1;
            break;
        case 4:
            chosen = 2;
            break;
        case 8:
            chosen = 3;
            break;
        case 16:
            chosen = 4;
            break;
        default:
            break;  // none, F, or several letters
    }
    OptionAnswer_[chosen]->setChecked(true);
}

void DlgAnswerSet17::OptionAnswer_Click() {
    AnswerMask mask = 0;
    for (int i = 0; i < kUncertainIndex; ++i) {
        if (OptionAnswer_[i]->isChecked()) mask = AnswerMask(1u << i);
    }
    state_.CurrentAnswer = mask;
}

void DlgAnswerSet17::OKButton_Click() {
    answerBox_.setText(AnswerMaskToText(state_.CurrentAnswer));
    accept();
    answerBox_.setFocus();
}

}  // namespace scrivane
