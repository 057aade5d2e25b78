#include "dialogs/formquickpaper17.h"

#include <QButtonGroup>
#include <QFrame>
#include <QRadioButton>

#include "dialogs/answercolours.h"

namespace scrivane {

FormQuickPaper17::FormQuickPaper17(Moddule1& state, QWidget* parent)
    : QuickAnswerSheet(state, parent) {
    setObjectName(QStringLiteral("FormQuickPaper17"));
    Build({.width = 7545, .height = 10260, .label2X = 360, .pageY = 720});
    Load();
}

void FormQuickPaper17::BuildRow(int k, QFrame& row) {
    // One exclusive group a row: each row has exactly one chosen button.
    auto* group = new QButtonGroup(&row);
    group->setExclusive(true);
    rowGroups_[k] = group;
    for (int j = 0; j < kAnswerChoices; ++j) {
        const int i = kAnswerChoices * k + j;
        QRadioButton* option = MakeAnswerOption(row, i, j);
        SetBackColour(*option, ButtonFace());
        group->addButton(option, j);
        // toggled, not clicked: ShowPage's choices run the same reaction.
        connect(option, &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) OptionAnswer_Click(i);
        });
        OptionAnswer_[i] = option;
    }
}

void FormQuickPaper17::LoadRowCaptions() {
    for (int k = 0; k < kRowsPerPage; ++k)
        PlaceAnswerOptions(OptionRow(&OptionAnswer_[kAnswerChoices * k], kAnswerChoices), *this);
}

void FormQuickPaper17::ShowRow(int k, int q) {
    ClearRowColors(k);
    const int column = SingleAnswerColumn(state_.QuickAnswers(q).Answer);
    QRadioButton& chosen = *OptionAnswer_[kAnswerChoices * k + column];
    chosen.setChecked(true);
    SetBackColour(chosen, column == kUncertainColumn ? kWarningRed : kChosenGreen);
}

void FormQuickPaper17::ClearRowColors(int k) {
    if (k < 0 || k >= kRowsPerPage) return;
    for (int j = 0; j < kAnswerChoices; ++j)
        SetBackColour(*OptionAnswer_[kAnswerChoices * k + j], ButtonFace());
}

void FormQuickPaper17::OptionAnswer_Click(int index) {
    const int k = index / kAnswerChoices;
    const int j = index % kAnswerChoices;
    ClearRowColors(k);
    QuestionRecord& record = state_.QuickAnswers(QuestionOfRow(k));
    if (j < kUncertainColumn) {
        record.Answer = AnswerMask(1u << j);
        SetBackColour(*OptionAnswer_[index], kChosenGreen);
    } else {
        record.Answer = 0;
        SetBackColour(*OptionAnswer_[index], kWarningRed);
    }
}

}  // namespace scrivane
