// The commands that change how many questions the paper has and their order:
// ADD, DEL, UP and DOWN. Each is one step of the paper's history; the paper
// document keeps the numbering, ScoreList, the totals and the modified flag
// in step.
#pragma once

#include "core/moddule1.h"
#include "core/paperholder.h"
#include "core/prompts.h"

namespace scrivane {

class PaperHistory;

class QuestionCommands {
public:
    QuestionCommands(Moddule1& state, PaperHolder& window, PaperHistory& history, Prompts& prompts)
        : state_(state), window_(window), history_(history), prompts_(prompts) {}

    void AddQuestion_Click();
    void DeleteQuestion_Click();
    void MoveUpQuestion_Click();
    void MoveDownQuestion_Click();

private:
    Moddule1& state_;
    PaperHolder& window_;
    PaperHistory& history_;
    Prompts& prompts_;
};

}  // namespace scrivane
