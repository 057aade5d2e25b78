// The balance of the answer key: how often each letter is the answer of a
// one-letter question against how often it should be, and the longest run
// of one letter. A key that favours a letter or repeats one is guessable.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <vector>

#include "core/questionrecord.h"

namespace scrivane {

struct LetterRun {
    int letter = -1;  // 0 for A .. 5 for F; -1 without one-letter answers
    int length = 0;
    int first = 0;  // number of the run's first question

    bool operator==(const LetterRun&) const = default;
};

struct AnswerBalance {
    int questions = 0;  // questions with a one-letter answer
    // The letters the key is measured on: A to E, and F where the paper shows
    // it or an answer names it.
    int letters = 5;
    std::array<int, 6> counts{};
    // The questions that offer a letter, each shared out over its options.
    std::array<double, 6> expected{};
    LetterRun longestRun;
    std::vector<int> offLetters;      // counts too far from the expected
    std::vector<LetterRun> longRuns;  // 4 or more in a row

    bool Balanced() const { return offLetters.empty() && longRuns.empty(); }
    // "C is the answer 12 times in 30; about 6 expected", "D is the answer to
    // questions 11 to 15 in a row", or just "Balanced".
    QStringList Findings() const;
    QString Verdict() const;
};

// A run of this length or more is off.
constexpr int kLongRun = 4;

AnswerBalance MeasureBalance(const std::vector<QuestionRecord>& rows, std::int16_t answerType);

// The answer letter of a one-letter answer (0 for A), -1 for none or several.
int SingleLetter(unsigned answer);

// The letters a question may have as its answer: its filled options that
// the answer mode allows (A to E in single-answer mode, F only where shown).
unsigned AnswerLetters(const QuestionRecord& question, std::int16_t answerType);

// The runs of one letter over consecutive one-letter questions, in order.
std::vector<LetterRun> LetterRuns(const std::vector<int>& letters);

}  // namespace scrivane
