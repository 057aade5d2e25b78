// Which options of a question keep their place when its options are
// reordered (shuffled versions, a rebalanced key, the answer sheet's digest
// and the checks all ask this one rule): an option whose text refers to the
// other options, such as "All of the above" or "Both A and C", and the
// options it names by letter.
#pragma once

#include <QString>
#include <array>

#include "core/questionrecord.h"

namespace scrivane {

// The rule that decides the kept options. A printed sheet is read by the
// rule it was printed with, so a rule once printed by is never changed:
// Phrases printed the first sheets (a lone capital letter of another option
// anywhere pinned the option and kept the question's order whole); References
// tells a letter that names an option from one that is a name ("Vitamin C").
enum class KeptOptionsRule : int { Phrases = 1, References = 2 };
inline constexpr KeptOptionsRule kCurrentKeptOptionsRule = KeptOptionsRule::References;

// Bit 0 is A.
struct KeptOptions {
    unsigned kept = 0;  // the filled options that keep their place
    // Every option keeps its place: the options are all numbers, or (under
    // References) a letter reads as a reference in one option and as a name
    // in another; under Phrases, any option that names another's letter.
    bool whole = false;
    // Under References: a letter reads both ways, so the order is kept whole.
    bool namesEachOther = false;
};
KeptOptions KeptOptionsOf(const std::array<QString, 6>& items,
                          KeptOptionsRule rule = kCurrentKeptOptionsRule);
// The same for a question, whose options may be filled by a picture alone.
KeptOptions KeptOptionsOf(const QuestionRecord& question,
                          KeptOptionsRule rule = kCurrentKeptOptionsRule);

// The letters (bit 0 is A) that the text refers to as options under the
// References rule: "Both A and C" gives A and C, "Vitamin C" nothing.
// `names` receives the letters that stand as names instead.
unsigned ReferredLetters(const QString& text, unsigned* names = nullptr);

// True when the text speaks of the options as a whole: "All of the above",
// "None of these answers", "Toutes les réponses ci-dessus".
bool RefersToAllOptions(const QString& text);

// Under Phrases: true when option `index` (0 for A .. 5 for F) of `items`
// stays where it is: its text starts with one of the phrases that refer to
// the other options, or it names the letter of another filled option as a
// word of its own ("Both A and B", "A or C").
bool IsPinnedOption(const std::array<QString, 6>& items, int index);

// True when the text is a number with an optional unit or currency sign:
// "8", "-2.5", "1,000", "3.2e5", "9.81 m/s²", "50%", "-3 °C", "$5".
bool IsNumericOption(const QString& text);

// True when the question has two or more filled options and every one is a
// number (IsNumericOption): a teacher writes them in order, so no shuffle or
// rebalance moves them.
bool HasNumericOptions(const std::array<QString, 6>& items);
// The same for a question: an option filled by a picture alone is no number.
bool HasNumericOptions(const QuestionRecord& question);

}  // namespace scrivane
