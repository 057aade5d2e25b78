// What a number format shows of a date or a time, and the ISO text of a
// date serial: the text a spreadsheet shows for a date-formatted number.
#include <cmath>
#include <cstdio>

#include "spreadsheet/codec/read_internal.h"

namespace scrivane::codec::detail {

DateFormat ClassifyNumberFormat(std::string_view code) {
    DateFormat f;
    bool elapsed = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (c == ';') break;  // the first section is the one for positive numbers
        if (c == '"') {
            const auto close = code.find('"', i + 1);
            if (close == std::string_view::npos) break;
            i = close;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i;  // an escaped, spaced or repeated character
        } else if (c == '[') {
            const auto close = code.find(']', i + 1);
            if (close == std::string_view::npos) break;
            const std::string_view inside = code.substr(i + 1, close - i - 1);
            // [h], [mm], [ss]: elapsed time, a duration rather than a date.
            if (!inside.empty() && inside.find_first_not_of("hHmMsS") == std::string_view::npos)
                elapsed = true;
            i = close;
        } else {
            switch (c) {
                case 'y':
                case 'Y':
                case 'd':
                case 'D':
                    f.date = true;
                    break;
                case 'h':
                case 'H':
                    f.time = true;
                    break;
                case 's':
                case 'S':
                    f.time = f.seconds = true;
                    break;
                case 'm':
                case 'M':
                    f.monthOrMinute = true;
                    break;
                default:
                    break;
            }
        }
    }
    if (elapsed) return {};
    // m alone is a month beside days or years, a minute beside hours.
    if (f.monthOrMinute && !f.date && !f.time) f.date = true;
    return f;
}

DateFormat BuiltInNumberFormat(int id) {
    DateFormat f;
    // 14-17 and the East Asian 27-36 and 50-58 are dates, 18-21 and 45-47
    // times, 22 both.
    if ((id >= 14 && id <= 17) || (id >= 27 && id <= 36) || (id >= 50 && id <= 58)) f.date = true;
    if ((id >= 18 && id <= 22) || id == 45 || id == 47) f.time = true;
    if (id == 22) f.date = true;
    if (id == 19 || id == 21 || id == 45 || id == 47) f.seconds = true;
    return f;
}

std::string DateText(double serial, const DateFormat& format, bool date1904) {
    if (!format.date && !format.time) return {};
    // Beyond 9999-12-31 (or before the epoch) a spreadsheet shows no date.
    if (!std::isfinite(serial) || serial < 0 || serial >= 2958466) return {};
    // Rounded to the second, as spreadsheets show times.
    const auto seconds = static_cast<long long>(std::llround(serial * 86400.0));
    long long days = seconds / 86400;
    const long long daySeconds = seconds % 86400;
    int year = 1900, month = 1, day = 0;
    if (!date1904 && days < 61) {
        // The 1900 system counts a 29 February 1900 that never was.
        if (days == 0) {
            month = 1, day = 0;
        } else if (days == 60) {
            month = 2, day = 29;
        } else if (days < 32) {
            day = static_cast<int>(days);
        } else {
            month = 2, day = static_cast<int>(days - 31);
        }
    } else {
        // Days since 1970-01-01, then the civil calendar.
        long long z = days + (date1904 ? 1462 - 25569 : -25569);
        z += 719468;
        const long long era = (z >= 0 ? z : z - 146096) / 146097;
        const long long doe = z - era * 146097;
        const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const long long mp = (5 * doy + 2) / 153;
        day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
        month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
        year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    }
    char buffer[40];
    std::string out;
    if (format.date) {
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
        out = buffer;
    }
    if (format.time) {
        const int h = static_cast<int>(daySeconds / 3600),
                  m = static_cast<int>(daySeconds / 60 % 60), s = static_cast<int>(daySeconds % 60);
        if (format.seconds)
            std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", h, m, s);
        else
            std::snprintf(buffer, sizeof buffer, "%02d:%02d", h, m);
        if (!out.empty()) out += ' ';
        out += buffer;
    }
    return out;
}

}  // namespace scrivane::codec::detail
