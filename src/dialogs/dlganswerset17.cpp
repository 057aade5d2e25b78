#include "dialogs/dlganswerset17.h"

#include <QButtonGroup>
#include <QFrame>
#include <QRadioButton>

namespace scrivane {

DlgAnswerSet17::DlgAnswerSet17(Moddule1& state, QLineEdit& answerBox, QWidget* parent)
    : AnswerSetDialog(state, answerBox, 1305, parent) {
    setObjectName(QStringLiteral("DlgAnswerSet17"));

    group_ = new QButtonGroup(this);
    group_->setExclusive(true);
    for (int i = 0; i < kAnswerChoices; ++i) {
        QRadioButton* option = MakeAnswerOption(*FrameItem_, i, i);
        group_->addButton(option, i);
        // toggled, not clicked: the reaction must also follow a choice set by code.
        connect(option, &QRadioButton::toggled, this, [this](bool on) {
            if (on) OptionAnswer_Click();
        });
        OptionAnswer_[i] = option;
    }
    AddButtons(1440);

    // Form_Load, after the captions
    PlaceAnswerOptions(OptionAnswer_, *this);
    OptionAnswer_[SingleAnswerColumn(state_.CurrentAnswer)]->setChecked(true);
}

void DlgAnswerSet17::OptionAnswer_Click() {
    AnswerMask mask = 0;
    for (int i = 0; i < kUncertainColumn; ++i) {
        if (OptionAnswer_[i]->isChecked()) mask = AnswerMask(1u << i);
    }
    state_.CurrentAnswer = mask;
}

}  // namespace scrivane
