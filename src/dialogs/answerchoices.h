// The answer choices of one question as the answer setting dialogs and the
// quick answer sheets show them: check boxes A to F in multiple-answer mode,
// option buttons A to E and "Uncertain" in single-answer mode. Element
// `column` of a row stands for mask bit 2 to the power column; "Uncertain"
// stands for no answer.
#pragma once

#include <span>

#include "core/answercode.h"

class QCheckBox;
class QLabel;
class QRadioButton;
class QWidget;

namespace scrivane {

constexpr int kAnswerChoices = 6;
constexpr int kUncertainColumn = 5;

using CheckRow = std::span<QCheckBox* const, kAnswerChoices>;
using OptionRow = std::span<QRadioButton* const, kAnswerChoices>;

// Check box `column` of a row, named OptionAnswer_<index>, placed in `row` in
// the button-face colour. `ref` gives the screen the twips are measured on.
QCheckBox* MakeAnswerCheckBox(QWidget& row, const QWidget& ref, int index, int column);

// Checks the boxes of the bits of m (each box that changes runs its reaction)
// and returns how many are checked. m is a copy: the reactions rewrite the
// variable it came from while the boxes change.
int ShowCheckedMask(CheckRow boxes, AnswerMask m);

// The reaction to box `column` changing state: the box takes its colour and
// `answer` the mask of the checked boxes. Returns how many are checked.
int ReadCheckedMask(CheckRow boxes, int column, AnswerMask& answer);

// The question number is black while exactly one box is checked, else red.
void ColourNumber(QLabel& number, int checkedCount);

// Option button `column` of a row, named OptionAnswer_<index>, with its
// letter; "Uncertain" gets its caption on load (PlaceAnswerOptions).
QRadioButton* MakeAnswerOption(QWidget& row, int index, int column);

// The load step of a row of option buttons: "Uncertain" gets its caption and
// the six take their places, each grown to fit its caption.
void PlaceAnswerOptions(OptionRow options, const QWidget& ref);

// The element that shows m: the letter A to E of a single-letter mask, else
// "Uncertain" (no answer, F, or several letters).
int SingleAnswerColumn(AnswerMask m);

}  // namespace scrivane
