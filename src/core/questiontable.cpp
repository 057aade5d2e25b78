#include "core/questiontable.h"

#include <QLocale>
#include <algorithm>

#include "core/numbers.h"

namespace scrivane {

namespace {

const std::array<QString, QuestionTable::kColumnCount> kNames = {
    QStringLiteral("QuestionNo"), QStringLiteral("Score"), QStringLiteral("Answer"),
    QStringLiteral("Title"),      QStringLiteral("ItemA"), QStringLiteral("ItemB"),
    QStringLiteral("ItemC"),      QStringLiteral("ItemD"), QStringLiteral("ItemE"),
    QStringLiteral("ItemF")};

}  // namespace

QuestionTable::QuestionTable(QObject* parent) : QAbstractTableModel(parent), captions_(kNames) {}

QString QuestionTable::ColumnName(int column) {
    return column >= 0 && column < kColumnCount ? kNames[column] : QString();
}

int QuestionTable::ColumnByName(QStringView name) {
    const auto it = std::find(kNames.begin(), kNames.end(), name);
    return it == kNames.end() ? -1 : int(it - kNames.begin());
}

int QuestionTable::AbsolutePosition() const {
    if (rows_.empty()) return kPosUnknown;
    if (cursor_ < 0) return kPosBOF;
    if (cursor_ >= RecordCount()) return kPosEOF;
    return cursor_ + 1;
}

bool QuestionTable::SetAbsolutePosition(int position) {
    if (position < 1 || position > RecordCount()) return false;
    if (position - 1 == cursor_) return true;
    if (!LeaveRow()) return false;
    SetCursor(position - 1);
    return true;
}

QVariant QuestionTable::Bookmark() const {
    return HasCurrentRow() ? QVariant(cursor_) : QVariant();
}

bool QuestionTable::LeaveRow() {
    return !HasCurrentRow() || Update();
}

void QuestionTable::SetCursor(int cursor) {
    cursor_ = cursor;
    emit CurrentRowChanged(CurrentRow());
}

bool QuestionTable::AddNew() {
    if (!LeaveRow()) return false;
    const int row = RecordCount();
    beginInsertRows({}, row, row);
    rows_.emplace_back();
    pictures_.emplace_back();
    endInsertRows();
    SetCursor(row);
    return true;
}

bool QuestionTable::Update() {
    if (!HasBoundEdit()) return true;
    bool cancel = false;
    emit RowChanging(&cancel);
    if (cancel) return false;
    const int written = cursor_;
    const QuestionRecord before = RecordAt(written);
    Row& row = rows_[written];
    for (int c = 0; c < kColumnCount; ++c) {
        if (edited_[c]) row[c] = edit_[c];
    }
    if (editPictures_) pictures_[std::size_t(written)] = *editPictures_;
    CancelUpdate();
    emit dataChanged(index(written, 0), index(written, kColumnCount - 1));
    emit RowWritten(written, before);
    return true;
}

void QuestionTable::CancelUpdate() {
    const bool had = HasBoundEdit();
    edited_.fill(false);
    edit_ = {};
    editPictures_.reset();
    if (had && HasCurrentRow())
        emit dataChanged(index(cursor_, 0), index(cursor_, kColumnCount - 1));
}

bool QuestionTable::Delete() {
    if (!HasCurrentRow()) return false;
    edited_.fill(false);  // the edit goes with its row
    edit_ = {};
    editPictures_.reset();
    const int row = cursor_;
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    pictures_.erase(pictures_.begin() + row);
    endRemoveRows();
    SetCursor(row);  // the row that followed, or past the end
    return true;
}

bool QuestionTable::MoveFirst() {
    if (!LeaveRow()) return false;
    SetCursor(rows_.empty() ? -1 : 0);
    return true;
}

bool QuestionTable::MoveLast() {
    if (!LeaveRow()) return false;
    SetCursor(rows_.empty() ? -1 : RecordCount() - 1);
    return true;
}

bool QuestionTable::MoveNext() {
    if (Eof() || !LeaveRow()) return false;
    SetCursor(cursor_ + 1);
    return true;
}

bool QuestionTable::MovePrevious() {
    if (BOF() || !LeaveRow()) return false;
    SetCursor(cursor_ - 1);
    return true;
}

bool QuestionTable::Move(int count) {
    if (rows_.empty()) return false;
    const long target = long(std::clamp(cursor_, 0, RecordCount() - 1)) + count;
    if (!LeaveRow()) return false;
    SetCursor(int(std::clamp<long>(target, -1, RecordCount())));
    return true;
}

QVariant QuestionTable::Value(int row, int column) const {
    if (row == cursor_ && edited_[column]) return edit_[column];
    return rows_[row][column];
}

QVariant QuestionTable::Fields(QStringView name) const {
    return Field(ColumnByName(name));
}

QVariant QuestionTable::Field(int column) const {
    if (!HasCurrentRow() || column < 0 || column >= kColumnCount) return {};
    return Value(cursor_, column);
}

QVariant QuestionTable::Convert(int column, const QVariant& value) {
    const bool blank =
        value.isNull() || (value.typeId() == QMetaType::QString && value.toString().isEmpty());
    switch (column) {
        case QuestionNo:
            return blank ? QVariant() : QVariant(value.toInt());
        case Score:
            if (blank) return {};
            // A typed mark is read by its leading number, like the mark box reads it.
            if (value.typeId() == QMetaType::QString)
                return QVariant(float(ReadLeadingNumber(value.toString())));
            return QVariant(float(value.toDouble()));
        default:
            return QVariant(value.toString());
    }
}

void QuestionTable::SetField(QStringView name, const QVariant& value) {
    SetField(ColumnByName(name), value);
}

void QuestionTable::SetField(int column, const QVariant& value) {
    if (!HasCurrentRow() || column < 0 || column >= kColumnCount) return;
    rows_[cursor_][column] = Convert(column, value);
    emit dataChanged(index(cursor_, column), index(cursor_, column));
}

void QuestionTable::SetBoundValue(int column, const QVariant& value) {
    if (!HasCurrentRow() || column < 0 || column >= kColumnCount) return;
    const QVariant converted = Convert(column, value);
    if (!edited_[column] && converted == rows_[cursor_][column]) return;
    edit_[column] = converted;
    edited_[column] = true;
    emit dataChanged(index(cursor_, column), index(cursor_, column));
}

bool QuestionTable::HasBoundEdit() const {
    return editPictures_ || std::any_of(edited_.begin(), edited_.end(), [](bool e) { return e; });
}

const QuestionPictures& QuestionTable::PicturesOf(int row) const {
    if (row == cursor_ && editPictures_) return *editPictures_;
    return pictures_[std::size_t(row)];
}

QList<Picture> QuestionTable::Pictures(int box) const {
    if (!HasCurrentRow() || box < 0 || box >= kPictureBoxes) return {};
    return PicturesOf(cursor_)[std::size_t(box)];
}

void QuestionTable::SetBoundPictures(int box, const QList<Picture>& pictures) {
    if (!HasCurrentRow() || box < 0 || box >= kPictureBoxes) return;
    if (PicturesOf(cursor_)[std::size_t(box)] == pictures) return;
    if (!editPictures_) editPictures_ = pictures_[std::size_t(cursor_)];
    (*editPictures_)[std::size_t(box)] = pictures;
    const int column = box == kPictureTitle ? int(Title) : ItemA + box - PictureBoxOfItem(0);
    emit dataChanged(index(cursor_, column), index(cursor_, column));
}

int QuestionTable::PictureBoxOfColumn(int column) {
    if (column == Title) return kPictureTitle;
    if (column >= ItemA && column <= ItemF) return PictureBoxOfItem(column - ItemA);
    return -1;
}

std::vector<QuestionRecord> QuestionTable::Records() const {
    std::vector<QuestionRecord> records;
    records.reserve(rows_.size());
    for (int row = 0; row < RecordCount(); ++row) records.push_back(RecordAt(row));
    return records;
}

QuestionRecord QuestionTable::RecordAt(int row) const {
    QuestionRecord record;
    if (row < 0 || row >= RecordCount()) return record;
    const Row& values = rows_[std::size_t(row)];
    record.QuestionNo = std::int16_t(values[QuestionNo].toInt());
    record.Score = values[Score].toFloat();
    record.Answer = AnswerTextToMask(values[Answer].toString());
    record.Title = values[Title].toString();
    for (int i = 0; i < 6; ++i) record.Items[std::size_t(i)] = values[ItemA + i].toString();
    record.Pictures = pictures_[std::size_t(row)];
    return record;
}

void QuestionTable::FillRow(Row& row, const QuestionRecord& record) {
    row[Score] = QVariant(record.Score);
    row[Answer] = QVariant(AnswerMaskToText(record.Answer));
    row[Title] = QVariant(record.Title);
    for (int i = 0; i < 6; ++i) row[ItemA + i] = QVariant(record.Items[std::size_t(i)]);
}

// The rows from `from` on take their positions as their numbers again.
void QuestionTable::Renumber(int from) {
    for (int r = std::max(from, 0); r < RecordCount(); ++r)
        rows_[std::size_t(r)][QuestionNo] = r + 1;
    if (from < RecordCount())
        emit dataChanged(index(std::max(from, 0), QuestionNo),
                         index(RecordCount() - 1, QuestionNo));
}

void QuestionTable::ReplaceRecords(const std::vector<QuestionRecord>& records) {
    beginResetModel();
    rows_.assign(records.size(), Row{});
    pictures_.assign(records.size(), QuestionPictures{});
    for (std::size_t r = 0; r < records.size(); ++r) {
        rows_[r][QuestionNo] = int(r) + 1;
        FillRow(rows_[r], records[r]);
        pictures_[r] = records[r].Pictures;
    }
    edited_.fill(false);
    edit_ = {};
    editPictures_.reset();
    cursor_ = -1;
    endResetModel();
}

void QuestionTable::WriteRecord(int row, const QuestionRecord& record) {
    if (row < 0 || row >= RecordCount()) return;
    if (row == cursor_) CancelUpdate();
    FillRow(rows_[std::size_t(row)], record);
    pictures_[std::size_t(row)] = record.Pictures;
    emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
}

void QuestionTable::InsertRecord(int row, const QuestionRecord& record) {
    row = std::clamp(row, 0, RecordCount());
    CancelUpdate();  // the edited row may move
    beginInsertRows({}, row, row);
    rows_.insert(rows_.begin() + row, Row{});
    pictures_.insert(pictures_.begin() + row, record.Pictures);
    FillRow(rows_[std::size_t(row)], record);
    rows_[std::size_t(row)][QuestionNo] = row + 1;
    endInsertRows();
    if (cursor_ >= row) ++cursor_;
    Renumber(row + 1);
}

void QuestionTable::RemoveRecord(int row) {
    if (row < 0 || row >= RecordCount()) return;
    CancelUpdate();
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    pictures_.erase(pictures_.begin() + row);
    endRemoveRows();
    if (cursor_ > row) --cursor_;
    Renumber(row);
}

void QuestionTable::ExchangeRecords(int a, int b) {
    if (a < 0 || b < 0 || a >= RecordCount() || b >= RecordCount() || a == b) return;
    if (cursor_ == a || cursor_ == b) CancelUpdate();
    Row& first = rows_[std::size_t(a)];
    Row& second = rows_[std::size_t(b)];
    for (int c = Score; c < kColumnCount; ++c) std::swap(first[c], second[c]);
    std::swap(pictures_[std::size_t(a)], pictures_[std::size_t(b)]);
    emit dataChanged(index(std::min(a, b), 0), index(std::max(a, b), kColumnCount - 1));
}

void QuestionTable::PlaceCursor(int row) {
    CancelUpdate();
    SetCursor(row >= 0 && row < RecordCount() ? row : -1);
}

void QuestionTable::SetCaption(int column, const QString& caption) {
    if (column < 0 || column >= kColumnCount) return;
    captions_[column] = caption;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

int QuestionTable::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RecordCount();
}

int QuestionTable::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant QuestionTable::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
    const QVariant value = Value(index.row(), index.column());
    if (index.column() == Score && !value.isNull()) {
        // The grid shows marks in the user's number form; editing uses a point,
        // as the mark box does.
        if (role == Qt::DisplayRole)
            return FormatSingle(value.toFloat(), QLocale().decimalPoint().at(0));
        if (role == Qt::EditRole) return FormatSingle(value.toFloat());
    }
    if (role == Qt::DisplayRole || role == Qt::EditRole) return value;
    // A cell whose box holds pictures shows the sign beside its text.
    if (role == Qt::DecorationRole) {
        const int box = PictureBoxOfColumn(index.column());
        if (box >= 0 && !PicturesOf(index.row())[std::size_t(box)].isEmpty()) return pictureSign_;
    }
    return {};
}

bool QuestionTable::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid)) return false;
    if (!(flags(index) & Qt::ItemIsEditable)) return false;
    // A grid edit goes to its row like a panel edit and is checked the same way.
    if (!SetAbsolutePosition(index.row() + 1)) return false;
    SetBoundValue(index.column(), value);
    return Update();
}

Qt::ItemFlags QuestionTable::flags(const QModelIndex& index) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() != QuestionNo && index.column() != Answer) f |= Qt::ItemIsEditable;
    return f;
}

QVariant QuestionTable::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kColumnCount)
        return captions_[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

}  // namespace scrivane
