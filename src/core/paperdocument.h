// The paper being edited: the question table together with the shared fields
// that describe it (ScoreList, PaperModified, PaperFileName) and its total.
// It changes only through the methods below, which keep those fields in step
// with the rows and tell the windows through signals; the undo steps are
// built on the same methods, so an undone change keeps them in step too.
#pragma once

#include <QObject>
#include <QString>
#include <optional>
#include <vector>

#include "core/moddule1.h"
#include "core/questionrecord.h"
#include "core/questiontable.h"

namespace scrivane {

// The names of the steps that replace the paper, shared by the commands that
// take them.
inline const QString kStepNewPaper = QStringLiteral("New paper");
inline const QString kStepOpenPaper = QStringLiteral("Open paper");
inline const QString kStepImport = QStringLiteral("Import");

// A whole paper as it stood: what undoing a replaced paper brings back.
struct PaperSnapshot {
    std::vector<QuestionRecord> rows;
    QString fileName;
    bool modified = false;
    int current = 0;  // 1-based position of the current question, 0 for none
    // The name the caption shows, when it is not the file name: an imported
    // paper has no file name but leaves the caption as it was.
    std::optional<QString> shownName = std::nullopt;

    bool operator==(const PaperSnapshot&) const = default;
};

class PaperDocument : public QObject {
    Q_OBJECT
public:
    explicit PaperDocument(Moddule1& state, QObject* parent = nullptr);

    // The table the grid, the panel and the navigator are bound to. Its
    // cursor and bound edits are theirs; whole-row changes go through here.
    QuestionTable& Table() { return table_; }
    const QuestionTable& Table() const { return table_; }

    int Count() const { return table_.RecordCount(); }
    float Total() const { return total_; }
    const QString& FileName() const { return state_.PaperFileName; }
    // The file name the window's caption shows.
    const QString& ShownName() const { return shownName_; }
    bool Modified() const { return state_.PaperModified; }
    // 1-based position of the current question; 0 when there is none.
    int Current() const { return table_.HasCurrentRow() ? table_.CurrentRow() + 1 : 0; }
    QuestionRecord Row(int position) const { return table_.RecordAt(position - 1); }
    std::vector<QuestionRecord> Rows() const { return table_.Records(); }

    // Replaces the whole paper. ScoreList holds the new marks and 0 above
    // them; current (clamped) becomes the current question; the caption
    // shows shownName, by default the file name. The modified flag is left to
    // the caller.
    void Install(const std::vector<QuestionRecord>& rows, const QString& fileName, int current = 1,
                 const std::optional<QString>& shownName = std::nullopt);
    // Writes every field but the number of the question at position.
    void WriteRow(int position, const QuestionRecord& row);
    // Appends a question, which becomes the current one.
    void AppendRow(const QuestionRecord& row);
    // Puts a question back at position, which becomes the current one.
    void InsertRow(int position, const QuestionRecord& row);
    // Removes the question at position; the one that took its place, else
    // the last one, becomes current.
    void RemoveRow(int position);
    // Exchanges the contents of two questions; the numbers stay with the
    // places and the question moved to `to` becomes current.
    void ExchangeRows(int from, int to);
    void SetCurrent(int position);

    // The paper's history decides the flag; in the program only it sets it.
    void SetModified(bool modified);
    void SetFileName(const QString& fileName);

    // Totals ScoreList over the questions, each sum in single precision, and
    // tells the windows. The one place the total is computed.
    float CountScore();

    PaperSnapshot Snapshot() const;
    void Restore(const PaperSnapshot& snapshot);

signals:
    void CountChanged(int count);
    void TotalChanged(float total);
    void FileNameChanged(const QString& fileName);
    // Raised with every installed paper and every change of the file name.
    void ShownNameChanged(const QString& name);
    void ModifiedChanged(bool modified);
    // Rows were written, added, removed or moved.
    void Changed();
    // The windows wrote a row, whether or not it changed (a row written
    // unchanged still counts as a change of the paper).
    void RowWritten(int position);
    // A whole paper was installed in place of the previous one.
    void Replaced();
    // The windows wrote an edit of a question (grid or panel); after holds
    // the question as written. Not raised when nothing changed.
    void RowEdited(int position, const scrivane::QuestionRecord& before,
                   const scrivane::QuestionRecord& after);

private:
    void OnRowWritten(int row, const QuestionRecord& before);
    void SetScore(int position, float score);
    void CountChangedTo(int count);

    Moddule1& state_;
    QuestionTable table_;
    float total_ = 0;
    QString shownName_;
};

}  // namespace scrivane
