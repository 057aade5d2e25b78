// The mistakes a teacher should see before printing a paper: a missing or
// impossible answer, empty or repeated texts, options the answer mode hides,
// a mark of 0. Each problem has a stable id for the command line.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "core/questionrecord.h"

namespace scrivane {

enum class ProblemKind {
    NoAnswer,
    AnswerEmptyOption,
    EmptyTitle,
    TooFewOptions,
    OptionGap,
    DuplicateOptions,
    DuplicateQuestion,
    HiddenOption,
    MultipleInSingle,
    ZeroMark,
};

struct PaperProblem {
    int question = 0;  // 1-based position in the paper
    ProblemKind kind = ProblemKind::NoAnswer;
    QString text;  // "no answer is set"

    bool operator==(const PaperProblem&) const = default;
};

// "no-answer", "answer-empty-option", ...
QString ProblemId(ProblemKind kind);
// "Question 3: no answer is set", as the checks window lists it.
QString ProblemLine(const PaperProblem& problem);

// The paper's problems, by question and then in the order of ProblemKind.
// answerType chooses the answer mode and whether option F is hidden.
std::vector<PaperProblem> CheckPaper(const std::vector<QuestionRecord>& rows,
                                     std::int16_t answerType);

// Helpers shared with the balance: an option counts as filled when it has
// more than blanks, and the options a paper shows are A to E when F is hidden.
bool IsFilled(const QString& text);
int VisibleOptionCount(std::int16_t answerType);

}  // namespace scrivane
