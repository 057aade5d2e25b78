#include "checks/ui/dialogchecks.h"

#include <QAbstractItemModel>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "checks/rebalance.h"
#include "checks/ui/balancechart.h"
#include "core/answercode.h"
#include "core/questiontable.h"

namespace scrivane {

namespace {

template <typename T>
T* Named(T* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

}  // namespace

std::vector<QuestionRecord> RowsShownBy(const QuestionTable& table) {
    std::vector<QuestionRecord> rows;
    rows.reserve(std::size_t(table.rowCount()));
    for (int r = 0; r < table.rowCount(); ++r) {
        const auto value = [&](int column) { return table.index(r, column).data(Qt::EditRole); };
        QuestionRecord q;
        q.QuestionNo = std::int16_t(value(QuestionTable::QuestionNo).toInt());
        // The edit form of a mark has a point whatever the user's number form.
        q.Score = value(QuestionTable::Score).toString().toFloat();
        q.Answer = AnswerTextToMask(value(QuestionTable::Answer).toString());
        q.Title = value(QuestionTable::Title).toString();
        for (int i = 0; i < 6; ++i)
            q.Items[std::size_t(i)] = value(QuestionTable::ItemA + i).toString();
        rows.push_back(std::move(q));
    }
    return rows;
}

DialogChecks::DialogChecks(const QuestionTable& table, AnswerTypeReader answerType, QWidget* parent)
    : QDialog(parent), table_(table), answerType_(std::move(answerType)) {
    setObjectName(QStringLiteral("DialogChecks"));
    setWindowTitle(QStringLiteral("Paper checks"));
    setModal(false);

    auto* problemsLabel = new QLabel(QStringLiteral("&Problems:"), this);
    ListProblems = Named(new QListWidget(this), QStringLiteral("ListProblems"));
    problemsLabel->setBuddy(ListProblems);
    ListProblems->setAlternatingRowColors(true);

    auto* balanceLabel = new QLabel(QStringLiteral("Answer key:"), this);
    ChartBalance = new BalanceChart(this);
    LabelRun = Named(new QLabel(this), QStringLiteral("LabelRun"));
    LabelBalance = Named(new QLabel(this), QStringLiteral("LabelBalance"));
    LabelBalance->setWordWrap(true);
    LabelBalance->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ButtonRebalance = Named(new QPushButton(QStringLiteral("&Rebalance"), this),
                            QStringLiteral("ButtonRebalance"));
    ButtonRebalance->setToolTip(QStringLiteral(
        "Reorder the options of as few questions as possible so that every letter is the "
        "answer about equally often and none more than three times in a row"));
    ButtonClose =
        Named(new QPushButton(QStringLiteral("Close"), this), QStringLiteral("ButtonClose"));
    // Enter belongs to the list: it chooses a problem, never a button.
    for (QPushButton* button : {ButtonRebalance, ButtonClose}) button->setAutoDefault(false);

    auto* side = new QVBoxLayout;
    side->addWidget(LabelRun);
    side->addWidget(LabelBalance);
    side->addStretch(1);
    side->addWidget(ButtonRebalance);
    auto* balanceRow = new QHBoxLayout;
    balanceRow->addWidget(ChartBalance, 1);
    balanceRow->addLayout(side, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(problemsLabel);
    layout->addWidget(ListProblems, 2);
    layout->addWidget(balanceLabel);
    layout->addLayout(balanceRow, 2);
    layout->addLayout(buttons);
    resize(600, 500);

    // Enter or a double-click chooses, whatever a style makes of one click.
    connect(ListProblems, &QListWidget::itemDoubleClicked, this,
            &DialogChecks::ListProblems_Activated);
    ListProblems->installEventFilter(this);
    connect(ButtonRebalance, &QPushButton::clicked, this, &DialogChecks::RebalanceChosen);
    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::close);

    // Every change of the paper, typed edits included, checks it again once
    // the change is complete.
    connect(&table, &QAbstractItemModel::modelReset, this, &DialogChecks::ScheduleRefresh);
    connect(&table, &QAbstractItemModel::layoutChanged, this, &DialogChecks::ScheduleRefresh);
    connect(&table, &QAbstractItemModel::dataChanged, this, &DialogChecks::ScheduleRefresh);
    connect(&table, &QAbstractItemModel::rowsInserted, this, &DialogChecks::ScheduleRefresh);
    connect(&table, &QAbstractItemModel::rowsRemoved, this, &DialogChecks::ScheduleRefresh);
    connect(&table, &QAbstractItemModel::rowsMoved, this, &DialogChecks::ScheduleRefresh);
}

bool DialogChecks::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListProblems && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ListProblems_Activated(ListProblems->currentItem());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void DialogChecks::showEvent(QShowEvent* event) {
    Refresh();
    QDialog::showEvent(event);
}

void DialogChecks::ScheduleRefresh() {
    // A command writes many fields one by one; the window checks once after.
    if (refreshPending_ || !isVisible()) return;
    refreshPending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (refreshPending_) Refresh();
    });
}

void DialogChecks::Refresh() {
    refreshPending_ = false;
    const std::vector<QuestionRecord> rows = RowsShownBy(table_);
    const std::int16_t answerType = answerType_();
    problems_ = CheckPaper(rows, answerType);
    balance_ = MeasureBalance(rows, answerType);

    const int current = ListProblems->currentRow();
    ListProblems->clear();
    for (const PaperProblem& problem : problems_) {
        auto* item = new QListWidgetItem(ProblemLine(problem), ListProblems);
        item->setData(Qt::UserRole, problem.question);
    }
    // Information alone is listed above "No problems found".
    if (ProblemsOnly(problems_).empty()) {
        auto* item = new QListWidgetItem(QStringLiteral("No problems found"), ListProblems);
        item->setFlags(Qt::NoItemFlags);
    }
    if (!problems_.empty() && current >= 0) {
        ListProblems->setCurrentRow(std::min(current, ListProblems->count() - 1));
    }

    ChartBalance->SetBalance(balance_);
    const LetterRun& run = balance_.longestRun;
    LabelRun->setText(run.length == 0
                          ? QStringLiteral("No question has a one-letter answer.")
                          : QStringLiteral("Longest run: %1, %2 in a row from question %3")
                                .arg(QChar(u'A' + run.letter))
                                .arg(run.length)
                                .arg(run.first));
    LabelBalance->setText(balance_.Verdict());
    // The button is offered only when it would change something.
    ButtonRebalance->setEnabled(!Rebalance(rows, answerType).changed.empty());
}

void DialogChecks::ListProblems_Activated(QListWidgetItem* item) {
    if (!item || !(item->flags() & Qt::ItemIsEnabled)) return;
    emit QuestionChosen(item->data(Qt::UserRole).toInt());
}

}  // namespace scrivane
