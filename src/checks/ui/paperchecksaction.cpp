#include "checks/ui/paperchecksaction.h"

#include <QAction>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "checks/paperchecks.h"
#include "checks/rebalance.h"
#include "checks/ui/dialogchecks.h"
#include "core/moddule1.h"
#include "core/prompts.h"
#include "core/questiontable.h"

namespace scrivane {

namespace {

// The problems shown in the question before printing; the window has all.
constexpr int kProblemsBeforePrinting = 5;
const QString kPositionKey = QStringLiteral("checksWindow/position");

}  // namespace

PaperChecksAction::PaperChecksAction(QWidget& window, QuestionTable& table, const Moddule1& state,
                                     Prompts& prompts, Hooks hooks, SettingsOpener settings)
    : QObject(&window),
      window_(window),
      table_(table),
      state_(state),
      prompts_(prompts),
      hooks_(std::move(hooks)),
      action_(new QAction(QStringLiteral("&Check Paper…"), this)),
      settings_(std::move(settings)) {
    action_->setObjectName(QStringLiteral("actionCheck"));
    action_->setShortcut(QKeySequence(Qt::Key_F7));
    action_->setStatusTip(
        QStringLiteral("List the paper's problems and the balance of its answers"));
    connect(action_, &QAction::triggered, this, &PaperChecksAction::Open);
}

PaperChecksAction::~PaperChecksAction() = default;

void PaperChecksAction::Open() {
    if (!dialog_) {
        dialog_ = new DialogChecks(
            table_, [this] { return state_.AnswerType(); }, &window_);
        connect(dialog_, &DialogChecks::QuestionChosen, this, &PaperChecksAction::ShowQuestion);
        connect(dialog_, &DialogChecks::RebalanceChosen, this, &PaperChecksAction::RebalancePaper);
        // Over the middle of the editor it would cover SET and the edit panel.
        if (const QScreen* screen = window_.screen())
            dialog_->move(
                PlaceBeside(window_.frameGeometry(),
                            dialog_->size() + (window_.frameGeometry().size() - window_.size()),
                            screen->availableGeometry()));
        placed_ = dialog_->pos();
        if (const std::unique_ptr<QSettings> file = settings_ ? settings_() : nullptr) {
            if (file->contains(kPositionKey)) {
                remembered_ = file->value(kPositionKey).toPoint();
                hasRemembered_ = true;
            }
        }
        // A position on a screen since removed, or a damaged one, is not used.
        if (hasRemembered_) {
            for (const QScreen* screen : QGuiApplication::screens()) {
                if (screen->availableGeometry().contains(remembered_)) {
                    dialog_->move(remembered_);
                    break;
                }
            }
        }
        dialog_->installEventFilter(this);
    }
    dialog_->show();
    dialog_->raise();
    dialog_->activateWindow();
}

QPoint PaperChecksAction::PlaceBeside(const QRect& main, const QSize& checks,
                                      const QRect& available) {
    const int top = std::clamp(main.top(), available.top(),
                               std::max(available.top(), available.bottom() + 1 - checks.height()));
    if (available.right() - main.right() >= checks.width()) return {main.right() + 1, top};
    if (main.left() - available.left() >= checks.width())
        return {main.left() - checks.width(), top};
    return {std::max(available.left(), available.right() + 1 - checks.width()), top};
}

bool PaperChecksAction::eventFilter(QObject* watched, QEvent* event) {
    if (watched == dialog_ && event->type() == QEvent::Hide) RememberPosition();
    return QObject::eventFilter(watched, event);
}

void PaperChecksAction::RememberPosition() {
    const QPoint at = dialog_->pos();
    // The automatic placement is not the teacher's choice.
    if (at == placed_ || (hasRemembered_ && at == remembered_)) return;
    remembered_ = at;
    hasRemembered_ = true;
    if (const std::unique_ptr<QSettings> file = settings_ ? settings_() : nullptr)
        file->setValue(kPositionKey, at);
}

void PaperChecksAction::AnswerModeChanged() {
    if (dialog_ && dialog_->isVisible()) dialog_->Refresh();
}

void PaperChecksAction::ShowQuestion(int question) {
    // A refused edit of the current row keeps the cursor, and says why.
    if (!hooks_.writeCurrentRow() || !table_.SetAbsolutePosition(question)) return;
    window_.raise();
    window_.activateWindow();
}

bool PaperChecksAction::RebalancePaper() {
    // The key is rebalanced as written: the edit of the current row first.
    if (!hooks_.writeCurrentRow()) return false;
    const RebalanceResult result = Rebalance(table_.Records(), state_.AnswerType());
    if (result.changed.empty()) return false;
    hooks_.applyRows(result.rows);
    return true;
}

bool PaperChecksAction::ConfirmPrinting() {
    const std::vector<PaperProblem> problems =
        ProblemsOnly(CheckPaper(RowsShownBy(table_), state_.AnswerType()));
    if (problems.empty()) return true;
    MessageRequest request;
    request.text =
        problems.size() == 1
            ? QStringLiteral("The paper has 1 problem. Print anyway?")
            : QStringLiteral("The paper has %1 problems. Print anyway?").arg(problems.size());
    request.buttons = MsgButtons::YesNo;
    request.icon = MsgIcon::Question;
    request.defaultButton = MsgAnswer::No;
    QStringList lines;
    for (std::size_t i = 0; i < problems.size() && i < kProblemsBeforePrinting; ++i)
        lines << ProblemLine(problems[i]);
    request.informativeText = lines.join(u'\n');
    if (prompts_.MsgBox(request) == MsgAnswer::Yes) return true;
    Open();
    return false;
}

}  // namespace scrivane
