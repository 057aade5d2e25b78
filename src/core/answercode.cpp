#include "core/answercode.h"

namespace scrivane {

QString AnswerMaskToText(AnswerMask mask) {
    QString text;
    for (int bit = 0; bit < 6; ++bit) {
        if (mask & (1u << bit)) text += QChar(u'A' + bit);
    }
    return text.isEmpty() ? kUncertain : text;
}

QString AnswerModeLetters(std::int16_t answerType) {
    return QStringLiteral("ABCDEF").left(ModeLetterCount(answerType));
}

AnswerMask AnswerTextToMask(const QString& text) {
    // Only whole texts of letters count: anything else is "Uncertain".
    if (text == kUncertain || text.isEmpty() || text.size() > 6) return 0;
    AnswerMask mask = 0;
    for (QChar c : text) {
        const char16_t u = c.toUpper().unicode();
        if (u < u'A' || u > u'F') return 0;
        mask |= AnswerMask(1u << (u - u'A'));
    }
    return mask;
}

}  // namespace scrivane
