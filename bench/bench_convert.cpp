// The converter as scripts run it: the whole process of printing a
// 100-question workbook as JSON, beside a bare Qt Core process, so that what
// the converter's start costs shows as the difference of the two medians.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fcntl.h>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

// SCRIVANE_CONVERT in the environment names another build's converter to
// measure, for a figure before and after a change.
std::string ConvertProgram() {
    const char* other = std::getenv("SCRIVANE_CONVERT");
    return other && *other ? other : SCRIVANE_CONVERT;
}

const std::vector<std::string> kConvert = {ConvertProgram(), SCRIVANE_FIXTURES "/rows-100.lo.xls",
                                           "--json"};
const std::vector<std::string> kBare = {BARE_QTCORE};

// Wall time of one run of the program, its output thrown away; negative when
// it could not run or failed.
double RunOnce(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took.count() : -1;
}

void Run(benchmark::State& state, const std::vector<std::string>& command) {
    for (auto _ : state) {
        const double seconds = RunOnce(command);
        if (seconds < 0) {
            state.SkipWithError("the program did not run to success");
            return;
        }
        state.SetIterationTime(seconds);
    }
}

void BM_ConvertJson100(benchmark::State& state) {
    Run(state, kConvert);
}
void BM_BareQtCore(benchmark::State& state) {
    Run(state, kBare);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Both programs in turn, so that a busy machine slows both alike; the
// medians and their difference in milliseconds.
void BM_ConvertStartGap(benchmark::State& state) {
    const int runs = int(state.range(0));
    for (auto _ : state) {
        std::vector<double> convert, bare;
        for (int i = 0; i < runs; ++i) {
            bare.push_back(RunOnce(kBare));
            convert.push_back(RunOnce(kConvert));
        }
        if (*std::min_element(convert.begin(), convert.end()) < 0 ||
            *std::min_element(bare.begin(), bare.end()) < 0) {
            state.SkipWithError("a program did not run to success");
            return;
        }
        state.counters["convert_ms"] = Median(convert) * 1000;
        state.counters["bare_qtcore_ms"] = Median(bare) * 1000;
        state.counters["gap_ms"] = (Median(convert) - Median(bare)) * 1000;
    }
}

}  // namespace

BENCHMARK(BM_ConvertJson100)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareQtCore)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertStartGap)->Arg(20)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
