// A bar chart of how often each letter is the answer, with the expected
// count marked on each bar; letters that are off stand out.
#pragma once

#include <QWidget>

#include "checks/answerbalance.h"

namespace scrivane {

class BalanceChart : public QWidget {
    Q_OBJECT
public:
    explicit BalanceChart(QWidget* parent = nullptr);
    void SetBalance(const AnswerBalance& balance);
    const AnswerBalance& Balance() const { return balance_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AnswerBalance balance_;
};

}  // namespace scrivane
