// Aiken, the simplest question format of learning platforms: a one-line
// question, its options "A. text" (or "A) text") and "ANSWER: B".
#pragma once

#include <QByteArray>
#include <vector>

#include "core/questionrecord.h"
#include "interchange/questions.h"

namespace scrivane::interchange {

// Reads every question at defaultMark; a question broken off (no options or
// no ANSWER line, an answer naming no option) refuses the file with its line.
ReadOutcome ReadAiken(const QByteArray& content, float defaultMark);

// Only questions whose answer is one letter fit; the caller checks that
// first (see UnfitAnswers).
QByteArray WriteAiken(const std::vector<QuestionRecord>& questions);

}  // namespace scrivane::interchange
