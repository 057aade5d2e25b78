// The paper being edited and everything that changes it, apart from the main
// window's widgets: the paper document, its history, the recovery copy, and
// the question, paper and interchange commands. It draws nothing of its own,
// but its commands show their dialogs and prompts over the window it is
// given (so it needs Qt Widgets). The main window builds one and shows it; a
// test or a tool may drive it the same way.
#pragma once

#include <QObject>
#include <memory>
#include <vector>

#include "core/moddule1.h"
#include "core/paperdocument.h"
#include "core/paperholder.h"
#include "core/seams.h"

class QTimer;
class QWidget;

namespace scrivane {

class ExcelFactory;
class InterchangeCommands;
class PaperCommands;
class PaperHistory;
class QuestionCommands;
class RecoveryStore;

class PaperWorkspace : public QObject, public PaperHolder {
    Q_OBJECT
public:
    // window: the owner of the commands' dialogs and of the timer that re-runs
    // a deferred command. excel: the spreadsheet the paper commands use; the
    // program's own when null.
    PaperWorkspace(Moddule1& state, Seams& seams, QWidget& window, ExcelFactory* excel = nullptr);
    ~PaperWorkspace() override;

    // PaperHolder
    PaperDocument& Document() override { return document_; }
    void ReplacePaper(const QString& step, const std::vector<QuestionRecord>& rows) override;

    PaperHistory& History() { return *history_; }
    RecoveryStore& Recovery() { return *recovery_; }
    PaperCommands& Paper() { return *paper_; }
    QuestionCommands& Questions() { return *questions_; }
    InterchangeCommands& Interchange() { return *interchange_; }

    // At start-up: offers the paper left by an editor that did not end
    // properly, and installs it on Yes.
    void OfferRecovery();
    // Switches the answer mode for the rest of the run and writes it into
    // TypeInfo.con for the next runs; answers that do not fit the new mode
    // stay as they are.
    void SetAnswerMode(bool multiple);

signals:
    // The answer mode was switched; it is being written.
    void AnswerModeChanged();

private:
    void RestoreTyping(int position, const QuestionRecord& shown);

    Moddule1& state_;
    Seams& seams_;
    PaperDocument document_;
    std::unique_ptr<PaperHistory> history_;
    std::unique_ptr<RecoveryStore> recovery_;
    std::unique_ptr<ExcelFactory> ownExcel_;
    QTimer* Timer1_;
    std::unique_ptr<QuestionCommands> questions_;
    std::unique_ptr<PaperCommands> paper_;
    InterchangeCommands* interchange_;
};

}  // namespace scrivane
