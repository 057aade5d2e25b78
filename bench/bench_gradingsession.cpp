// The grading file of a large class: a correction (written at once with the
// safe write), opening the grading again and exporting the grades, for 300
// sheets of a 100-question paper typed in by hand.
#include <benchmark/benchmark.h>
#include <QFileInfo>
#include <QTemporaryDir>
#include <vector>

#include "grading/session/gradingsession.h"

using namespace scrivane;

namespace {

constexpr int kQuestions = 100;
constexpr int kSheets = 300;

std::vector<QuestionRecord> Paper() {
    std::vector<QuestionRecord> paper(kQuestions);
    for (int q = 0; q < kQuestions; ++q) {
        paper[std::size_t(q)].QuestionNo = std::int16_t(q + 1);
        paper[std::size_t(q)].Score = 1;
        paper[std::size_t(q)].Answer = AnswerMask(1u << (q % 5));
    }
    return paper;
}

struct Class {
    QTemporaryDir folder;
    QString paperPath = folder.filePath(QStringLiteral("endofterm.tpf"));
    GradingSession session{paperPath, folder.filePath(QStringLiteral("data")), Paper(),
                           QStringLiteral("ABCDE")};
    std::vector<int> ids;
    Class() {
        for (int s = 0; s < kSheets; ++s) {
            std::vector<AnswerMask> answers(kQuestions);
            for (int q = 0; q < kQuestions; ++q)
                answers[std::size_t(q)] = AnswerMask(1u << ((q + s) % 5));
            ids.push_back(
                session.AddByHand(QString::number(100000 + s), QStringLiteral("A"), answers));
        }
    }
};

void BM_CorrectionWritten(benchmark::State& state) {
    Class pile;
    bool odd = false;
    for (auto _ : state) {
        odd = !odd;
        pile.session.TypeStudent(pile.ids[7],
                                 odd ? QStringLiteral("999001") : QStringLiteral("999002"));
    }
    state.counters["file_kb"] = double(QFileInfo(pile.session.GradingFile()).size()) / 1024;
}

void BM_OpenGrading(benchmark::State& state) {
    Class pile;
    pile.session.Save();
    for (auto _ : state) {
        GradingSession again(pile.paperPath, pile.folder.filePath(QStringLiteral("data")), Paper(),
                             QStringLiteral("ABCDE"));
        benchmark::DoNotOptimize(again.Load());
    }
}

void BM_ExportXlsx(benchmark::State& state) {
    Class pile;
    const QString out = pile.folder.filePath(QStringLiteral("grades.xlsx"));
    for (auto _ : state) benchmark::DoNotOptimize(pile.session.ExportGrades(out));
}

}  // namespace

BENCHMARK(BM_CorrectionWritten)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_OpenGrading)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_ExportXlsx)->Unit(benchmark::kMillisecond)->Iterations(5);
