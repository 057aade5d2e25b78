#include "spreadsheet/importexport.h"

#include <array>
#include <exception>
#include <memory>
#include <optional>

#include "core/answercode.h"
#include "core/moddule1.h"
#include "core/numbers.h"
#include "core/paperholder.h"
#include "core/platform.h"
#include "core/prompts.h"
#include "core/questiontable.h"
#include "spreadsheet/excel.h"
#include "spreadsheet/questionsheet.h"

namespace scrivane {

namespace {

// The hourglass for a long operation: set, pending events run once, and the
// default pointer back at the latest when the routine ends.
class Hourglass {
public:
    explicit Hourglass(Platform& platform) : platform_(platform) {
        platform_.SetWaitCursor(true);
        platform_.ProcessPendingEvents();
    }
    ~Hourglass() { Restore(); }
    Hourglass(const Hourglass&) = delete;
    Hourglass& operator=(const Hourglass&) = delete;
    void Restore() {
        if (on_) platform_.SetWaitCursor(false);
        on_ = false;
    }

private:
    Platform& platform_;
    bool on_ = true;
};

// Runs one step; a failure skips it. why receives the reason.
template <typename Step>
bool Attempt(Step&& step, QString* why = nullptr) {
    try {
        step();
        return true;
    } catch (const std::exception& e) {
        if (why) *why = QString::fromUtf8(e.what());
        return false;
    }
}

ExcelApplication& Instance(const std::unique_ptr<ExcelApplication>& xlApp) {
    if (!xlApp) throw AutomationError("there is no spreadsheet application");
    return *xlApp;
}

// Creates the instance; a factory that gives nothing counts as a failure.
std::unique_ptr<ExcelApplication> CreateInstance(ExcelFactory& factory) {
    auto xlApp = factory.CreateApplication();
    if (!xlApp) throw AutomationError("the spreadsheet application cannot be started");
    return xlApp;
}

// The sheet object: the active sheet from version 8 on, else the
// application itself.
bool UsesActiveSheet(ExcelApplication& xlApp) {
    return ReadLeadingNumber(xlApp.Application().Version()) >= 8;
}

// The refusal keeps its one text; the details say why.
void ShowInvalidFormat(Prompts& prompts, const QString& reason) {
    prompts.MsgBox({QStringLiteral("Invalid format"), QStringLiteral("Error"), MsgButtons::Ok,
                    MsgIcon::Exclamation, std::nullopt, reason});
}

bool IsBlankCell(const Sheet& sheet, int row, int column) {
    try {
        return sheet.cells(row, column).Text().trimmed().isEmpty();
    } catch (const std::exception&) {
        return true;  // what cannot be read was not left out
    }
}

// What the end of the data left out: the rows below the row that ended it,
// down to the last row read that holds anything. Empty when nothing is there.
QString LeftOutRows(const Sheet& sheet, int lastDataRow) {
    const int stop = lastDataRow + 1;
    const int lastRead = QuestionSheetScope().lastRow;
    int last = 0;
    for (int row = lastRead; row > stop && last == 0; --row)
        for (int column = 1; column <= kSheetColumns; ++column)
            if (!IsBlankCell(sheet, row, column)) {
                last = row;
                break;
            }
    if (last == 0) return {};
    const bool noNumber = IsBlankCell(sheet, stop, 1);
    const bool noMark = IsBlankCell(sheet, stop, 2);
    const QString missing = noNumber && noMark ? QStringLiteral("no question number and no mark")
                            : noNumber         ? QStringLiteral("no question number")
                                               : QStringLiteral("no mark");
    const QString rows =
        last == stop + 1
            ? QStringLiteral("row %1 below it was").arg(last)
            : QStringLiteral("rows %1 to %2%3 below it were")
                  .arg(stop + 1)
                  .arg(last)
                  .arg(last == lastRead ? QStringLiteral(" and any further") : QString());
    return QStringLiteral("Reading stopped at row %1, which has %2: %3 left out.")
        .arg(stop)
        .arg(missing, rows);
}

// Ends the instance: the workbook closed unsaved, then Quit, each attempted
// whatever failed before, and both objects released.
void EndInstance(std::unique_ptr<ExcelApplication>& xlApp, Sheet& xlSheet) {
    Attempt([&] { Instance(xlApp).ActiveWorkbook().Close(false); });
    Attempt([&] { Instance(xlApp).Quit(); });
    xlSheet = Sheet();
    xlApp.reset();
}

}  // namespace

bool DoImport(const SpreadsheetContext& context, QString ImportFile, const bool& ImportOrOpen,
              ImportReport* report) {
    ImportReport local;
    ImportReport& outcome = report ? *report : local;
    outcome = {};

    Hourglass hourglass(context.platform);

    std::unique_ptr<ExcelApplication> xlApp;
    QString openFailure;
    Attempt([&] { xlApp = CreateInstance(context.excel); }, &openFailure) &&
        Attempt([&] { xlApp->Workbooks().Open(ImportFile, QuestionSheetScope()); }, &openFailure);

    bool activeSheet = true;  // a version that cannot be read counts as a recent one
    Attempt([&] { activeSheet = UsesActiveSheet(Instance(xlApp)); });
    Sheet xlSheet;
    if (activeSheet)
        Attempt([&] { xlSheet = Instance(xlApp).ActiveSheet(); });
    else if (xlApp)
        xlSheet = xlApp->AsSheet();

    const StagedSheet staged = ReadQuestionSheet(xlSheet);
    if (!staged.Valid()) {
        outcome.outcome = openFailure.isEmpty() ? ImportReport::Outcome::Rejected
                                                : ImportReport::Outcome::Unreadable;
        outcome.reason = openFailure.isEmpty() ? staged.rejection : openFailure;
        ShowInvalidFormat(context.prompts, outcome.reason);
        EndInstance(xlApp, xlSheet);
        hourglass.Restore();
        return false;
    }
    const QString leftOut = LeftOutRows(xlSheet, staged.lastRow);
    QStringList notes;
    if (!leftOut.isEmpty()) notes << leftOut;
    Attempt([&] {
        for (const std::string& note : Instance(xlApp).ActiveWorkbook().Notes())
            notes << QString::fromStdString(note);
    });
    notes += staged.notes;
    EndInstance(xlApp, xlSheet);
    hourglass.Restore();
    const bool imported = ImportQuestions(context, staged.questions, ImportOrOpen, report, notes);
    if (imported) outcome.notes = notes;
    return imported;
}

bool ImportQuestions(const SpreadsheetContext& context,
                     const std::vector<QuestionRecord>& questions, const bool& ImportOrOpen,
                     ImportReport* report, const QStringList& notes) {
    ImportReport local;
    ImportReport& outcome = report ? *report : local;
    outcome = {};

    // A bad mark, or more text than a paper file holds, refuses the whole
    // sheet; the paper stays as it was.
    std::optional<QString> rejection = MarkRejection(questions);
    if (!rejection) rejection = TextRejection(questions);
    if (rejection) {
        outcome.reason = *rejection;
        ShowInvalidFormat(context.prompts, outcome.reason);
        return false;
    }
    if (ImportOrOpen) {
        QStringList details = {
            questions.size() == 1
                ? QStringLiteral("1 question was read.")
                : QStringLiteral("%1 questions were read.").arg(questions.size())};
        details += notes;
        context.prompts.MsgBox({QStringLiteral("Import succeed"), QStringLiteral("Message"),
                                MsgButtons::Ok, MsgIcon::Information, std::nullopt,
                                details.join(u'\n')});
    }

    // From here the paper changes, all of it together.
    context.window.ReplacePaper(ImportOrOpen ? kStepImport : kStepOpenPaper, questions);
    outcome.outcome = ImportReport::Outcome::Imported;
    return true;
}

namespace {

// Moving off a row writes its pending edit, which the window may refuse.
void Require(bool moved) {
    if (!moved) throw AutomationError("the change of the current question was not accepted");
}

// One question's row of the sheet: its number (none leaves the cell empty),
// its mark and its texts from the answer to option F.
struct QuestionCells {
    std::optional<int> number;
    float mark = 0;
    std::array<QString, kSheetColumns - 2> texts;
    QuestionPictures pictures{};
};

QuestionCells CellsOf(const QuestionTable& table) {
    QuestionCells cells;
    const QVariant number = table.Field(QuestionTable::QuestionNo);
    if (!number.isNull()) cells.number = number.toInt();
    cells.mark = table.Field(QuestionTable::Score).toFloat();
    for (int column = QuestionTable::Answer; column <= QuestionTable::ItemF; ++column)
        cells.texts[std::size_t(column - QuestionTable::Answer)] = table.Field(column).toString();
    return cells;
}

QuestionCells CellsOf(int number, const QuestionRecord& question) {
    QuestionCells cells{number, question.Score, {}, question.Pictures};
    cells.texts[0] = AnswerMaskToText(question.Answer);
    cells.texts[1] = question.Title;
    for (std::size_t i = 0; i < 6; ++i) cells.texts[i + 2] = question.Items[i];
    return cells;
}

void WriteQuestion(const Sheet& xlSheet, int row, const QuestionCells& cells) {
    if (cells.number)
        xlSheet.cells(row, 1) = double(*cells.number);
    else
        xlSheet.cells(row, 1).Clear();
    // Every question has a mark (an empty one is 0): a blank mark cell would
    // end the data there when the file is read again. The decimal written is
    // the one people read, which gives back the same single.
    xlSheet.cells(row, 2) = ShortestSingle(cells.mark).toDouble();
    for (std::size_t i = 0; i < cells.texts.size(); ++i)
        xlSheet.cells(row, int(i) + 3) = cells.texts[i];
    for (codec::SheetPicture& picture : QuestionSheetPictures(row, cells.pictures))
        xlSheet.AddPicture(std::move(picture));
}

// Writes the question sheet through the spreadsheet: the headers, the
// columns' widths and wrapping, then writeRows(sheet) writes the questions
// from row 2; then the workbook is saved as file.
template <typename WriteRows>
ExportResult SaveQuestionSheet(ExcelFactory& excel, const QString& file,
                               const WriteRows& writeRows) {
    std::unique_ptr<ExcelApplication> xlApp;
    Sheet xlSheet;
    ExportResult result;
    try {
        xlApp = CreateInstance(excel);
        xlApp->Workbooks().Add();
        xlSheet = UsesActiveSheet(*xlApp) ? xlApp->ActiveSheet() : xlApp->AsSheet();

        const QStringList& headers = QuestionSheetHeaders();
        for (int column = 1; column <= kSheetColumns; ++column)
            xlSheet.cells(1, column) = headers[column - 1];
        for (int column = 1; column <= kSheetColumns; ++column)
            xlSheet.Columns(column).ColumnWidth(kSheetColumnWidths[std::size_t(column - 1)]);
        for (int column = 1; column <= kSheetColumns; ++column)
            xlSheet.Columns(column).WrapText(true);
        writeRows(xlSheet);

        xlApp->ActiveWorkbook().SaveAs(file);
        result.outcome = ExportResult::Written;
    } catch (const std::exception& e) {
        result = {ExportResult::Failed, QString::fromUtf8(e.what())};
    }
    EndInstance(xlApp, xlSheet);
    return result;
}

}  // namespace

ExportResult DoExport(const SpreadsheetContext& context, const QString& ExportFile) {
    QuestionTable& table = context.window.BoundTable();
    if (table.RecordCount() < 1) {
        ShowMessage(context.prompts, QStringLiteral("The test paper should not be empty."));
        return {ExportResult::EmptyPaper, {}};
    }
    // What could not be read back is not written.
    const std::vector<QuestionRecord> records = table.Records();
    if (const auto rejection = TextRejection(records)) return {ExportResult::Failed, *rejection};

    Hourglass hourglass(context.platform);
    const ExportResult result =
        SaveQuestionSheet(context.excel, ExportFile, [&table, &records](const Sheet& xlSheet) {
            int row = 2;
            Require(table.MoveFirst());
            while (!table.Eof()) {
                QuestionCells cells = CellsOf(table);
                // The pictures are kept with the question's record.
                if (std::size_t(row - 2) < records.size())
                    cells.pictures = records[std::size_t(row - 2)].Pictures;
                WriteQuestion(xlSheet, row, cells);
                Require(table.MoveNext());
                ++row;
            }
            Require(table.MoveLast());
        });
    hourglass.Restore();
    return result;
}

ExportResult WriteQuestionSheet(ExcelFactory& excel, const QString& file,
                                const std::vector<QuestionRecord>& questions) {
    if (questions.empty()) return {ExportResult::EmptyPaper, {}};
    if (const auto rejection = TextRejection(questions)) return {ExportResult::Failed, *rejection};
    return SaveQuestionSheet(excel, file, [&questions](const Sheet& xlSheet) {
        for (std::size_t k = 0; k < questions.size(); ++k)
            WriteQuestion(xlSheet, int(k) + 2, CellsOf(int(k) + 1, questions[k]));
    });
}

}  // namespace scrivane
