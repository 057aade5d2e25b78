// The cost of checking a paper: the checks window runs the problems, the
// balance and a trial rebalance after every change of the paper, so one
// full check of the largest paper (100 questions) must stay far below a
// frame. Measured on a skewed key (most answers C, long runs), the worst
// case for the rebalance, and on a balanced one.
#include <benchmark/benchmark.h>

#include "checks/answerbalance.h"
#include "checks/paperchecks.h"
#include "checks/rebalance.h"
#include "core/moddule1.h"

using namespace scrivane;

namespace {

std::vector<QuestionRecord> Paper(bool skewed) {
    std::vector<QuestionRecord> rows(kMaxQuestions);
    for (int i = 0; i < kMaxQuestions; ++i) {
        QuestionRecord& q = rows[std::size_t(i)];
        q.Score = 2;
        q.Title = QStringLiteral("Question %1 of the paper?").arg(i + 1);
        for (int o = 0; o < 5; ++o)
            q.Items[std::size_t(o)] = QStringLiteral("Option %1 of question %2").arg(o).arg(i + 1);
        if (i % 10 == 9) q.Items[4] = QStringLiteral("All of the above");
        const int letter = skewed ? (i % 7 == 0 ? i % 4 : 2) : i % 4;
        q.Answer = AnswerMask(1u << letter);
    }
    return rows;
}

void BM_CheckPaper(benchmark::State& state) {
    const auto rows = Paper(state.range(0) != 0);
    for (auto _ : state) benchmark::DoNotOptimize(CheckPaper(rows, 3));
}
BENCHMARK(BM_CheckPaper)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_MeasureBalance(benchmark::State& state) {
    const auto rows = Paper(state.range(0) != 0);
    for (auto _ : state) benchmark::DoNotOptimize(MeasureBalance(rows, 3));
}
BENCHMARK(BM_MeasureBalance)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_Rebalance(benchmark::State& state) {
    const auto rows = Paper(state.range(0) != 0);
    for (auto _ : state) benchmark::DoNotOptimize(Rebalance(rows, 3));
}
BENCHMARK(BM_Rebalance)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
