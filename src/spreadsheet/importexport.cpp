#include "spreadsheet/importexport.h"

#include <exception>
#include <memory>

#include "core/moddule1.h"
#include "core/numbers.h"
#include "core/paperwindow.h"
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

void ShowInvalidFormat(Prompts& prompts) {
    prompts.MsgBox({QStringLiteral("Invalid format"),
                    QStringLiteral("Error"),
                    MsgButtons::Ok,
                    MsgIcon::Exclamation,
                    std::nullopt,
                    {}});
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
        ShowInvalidFormat(context.prompts);
        EndInstance(xlApp, xlSheet);
        hourglass.Restore();
        outcome.outcome = openFailure.isEmpty() ? ImportReport::Outcome::Rejected
                                                : ImportReport::Outcome::Unreadable;
        outcome.reason = openFailure.isEmpty() ? staged.rejection : openFailure;
        return false;
    }
    EndInstance(xlApp, xlSheet);
    hourglass.Restore();
    return ImportQuestions(context, staged.questions, ImportOrOpen, report);
}

bool ImportQuestions(const SpreadsheetContext& context, const std::vector<QuestionRecord>& questions,
                     const bool& ImportOrOpen, ImportReport* report, const QStringList& notes) {
    ImportReport local;
    ImportReport& outcome = report ? *report : local;
    outcome = {};

    // The new paper is built aside; a bad mark refuses the whole sheet.
    if (const auto rejection = MarkRejection(questions)) {
        ShowInvalidFormat(context.prompts);
        outcome.reason = *rejection;
        return false;
    }
    OneBased<float, kMaxQuestions> stagedScores;
    auto table = std::make_unique<QuestionTable>();
    for (const QuestionRecord& question : questions) {
        table->AddNew();
        table->SetField(QuestionTable::QuestionNo, table->AbsolutePosition());
        table->SetField(QuestionTable::Score, question.Score);
        table->SetField(QuestionTable::Answer, AnswerMaskToText(question.Answer));
        table->SetField(QuestionTable::Title, question.Title);
        for (int option = 0; option < 6; ++option)
            table->SetField(QuestionTable::ItemA + option, question.Items[std::size_t(option)]);
        table->Update();
        stagedScores(table->Field(QuestionTable::QuestionNo).toInt()) =
            table->Field(QuestionTable::Score).toFloat();
    }

    if (ImportOrOpen)
        context.prompts.MsgBox({QStringLiteral("Import succeed"),
                                QStringLiteral("Message"),
                                MsgButtons::Ok,
                                MsgIcon::Information,
                                std::nullopt,
                                notes.join(u'\n')});

    // From here the paper changes, all of it together.
    context.window.SetTable(std::move(table));
    for (int i = 1; i <= kMaxQuestions; ++i) context.module.ScoreList(i) = stagedScores(i);
    context.window.CountScore();
    context.window.SetQuestionCount(context.window.BoundTable().RecordCount());
    context.module.PaperModified = false;
    context.module.PaperFileName.clear();
    outcome.outcome = ImportReport::Outcome::Imported;
    return true;
}

namespace {

// Moving off a row writes its pending edit, which the window may refuse.
void Require(bool moved) {
    if (!moved) throw AutomationError("the change of the current question was not accepted");
}

void WriteQuestion(const Sheet& xlSheet, int row, const QuestionTable& table) {
    const QVariant number = table.Field(QuestionTable::QuestionNo);
    if (number.isNull())
        xlSheet.cells(row, 1).Clear();
    else
        xlSheet.cells(row, 1) = double(number.toInt());
    const QVariant mark = table.Field(QuestionTable::Score);
    if (mark.isNull())
        xlSheet.cells(row, 2).Clear();
    else  // the decimal people read, which gives back the same single
        xlSheet.cells(row, 2) = ShortestSingle(mark.toFloat()).toDouble();
    for (int column = QuestionTable::Answer; column <= QuestionTable::ItemF; ++column)
        xlSheet.cells(row, column + 1) = table.Field(column).toString();
}

}  // namespace

ExportResult DoExport(const SpreadsheetContext& context, const QString& ExportFile) {
    QuestionTable& table = context.window.BoundTable();
    if (table.RecordCount() < 1) {
        ShowMessage(context.prompts, QStringLiteral("The test paper should not be empty."));
        return {ExportResult::EmptyPaper, {}};
    }

    Hourglass hourglass(context.platform);
    std::unique_ptr<ExcelApplication> xlApp;
    Sheet xlSheet;
    ExportResult result;
    try {
        xlApp = CreateInstance(context.excel);
        xlApp->Workbooks().Add();
        xlSheet = UsesActiveSheet(*xlApp) ? xlApp->ActiveSheet() : xlApp->AsSheet();

        const QStringList& headers = QuestionSheetHeaders();
        for (int column = 1; column <= kSheetColumns; ++column)
            xlSheet.cells(1, column) = headers[column - 1];
        static constexpr int kWidths[kSheetColumns] = {6, 6, 6, 30, 13, 13, 13, 13, 13, 13};
        for (int column = 1; column <= kSheetColumns; ++column)
            xlSheet.Columns(column).ColumnWidth(kWidths[column - 1]);
        for (int column = 1; column <= kSheetColumns; ++column)
            xlSheet.Columns(column).WrapText(true);

        int row = 2;
        Require(table.MoveFirst());
        while (!table.Eof()) {
            WriteQuestion(xlSheet, row, table);
            Require(table.MoveNext());
            ++row;
        }
        Require(table.MoveLast());

        xlApp->ActiveWorkbook().SaveAs(ExportFile);
        result.outcome = ExportResult::Written;
    } catch (const std::exception& e) {
        result = {ExportResult::Failed, QString::fromUtf8(e.what())};
    }
    EndInstance(xlApp, xlSheet);
    hourglass.Restore();
    return result;
}

}  // namespace scrivane
