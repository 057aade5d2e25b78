// What the paper commands and the import need of the main window: the bound
// question table, the totals and the caption. The main window implements it.
#pragma once

#include <QString>
#include <memory>

namespace scrivane {

class QuestionTable;

class PaperWindow {
public:
    virtual ~PaperWindow() = default;
    // The question table bound to the record navigator, the grid and the panel.
    virtual QuestionTable& BoundTable() = 0;
    // Hands a freshly built table to the navigator in place of the old one and
    // moves to its first record.
    virtual void SetTable(std::unique_ptr<QuestionTable> table) = 0;
    // Recomputes the total of the marks from ScoreList and shows it.
    virtual void CountScore() = 0;
    // Shows the number of questions.
    virtual void SetQuestionCount(int count) = 0;
    virtual void SetWindowCaption(const QString& caption) = 0;
};

}  // namespace scrivane
