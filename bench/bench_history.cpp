// The cost of the undo history on a full paper (100 questions): 1,000 mixed
// edits, then 1,000 undos and redos, with the time of one step and the memory
// the kept steps hold.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QCoreApplication>
#include <QRandomGenerator>
#include <chrono>

#include "history/paperhistory.h"

using namespace scrivane;

namespace {

std::vector<QuestionRecord> FullPaper() {
    std::vector<QuestionRecord> rows(kMaxQuestions);
    for (int i = 0; i < kMaxQuestions; ++i) {
        QuestionRecord& q = rows[std::size_t(i)];
        q.Score = 2.5f;
        q.Answer = AnswerMask(1 << (i % 6));
        q.Title = QString(250, QChar(u'a' + i % 26));  // the longest title the box takes
        for (auto& item : q.Items) item = QString(40, u'o');
    }
    return rows;
}

std::size_t HeapInUse() {
    return mallinfo2().uordblks;
}

double MicrosecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
        .count();
}

// The edits a teacher makes, in a mix: mostly fields typed in the panel or
// the grid, some moves, adds and deletes, and now and then a change of all
// rows at once (the steps that hold a whole paper).
void MixedEdit(PaperDocument& document, PaperHistory& history, QRandomGenerator& random) {
    const int count = document.Count();
    const int kind = int(random.bounded(100));
    const int p = 1 + int(random.bounded(count));
    if (kind < 70) {
        QuestionTable& table = document.Table();
        table.SetAbsolutePosition(p);
        if (kind < 30)
            table.SetBoundValue(QuestionTable::Score, float(random.bounded(250)));
        else
            table.SetBoundValue(QuestionTable::Title,
                                QStringLiteral("Edited title %1").arg(random.generate()));
        table.Update();
    } else if (kind < 85) {
        history.MoveQuestion(p, p > 1 ? p - 1 : p + 1);
    } else if (kind < 92 && count < kMaxQuestions) {
        history.AddQuestion(document.Row(p));
    } else if (kind < 99 && count > 1) {
        history.DeleteQuestion(p);
    } else {
        auto rows = document.Rows();
        for (auto& q : rows) q.Answer = AnswerMask(1 << random.bounded(5));
        history.ReplaceRows(QStringLiteral("Rebalance answers"), rows);
    }
}

void BM_EditsThenUndoRedo(benchmark::State& state) {
    double editUs = 0, undoRedoUs = 0, stackBytes = 0;
    for (auto _ : state) {
        Moddule1 module;
        PaperDocument document(module);
        document.Install(FullPaper(), {});
        const std::size_t heapBefore = HeapInUse();
        PaperHistory history(document);
        QRandomGenerator random(7);

        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 1000; ++i) MixedEdit(document, history, random);
        editUs += MicrosecondsSince(start) / 1000;
        // The steps kept (at most the bound) and the paper as it now stands.
        stackBytes += double(HeapInUse()) - double(heapBefore);

        start = std::chrono::steady_clock::now();
        int done = 0;
        while (done < 1000) {
            while (history.CanUndo() && done < 1000) {
                history.Undo();
                ++done;
            }
            while (history.CanRedo() && done < 1000) {
                history.Redo();
                ++done;
            }
        }
        undoRedoUs += MicrosecondsSince(start) / 1000;
        benchmark::DoNotOptimize(document.Total());
    }
    const double n = double(state.iterations());
    state.counters["edit_us_per_step"] = editUs / n;
    state.counters["undo_redo_us_per_step"] = undoRedoUs / n;
    state.counters["stack_KiB"] = stackBytes / n / 1024;
}
BENCHMARK(BM_EditsThenUndoRedo)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
