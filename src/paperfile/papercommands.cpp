#include "paperfile/papercommands.h"

#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <memory>

#include "core/answercode.h"
#include "core/filenames.h"
#include "core/questiontable.h"
#include "dialogs/dialogquicknew.h"
#include "dialogs/formquickpaper.h"
#include "dialogs/formquickpaper17.h"
#include "history/paperhistory.h"
#include "interchange/questionfile.h"
#include "paperfile/dlgcausion.h"
#include "spreadsheet/paperio.h"

namespace scrivane {

namespace {

const QString kPaperFilter = QStringLiteral("Test Paper (*.tpf)|*.tpf");
const QString kSheetFilter = QStringLiteral("Excel File (*.xls)|*.xls");
// IMPORT offers the other workbooks as a second choice.
const QString kImportFilter =
    kSheetFilter + QStringLiteral("|Workbooks (*.xls *.xlsx *.ods)|*.xls *.xlsx *.ods");
const QString kSaveTitle = QStringLiteral("Select the file name that you want to save");

}  // namespace

// A name chosen without an extension gets the one of the dialog's filter,
// so that the file shows in the dialogs' lists afterwards.
QString PaperCommands::WithExtension(const QString& path, const QString& extension) {
    return HasPlainExtension(path) ? path : path + extension;
}

// The path SAVE or EXPORT writes: the chosen one stands as chosen when it is
// ownFile, the paper's own file for SAVE ("paper2", opened without an
// extension), or an existing file the user agrees to overwrite; any other
// name without an extension gets the dialog's. Nothing when the user
// declines to overwrite.
std::optional<QString> PaperCommands::PathToWrite(const QString& chosen, const QString& extension,
                                                  const QString& ownFile) {
    if (!ownFile.isEmpty() && chosen == ownFile) return chosen;
    if (PathIsTaken(chosen)) {
        if (!ConfirmOverwrite()) return std::nullopt;
        return chosen;
    }
    const QString path = WithExtension(chosen, extension);
    // Saving over the paper's own file asks nothing; another existing file
    // is replaced only when the user says so.
    if (path != chosen && (ownFile.isEmpty() || path != ownFile) && PathIsTaken(path) &&
        !ConfirmOverwrite())
        return std::nullopt;
    return path;
}

MsgAnswer AskToSaveChanges(Prompts& prompts) {
    MessageRequest ask;
    ask.text = QStringLiteral("The paper has been modified. Save or not?");
    ask.buttons = MsgButtons::YesNoCancel;
    ask.icon = MsgIcon::Question;
    return prompts.MsgBox(ask);
}

PaperCommands::PaperCommands(Moddule1& state, PaperHolder& window, PaperHistory& history,
                             Seams& seams, ExcelFactory& excel, QTimer& Timer1,
                             QWidget* dialogParent)
    : state_(state),
      window_(window),
      history_(history),
      seams_(seams),
      excel_(excel),
      Timer1_(Timer1),
      dialogParent_(dialogParent) {}

SpreadsheetContext PaperCommands::Context() {
    return {state_, window_, seams_.prompts, seams_.platform, excel_};
}

QString PaperCommands::DefaultFolder() const {
    return QString::fromStdString((seams_.platform.ProgramFolder() / "test_papers").string());
}

// A fresh paper of `count` questions at the default mark, with the answer
// masks of QuickAnswers or no answer at all; it replaces the current paper.
// At start-up it is the first paper, with nothing to undo.
void PaperCommands::InstallPaper(int count, bool quickAnswers, bool modified) {
    std::vector<QuestionRecord> rows(std::size_t(std::max(count, 0)));
    for (int i = 1; i <= count; ++i) {
        QuestionRecord& question = rows[std::size_t(i - 1)];
        question.QuestionNo = std::int16_t(i);
        question.Score = state_.DefaultScore;
        question.Answer = quickAnswers ? state_.QuickAnswers(i).Answer : AnswerMask(0);
    }
    if (state_.StartupNew) {
        window_.Document().Install(rows, {});
        history_.Reset(true);
        return;
    }
    history_.ReplacePaper(kStepNewPaper, {rows, {}, modified, 1});
}

bool PaperCommands::RunQuickPaperDialogs() {
    {
        DialogQuickNew dialog(state_, seams_.prompts, dialogParent_);
        seams_.modal.Exec(dialog);
    }
    if (!state_.QuickNewResult) return false;
    if (IsMultipleAnswerMode(state_.AnswerType())) {
        FormQuickPaper sheet(state_, dialogParent_);
        seams_.modal.Exec(sheet);
    } else {
        FormQuickPaper17 sheet(state_, dialogParent_);
        seams_.modal.Exec(sheet);
    }
    return true;
}

void PaperCommands::NewPaper_Click() {
    if (state_.PaperModified) {
        DlgCausion prompt(
            state_, [this] { SavePaper_Click(); }, dialogParent_);
        seams_.modal.Exec(prompt);
        if (!state_.CausionResult) return;
    }
    // The blank paper keeps the modified flag as it was.
    if (state_.StartupNew) {
        state_.QuickNewResult = false;
        InstallPaper(1, false, state_.PaperModified);
        return;
    }
    if (!RunQuickPaperDialogs()) {
        InstallPaper(1, false, state_.PaperModified);
        return;
    }
    // The sheet closed by its close box keeps the current paper.
    if (!state_.QuickNewResult) return;
    InstallPaper(std::clamp<int>(state_.QuickQuestionCount, 0, kMaxQuestions), true, true);
}

bool PaperCommands::SaveFirst(const std::function<void()>& runAgain) {
    if (!state_.PaperModified) return true;
    switch (AskToSaveChanges(seams_.prompts)) {
        case MsgAnswer::Yes:
            SavePaper_Click();
            // The command runs again shortly, after the window has repainted,
            // and asks again if the save did not take place.
            seams_.platform.SetWaitCursor(true);
            seams_.platform.ProcessPendingEvents();
            runAgain();
            return false;
        case MsgAnswer::No:
            return true;
        default:
            return false;
    }
}

bool PaperCommands::AskToSave(unsigned char pendingCommand) {
    return SaveFirst([this, pendingCommand] {
        Timer1_.stop();
        Timer1_.setInterval(100);
        PendingCommand_ = pendingCommand;
        Timer1_.start();
    });
}

// The file dialog of open, import and export: no file name, the default
// folder.
std::optional<QString> PaperCommands::ChooseInDefaultFolder(FileRequest::Kind kind,
                                                            const QString& title,
                                                            const QString& filter) {
    FileRequest request;
    request.kind = kind;
    request.title = title;
    request.folder = DefaultFolder();
    request.filter = filter;
    return seams_.prompts.ChooseFile(request);
}

// Open and import: the paper saved first if the teacher wants, then the
// file to read chosen in the default folder; nothing when either is cancelled.
std::optional<QString> PaperCommands::ChooseFileToRead(unsigned char pendingCommand,
                                                       const QString& title,
                                                       const QString& filter) {
    if (!AskToSave(pendingCommand)) return std::nullopt;
    return ChooseInDefaultFolder(FileRequest::Kind::Open, title, filter);
}

void PaperCommands::OpenPaper_Click() {
    if (const auto path = ChooseFileToRead(
            1, QStringLiteral("Please choose a file (test paper) to open"), kPaperFilter))
        OpenChosenPaper(*path);
}

bool PaperCommands::OpenChosenPaper(const QString& path) {
    if (!DoImport(Context(), path, false)) return false;
    // The paper opened is the one on file.
    history_.MarkSaved(path);
    return true;
}

bool PaperCommands::ImportChosenWorkbook(const QString& path) {
    return DoImport(Context(), path, true);
}

bool PaperCommands::ImportChosenFile(const QString& path) {
    return ImportChosenFileAs(path, std::nullopt);
}

bool PaperCommands::ImportChosenFileAs(const QString& path,
                                       std::optional<interchange::Format> format) {
    const interchange::ReadOutcome read =
        format ? interchange::ReadQuestionFileAs(path, *format, state_.DefaultScore)
               : interchange::ReadQuestionsUnlessWorkbook(path, state_.DefaultScore);
    if (read.workbook) return ImportChosenWorkbook(path);
    if (!read.Read()) {
        MessageRequest refusal;
        refusal.text = QStringLiteral("Invalid format");
        refusal.title = QStringLiteral("Error");
        refusal.icon = MsgIcon::Exclamation;
        refusal.informativeText = (QStringList{read.reason} + read.notes).join(u'\n');
        seams_.prompts.MsgBox(refusal);
        return false;
    }
    return ImportQuestions(Context(), read.rows, true, nullptr, read.notes);
}

void PaperCommands::OpenFile(const QString& path, Way way) {
    pendingFile_ = path;
    pendingWay_ = way;
    if (!AskToSave(3)) return;
    pendingFile_.clear();
    if (way == Way::AsPaper || path.endsWith(QStringLiteral(".tpf"), Qt::CaseInsensitive))
        OpenChosenPaper(path);
    else
        ImportChosenFile(path);
}

bool PaperCommands::ConfirmOverwrite() {
    MessageRequest ask;
    ask.text = QStringLiteral("File exists. Overwrite it or not?");
    ask.buttons = MsgButtons::YesNo;
    ask.icon = MsgIcon::Exclamation;
    ask.defaultButton = MsgAnswer::No;
    return seams_.prompts.MsgBox(ask) == MsgAnswer::Yes;
}

// Writes the paper; a failed write is told to the user and is never taken
// for a save. The file written replaces an existing one only when complete.
bool PaperCommands::Export(const QString& path) {
    const ExportResult result = DoExport(Context(), path);
    if (result.outcome == ExportResult::Failed) TellWriteFailure(result.reason);
    return result.WasWritten();
}

void PaperCommands::TellWriteFailure(const QString& reason) {
    MessageRequest error;
    error.text = QStringLiteral("The file could not be written.\n") + reason;
    error.title = QStringLiteral("Error");
    error.icon = MsgIcon::Exclamation;
    seams_.prompts.MsgBox(error);
}

void PaperCommands::SavePaper_Click() {
    FileRequest request;
    request.kind = FileRequest::Kind::Save;
    request.title = kSaveTitle;
    request.filter = kPaperFilter;
    if (!state_.PaperFileName.isEmpty()) {
        QString fileName, folder;
        if (!SplitFilePath(state_.PaperFileName, fileName, folder)) return;
        request.fileName = fileName;
        request.folder = folder;
    } else {
        request.folder = DefaultFolder();
    }
    const auto chosen = seams_.prompts.ChooseFile(request);
    if (!chosen) return;
    const std::optional<QString> path =
        PathToWrite(*chosen, QStringLiteral(".tpf"), state_.PaperFileName);
    if (!path) return;
    // The identity its answer sheets were printed with goes with the paper,
    // to its own file and to a new name alike.
    const QString identity =
        state_.PaperFileName.isEmpty() ? QString() : ReadPaperIdentity(state_.PaperFileName);
    if (!Export(*path)) return;
    if (!identity.isEmpty()) WritePaperIdentity(*path, identity);
    history_.MarkSaved(*path);
}

void PaperCommands::ImportPaper_Click() {
    if (const auto path = ChooseFileToRead(
            2, QStringLiteral("Please select the file should be imported."), kImportFilter))
        ImportChosenWorkbook(*path);
}

void PaperCommands::ExportPaper_Click() {
    const auto chosen = ChooseInDefaultFolder(FileRequest::Kind::Save, kSaveTitle, kSheetFilter);
    if (!chosen) return;
    // An export is no save: the paper's own file is asked about as any other.
    if (const std::optional<QString> path = PathToWrite(*chosen, QStringLiteral(".xls"), {}))
        Export(*path);
}

void PaperCommands::Timer1_Timer() {
    const unsigned char command = PendingCommand_;
    if (command < 1 || command > 3) return;
    PendingCommand_ = 0;
    seams_.platform.SetWaitCursor(false);
    Timer1_.stop();
    if (command == 1)
        OpenPaper_Click();
    else if (command == 2)
        ImportPaper_Click();
    else
        OpenFile(QString(pendingFile_), pendingWay_);  // a copy: OpenFile resets the member
}

bool PaperCommands::SplitFilePath(const QString& path, QString& fileName, QString& folder) {
    if (path.isEmpty()) return false;
    // Split at the last separator; the folder keeps it.
    const qsizetype slash = path.lastIndexOf(u'/');
    folder = slash < 0 ? QString() : path.left(slash + 1);
    fileName = slash < 0 ? path : path.mid(slash + 1);
    return !folder.isEmpty() && !fileName.isEmpty();
}

}  // namespace scrivane
