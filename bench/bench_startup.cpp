// Start-up as a teacher waits for it: the editor's whole process from exec
// to its painted window, beside a bare Qt Widgets window (bench_bare_window),
// and the converter printing a 100-question workbook as JSON beside a bare
// Qt Core process (bench_bare_qtcore). Each pair runs alternately, so that a
// busy machine slows both alike; the counters give the medians, their
// difference and their ratio.
//
// Both windows are ended by the preloaded quitwhenpainted library, so any
// build's editor can be measured: SCRIVANE_EDITOR=other/build/bin/scrivane
// (and SCRIVANE_CONVERT for its converter). The windows need a display: run
// it under xvfb-run -a, or QT_QPA_PLATFORM=offscreen for the programs' own
// part alone. The editor runs with a home of its own, so no recovery offer
// or settings of the user's change what it does.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <fcntl.h>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

std::string FromEnvironment(const char* name, const char* built) {
    const char* other = std::getenv(name);
    return other && *other ? other : built;
}

// A home of the benchmark's own: no recovery files, no settings, no recent
// papers of the user's.
std::vector<std::string> Environment() {
    const std::filesystem::path home =
        std::filesystem::temp_directory_path() / "scrivane-bench-startup";
    std::filesystem::create_directories(home / "config");
    std::filesystem::create_directories(home / "data");
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        if (text.rfind("HOME=", 0) == 0 || text.rfind("XDG_CONFIG_HOME=", 0) == 0 ||
            text.rfind("XDG_DATA_HOME=", 0) == 0 || text.rfind("LD_PRELOAD=", 0) == 0)
            continue;
        env.push_back(text);
    }
    env.push_back("HOME=" + home.string());
    env.push_back("XDG_CONFIG_HOME=" + (home / "config").string());
    env.push_back("XDG_DATA_HOME=" + (home / "data").string());
    env.push_back(std::string("LD_PRELOAD=") + QUIT_WHEN_PAINTED);
    return env;
}

const std::vector<std::string> kEditor = {FromEnvironment("SCRIVANE_EDITOR", SCRIVANE_EDITOR)};
const std::vector<std::string> kBareWindow = {BARE_WINDOW};
const std::vector<std::string> kConvert = {FromEnvironment("SCRIVANE_CONVERT", SCRIVANE_CONVERT),
                                           SCRIVANE_FIXTURES "/rows-100.lo.xls", "--json"};
const std::vector<std::string> kBareCore = {BARE_QTCORE};

struct Run {
    double wall = -1;  // seconds from spawn to exit; negative when it failed
    double cpu = 0;    // user and system seconds the process used
};

// One run of the program, its output thrown away.
Run RunOnce(const std::vector<std::string>& command, bool window) {
    static std::vector<std::string> env = Environment();
    std::vector<char*> argv;
    for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    if (window)
        for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int error =
        posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), window ? envp.data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return {};
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return {took.count(), seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The program and its yardstick in turn, `runs` times each: the medians of
// the wall time in milliseconds, the program's as a multiple of the
// yardstick's, and the same for the processor time they used (which a busy
// machine disturbs less).
void Alternate(benchmark::State& state, const std::vector<std::string>& program,
               const std::vector<std::string>& yardstick, bool window, const std::string& name,
               const std::string& yardstickName) {
    const int runs = int(state.range(0));
    for (auto _ : state) {
        std::vector<double> measured, bare, measuredCpu, bareCpu;
        for (int i = 0; i < runs; ++i) {
            const Run yard = RunOnce(yardstick, window);
            const Run run = RunOnce(program, window);
            if (yard.wall < 0 || run.wall < 0) {
                state.SkipWithError("a program did not run to success");
                return;
            }
            bare.push_back(yard.wall);
            measured.push_back(run.wall);
            bareCpu.push_back(yard.cpu);
            measuredCpu.push_back(run.cpu);
        }
        state.counters[name + "_ms"] = Median(measured) * 1000;
        state.counters[yardstickName + "_ms"] = Median(bare) * 1000;
        state.counters["gap_ms"] = (Median(measured) - Median(bare)) * 1000;
        state.counters["ratio"] = Median(measured) / Median(bare);
        state.counters[name + "_cpu_ms"] = Median(measuredCpu) * 1000;
        state.counters[yardstickName + "_cpu_ms"] = Median(bareCpu) * 1000;
        state.counters["cpu_ratio"] = Median(measuredCpu) / Median(bareCpu);
    }
}

// The goal: within 1.3 times the bare window.
void BM_EditorStart(benchmark::State& state) {
    Alternate(state, kEditor, kBareWindow, true, "editor", "bare_window");
}
// The goal: within 1.5 times the bare Qt Core process.
void BM_ConvertJsonStart(benchmark::State& state) {
    Alternate(state, kConvert, kBareCore, false, "convert", "bare_qtcore");
}

}  // namespace

BENCHMARK(BM_EditorStart)->Arg(20)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertJsonStart)->Arg(20)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
