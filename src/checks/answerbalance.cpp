#include "checks/answerbalance.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "checks/paperchecks.h"
#include "core/answercode.h"

namespace scrivane {

int SingleLetter(unsigned answer) {
    answer &= 0x3Fu;
    return std::popcount(answer) == 1 ? std::countr_zero(answer) : -1;
}

unsigned AnswerLetters(const QuestionRecord& question, std::int16_t answerType) {
    const int allowed = IsMultipleAnswerMode(answerType) ? VisibleOptionCount(answerType) : 5;
    unsigned letters = 0;
    for (int i = 0; i < allowed; ++i)
        if (IsFilledOption(question, i)) letters |= 1u << i;
    return letters;
}

std::vector<LetterRun> LetterRuns(const std::vector<int>& letters) {
    std::vector<LetterRun> runs;
    for (std::size_t i = 0; i < letters.size(); ++i) {
        if (letters[i] < 0) continue;
        if (i > 0 && letters[i - 1] == letters[i])
            ++runs.back().length;
        else
            runs.push_back({letters[i], 1, int(i) + 1});
    }
    return runs;
}

AnswerBalance MeasureBalance(const std::vector<QuestionRecord>& rows, std::int16_t answerType) {
    AnswerBalance balance;
    balance.letters = VisibleOptionCount(answerType);
    std::vector<int> letters;
    letters.reserve(rows.size());
    for (const QuestionRecord& q : rows) {
        const int letter = SingleLetter(q.Answer);
        letters.push_back(letter);
        if (letter < 0) continue;
        ++balance.questions;
        ++balance.counts[std::size_t(letter)];
        if (letter == 5) balance.letters = 6;
        // A question whose options offer nothing counts for its own letter.
        unsigned offered = AnswerLetters(q, answerType);
        if (offered == 0) offered = 1u << letter;
        const double share = 1.0 / std::popcount(offered);
        for (int i = 0; i < 6; ++i)
            if (offered & (1u << i)) balance.expected[std::size_t(i)] += share;
    }
    for (int i = 0; i < balance.letters; ++i) {
        const double expected = balance.expected[std::size_t(i)];
        // The shares are sums of fractions: a hair above the limit is on it.
        if (std::abs(balance.counts[std::size_t(i)] - expected) >
            std::max(2.0, 0.3 * expected) + 1e-9)
            balance.offLetters.push_back(i);
    }
    for (const LetterRun& run : LetterRuns(letters)) {
        if (run.length > balance.longestRun.length) balance.longestRun = run;
        if (run.length >= kLongRun) balance.longRuns.push_back(run);
    }
    return balance;
}

QStringList AnswerBalance::Findings() const {
    QStringList findings;
    for (int letter : offLetters) {
        const int count = counts[std::size_t(letter)];
        findings << QStringLiteral("%1 is the answer %2 %3 in %4; about %5 expected")
                        .arg(QChar(u'A' + letter))
                        .arg(count)
                        .arg(count == 1 ? QStringLiteral("time") : QStringLiteral("times"))
                        .arg(questions)
                        .arg(qRound(expected[std::size_t(letter)]));
    }
    for (const LetterRun& run : longRuns)
        findings << QStringLiteral("%1 is the answer to questions %2 to %3 in a row")
                        .arg(QChar(u'A' + run.letter))
                        .arg(run.first)
                        .arg(run.first + run.length - 1);
    return findings;
}

QString AnswerBalance::Verdict() const {
    return Balanced() ? QStringLiteral("Balanced") : Findings().join(u'\n');
}

}  // namespace scrivane
