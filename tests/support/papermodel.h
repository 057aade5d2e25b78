// A plain model of the paper and its undo history, following the rules the
// history promises: what the paper should be after any sequence of edits,
// commands, saves, undos and redos.
#pragma once

#include <QString>
#include <QTest>
#include <algorithm>
#include <vector>

#include "core/questionrecord.h"
#include "history/paperhistory.h"

namespace scrivane::test {

using Rows = std::vector<QuestionRecord>;

inline QuestionRecord Blank(float score = 10) {
    QuestionRecord q;
    q.Score = score;
    return q;
}

// The paper as a plain model: rows, file name, flag and current question,
// with its own list of steps, following the rules the history promises.
struct Model {
    struct Step {
        // Replace: new, open or import, the only steps that carry a file name;
        // AllRows: every question at once, the name staying as it is.
        enum Kind { Edit, Add, Delete, Move, Replace, AllRows } kind = Edit;
        int position = 0, to = 0;  // Edit, Delete, Move
        QuestionRecord before, after;
        Rows rowsBefore, rowsAfter;     // Replace, AllRows
        QString fileBefore, fileAfter;  // Replace
        int currentBefore = 0, currentAfter = 0;
    };

    Rows rows{Blank()};
    QString fileName;
    bool modified = false;
    int current = 1;
    std::vector<Step> steps;
    int index = 0, clean = 0, floor = 0;  // absolute step indices
    // The state just after a step that put a paper in place as read (an
    // import, a blank new over an unmodified paper), until a save: unmodified
    // whenever undo or redo comes back to it.
    int readAt = -1;

    void Push(Step step) {
        steps.resize(std::size_t(index));
        if (clean > index) clean = -1;  // the saved state is gone with the redo steps
        if (readAt > index) readAt = -1;
        Apply(step, true);
        steps.push_back(std::move(step));
        ++index;
        if (index - floor > PaperHistory::kUndoLimit) ++floor;
        if (clean < floor) clean = -1;
        if (readAt <= floor) readAt = -1;  // its step is gone past the limit
    }
    // The step just pushed put the paper in place as read.
    void MarkRead() { readAt = index; }
    void Apply(const Step& s, bool redo) {
        switch (s.kind) {
            case Step::Edit:
                rows[std::size_t(s.position - 1)] = redo ? s.after : s.before;
                current = s.position;
                break;
            case Step::Add:
                if (redo) {
                    rows.push_back(s.after);
                    current = int(rows.size());
                } else {
                    rows.pop_back();
                    current = s.currentBefore;
                }
                break;
            case Step::Delete:
                if (redo) {
                    rows.erase(rows.begin() + (s.position - 1));
                    current = std::min(s.position, int(rows.size()));
                } else {
                    rows.insert(rows.begin() + (s.position - 1), s.before);
                    current = s.position;
                }
                break;
            case Step::Move:
                std::swap(rows[std::size_t(s.position - 1)], rows[std::size_t(s.to - 1)]);
                current = redo ? s.to : s.position;
                break;
            case Step::Replace:
                fileName = redo ? s.fileAfter : s.fileBefore;
                [[fallthrough]];
            case Step::AllRows:
                rows = redo ? s.rowsAfter : s.rowsBefore;
                current = redo ? s.currentAfter : s.currentBefore;
                break;
        }
    }
    void Undo() {
        if (index <= floor) return;
        Apply(steps[std::size_t(--index)], false);
        modified = index != clean && index != readAt;
    }
    void Redo() {
        if (index >= int(steps.size())) return;
        Apply(steps[std::size_t(index++)], true);
        modified = index != clean && index != readAt;
    }
    void Save(const QString& name) {
        fileName = name;
        modified = false;
        clean = index;
        readAt = -1;
        for (int i = index - 1; i >= 0; --i)
            if (steps[std::size_t(i)].kind == Step::Replace) {
                steps[std::size_t(i)].fileAfter = name;
                break;
            }
        for (int i = index; i < int(steps.size()); ++i)
            if (steps[std::size_t(i)].kind == Step::Replace) {
                steps[std::size_t(i)].fileBefore = name;
                break;
            }
    }
};

// The document, its shared fields and the history against the model.
inline void CompareWithModel(const PaperDocument& document, const Moddule1& state,
                             const PaperHistory& history, const Model& model) {
    const Rows rows = document.Rows();
    QCOMPARE(int(rows.size()), int(model.rows.size()));
    float total = 0;
    for (int i = 1; i <= int(rows.size()); ++i) {
        QuestionRecord expected = model.rows[std::size_t(i - 1)];
        expected.QuestionNo = std::int16_t(i);
        QCOMPARE(rows[std::size_t(i - 1)], expected);
        QCOMPARE(state.ScoreList(i), expected.Score);
        total += expected.Score;
    }
    QCOMPARE(document.Total(), total);
    QCOMPARE(document.Count(), int(model.rows.size()));
    QCOMPARE(document.Current(), model.current);
    QCOMPARE(state.PaperModified, model.modified);
    QCOMPARE(state.PaperFileName, model.fileName);
    QCOMPARE(history.CanUndo(), model.index > model.floor);
    QCOMPARE(history.CanRedo(), model.index < int(model.steps.size()));
}

}  // namespace scrivane::test
