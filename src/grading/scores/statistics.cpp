#include "grading/scores/statistics.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace scrivane {

namespace {

// Below this a variance is taken as none: sums of marks such as 0.1 leave
// rounding dust where the figures are equal.
constexpr double kNoVariance = 1e-12;

double Mean(const std::vector<double>& values) {
    return std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
}

double Variance(const std::vector<double>& values) {
    const double mean = Mean(values);
    double sum = 0;
    for (double v : values) sum += (v - mean) * (v - mean);
    return sum / double(values.size());
}

std::optional<double> Correlation(const std::vector<double>& x, const std::vector<double>& y) {
    const double vx = Variance(x), vy = Variance(y);
    if (vx <= kNoVariance || vy <= kNoVariance) return std::nullopt;
    const double mx = Mean(x), my = Mean(y);
    double covariance = 0;
    for (std::size_t i = 0; i < x.size(); ++i) covariance += (x[i] - mx) * (y[i] - my);
    return covariance / double(x.size()) / std::sqrt(vx * vy);
}

// k/(k − 1) × (1 − Σ item variances / variance of the totals).
std::optional<double> Reliability(double k, double itemVariances, double totalVariance) {
    if (k < 2 || totalVariance <= kNoVariance) return std::nullopt;
    return k / (k - 1) * (1 - itemVariances / totalVariance);
}

// How the top and bottom groups chose each option of question q, and how
// choosing it goes with the rest of the total: what tells a wrong key.
void OptionGroups(QuestionStatistics& question, const std::vector<const SheetResult*>& read,
                  const std::vector<std::size_t>& order, std::size_t g, int q,
                  const std::vector<double>& rest, double k) {
    const std::size_t n = read.size();
    const auto Marked = [&](std::size_t s, QChar letter) {
        return (read[s]->answers[std::size_t(q)].marked & (1 << (letter.unicode() - u'A'))) != 0;
    };
    for (const auto& [letter, count] : question.options) {
        int upper = 0, lower = 0;
        for (std::size_t i = 0; i < g && i < n; ++i) {
            upper += Marked(order[i], letter);
            lower += Marked(order[n - 1 - i], letter);
        }
        question.upper.push_back(upper);
        question.lower.push_back(lower);
        std::vector<double> chose(n);
        for (std::size_t s = 0; s < n; ++s) chose[s] = Marked(s, letter) ? 1 : 0;
        question.optionPointBiserial.push_back(n > 0 && k >= 2 ? Correlation(chose, rest)
                                                               : std::nullopt);
    }
    for (std::size_t i = 0; i < g && i < n; ++i)
        question.upperCorrect +=
            read[order[i]]->answers[std::size_t(q)].correct.value_or(false) ? 1 : 0;
}

}  // namespace

GradeStatistics ComputeStatistics(const std::vector<SheetResult>& sheets, const AnswerKey& key) {
    std::vector<const SheetResult*> read;
    for (const SheetResult& sheet : sheets)
        if (sheet.status != SheetStatus::Unreadable) read.push_back(&sheet);
    const std::size_t n = read.size();
    const int questions = key.QuestionCount();

    GradeStatistics stats;
    std::vector<int> counting;
    for (int q = 0; q < questions; ++q)
        if (key.Counts(q)) counting.push_back(q);
    const double k = double(counting.size());

    std::vector<double> totals(n), correctTotals(n, 0);
    for (std::size_t s = 0; s < n; ++s) {
        totals[s] = read[s]->score;
        for (int q : counting) {
            const AnswerResult& a = read[s]->answers[std::size_t(q)];
            correctTotals[s] += a.correct.value_or(false) ? 1 : 0;
        }
    }

    // Top and bottom groups for the discrimination.
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (totals[a] != totals[b]) return totals[a] > totals[b];
        const QString sa = read[a]->student.value_or(QString());
        const QString sb = read[b]->student.value_or(QString());
        if (sa != sb) return sa < sb;
        if (read[a]->file != read[b]->file) return read[a]->file < read[b]->file;
        return read[a]->page < read[b]->page;
    });
    const std::size_t g = std::max<std::size_t>(1, (27 * n + 50) / 100);

    double pq = 0, scoreVariances = 0;
    for (int q = 0; q < questions; ++q) {
        QuestionStatistics question;
        question.question = q + 1;
        question.mark = key.Mark(q);
        const AnswerMask offered = key.Offered(q);
        for (int letter = 0; letter < 6; ++letter)
            if (offered & (1 << letter)) question.options.push_back({QChar(u'A' + letter), 0});
        std::vector<double> correct(n), score(n), rest(n);
        for (std::size_t s = 0; s < n; ++s) {
            const AnswerResult& a = read[s]->answers[std::size_t(q)];
            for (auto& [letter, count] : question.options)
                if (a.marked & (1 << (letter.unicode() - u'A'))) ++count;
            question.blank += a.status == AnswerStatus::Blank;
            question.multiple += a.status == AnswerStatus::Multiple;
            correct[s] = a.correct.value_or(false) ? 1 : 0;
            score[s] = a.score;
            rest[s] = totals[s] - a.score;
        }
        OptionGroups(question, read, order, g, q, rest, k);
        if (key.Counts(q)) {
            question.givenToAll = key.GivenToAll(q);
            question.answer = MarkedLetters(key.Paper()[std::size_t(q)].Answer);
            if (n > 0) {
                const double p = Mean(correct);
                question.p = p;
                double top = 0, bottom = 0;
                for (std::size_t i = 0; i < g; ++i) {
                    top += correct[order[i]];
                    bottom += correct[order[n - 1 - i]];
                }
                question.discrimination = (top - bottom) / double(g);
                if (k >= 2) question.pointBiserial = Correlation(correct, rest);
                pq += p * (1 - p);
                scoreVariances += Variance(score);
            }
        }
        stats.questions.push_back(std::move(question));
    }

    SummaryStatistics& summary = stats.summary;
    summary.sheets = int(n);
    if (n == 0) return stats;
    std::vector<double> sorted = totals;
    std::sort(sorted.begin(), sorted.end());
    summary.mean = Mean(totals);
    summary.median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    const double variance = Variance(totals);
    summary.sd = std::sqrt(variance);
    summary.lowest = sorted.front();
    summary.highest = sorted.back();
    summary.kr20 = Reliability(k, pq, Variance(correctTotals));
    summary.alpha = Reliability(k, scoreVariances, variance);
    if (summary.alpha) summary.sem = *summary.sd * std::sqrt(std::max(0.0, 1 - *summary.alpha));
    return stats;
}

}  // namespace scrivane
