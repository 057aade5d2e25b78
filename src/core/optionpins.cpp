#include "core/optionpins.h"

#include <QRegularExpression>

namespace scrivane {

namespace {

// Phrases that only make sense in their place in the list, matched as the
// start of the trimmed text so that "All of the above." and "None of these
// answers" are caught too.
constexpr const char* kPinnedPhrases[] = {
    "all of the above",    "none of the above",    "all of these",     "none of these",
    "both of the above",   "neither of the above", "neither of these", "both of these",
    "all the above",       "none of them",         "all of them",      "both a and b",
    "either of the above", "any of the above",
};

}  // namespace

bool IsPinnedOption(const std::array<QString, 6>& items, int index) {
    if (index < 0 || index >= int(items.size())) return false;
    const QString text = items[std::size_t(index)].trimmed().toLower();
    if (text.isEmpty()) return false;
    for (const char* phrase : kPinnedPhrases)
        if (text.startsWith(QLatin1String(phrase))) return true;
    // A lone capital letter of another filled option: "Both A and C", "B or D";
    // not the article of "A dog".
    static const QRegularExpression letter(
        QStringLiteral("(?<![\\p{L}\\p{N}])([A-F])(?![\\p{L}\\p{N}])(?!\\s+\\p{Ll})"));
    const QString original = items[std::size_t(index)];
    for (auto it = letter.globalMatch(original); it.hasNext();) {
        const int other = it.next().captured(1).at(0).unicode() - u'A';
        if (other != index && !items[std::size_t(other)].trimmed().isEmpty()) return true;
    }
    return false;
}

bool IsNumericOption(const QString& text) {
    // A currency sign may lead; a unit of letters and signs may follow,
    // after a blank or not ("10kg", "10 kg", "25 %", "12 m/s²").
    static const QRegularExpression number(QStringLiteral(
        "^(?:\\p{Sc}\\s*)?[+\\-\\x{2212}]?(?:\\d+(?:[.,\\x{2009}\\x{202F}]\\d+)*|[.,]\\d+)"
        "(?:[eE][+\\-]?\\d+)?"
        "(?:\\s*[\\p{L}\\p{Sc}%\\x{2030}\\x{00B0}\\x{2032}\\x{2033}'\"]"
        "[\\p{L}\\p{N}\\p{Sc}%\\x{00B0}\\x{00B2}\\x{00B3}\\x{00B7}/^.\\-]*)?$"));
    const QString trimmed = text.trimmed();
    return !trimmed.isEmpty() && number.match(trimmed).hasMatch();
}

bool HasNumericOptions(const std::array<QString, 6>& items) {
    int filled = 0;
    for (const QString& item : items) {
        if (item.trimmed().isEmpty()) continue;
        if (!IsNumericOption(item)) return false;
        ++filled;
    }
    return filled >= 2;
}

}  // namespace scrivane
