// The checks window: one line per problem of the paper, the balance of its
// answer key, and the Rebalance button. Not modal: it follows the paper
// while the teacher edits it, and a chosen problem's question becomes the
// main window's current one.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <vector>

#include "checks/answerbalance.h"
#include "checks/paperchecks.h"

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace scrivane {

class BalanceChart;
class QuestionTable;

class DialogChecks : public QDialog {
    Q_OBJECT
public:
    using AnswerTypeReader = std::function<std::int16_t()>;

    // table: the paper's question table, whose changes the window follows;
    // answerType: the answer mode's AnswerType at the time of a check.
    DialogChecks(const QuestionTable& table, AnswerTypeReader answerType,
                 QWidget* parent = nullptr);

    const AnswerBalance& Balance() const { return balance_; }

    QListWidget* ListProblems;
    BalanceChart* ChartBalance;
    QLabel* LabelRun;
    QLabel* LabelBalance;
    QPushButton* ButtonRebalance;
    QPushButton* ButtonClose;

public slots:
    // Checks the paper again now; changes of the paper arrive here by
    // themselves, a change of the answer mode is told.
    void Refresh();

signals:
    // A problem was chosen by Enter or a double-click: its question (1-based).
    void QuestionChosen(int question);
    void RebalanceChosen();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ScheduleRefresh();
    void ListProblems_Activated(QListWidgetItem* item);

    const QuestionTable& table_;
    AnswerTypeReader answerType_;
    std::vector<PaperProblem> problems_;
    AnswerBalance balance_;
    bool refreshPending_ = false;
};

// The rows of a question table as they are shown, the edit being typed into
// the current row included.
std::vector<QuestionRecord> RowsShownBy(const QuestionTable& table);

}  // namespace scrivane
