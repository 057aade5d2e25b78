#include "spreadsheet/paperio.h"

#include <QFile>
#include <filesystem>
#include <span>

#include "spreadsheet/codec/biff8_writer.h"

#include "core/numbers.h"
#include "spreadsheet/excel.h"
#include "spreadsheet/headless.h"

namespace scrivane {

ImportReport ReadPaperFile(const QString& path, std::vector<QuestionRecord>& rows) {
    Moddule1 module;
    HeadlessPaper paper(module);
    RecordingPrompts prompts;
    HeadlessPlatform platform;
    NativeExcelFactory excel;
    ImportReport report;
    if (DoImport({module, paper, prompts, platform, excel}, path, false, &report))
        rows = paper.BoundTable().Records();
    return report;
}

void FillTable(QuestionTable& table, const std::vector<QuestionRecord>& rows) {
    for (const QuestionRecord& row : rows) {
        table.AddNew();
        table.SetField(QuestionTable::QuestionNo, table.AbsolutePosition());
        table.SetField(QuestionTable::Score, row.Score);
        table.SetField(QuestionTable::Answer, AnswerMaskToText(row.Answer));
        table.SetField(QuestionTable::Title, row.Title);
        for (int i = 0; i < 6; ++i)
            table.SetField(QuestionTable::ItemA + i, row.Items[std::size_t(i)]);
        table.Update();
    }
}

ExportResult WritePaperFile(const QString& path, const std::vector<QuestionRecord>& rows) {
    Moddule1 module;
    HeadlessPaper paper(module);
    RecordingPrompts prompts;
    HeadlessPlatform platform;
    NativeExcelFactory excel;
    paper.ReplacePaper({}, rows);
    return DoExport({module, paper, prompts, platform, excel}, path);
}

QString WriteBytesSafely(const QString& path, const QByteArray& bytes) {
    try {
        codec::WriteFileSafely(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                         std::size_t(bytes.size())),
                               std::filesystem::path(QFile::encodeName(path).toStdString()));
    } catch (const codec::WorkbookError& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

}  // namespace scrivane
