// The commands that change how many questions the paper has and their order:
// ADD, DEL, UP and DOWN. They work on the bound table in place and keep the
// numbering, ScoreList, the totals and the modified flag in step.
#pragma once

#include "core/moddule1.h"
#include "core/paperwindow.h"
#include "core/prompts.h"

namespace scrivane {

class QuestionCommands {
public:
    QuestionCommands(Moddule1& state, PaperWindow& window, Prompts& prompts)
        : state_(state), window_(window), prompts_(prompts) {}

    void AddQuestion_Click();
    void DeleteQuestion_Click();
    void MoveUpQuestion_Click();
    void MoveDownQuestion_Click();

private:
    void Exchange(int from, int to);

    Moddule1& state_;
    PaperWindow& window_;
    Prompts& prompts_;
};

}  // namespace scrivane
