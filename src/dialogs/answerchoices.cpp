#include "dialogs/answerchoices.h"

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <algorithm>

#include "dialogs/answercolours.h"
#include "dialogs/twips.h"

namespace scrivane {

namespace {
const char* const kLetters[kAnswerChoices] = {"A", "B", "C", "D", "E", "F"};
constexpr int kOptionX[kAnswerChoices] = {720, 1440, 2160, 2985, 3795, 4560};
}  // namespace

QCheckBox* MakeAnswerCheckBox(QWidget& row, const QWidget& ref, int index, int column) {
    auto* box = new QCheckBox(QString::fromLatin1(kLetters[column]), &row);
    box->setObjectName(QStringLiteral("OptionAnswer_%1").arg(index));
    PlaceAt(*box, ref, 720 + 840 * column, 150, 615, 180);
    SetBackColour(*box, ButtonFace());
    return box;
}

int ShowCheckedMask(CheckRow boxes, AnswerMask m) {
    int count = 0;
    for (int j = 0; j < kAnswerChoices; ++j) {
        const bool on = (m >> j) & 1;
        boxes[j]->setChecked(on);
        if (on) ++count;
    }
    return count;
}

int ReadCheckedMask(CheckRow boxes, int column, AnswerMask& answer) {
    QCheckBox& box = *boxes[column];
    SetBackColour(box, box.isChecked() ? kChosenGreen : ButtonFace());
    AnswerMask mask = 0;
    int count = 0;
    for (int j = 0; j < kAnswerChoices; ++j) {
        if (boxes[j]->isChecked()) {
            mask |= AnswerMask(1u << j);
            ++count;
        }
    }
    answer = mask;
    return count;
}

void ColourNumber(QLabel& number, int checkedCount) {
    SetForeColour(number, checkedCount == 1 ? kLabelBlack : kWarningRed);
}

QRadioButton* MakeAnswerOption(QWidget& row, int index, int column) {
    auto* option = new QRadioButton(&row);
    option->setObjectName(QStringLiteral("OptionAnswer_%1").arg(index));
    if (column < kUncertainColumn) option->setText(QString::fromLatin1(kLetters[column]));
    return option;
}

void PlaceAnswerOptions(OptionRow options, const QWidget& ref) {
    options[kUncertainColumn]->setText(QStringLiteral("Uncertain"));
    for (int j = 0; j < kAnswerChoices; ++j) {
        const int width = j == kUncertainColumn ? 1095 : 615;
        PlaceAt(*options[j], ref, kOptionX[j], 150, width, 240);
    }
    // Grown to fit its caption, "Uncertain" would reach past its frame's
    // edge: it moves left into the gap after E instead.
    QRadioButton& uncertain = *options[kUncertainColumn];
    const QRect room = uncertain.parentWidget()->contentsRect();
    if (uncertain.geometry().right() > room.right())
        uncertain.move(std::max(options[kUncertainColumn - 1]->geometry().right() + 1,
                                room.right() + 1 - uncertain.width()),
                       uncertain.y());
}

int SingleAnswerColumn(AnswerMask m) {
    switch (m) {
        case 1:
            return 0;
        case 2:
            return 1;
        case 4:
            return 2;
        case 8:
            return 3;
        case 16:
            return 4;
        default:
            return kUncertainColumn;  // no answer, F or several letters
    }
}

}  // namespace scrivane
