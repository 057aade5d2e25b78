// Reading numbers the way the mark boxes and the sheet import read them, and
// showing single-precision marks.
#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>

namespace scrivane {

// The number at the start of a text: blanks, tabs and line feeds are ignored
// wherever they stand; an optional sign, digits with at most one '.', and an
// optional exponent (E or D) are read up to the first other character; &H and
// &O read hexadecimal and octal whole numbers. A text that does not start with
// a number reads as 0. Overflow gives an infinity of the right sign.
double ReadLeadingNumber(QStringView text);

// Rounds to a whole number with halves going to the even neighbour; nothing
// when the result does not fit a signed 16-bit integer.
std::optional<std::int16_t> RoundToInt16(double value);

// A mark as people read it: at most seven significant digits, no trailing
// zeros, with the given decimal separator.
QString FormatSingle(float value, QChar decimalPoint = u'.');

// The shortest decimal text that reads back as the same single-precision value.
QString ShortestSingle(float value);

}  // namespace scrivane
