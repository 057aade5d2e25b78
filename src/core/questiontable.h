// The question table: the paper being edited, one row per question, with a
// current-row cursor and the record-set operations the commands use. It is an
// item model too, so the grid shows it; the edit panel and the grid write
// their edits through the bound edit of the current row, which is checked
// through RowChanging before it is written. Each row keeps its question's
// pictures beside its fields; they move, copy and go with the row, and a
// change of them is held in the bound edit like a typed one.
#pragma once

#include <QAbstractTableModel>
#include <QStringView>
#include <QVariant>
#include <array>
#include <optional>
#include <vector>

#include "core/questionrecord.h"

namespace scrivane {

class QuestionTable : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column : int {
        QuestionNo,
        Score,
        Answer,
        Title,
        ItemA,
        ItemB,
        ItemC,
        ItemD,
        ItemE,
        ItemF
    };
    static constexpr int kColumnCount = 10;
    // What AbsolutePosition gives when there is no current row.
    static constexpr int kPosUnknown = -1, kPosBOF = -2, kPosEOF = -3;

    explicit QuestionTable(QObject* parent = nullptr);

    static QString ColumnName(int column);
    static int ColumnByName(QStringView name);  // -1 for an unknown name

    // Record-set operations. Every operation that leaves the current row first
    // writes its bound edit (see Update) and fails when that is cancelled.
    int RecordCount() const { return int(rows_.size()); }
    bool BOF() const { return rows_.empty() || cursor_ < 0; }
    bool Eof() const { return rows_.empty() || cursor_ >= RecordCount(); }  // EOF is a C macro
    int AbsolutePosition() const;
    bool SetAbsolutePosition(int position);
    QVariant Bookmark() const;  // the current row's token, null without one
    int CurrentRow() const { return HasCurrentRow() ? cursor_ : -1; }
    bool HasCurrentRow() const { return cursor_ >= 0 && cursor_ < RecordCount(); }

    bool AddNew();
    bool Update();
    void CancelUpdate();
    bool Delete();
    bool MoveFirst();
    bool MoveLast();
    bool MoveNext();
    bool MovePrevious();
    bool Move(int count);

    // Field of the current row by column name or number; a null value for an
    // empty field or without a current row.
    QVariant Fields(QStringView name) const;
    QVariant Field(int column) const;
    // Program writes to the current row, converted to the column's type; they
    // do not raise RowChanging.
    void SetField(QStringView name, const QVariant& value);
    void SetField(int column, const QVariant& value);

    // The bound controls' edit of the current row: held until Update writes it.
    void SetBoundValue(int column, const QVariant& value);
    bool HasBoundEdit() const;
    bool HasBoundEdit(int column) const {
        return column >= 0 && column < kColumnCount && edited_[std::size_t(column)];
    }

    // The pictures of a box (kPictureTitle, or PictureBoxOfItem) of the
    // current row, its bound edit included; empty without a current row.
    QList<Picture> Pictures(int box) const;
    // Holds new pictures of a box in the bound edit, written with the row.
    void SetBoundPictures(int box, const QList<Picture>& pictures);
    // The grid's sign in a cell of a box that holds pictures (its
    // DecorationRole), given by the window that shows the table.
    void SetPictureSign(const QVariant& sign) { pictureSign_ = sign; }
    // The box a column's pictures belong to, -1 for a column without any.
    static int PictureBoxOfColumn(int column);

    // The paper as plain rows, in table order; an empty mark reads as 0. Reads
    // the rows directly: the cursor and any bound edit stay as they are.
    std::vector<QuestionRecord> Records() const;
    QuestionRecord RecordAt(int row) const;  // row: 0-based

    // Whole-row changes for the paper document, which places the cursor
    // afterwards. They write the rows directly, keep each QuestionNo equal to
    // its position and drop a bound edit of a row they replace, remove or
    // move; rows are 0-based.
    void ReplaceRecords(const std::vector<QuestionRecord>& records);  // no current row after
    void WriteRecord(int row, const QuestionRecord& record);          // all but the number
    void InsertRecord(int row, const QuestionRecord& record);
    void RemoveRecord(int row);
    void ExchangeRecords(int a, int b);  // all but the numbers
    // Moves the cursor to row (-1: none) without writing a bound edit.
    void PlaceCursor(int row);

    // Grid captions, as set by the window that shows the table.
    void SetCaption(int column, const QString& caption);

    // QAbstractItemModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    // The cursor moved (row -1: no current row). Adding, deleting and taking
    // over rows always end with it.
    void CurrentRowChanged(int row);
    // The bound edit of the current row is about to be written; setting
    // *cancel keeps it unwritten and the cursor on the row.
    void RowChanging(bool* cancel);
    // The bound edit has been written into row; before holds the row as it
    // was.
    void RowWritten(int row, const scrivane::QuestionRecord& before);

private:
    using Row = std::array<QVariant, kColumnCount>;
    static QVariant Convert(int column, const QVariant& value);
    bool LeaveRow();
    void SetCursor(int cursor);
    QVariant Value(int row, int column) const;
    static void FillRow(Row& row, const QuestionRecord& record);
    void Renumber(int from);
    const QuestionPictures& PicturesOf(int row) const;

    std::vector<Row> rows_;
    std::vector<QuestionPictures> pictures_;  // beside rows_, row for row
    int cursor_ = -1;  // -1 before the first row, RecordCount() after the last
    Row edit_;
    std::array<bool, kColumnCount> edited_{};
    std::optional<QuestionPictures> editPictures_;  // the bound edit's pictures
    QVariant pictureSign_;
    std::array<QString, kColumnCount> captions_;
};

}  // namespace scrivane
