// Text helpers of the BIFF8 writer.
#include "spreadsheet/codec/biff8_layout.h"

#include <algorithm>
#include <cmath>

#include "spreadsheet/codec/utf16.h"
#include "spreadsheet/codec/workbook.h"

namespace scrivane::codec {

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    const std::size_t n = utf8.size();
    while (i < n) {
        const auto b0 = static_cast<unsigned char>(utf8[i]);
        char32_t c = 0;
        int extra = 0;
        char32_t least = 0;
        if (b0 < 0x80) {
            c = b0;
        } else if ((b0 & 0xE0) == 0xC0) {
            c = b0 & 0x1F;
            extra = 1;
            least = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            c = b0 & 0x0F;
            extra = 2;
            least = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            c = b0 & 0x07;
            extra = 3;
            least = 0x10000;
        } else {
            throw WorkbookError("A text is not valid UTF-8.");
        }
        if (n - i - 1 < static_cast<std::size_t>(extra))
            throw WorkbookError("A text is not valid UTF-8.");
        for (int k = 1; k <= extra; ++k) {
            const auto b = static_cast<unsigned char>(utf8[i + k]);
            if ((b & 0xC0) != 0x80) throw WorkbookError("A text is not valid UTF-8.");
            c = (c << 6) | (b & 0x3F);
        }
        // Overlong forms, surrogate code points and values past U+10FFFF.
        if (c < least || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
            throw WorkbookError("A text is not valid UTF-8.");
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += 1 + extra;
    }
    return out;
}

bool IsWideCodePoint(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) ||    // Hangul Jamo
           (c >= 0x2E80 && c <= 0x303E) ||    // CJK radicals, punctuation
           (c >= 0x3041 && c <= 0x33FF) ||    // kana, CJK compatibility
           (c >= 0x3400 && c <= 0x4DBF) ||    // CJK extension A
           (c >= 0x4E00 && c <= 0x9FFF) ||    // CJK unified ideographs
           (c >= 0xA000 && c <= 0xA4CF) ||    // Yi
           (c >= 0xAC00 && c <= 0xD7A3) ||    // Hangul syllables
           (c >= 0xF900 && c <= 0xFAFF) ||    // CJK compatibility ideographs
           (c >= 0xFE30 && c <= 0xFE4F) ||    // CJK compatibility forms
           (c >= 0xFF00 && c <= 0xFF60) ||    // full-width forms
           (c >= 0xFFE0 && c <= 0xFFE6) ||    //
           (c >= 0x1F300 && c <= 0x1F64F) ||  // pictographs, emoticons
           (c >= 0x1F900 && c <= 0x1F9FF) ||  // supplemental pictographs
           (c >= 0x20000 && c <= 0x3FFFD);    // CJK extensions B onwards
}

int WrappedLineCount(std::u16string_view text, double columnChars) {
    const int width = std::isfinite(columnChars)
                          ? static_cast<int>(std::clamp(std::floor(columnChars), 1.0, 255.0))
                          : 1;
    int lines = 1;
    int used = 0;  // characters already on the current line
    int word = 0;  // width of the word being read, not yet placed
    auto placeWord = [&] {
        if (word == 0) return;
        if (used > 0 && used + word > width) {
            ++lines;
            used = 0;
        }
        while (used + word > width) {  // only a word longer than a whole line
            word -= width;
            ++lines;
        }
        used += word;
        word = 0;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = NextCodePoint(text, i);
        if (c == u'\n') {
            placeWord();
            ++lines;
            used = 0;
        } else if (c == u'\r') {
            // A CR before LF adds no line of its own.
        } else if (c == u' ' || c == u'\t') {
            placeWord();
            if (used < width) ++used;  // a blank at the end of a line is swallowed
        } else if (IsWideCodePoint(c)) {
            placeWord();
            if (used > 0 && used + 2 > width) {
                ++lines;
                used = 0;
            }
            used += 2;
        } else {
            ++word;
        }
    }
    placeWord();
    return lines;
}

int RowHeightTwips(int lines) {
    if (lines < 1) lines = 1;
    if (lines > kMaxRowTwips / kLineTwips) return kMaxRowTwips;
    return lines * kLineTwips;
}

}  // namespace scrivane::codec
