// Hostile workbooks and large question files (GIFT, Aiken, CSV, Moodle XML,
// in UTF-8, UTF-16 and Windows-1252) through the converter's import
// (`scrivane-convert FILE --json`): each generated input is written to a file once, then imported
// in a fresh child process per iteration, so that the time and the peak memory (the child's maximum
// resident set) are those of one import alone. The goal for every input is an answer, read or
// refused, within 1 s and 128 MiB.
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
#include "interchange/formatcommand.h"
#include "spreadsheet/workbookcommand.h"

namespace {

namespace fs = std::filesystem;

// Imports path in a child; returns what it printed on stderr (the reason) and
// fills the child's wall time and peak memory.
std::string ImportInChild(const std::string& path, double& seconds, double& cpuSeconds,
                          long& peakKiB, bool& crashed) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return "pipe failed";
    std::fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeEnds[0]);
        // As the converter's main: the question formats first, then the workbooks.
        const QString input = QString::fromStdString(path);
        const auto converted =
            scrivane::interchange::RunInterchangeConversion({input, {}, true, std::nullopt, std::nullopt});
        const scrivane::ConverterRun run =
            converted ? *converted : scrivane::RunConverter({input, {}, true});
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
    // The child's own processor time, which other work on a busy machine
    // does not stretch as it stretches the wall time.
    cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    crashed = !WIFEXITED(status) || WEXITSTATUS(status) != 0;
    return said;
}

void BM_HostileImport(benchmark::State& state, const std::string& path) {
    long peak = 0;
    double cpu = 0;
    std::string said;
    for (auto _ : state) {
        double seconds = 0, cpuSeconds = 0;
        long peakKiB = 0;
        bool crashed = false;
        said = ImportInChild(path, seconds, cpuSeconds, peakKiB, crashed);
        if (crashed) state.SkipWithError("the import crashed");
        state.SetIterationTime(seconds);
        peak = std::max(peak, peakKiB);
        cpu = std::max(cpu, cpuSeconds);
    }
    state.counters["peak_MiB"] = double(peak) / 1024.0;
    state.counters["child_cpu_ms"] = cpu * 1000;
    state.counters["file_MiB"] = double(fs::file_size(path)) / (1 << 20);
    state.SetLabel(said);
}

namespace q {

using scrivane::hostile::Bytes;
using scrivane::hostile::HostileInput;

Bytes Of(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// text repeated until the file holds about `bytes` bytes.
std::string Repeated(const std::string& text, std::size_t bytes) {
    std::string out;
    out.reserve(bytes + text.size());
    while (out.size() < bytes) out += text;
    return out;
}

// ASCII text as UTF-16LE with its byte-order mark, as Windows editors write it.
Bytes Utf16(const std::string& text) {
    Bytes out = {0xFF, 0xFE};
    out.reserve(2 * text.size() + 2);
    for (const char c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

constexpr std::size_t kMiB = std::size_t{1} << 20;

// The large question files: a limit passed early, and legal files that must
// be read to their end.
std::vector<HostileInput> QuestionInputs() {
    const std::string csvHeader =
        "Question NO,Mark,Answer,Question Title,Option A,Option B,Option C,Option D,Option "
        "E,Option F\n";
    return {
        {"gift-answer-block-2MB",
         [] { return Of("Q {\n" + Repeated("~wrong\n", 2 * kMiB) + "}\n"); }},
        {"gift-answer-block-8MB",
         [] { return Of("Q {\n" + Repeated("~wrong\n", 8 * kMiB) + "}\n"); }},
        {"gift-answer-block-63MB",
         [] { return Of("Q {\n" + Repeated("~wrong\n", 63 * kMiB) + "}\n"); }},
        {"gift-answer-block-63MB-one-line",
         [] { return Of("Q {" + Repeated("~wrong ", 63 * kMiB) + "}\n"); }},
        {"gift-small-questions-63MB",
         [] { return Of(Repeated("::n:: Q {=a ~b}\n\n", 63 * kMiB)); }},
        {"gift-comments-63MB-then-a-question",
         [] { return Of(Repeated("// a comment line\n", 63 * kMiB) + "Q {=a ~b}\n"); }},
        {"gift-utf16-comments-63MB-then-a-question",
         [] { return Utf16(Repeated("// comment\n", 31 * kMiB) + "Q {=a ~b}\n"); }},
        {"aiken-small-questions-63MB",
         [] { return Of(Repeated("Q\nA. a\nB. b\nANSWER: A\n\n", 63 * kMiB)); }},
        {"aiken-63MB-option-line",
         [] { return Of("Q\nA. " + std::string(63 * kMiB, 'a') + "\nANSWER: A\n"); }},
        {"aiken-windows-1252-blank-lines-63MB-then-a-question",
         [] { return Of(Repeated("   \r\n", 63 * kMiB) + "Caf\xE9\nA. \x80\nANSWER: A\n"); }},
        {"csv-rows-60MB",
         [csvHeader] { return Of(csvHeader + Repeated("1,2,A,title,a,b,c,d,e,f\n", 60 * kMiB)); }},
        {"csv-one-row-of-60MB-columns",
         [csvHeader] { return Of(csvHeader + "1,2,A,t" + Repeated(",x", 60 * kMiB) + "\n"); }},
        {"moodle-small-questions-63MB",
         [] {
             return Of("<quiz>" +
                       Repeated("<question type=\"multichoice\"><answer fraction=\"100\"><text>a"
                                "</text></answer></question>",
                                63 * kMiB) +
                       "</quiz>");
         }},
        {"moodle-utf16-essays-31MB",
         [] {
             return Utf16(
                 "<quiz>" +
                 Repeated("<question type=\"essay\"><name><text>e</text></name></question>",
                          31 * kMiB) +
                 "</quiz>");
         }},
    };
}

}  // namespace q

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
    for (auto& input : q::QuestionInputs()) inputs.push_back(std::move(input));
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
