// Import and export of a full paper (100 questions) in-process, files
// included: the cost of open, save, import and export in the editor.
#include <benchmark/benchmark.h>
#include <QDir>
#include <QTemporaryDir>

#include "spreadsheet/excel.h"
#include "headlesspaper.h"
#include "spreadsheet/importexport.h"

using namespace scrivane;

namespace {

struct Paper {
    Moddule1 module;
    HeadlessPaper window{module};
    RecordingPrompts prompts;
    HeadlessPlatform platform;
    NativeExcelFactory excel;
    SpreadsheetContext context{module, window, prompts, platform, excel};
};

// titleLength: characters of each title; options are short.
void FillHundred(Paper& paper, int titleLength) {
    auto table = std::make_unique<QuestionTable>();
    const QString chinese = QStringLiteral(u"数学物理化学生物历史地理政治语文英语音乐");
    for (int i = 1; i <= 100; ++i) {
        QString title = QStringLiteral("Question %1 ").arg(i);
        while (title.size() < titleLength) title += chinese;
        title.truncate(std::max(titleLength, 1));
        table->AddNew();
        table->SetField(QuestionTable::QuestionNo, i);
        table->SetField(QuestionTable::Score, 2.5f);
        table->SetField(QuestionTable::Answer, QStringLiteral("AC"));
        table->SetField(QuestionTable::Title, title);
        for (int c = QuestionTable::ItemA; c <= QuestionTable::ItemF; ++c)
            table->SetField(c, QStringLiteral("Option text %1").arg(c));
        table->Update();
    }
    paper.window.SetTable(std::move(table));
}

void BM_Export(benchmark::State& state) {
    QTemporaryDir dir;
    Paper paper;
    FillHundred(paper, int(state.range(0)));
    const QString path = dir.filePath(QStringLiteral("paper.xls"));
    for (auto _ : state) {
        if (!DoExport(paper.context, path).WasWritten()) state.SkipWithError("export failed");
    }
}

void BM_Import(benchmark::State& state) {
    QTemporaryDir dir;
    Paper source;
    FillHundred(source, int(state.range(0)));
    const QString path = dir.filePath(QStringLiteral("paper.xls"));
    if (!DoExport(source.context, path).WasWritten()) {
        state.SkipWithError("export failed");
        return;
    }
    Paper paper;
    for (auto _ : state) {
        if (!DoImport(paper.context, path, false)) state.SkipWithError("import failed");
    }
}

}  // namespace

// Titles of 40 characters (an ordinary paper) and of 3000 characters.
BENCHMARK(BM_Export)->Arg(40)->Arg(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Import)->Arg(40)->Arg(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
