#include "dialogs/formquickpaper.h"

#include <QCheckBox>
#include <QFont>
#include <QLabel>

namespace scrivane {

FormQuickPaper::FormQuickPaper(Moddule1& state, QWidget* parent) : QuickAnswerSheet(state, parent) {
    setObjectName(QStringLiteral("FormQuickPaper"));
    Build({.width = 7530, .height = 10305, .label2X = 120, .pageY = 600});
    Load();
}

void FormQuickPaper::BuildRow(int k, QFrame& row) {
    QFont numberFont(QStringLiteral("Arial"));
    numberFont.setPointSizeF(10.5);
    numberFont.setBold(true);
    LabelNo_[k]->setFont(numberFont);
    for (int j = 0; j < kAnswerChoices; ++j) {
        const int i = kAnswerChoices * k + j;
        QCheckBox* box = MakeAnswerCheckBox(row, *this, i, j);
        // toggled, not clicked: ShowPage's changes run the same reaction.
        connect(box, &QCheckBox::toggled, this, [this, i] { OptionAnswer_Click(i); });
        OptionAnswer_[i] = box;
    }
}

void FormQuickPaper::ShowRow(int k, int q) {
    // Read once: the boxes' reactions rewrite the record while they change.
    const AnswerMask m = state_.QuickAnswers(q).Answer;
    ColourNumber(*LabelNo_[k], ShowCheckedMask(RowBoxes(k), m));
}

void FormQuickPaper::OptionAnswer_Click(int index) {
    const int k = index / kAnswerChoices;
    AnswerMask& answer = state_.QuickAnswers(QuestionOfRow(k)).Answer;
    ColourNumber(*LabelNo_[k], ReadCheckedMask(RowBoxes(k), index % kAnswerChoices, answer));
}

}  // namespace scrivane
