#include "workspace/paperworkspace.h"

#include <QDir>
#include <QTimer>
#include <QWidget>

#include "core/answercode.h"
#include "core/typeinfo.h"
#include "history/paperhistory.h"
#include "paperfile/interchangecommands.h"
#include "paperfile/papercommands.h"
#include "recovery/recoverystore.h"
#include "spreadsheet/excel.h"
#include "workspace/questioncommands.h"

namespace scrivane {

PaperWorkspace::PaperWorkspace(Moddule1& state, Seams& seams, QWidget& window, ExcelFactory* excel)
    : state_(state), seams_(seams), document_(state) {
    if (!excel) {
        ownExcel_ = std::make_unique<NativeExcelFactory>();
        excel = ownExcel_.get();
    }
    history_ = std::make_unique<PaperHistory>(document_);
    // While the paper is modified it is kept for recovery after a crash.
    recovery_ = std::make_unique<RecoveryStore>(
        document_, state_.AnswerType(), RecoveryStore::FolderIn(seams_.platform.DataFolder()));
    // The timer is one of the window's controls, as the commands knew it.
    Timer1_ = new QTimer(&window);
    Timer1_->setObjectName(QStringLiteral("Timer1"));
    Timer1_->setInterval(100);
    questions_ = std::make_unique<QuestionCommands>(state_, *this, *history_, seams_.prompts);
    paper_ = std::make_unique<PaperCommands>(state_, *this, *history_, seams_, *excel, *Timer1_,
                                             &window);
    connect(Timer1_, &QTimer::timeout, this, [this] { paper_->Timer1_Timer(); });
    // Export As and Import From: the paper in the other programs' formats.
    interchange_ = new InterchangeCommands(state_, *this, seams_, *paper_, this);
}

PaperWorkspace::~PaperWorkspace() = default;

void PaperWorkspace::ReplacePaper(const QString& step, const std::vector<QuestionRecord>& rows) {
    // The caption keeps the name it showed: only new, open and save rebuild it.
    history_->ReplacePaper(step, {rows, {}, false, 1, document_.ShownName()});
}

void PaperWorkspace::OfferRecovery() {
    for (const QString& id : recovery_->LeftOver()) {
        MessageRequest ask;
        ask.text = QStringLiteral("Scrivane was not closed properly. Recover the unsaved paper?");
        ask.title = QStringLiteral("Scrivane");
        ask.buttons = MsgButtons::YesNo;
        ask.icon = MsgIcon::Question;
        if (seams_.prompts.MsgBox(ask) != MsgAnswer::Yes) {
            recovery_->Discard(id);
            continue;
        }
        QString why;
        const auto paper = recovery_->Take(id, &why);
        if (!paper) {
            MessageRequest damaged;
            damaged.text = QStringLiteral("The unsaved paper could not be recovered.");
            damaged.informativeText = why;
            damaged.icon = MsgIcon::Exclamation;
            seams_.prompts.MsgBox(damaged);
            continue;
        }
        // The recovered paper is a fresh start: nothing before it to undo,
        // and no state of it is on file. Modified before it is installed,
        // so its recovery files are never without a copy.
        history_->Reset(false);
        document_.Install(paper->rows, paper->fileName);
        RestoreTyping(paper->editedPosition, paper->edited);
        recovery_->WriteNow();
        return;
    }
}

// The mode applies at once and is written into TypeInfo.con for the next
// runs; answers that do not fit the new mode stay as they are.
void PaperWorkspace::SetAnswerMode(bool multiple) {
    const std::int16_t type = multiple ? 3 : 0;
    state_.TypeInfoRecord.AnswerType = type;
    state_.TypeInfoRecord.CheckValue = TypeInfoRecord::kCheckValue;
    emit AnswerModeChanged();
    const auto file = seams_.platform.ProgramFolder() / kTypeInfoFileName;
    const AnswerTypeWrite written = WriteAnswerType(file, type);
    if (written.outcome == AnswerTypeWrite::Outcome::NotARecord) {
        ShowMessage(seams_.prompts, QStringLiteral("TypeInfo.con is not a valid type record; the "
                                                   "answer mode holds until the program ends."));
    } else if (written.outcome == AnswerTypeWrite::Outcome::Failed) {
        MessageRequest error;
        error.text = QStringLiteral(
            "The answer mode could not be saved; it applies until the program ends.");
        error.informativeText =
            QStringLiteral("%1 cannot be written: %2.")
                .arg(QDir::toNativeSeparators(QString::fromStdString(file)), written.reason);
        error.icon = MsgIcon::Exclamation;
        seams_.prompts.MsgBox(error);
    }
}

// Typing that was not yet written goes back into the panel of its question,
// still unwritten.
void PaperWorkspace::RestoreTyping(int position, const QuestionRecord& shown) {
    if (position < 1 || position > document_.Count()) return;
    QuestionTable& table = document_.Table();
    document_.SetCurrent(position);
    const QuestionRecord written = document_.Row(position);
    if (shown.Score != written.Score) table.SetBoundValue(QuestionTable::Score, shown.Score);
    if (shown.Answer != written.Answer)
        table.SetBoundValue(QuestionTable::Answer, AnswerMaskToText(shown.Answer));
    if (shown.Title != written.Title) table.SetBoundValue(QuestionTable::Title, shown.Title);
    for (int i = 0; i < 6; ++i)
        if (shown.Items[std::size_t(i)] != written.Items[std::size_t(i)])
            table.SetBoundValue(QuestionTable::ItemA + i, shown.Items[std::size_t(i)]);
}

}  // namespace scrivane
