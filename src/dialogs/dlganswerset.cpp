#include "dialogs/dlganswerset.h"

#include <QCheckBox>
#include <QFont>
#include <QLabel>

namespace scrivane {

DlgAnswerSet::DlgAnswerSet(Moddule1& state, QLineEdit& answerBox, QWidget* parent)
    : AnswerSetDialog(state, answerBox, 1335, parent) {
    setObjectName(QStringLiteral("DlgAnswerSet"));
    QFont bold = LabelNo->font();
    bold.setBold(true);
    bold.setPointSizeF(10.5);
    LabelNo->setFont(bold);

    for (int i = 0; i < kAnswerChoices; ++i) {
        QCheckBox* box = MakeAnswerCheckBox(*FrameItem_, *this, i, i);
        // toggled, not clicked: the reaction must also follow values set by code.
        connect(box, &QCheckBox::toggled, this, [this, i] { OptionAnswer_Click(i); });
        OptionAnswer_[i] = box;
    }
    AddButtons(1200);

    // Form_Load, after the captions
    ColourNumber(*LabelNo, ShowCheckedMask(OptionAnswer_, state_.CurrentAnswer));
}

void DlgAnswerSet::OptionAnswer_Click(int index) {
    ColourNumber(*LabelNo, ReadCheckedMask(OptionAnswer_, index, state_.CurrentAnswer));
}

}  // namespace scrivane
