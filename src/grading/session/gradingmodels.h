// The grading as tables for a view: its sheets in review order with their
// marks and status, and its questions with their statistics and flags. Each
// follows the session with row signals (rows inserted, removed, moved and
// changed), so a view keeps its selection and scroll while sheets are read
// and corrected.
#pragma once

#include <QAbstractTableModel>
#include <optional>
#include <vector>

namespace scrivane {

class GradingSession;

// A statistic as the tables and the summary show it: three decimals at the
// most, "–" when it cannot be told.
QString StatisticText(const std::optional<double>& value);

class SheetsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Student, Name, Version, Mark, Maximum, Percentage, Status, Scan, ColumnCount };
    // The sheet's id, on every column.
    static constexpr int SheetRole = Qt::UserRole + 1;
    // What a column sorts by: marks as numbers, Status and Scan in review order.
    static constexpr int SortRole = Qt::UserRole + 2;

    explicit SheetsModel(const GradingSession& session, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The sheet of a row, -1 for none; the row of a sheet, -1 when it has none.
    int SheetAt(int row) const;
    int RowOf(int id) const;

    // Rows as the session now stands: sheets gone removed, new ones
    // inserted, those whose review order changed moved, the rest changed.
    void Update();

private:
    const GradingSession& session_;
    std::vector<int> ids_;  // the session's review order, as the rows stand
};

class QuestionsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Then a column for each option letter any question offers (LetterColumn),
    // then Blank, Multiple and Flag (BlankColumn() ...).
    enum Column { Question, Answer, P, Discrimination, PointBiserial, FirstLetter };

    explicit QuestionsModel(const GradingSession& session, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    const QString& Letters() const { return letters_; }
    // The column of an option letter, -1 when no question offers it.
    int LetterColumn(QChar letter) const;
    int BlankColumn() const { return FirstLetter + int(letters_.size()); }
    int MultipleColumn() const { return BlankColumn() + 1; }
    int FlagColumn() const { return BlankColumn() + 2; }

    // Rows as the session now stands: questions added or taken away at the
    // end, the rest changed; a new set of letters lays the columns out anew.
    void Update();

private:
    const GradingSession& session_;
    QString letters_;
    int rows_ = 0;
};

}  // namespace scrivane
