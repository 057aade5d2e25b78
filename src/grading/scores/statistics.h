// How each question and the whole test did, over every sheet that was read
// (ok or to review, never unreadable), with population variances (divided by
// the number of sheets). Only the questions whose answer is set count.
#pragma once

#include <QChar>
#include <optional>
#include <utility>
#include <vector>

#include "grading/scores/grades.h"

namespace scrivane {

struct QuestionStatistics {
    int question = 0;  // in the paper, from 1
    double mark = 0;
    std::optional<QString> answer;  // the answer's letters; none when not set
    // The proportion of sheets that answered it correctly.
    std::optional<double> p;
    // p of the top group minus p of the bottom group, each of
    // g = max(1, (27 n + 50) div 100) sheets, the sheets ordered by total
    // descending, then by student number, file and page.
    std::optional<double> discrimination;
    // Pearson's correlation of the 0/1 correctness with the rest of the total
    // (the total minus this question's score); none when either has no variance.
    std::optional<double> pointBiserial;
    std::vector<std::pair<QChar, int>> options;  // sheets that marked each offered option
    int blank = 0;
    int multiple = 0;
    // Sheets of the top and of the bottom group (as for the discrimination)
    // that marked each offered option, in the order of `options`.
    std::vector<int> upper, lower;
    // Sheets of the top group that answered the question correctly.
    int upperCorrect = 0;
    // For each offered option, the correlation of having marked it with the
    // rest of the total; none where either has no variance.
    std::vector<std::optional<double>> optionPointBiserial;
    // Every sheet was given the question's mark.
    bool givenToAll = false;
};

struct SummaryStatistics {
    int sheets = 0;
    std::optional<double> mean, median, sd, lowest, highest;
    std::optional<double> kr20;   // over 0/1 correctness and number-correct totals
    std::optional<double> alpha;  // Cronbach's, over the mark-weighted scores
    std::optional<double> sem;    // sd × √(1 − alpha)
};

struct GradeStatistics {
    std::vector<QuestionStatistics> questions;  // every question of the paper, in order
    SummaryStatistics summary;
};

GradeStatistics ComputeStatistics(const std::vector<SheetResult>& sheets, const AnswerKey& key);

}  // namespace scrivane
