// Shared pieces of the spreadsheet tests: a spreadsheet factory whose
// instances fail chosen operations and log every call, the headless paper
// with scripted seams, question sheets built in memory, and the paper as
// comparable rows.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>
#include <functional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "core/numbers.h"
#include "fakeseams.h"
#include "spreadsheet/codec/workbook.h"
#include "spreadsheet/excel.h"
#include "headlesspaper.h"
#include "spreadsheet/importexport.h"
#include "spreadsheet/questionsheet.h"

namespace scrivane::test {

class ScriptedExcelFactory : public ExcelFactory {
public:
    bool failCreate = false;
    // Operations that fail, by name alone or by name, row and column.
    std::set<std::string> failing;
    std::set<std::tuple<std::string, int, int>> failingAt;
    int created = 0;
    std::vector<std::string> calls;  // every operation asked for, in order

    std::unique_ptr<ExcelApplication> CreateApplication() override {
        if (failCreate) throw AutomationError("the spreadsheet application cannot be started");
        ++created;
        return std::make_unique<ExcelApplication>([this](std::string_view op, int row, int column) {
            calls.emplace_back(op);
            const std::string name(op);
            return failing.count(name) > 0 || failingAt.count({name, row, column}) > 0;
        });
    }
    int Count(std::string_view op) const { return int(std::count(calls.begin(), calls.end(), op)); }
};

// A paper window, scripted prompts and platform, and the factory.
struct SheetHarness {
    Moddule1 module;
    HeadlessPaper paper{module};
    FakePrompts prompts;
    FakePlatform platform;
    ScriptedExcelFactory excel;
    SpreadsheetContext context{module, paper, prompts, platform, excel};

    bool Import(const QString& file, bool importOrOpen = true, ImportReport* report = nullptr) {
        return DoImport(context, file, importOrOpen, report);
    }
    ExportResult Export(const QString& file) { return DoExport(context, file); }
};

// --- Question sheets in memory ---

using SheetRow = std::vector<codec::Cell>;

inline codec::Cell T(const char* text) {
    return codec::Cell::Text(text);
}
inline codec::Cell T(const QString& text) {
    return codec::Cell::Text(text.toStdString());
}
inline codec::Cell N(double number) {
    return codec::Cell::Number(number);
}
inline const codec::Cell kBlank{};

inline SheetRow HeaderRow() {
    SheetRow row;
    for (const QString& header : QuestionSheetHeaders()) row.push_back(T(header));
    return row;
}

// A question row: number, mark, answer, title and the options "a" to "f".
inline SheetRow QuestionRow(int number, codec::Cell mark, const char* answer = "A",
                            const char* title = "Title") {
    return {N(number), std::move(mark), T(answer), T(title), T("a"),
            T("b"),    T("c"),          T("d"),    T("e"),   T("f")};
}

inline codec::Worksheet MakeSheet(const std::vector<SheetRow>& rows, std::string name = "Sheet1") {
    codec::Worksheet sheet;
    sheet.name = std::move(name);
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < rows[r].size(); ++c)
            if (rows[r][c].kind != codec::Cell::Kind::Empty)
                sheet.Set(int(r) + 1, int(c) + 1, rows[r][c]);
    return sheet;
}

inline codec::Workbook MakeBook(const std::vector<SheetRow>& rows) {
    codec::Workbook book;
    book.sheets.push_back(MakeSheet(rows));
    return book;
}

// --- The paper as rows: score (shortest decimal), answer, title, A to F ---

inline QStringList PaperRow(const QuestionTable& table) {
    const QVariant score = table.Field(QuestionTable::Score);
    QStringList row{score.isNull() ? QStringLiteral("null") : ShortestSingle(score.toFloat())};
    for (int column = QuestionTable::Answer; column <= QuestionTable::ItemF; ++column)
        row << table.Field(column).toString();
    return row;
}

// Walks the table from the first row, checking that the numbers run 1, 2, ...
inline std::vector<QStringList> PaperRows(QuestionTable& table, bool* numbered = nullptr) {
    std::vector<QStringList> rows;
    if (numbered) *numbered = true;
    for (table.MoveFirst(); !table.Eof(); table.MoveNext()) {
        if (numbered && table.Field(QuestionTable::QuestionNo).toInt() != int(rows.size()) + 1)
            *numbered = false;
        rows.push_back(PaperRow(table));
    }
    table.MoveFirst();
    return rows;
}

// The rows of an expected "questions" array; Score goes through single
// precision as the table keeps it.
inline std::vector<QStringList> JsonRows(const QJsonArray& questions, bool* numbered = nullptr) {
    std::vector<QStringList> rows;
    if (numbered) *numbered = true;
    for (const QJsonValue& value : questions) {
        const QJsonObject q = value.toObject();
        if (numbered && q.value("QuestionNo").toInt() != int(rows.size()) + 1) *numbered = false;
        QStringList row{ShortestSingle(float(q.value("Score").toDouble()))};
        for (int column = QuestionTable::Answer; column <= QuestionTable::ItemF; ++column)
            row << q.value(QuestionTable::ColumnName(column)).toString();
        rows.push_back(row);
    }
    return rows;
}

// Fills the paper with questions through the table's own operations.
inline void FillPaper(SheetHarness& h, const std::vector<QStringList>& rows) {
    auto table = std::make_unique<QuestionTable>();
    int number = 0;
    for (const QStringList& row : rows) {
        table->AddNew();
        table->SetField(QuestionTable::QuestionNo, ++number);
        table->SetField(QuestionTable::Score, row[0].toFloat());
        for (int column = QuestionTable::Answer; column <= QuestionTable::ItemF; ++column)
            table->SetField(column, row.value(column - 1));
        table->Update();
        h.module.ScoreList(number) = row[0].toFloat();
    }
    h.paper.SetTable(std::move(table));
}

}  // namespace scrivane::test
