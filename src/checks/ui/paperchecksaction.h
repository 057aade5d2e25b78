// The Check Paper command of the main window: its action (F7), the checks
// window it opens beside the main window, Rebalance, and the question asked
// before a paper with problems is printed.
#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSettings>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "core/questionrecord.h"

class QAction;
class QWidget;

namespace scrivane {

class DialogChecks;
class Prompts;
class QuestionTable;
struct Moddule1;

// The name of the rebalance as a step of the paper's history.
inline const QString kStepRebalance = QStringLiteral("Rebalance answers");

class PaperChecksAction : public QObject {
    Q_OBJECT
public:
    // What the command needs of the main window beyond its table.
    struct Hooks {
        // Writes the edit of the current row; false when it was refused (the
        // window has said why).
        std::function<bool()> writeCurrentRow;
        // Puts the rebalanced rows in place of the paper's, as one step the
        // teacher can undo, and marks the paper modified.
        std::function<void(const std::vector<QuestionRecord>& rows)> applyRows;
    };

    // Opens the editor's settings file, where the window's place is kept;
    // null when there is none or it is refused.
    using SettingsOpener = std::function<std::unique_ptr<QSettings>()>;

    // window: the main window, parent of the checks window; table: the
    // paper it shows; state: the answer mode.
    PaperChecksAction(QWidget& window, QuestionTable& table, const Moddule1& state,
                      Prompts& prompts, Hooks hooks, SettingsOpener settings = {});
    ~PaperChecksAction() override;

    QAction* Action() const { return action_; }
    // The checks window, made on first use; nullptr before.
    DialogChecks* Dialog() const { return dialog_; }

    // Shows the checks window, or raises it when it is open. The first
    // showing places it beside the main window; later ones keep it where
    // the teacher moved it.
    void Open();
    // Where the checks window of size `checks` goes: beside the main window
    // `main` (right, else left) where the screen area `available` has room,
    // else at the area's right edge; level with the main window's top.
    static QPoint PlaceBeside(const QRect& main, const QSize& checks, const QRect& available);
    // Rebalances the paper's answer key; false when nothing changed (the
    // key was balanced, or the edit of the current row was refused).
    bool RebalancePaper();
    // The answer mode changed: the open window checks again.
    void AnswerModeChanged();
    // Before printing: true to go on. A paper with problems asks "Print
    // anyway?"; No opens the checks window.
    bool ConfirmPrinting();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowQuestion(int question);
    // Keeps a position the teacher moved the window to for the next run.
    void RememberPosition();

    QWidget& window_;
    QuestionTable& table_;
    const Moddule1& state_;
    Prompts& prompts_;
    Hooks hooks_;
    QAction* action_;
    DialogChecks* dialog_ = nullptr;
    SettingsOpener settings_;
    QPoint placed_;
    QPoint remembered_;
    bool hasRemembered_ = false;
};

}  // namespace scrivane
