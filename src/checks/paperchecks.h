// The mistakes a teacher should see before printing a paper: a missing or
// impossible answer, empty or repeated texts, options the answer mode hides,
// a mark of 0; and what is only information: questions printed with their
// letters alone, options whose order is kept. Each has a stable id for the
// command line.
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
    // Information, not problems:
    OptionsKept,    // the options name each other, so their order is kept
    NoOptionTexts,  // questions printed with the mode's letters alone, named once
};

struct PaperProblem {
    int question = 0;  // 1-based position in the paper
    ProblemKind kind = ProblemKind::NoAnswer;
    QString text;  // "no answer is set"

    bool operator==(const PaperProblem&) const = default;
};

// "no-answer", "answer-empty-option", ...
QString ProblemId(ProblemKind kind);
// "Question 3: no answer is set", as the checks window lists it; information
// is listed as its text alone.
QString ProblemLine(const PaperProblem& problem);

// True for what is told as information: it counts neither for --check's
// exit status nor for "Print anyway?".
bool IsInformation(ProblemKind kind);
// The problems without the information.
std::vector<PaperProblem> ProblemsOnly(const std::vector<PaperProblem>& found);

// The paper's problems and information, by question and then in the order
// of ProblemKind; the questions without option texts are named once, at the
// first of them, and are not problems for their empty title and options.
// answerType chooses the answer mode and whether option F is hidden.
std::vector<PaperProblem> CheckPaper(const std::vector<QuestionRecord>& rows,
                                     std::int16_t answerType);

// Shared with the balance: the options a paper shows are A to E when F is
// hidden. (An option counts as filled by the question's rule, IsFilledOption.)
int VisibleOptionCount(std::int16_t answerType);

}  // namespace scrivane
