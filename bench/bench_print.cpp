// Printing a full paper: 100 questions, long options included, in four
// shuffled versions with their keys and answer sheets, written as a PDF;
// beside it the same paper written as an .xls workbook.
#include <benchmark/benchmark.h>
#include <QGuiApplication>
#include <QTemporaryDir>

#include "print/layout/printlayout.h"
#include "print/versions/versions.h"
#include "spreadsheet/paperio.h"

using namespace scrivane;

namespace {

std::vector<QuestionRecord> HundredQuestions() {
    std::vector<QuestionRecord> paper;
    for (int i = 1; i <= 100; ++i) {
        QuestionRecord q;
        q.QuestionNo = std::int16_t(i);
        q.Score = 2.5f;
        q.Answer = AnswerMask(1u << (i % 4));
        q.Title = QStringLiteral(
                      "Question %1: which of these statements about the experiment "
                      "holds?")
                      .arg(i);
        for (int k = 0; k < 4; ++k) q.Items[std::size_t(k)] = QStringLiteral("Option %1").arg(k);
        // Every fifth question has long options, every tenth a pinned one.
        if (i % 5 == 0)
            q.Items[1] = QStringLiteral("a long option that runs over several lines ").repeated(6);
        if (i % 10 == 0) q.Items[4] = QStringLiteral("None of the above");
        paper.push_back(q);
    }
    return paper;
}

void BM_PrintPdf(benchmark::State& state) {
    QTemporaryDir dir;
    const auto paper = HundredQuestions();
    PrintSettings settings;
    settings.heading = QStringLiteral("Physics");
    settings.answerSheet = true;
    settings.versions = {4, true, true, 12345};
    const QString path = dir.filePath(QStringLiteral("paper.pdf"));
    for (auto _ : state) {
        PrintLayout layout(BuildVersions(paper, settings.versions), settings);
        if (!WritePdf(path, layout).isEmpty()) state.SkipWithError("PDF not written");
    }
}

void BM_ExportXls(benchmark::State& state) {
    QTemporaryDir dir;
    const auto paper = HundredQuestions();
    const QString path = dir.filePath(QStringLiteral("paper.xls"));
    for (auto _ : state)
        if (!WritePaperFile(path, paper).WasWritten()) state.SkipWithError("xls not written");
}

}  // namespace

BENCHMARK(BM_PrintPdf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportXls)->Unit(benchmark::kMillisecond);
