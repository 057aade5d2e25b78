// Moodle XML question banks: multichoice questions in, multichoice out.
#pragma once

#include <QByteArray>
#include <vector>

#include "core/questionrecord.h"
#include "interchange/questions.h"

namespace scrivane::interchange {

// Reads the multichoice questions; every other type and the categories are
// skipped and counted. Malformed XML refuses the whole file.
ReadOutcome ReadMoodleXml(const QByteArray& content);

// One <question type="multichoice"> per question, UTF-8.
QByteArray WriteMoodleXml(const std::vector<QuestionRecord>& questions);

}  // namespace scrivane::interchange
