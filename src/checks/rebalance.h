// Rebalancing the answer key: the options of one-letter questions are
// reordered so that every letter is the answer about equally often and no
// letter answers more than three questions in a row.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/questionrecord.h"

namespace scrivane {

struct RebalanceResult {
    std::vector<QuestionRecord> rows;
    std::vector<int> changed;  // numbers of the questions whose options moved
};

// Moves the correct option of as few one-letter questions as possible, each
// by exchanging it with another of the question's filled options, so that
// the letters' counts differ by at most one where the options allow and no
// run is longer than three. Options that stay (see OptionsThatStay), the
// questions whose options are all numbers (HasNumericOptions) and the
// questions with no answer or several are left as they are. Every question
// keeps its option texts and its correct option text; the same paper always
// gives the same result.
RebalanceResult Rebalance(const std::vector<QuestionRecord>& rows, std::int16_t answerType);

// The options of a question that keep their letter, as KeptOptionsOf decides
// them: those that refer to the others ("All of the above", "Both A and C")
// and those they name, whose meaning would change if they moved; every
// option when the question's letters read both as references and as names.
// Bit i for option A + i.
unsigned OptionsThatStay(const std::array<QString, 6>& items);
// The same for a question, whose options may be filled by a picture alone.
unsigned OptionsThatStay(const QuestionRecord& question);

}  // namespace scrivane
