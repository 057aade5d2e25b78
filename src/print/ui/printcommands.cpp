#include "print/ui/printcommands.h"

#include <QAction>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRandomGenerator>

#include "core/filenames.h"
#include "core/paperidentity.h"
#include "print/ui/dialogprint.h"
#include "print/layout/printlayout.h"
#include "spreadsheet/paperio.h"

namespace scrivane {

namespace {

QString DefaultHeading(const QString& paperFile) {
    return paperFile.isEmpty() ? QStringLiteral("Test paper")
                               : QFileInfo(paperFile).completeBaseName();
}

// The hourglass for as long as the pages are laid out and painted.
class WaitCursor {
public:
    explicit WaitCursor(Platform& platform) : platform_(platform) {
        platform_.SetWaitCursor(true);
        platform_.ProcessPendingEvents();
    }
    ~WaitCursor() { platform_.SetWaitCursor(false); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    Platform& platform_;
};

}  // namespace

PrintCommands::PrintCommands(Seams& seams, std::function<std::vector<QuestionRecord>()> records,
                             std::function<QString()> paperFile, QWidget* window)
    : QObject(window),
      seams_(seams),
      records_(std::move(records)),
      paperFile_(std::move(paperFile)),
      window_(window) {
    setObjectName(QStringLiteral("PrintCommands"));
    // Six digits are easy to note down for printing the same versions again.
    choices_.versions.seed = QRandomGenerator::global()->bounded(100000u, 1000000u);
}

PrintCommands::~PrintCommands() = default;

void PrintCommands::SetAnswerType(std::function<std::int16_t()> answerType) {
    answerType_ = std::move(answerType);
}

void PrintCommands::AddBeforePrinting(std::function<bool()> step) {
    before_.push_back(std::move(step));
}

QList<QAction*> PrintCommands::CreateActions(QObject* parent) {
    auto make = [&](const char* name, const QString& text, void (PrintCommands::*slot)()) {
        auto* action = new QAction(text, parent);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    QAction* print =
        make("actionPrint", QStringLiteral("&Print\u2026"), &PrintCommands::Print_Click);
    print->setShortcut(QKeySequence::Print);
    return {print,
            make("actionPrintPreview", QStringLiteral("Print Pre&view\u2026"),
                 &PrintCommands::PrintPreview_Click),
            make("actionExportPdf", QStringLiteral("Export P&DF\u2026"),
                 &PrintCommands::ExportPdf_Click)};
}

std::unique_ptr<PrintLayout> PrintCommands::Prepare() {
    for (const auto& step : before_)
        if (!step()) return nullptr;
    std::vector<QuestionRecord> records = records_();
    if (records.empty()) {
        ShowMessage(seams_.prompts, QStringLiteral("The test paper should not be empty."));
        return nullptr;
    }
    // A paper printed before gets its last settings again; otherwise the
    // heading follows the paper's file unless the teacher wrote one.
    const QString file = paperFile_();
    if (memory_.Recall(file, choices_)) {
        headingFile_ = file;
        chosen_ = true;
    } else if (!chosen_ ||
               (file != headingFile_ && choices_.heading == DefaultHeading(headingFile_))) {
        choices_.heading = DefaultHeading(file);
        headingFile_ = file;
    }
    if (answerType_) choices_.versions.blankOptionLetters = BlankOptionLetters(answerType_());
    DialogPrint dialog(choices_, seams_.prompts, window_);
    if (seams_.modal.Exec(dialog) != QDialog::Accepted) return nullptr;
    choices_ = dialog.Settings();
    chosen_ = true;
    memory_.Keep(file, choices_);
    // The answer sheet's code names the paper as it is printed now.
    PrintSettings settings = choices_;
    settings.paperDigest =
        PaperDigest(records, ModeLetters(settings.versions), settings.versions.keptOptions);
    settings.textDigest = TextDigest(records);
    if (settings.answerSheet) settings.paperId = PrintedIdentity(file);
    return std::make_unique<PrintLayout>(BuildVersions(records, settings.versions), settings);
}

// The identity the paper's answer sheets carry: the one kept in its file, or
// a new one written into the file (beside its questions, which stay as they
// are) as it is first printed. A paper not yet saved gets one for this print
// only: its sheets are then told from another paper's by their questions.
QString PrintCommands::PrintedIdentity(const QString& file) {
    if (file.isEmpty()) return NewPaperIdentity();
    QString identity = ReadPaperIdentity(file);
    if (identity.isEmpty()) {
        identity = NewPaperIdentity();
        WritePaperIdentity(file, identity);
    }
    return identity;
}

void PrintCommands::Error(const QString& text, const QString& details) {
    MessageRequest error;
    error.text = text;
    error.informativeText = details;
    error.title = QStringLiteral("Error");
    error.icon = MsgIcon::Exclamation;
    seams_.prompts.MsgBox(error);
}

bool PrintCommands::Render(PrintLayout& layout, QPrinter& printer) {
    const WaitCursor wait(seams_.platform);
    // The copies are laid out here, so that each version's papers print
    // together and each key once.
    const int copies = printer.copyCount();
    printer.setCopyCount(1);
    return layout.Render(printer, copies);
}

void PrintCommands::WithPrinter(const std::function<void(PrintLayout&, QPrinter&)>& use) {
    const auto layout = Prepare();
    if (!layout) return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(choices_.heading);
    use(*layout, printer);
}

void PrintCommands::Print_Click() {
    WithPrinter([this](PrintLayout& layout, QPrinter& printer) {
        QPrintDialog dialog(&printer, window_);
        dialog.setObjectName(QStringLiteral("PrintDialog"));
        if (seams_.modal.Exec(dialog) != QDialog::Accepted) return;
        if (!Render(layout, printer)) Error(QStringLiteral("The paper could not be printed."));
    });
}

void PrintCommands::PrintPreview_Click() {
    WithPrinter([this](PrintLayout& layout, QPrinter& printer) {
        QPrintPreviewDialog preview(&printer, window_);
        preview.setObjectName(QStringLiteral("PrintPreviewDialog"));
        preview.setWindowTitle(QStringLiteral("Print Preview"));
        connect(&preview, &QPrintPreviewDialog::paintRequested, this,
                [&](QPrinter* target) { Render(layout, *target); });
        seams_.modal.Exec(preview);
    });
}

void PrintCommands::ExportPdf_Click() {
    const auto layout = Prepare();
    if (!layout) return;
    const QString file = paperFile_();
    FileRequest request;
    request.kind = FileRequest::Kind::Save;
    request.title = QStringLiteral("Export PDF");
    request.folder = file.isEmpty() ? QString() : QFileInfo(file).absolutePath();
    request.fileName = DefaultHeading(file) + QStringLiteral(".pdf");
    request.filter = QStringLiteral("PDF files (*.pdf)|*.pdf");
    auto path = seams_.prompts.ChooseFile(request);
    if (!path) return;
    if (!path->endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        *path += QStringLiteral(".pdf");
    if (PathIsTaken(*path)) {
        MessageRequest ask;
        ask.text = QStringLiteral("File exists. Overwrite it or not?");
        ask.buttons = MsgButtons::YesNo;
        ask.icon = MsgIcon::Exclamation;
        ask.defaultButton = MsgAnswer::No;
        if (seams_.prompts.MsgBox(ask) != MsgAnswer::Yes) return;
    }
    QString error;
    {
        const WaitCursor wait(seams_.platform);
        error = WritePdf(*path, *layout);
    }
    if (!error.isEmpty()) Error(QStringLiteral("The file could not be written.\n") + error);
}

}  // namespace scrivane
