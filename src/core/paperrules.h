// The limits of a test paper and of the question sheet it is exchanged in,
// each defined once for the editor, the dialogs, the readers and the writers.
#pragma once

#include <array>

namespace scrivane {

// The capacity of the question table.
inline constexpr int kMaxQuestions = 100;

// A question's mark lies between these, ends included.
inline constexpr float kMinMark = 0;
inline constexpr float kMaxMark = 250;
// False for a value that is not a number.
constexpr bool IsValidMark(double mark) {
    return mark >= kMinMark && mark <= kMaxMark;
}

// What the edit panel and the grid take as typed: a mark of 4 characters
// ("12.5"), a title of 250 and an option of 100. A longer text that comes
// from a file is shown whole.
inline constexpr int kMarkTypedLength = 4;
inline constexpr int kTitleTypedLength = 250;
inline constexpr int kOptionTypedLength = 100;

// The question sheet: number, mark, answer, title and options A to F.
inline constexpr int kSheetColumns = 10;
// The rows an import looks at: the header, every data row a paper holds and
// the row that shows whether there are more.
inline constexpr int kSheetRowsRead = kMaxQuestions + 2;
// The widths of the question sheet's columns in a written workbook, in characters.
inline constexpr std::array<int, kSheetColumns> kSheetColumnWidths = {6,  6,  6,  30, 13,
                                                                      13, 13, 13, 13, 13};
// The reference widths of the grid's columns, in twips.
inline constexpr std::array<double, kSheetColumns> kGridColumnTwips = {
    1155, 1260, 1500, 3750, 1050, 1035, 1080, 1050, 1110, 1095};

// A picture taken into a question: its file at most this size, its image
// at most this many pixels.
inline constexpr long long kMaxPictureFileBytes = 10LL * 1024 * 1024;
inline constexpr long long kMaxPicturePixels = 40LL * 1000 * 1000;

}  // namespace scrivane
