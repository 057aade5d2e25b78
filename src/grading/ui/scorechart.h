// A histogram of the marks, with the students of the class list who have no
// sheet listed as absent beneath it.
#pragma once

#include <QStringList>
#include <QWidget>
#include <vector>

namespace scrivane {

class ScoreChart : public QWidget {
    Q_OBJECT
public:
    explicit ScoreChart(QWidget* parent = nullptr);
    // Percentages of the sheets, 0 to 100.
    void Show(const std::vector<double>& percentages, const QStringList& absent);
    // Sheets in each tenth, the last holding 100 %.
    const std::vector<int>& Bins() const { return bins_; }
    const QStringList& Absent() const { return absent_; }
    QSize sizeHint() const override { return {320, 180}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<int> bins_ = std::vector<int>(10);
    QStringList absent_;
};

}  // namespace scrivane
