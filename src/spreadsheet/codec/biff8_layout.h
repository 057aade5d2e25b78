// Text helpers of the BIFF8 writer: UTF-8 to UTF-16 and the estimate of how
// many lines a wrapped cell needs, from which row heights are set.
#pragma once

#include <string>
#include <string_view>

namespace scrivane::codec {

// Height of one line of the default font (Arial 10) and the tallest row
// that BIFF8 allows (409 points), both in twips.
inline constexpr int kLineTwips = 255;
inline constexpr int kMaxRowTwips = 8180;

// Converts UTF-8 to UTF-16 (supplementary characters as surrogate pairs).
// Throws WorkbookError on malformed UTF-8.
std::u16string Utf8ToUtf16(std::string_view utf8);

// True for characters that take two character cells: East Asian wide and
// full-width characters and emoji.
bool IsWideCodePoint(char32_t c);

// Lines that `text` takes in a column `columnChars` characters wide when it
// wraps: each line feed starts a new line; words move whole to the next
// line when they do not fit, a word longer than a line is broken; wide
// characters count two and may break anywhere. At least 1.
int WrappedLineCount(std::u16string_view text, double columnChars);

// Row height for `lines` lines, capped at kMaxRowTwips.
int RowHeightTwips(int lines);

}  // namespace scrivane::codec
