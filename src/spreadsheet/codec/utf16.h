// Code points from UTF-16 text, as the readers and the writers of the
// workbooks both walk it.
#pragma once

#include <cstddef>

namespace scrivane::codec {

// The code point that starts at units[i]: a surrogate pair is taken whole
// (i then stands on its second half); a lone surrogate is returned as it is.
template <class Units>
char32_t NextCodePoint(const Units& units, std::size_t& i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
        ++i;
    }
    return c;
}

}  // namespace scrivane::codec
