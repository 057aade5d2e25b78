// Small papers for the checks' tests: clean questions to start from, and
// generated papers with skewed keys.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "core/questionrecord.h"

namespace scrivane::test {

// A question with four distinct options, answer `letter` (0 for A).
inline QuestionRecord CleanQuestion(int number, int letter = 0) {
    QuestionRecord q;
    q.QuestionNo = std::int16_t(number);
    q.Score = 5;
    q.Answer = AnswerMask(1u << letter);
    q.Title = QStringLiteral("Question number %1?").arg(number);
    for (int i = 0; i < 4; ++i)
        q.Items[std::size_t(i)] =
            QStringLiteral("answer %1 of %2").arg(QChar(u'a' + i)).arg(number);
    return q;
}

inline std::vector<QuestionRecord> CleanPaper(int count) {
    std::vector<QuestionRecord> rows;
    for (int n = 1; n <= count; ++n) rows.push_back(CleanQuestion(n, (n - 1) % 4));
    return rows;
}

// A paper whose key favours one letter heavily, with long runs, some
// questions with two options, some with a pinned last option and some with
// several answers; from a fixed seed, so every run of a test sees the same.
inline std::vector<QuestionRecord> SkewedPaper(unsigned seed, int count) {
    std::mt19937 random(seed);
    std::vector<QuestionRecord> rows;
    for (int n = 1; n <= count; ++n) {
        QuestionRecord q = CleanQuestion(n);
        const unsigned kind = random() % 10;
        int options = 4 + int(random() % 2);  // four or five
        if (kind == 0) options = 2;
        for (int i = 0; i < 6; ++i)
            q.Items[std::size_t(i)] =
                i < options ? QStringLiteral("option %1 of %2").arg(QChar(u'a' + i)).arg(n)
                            : QString();
        if (kind == 1) q.Items[std::size_t(options - 1)] = QStringLiteral("All of the above");
        const int movable = kind == 1 ? options - 1 : options;
        // Seven in ten answers are the favourite letter, C where it exists.
        int letter =
            random() % 10 < 7 ? std::min(2, movable - 1) : int(random() % unsigned(movable));
        q.Answer = AnswerMask(1u << letter);
        if (kind == 2) q.Answer = 0b101;  // several answers stay as they are
        rows.push_back(q);
    }
    return rows;
}

}  // namespace scrivane::test
