#include "core/numbers.h"

#include <charconv>
#include <cmath>
#include <string>

namespace scrivane {

namespace {

bool IsIgnorable(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// &H and &O numbers are whole numbers of 16 bits when they fit, else of 32
// bits, as the literal forms they come from.
double ReadRadixNumber(QStringView text, qsizetype i, int radix) {
    std::uint64_t value = 0;
    bool any = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (IsIgnorable(c)) continue;
        const int digit = c.isDigit() ? c.digitValue()
                          : (radix == 16 && c.toUpper() >= u'A' && c.toUpper() <= u'F')
                              ? c.toUpper().unicode() - u'A' + 10
                              : -1;
        if (digit < 0 || digit >= radix) break;
        value = value * radix + digit;
        any = true;
        if (value > 0xFFFFFFFFull) return HUGE_VAL;
    }
    if (!any) return 0;
    if (value <= 0xFFFF) return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

}  // namespace

double ReadLeadingNumber(QStringView text) {
    qsizetype i = 0;
    auto skip = [&] {
        while (i < text.size() && IsIgnorable(text[i])) ++i;
    };
    skip();
    if (i + 1 < text.size() && text[i] == u'&') {
        const QChar kind = text[i + 1].toUpper();
        if (kind == u'H') return ReadRadixNumber(text, i + 2, 16);
        if (kind == u'O') return ReadRadixNumber(text, i + 2, 8);
        return 0;
    }
    // Gather the number's characters without the blanks, then convert once.
    std::string number;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        number += char(text[i].unicode());
        ++i;
    }
    bool digits = false, point = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (IsIgnorable(c)) continue;
        if (c >= u'0' && c <= u'9') {
            digits = true;
            number += char(c.unicode());
        } else if (c == u'.' && !point) {
            point = true;
            number += '.';
        } else {
            break;
        }
        if (number.size() > 4096) break;  // far beyond any meaningful precision
    }
    if (!digits) return 0;
    skip();
    if (i < text.size() && (text[i].toUpper() == u'E' || text[i].toUpper() == u'D')) {
        std::string exponent = "e";
        qsizetype j = i + 1;
        while (j < text.size() && IsIgnorable(text[j])) ++j;
        if (j < text.size() && (text[j] == u'+' || text[j] == u'-'))
            exponent += char(text[j++].unicode());
        bool expDigits = false;
        for (; j < text.size(); ++j) {
            const QChar c = text[j];
            if (IsIgnorable(c)) continue;
            if (c < u'0' || c > u'9') break;
            expDigits = true;
            if (exponent.size() < 12) exponent += char(c.unicode());
        }
        if (expDigits) number += exponent;
    }
    double value = 0;
    const char* first = number.data();
    if (*first == '+') ++first;
    const auto result = std::from_chars(first, number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large gives an infinity, too small gives zero.
        const bool negative = number[0] == '-';
        const auto e = number.find('e');
        const bool tiny = e != std::string::npos && number[e + 1] == '-';
        return tiny ? 0.0 : (negative ? -HUGE_VAL : HUGE_VAL);
    }
    return value;
}

std::optional<std::int16_t> RoundToInt16(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    const double rounded = std::nearbyint(value);  // the default mode rounds halves to even
    if (rounded < -32768.0 || rounded > 32767.0) return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

QString FormatSingle(float value, QChar decimalPoint) {
    QString text = QString::number(double(value), 'g', 7);
    if (decimalPoint != u'.') text.replace(u'.', decimalPoint);
    return text;
}

QString ShortestSingle(float value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

}  // namespace scrivane
