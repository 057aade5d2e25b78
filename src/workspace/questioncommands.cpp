#include "workspace/questioncommands.h"

#include "history/paperhistory.h"

namespace scrivane {

void QuestionCommands::AddQuestion_Click() {
    if (window_.Document().Count() >= kMaxQuestions) {
        // The paper holds at most 100 questions.
        ShowMessage(
            prompts_,
            QStringLiteral("There should not be more than 100 questions in one test paper."));
        return;
    }
    // A blank question at the default mark; its number is its place.
    QuestionRecord question;
    question.Score = state_.DefaultScore;
    history_.AddQuestion(question);
}

void QuestionCommands::DeleteQuestion_Click() {
    const int p = window_.Document().Current();
    if (p < 1) return;  // an empty paper, or no current question
    history_.DeleteQuestion(p);
}

void QuestionCommands::MoveUpQuestion_Click() {
    const int p = window_.Document().Current();
    if (p <= 1) return;
    history_.MoveQuestion(p, p - 1);
}

void QuestionCommands::MoveDownQuestion_Click() {
    const int p = window_.Document().Current();
    if (p < 1 || p >= window_.Document().Count()) return;
    history_.MoveQuestion(p, p + 1);
}

}  // namespace scrivane
