// Options that must keep their letter when a question's options are
// reordered (shuffled versions, a rebalanced key): an option whose text
// refers to the other options, such as "All of the above" or "Both A and B".
#pragma once

#include <QString>
#include <array>

namespace scrivane {

// True when option `index` (0 for A .. 5 for F) of `items` stays where it is:
// its text is one of the phrases that refer to the other options (compared
// without case and blanks at the ends), or it names the letter of another
// filled option as a word of its own ("Both A and B", "A or C").
bool IsPinnedOption(const std::array<QString, 6>& items, int index);

// True when the text is a number with an optional unit or currency sign:
// "8", "-2.5", "1,000", "3.2e5", "9.81 m/s²", "50%", "-3 °C", "$5".
bool IsNumericOption(const QString& text);

// True when the question has two or more filled options and every one is a
// number (IsNumericOption): a teacher writes them in order, so no shuffle or
// rebalance moves them.
bool HasNumericOptions(const std::array<QString, 6>& items);

}  // namespace scrivane
