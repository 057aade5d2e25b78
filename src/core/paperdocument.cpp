#include "core/paperdocument.h"

#include <algorithm>

namespace scrivane {

PaperDocument::PaperDocument(Moddule1& state, QObject* parent) : QObject(parent), state_(state) {
    connect(&table_, &QuestionTable::RowWritten, this, &PaperDocument::OnRowWritten);
}

void PaperDocument::SetScore(int position, float score) {
    if (position >= 1 && position <= kMaxQuestions) state_.ScoreList(position) = score;
}

void PaperDocument::CountChangedTo(int count) {
    emit CountChanged(count);
    CountScore();
}

void PaperDocument::Install(const std::vector<QuestionRecord>& rows, const QString& fileName,
                            int current, const std::optional<QString>& shownName) {
    table_.ReplaceRecords(rows);
    for (int i = 1; i <= kMaxQuestions; ++i) state_.ScoreList(i) = 0;
    for (int i = 1; i <= Count(); ++i) SetScore(i, rows[std::size_t(i - 1)].Score);
    state_.PaperFileName = fileName;
    emit FileNameChanged(fileName);
    // The caption follows every installed paper, whether or not the name
    // changed.
    shownName_ = shownName.value_or(fileName);
    emit ShownNameChanged(shownName_);
    CountChangedTo(Count());
    SetCurrent(current < 1 ? 0 : std::min(current, Count()));
    emit Replaced();
    emit Changed();
}

void PaperDocument::WriteRow(int position, const QuestionRecord& row) {
    if (position < 1 || position > Count()) return;
    table_.WriteRecord(position - 1, row);
    SetScore(position, row.Score);
    CountScore();
    emit Changed();
}

void PaperDocument::AppendRow(const QuestionRecord& row) {
    InsertRow(Count() + 1, row);
}

void PaperDocument::InsertRow(int position, const QuestionRecord& row) {
    position = std::clamp(position, 1, Count() + 1);
    table_.InsertRecord(position - 1, row);
    for (int i = position; i <= Count(); ++i) SetScore(i, table_.RecordAt(i - 1).Score);
    CountChangedTo(Count());
    SetCurrent(position);
    emit Changed();
}

void PaperDocument::RemoveRow(int position) {
    if (position < 1 || position > Count()) return;
    table_.RemoveRecord(position - 1);
    // The entry just past the new count keeps its old mark; it is never added.
    for (int i = position; i <= Count(); ++i) SetScore(i, table_.RecordAt(i - 1).Score);
    CountChangedTo(Count());
    SetCurrent(std::min(position, Count()));
    emit Changed();
}

void PaperDocument::ExchangeRows(int from, int to) {
    if (from < 1 || to < 1 || from > Count() || to > Count() || from == to) return;
    table_.ExchangeRecords(from - 1, to - 1);
    // An exchange leaves the total as it was.
    SetScore(from, table_.RecordAt(from - 1).Score);
    SetScore(to, table_.RecordAt(to - 1).Score);
    SetCurrent(to);
    emit Changed();
}

void PaperDocument::SetCurrent(int position) {
    table_.PlaceCursor(position - 1);
}

void PaperDocument::SetModified(bool modified) {
    if (state_.PaperModified == modified) return;
    state_.PaperModified = modified;
    emit ModifiedChanged(modified);
}

void PaperDocument::SetFileName(const QString& fileName) {
    state_.PaperFileName = fileName;
    emit FileNameChanged(fileName);
    shownName_ = fileName;
    emit ShownNameChanged(shownName_);
}

float PaperDocument::CountScore() {
    float total = 0;
    for (int i = 1; i <= Count() && i <= kMaxQuestions; ++i) total = total + state_.ScoreList(i);
    total_ = total;
    emit TotalChanged(total_);
    return total_;
}

PaperSnapshot PaperDocument::Snapshot() const {
    return {Rows(), FileName(), Modified(), Current(),
            ShownName() == FileName() ? std::nullopt : std::optional<QString>(ShownName())};
}

void PaperDocument::Restore(const PaperSnapshot& snapshot) {
    Install(snapshot.rows, snapshot.fileName, snapshot.current, snapshot.shownName);
    SetModified(snapshot.modified);
}

// An edit of the windows has been written: its mark joins the total, and the
// history counts the paper as modified, as for every accepted write of a row.
void PaperDocument::OnRowWritten(int row, const QuestionRecord& before) {
    const QuestionRecord after = table_.RecordAt(row);
    if (row + 1 <= kMaxQuestions && state_.ScoreList(row + 1) != after.Score) {
        SetScore(row + 1, after.Score);
        CountScore();
    }
    emit RowWritten(row + 1);
    if (!(before == after)) emit RowEdited(row + 1, before, after);
    emit Changed();
}

}  // namespace scrivane
