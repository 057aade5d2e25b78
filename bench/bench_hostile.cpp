// Hostile workbooks through the converter's import (`scrivane-convert FILE
// --json`): each generated input is written to a file once, then imported in
// a fresh child process per iteration, so that the time and the peak memory
// (the child's maximum resident set) are those of one import alone. The goal
// for every input is an answer, read or refused, within 1 s and 128 MiB.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QStringList>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "hostile_inputs.h"
#include "spreadsheet/convert.h"

namespace {

namespace fs = std::filesystem;

// Imports path in a child; returns what it printed on stderr (the reason) and
// fills the child's wall time and peak memory.
std::string ImportInChild(const std::string& path, double& seconds, long& peakKiB, bool& crashed) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return "pipe failed";
    std::fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeEnds[0]);
        const scrivane::ConverterRun run =
            scrivane::RunConverter({QString::fromStdString(path), QStringLiteral("--json")});
        QByteArray said = run.err.isEmpty() ? QByteArray("read") : run.err.trimmed();
        said.replace('\n', " / ");
        if (write(pipeEnds[1], said.constData(),
                  std::size_t(std::min<qsizetype>(said.size(), 4000))) < 0)
            _exit(2);
        _exit(0);
    }
    close(pipeEnds[1]);
    std::string said;
    char buffer[512];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, std::size_t(n));
    close(pipeEnds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    peakKiB = usage.ru_maxrss;
    crashed = !WIFEXITED(status) || WEXITSTATUS(status) != 0;
    return said;
}

void BM_HostileImport(benchmark::State& state, const std::string& path) {
    long peak = 0;
    std::string said;
    for (auto _ : state) {
        double seconds = 0;
        long peakKiB = 0;
        bool crashed = false;
        said = ImportInChild(path, seconds, peakKiB, crashed);
        if (crashed) state.SkipWithError("the import crashed");
        state.SetIterationTime(seconds);
        peak = std::max(peak, peakKiB);
    }
    state.counters["peak_MiB"] = double(peak) / 1024.0;
    state.counters["file_MiB"] = double(fs::file_size(path)) / (1 << 20);
    state.SetLabel(said);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    char pattern[] = "/tmp/scrivane-bench-hostile-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const fs::path dir = pattern;
    // The inputs are made and written before any import runs, and not kept
    // in this process, whose pages every child starts with.
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<scrivane::hostile::HostileInput> inputs = scrivane::hostile::HostileInputs();
    inputs.push_back({"xlsx-ordinary-question-sheet", [] {
                          return scrivane::hostile::ZipFile(scrivane::hostile::XlsxMembers(
                              scrivane::hostile::SheetXml(scrivane::hostile::QuestionRows())));
                      }});
    for (const auto& input : inputs) {
        // Made in a child of its own: this process, whose pages every import
        // starts with, stays as small as a converter's.
        const fs::path file = dir / input.name;
        std::fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            const scrivane::hostile::Bytes bytes = input.make();
            std::ofstream(file, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        files.emplace_back(input.name, file.string());
    }
    for (const auto& [name, path] : files)
        benchmark::RegisterBenchmark(name.c_str(), BM_HostileImport, path)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(dir);
    return 0;
}
