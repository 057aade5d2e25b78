// Answer codes: a six-bit mask of option letters (A = 1 ... F = 32) and its
// text form, "Uncertain" or the letters in A to F order.
#pragma once

#include <QString>
#include <cstdint>

namespace scrivane {

using AnswerMask = std::uint8_t;

inline const QString kUncertain = QStringLiteral("Uncertain");

QString AnswerMaskToText(AnswerMask mask);
AnswerMask AnswerTextToMask(const QString& text);

// The answer mode chosen by AnswerType: 2, 3 and 4 allow any combination of
// A to F, every other value one letter of A to E.
constexpr bool IsMultipleAnswerMode(std::int16_t answerType) {
    return answerType == 2 || answerType == 3 || answerType == 4;
}
// The letters a question without option texts offers in an answer mode, as
// printed papers, answer sheets and the grading take them: A to F in the
// multiple-answer mode, A to E in the single-answer mode.
constexpr int ModeLetterCount(std::int16_t answerType) {
    return IsMultipleAnswerMode(answerType) ? 6 : 5;
}
// The same letters as text: "ABCDEF" or "ABCDE".
QString AnswerModeLetters(std::int16_t answerType);
// Option F is hidden in the main window for these types, whatever the mode.
constexpr bool HidesOptionF(std::int16_t answerType) {
    return answerType == 0 || answerType == 1 || answerType == 5;
}

}  // namespace scrivane
