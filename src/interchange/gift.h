// GIFT, the plain-text question format of learning platforms: multiple-choice
// questions in and out, with a "// Mark:" comment carrying each mark.
#pragma once

#include <QByteArray>
#include <vector>

#include "core/questionrecord.h"
#include "interchange/questions.h"

namespace scrivane::interchange {

// Reads the multiple-choice questions (= right, ~ wrong, ~%w% weights, where
// a positive weight makes a correct option); other question types are
// skipped and counted. A question takes the mark of a "// Mark:" line just
// before it, else defaultMark.
ReadOutcome ReadGift(const QByteArray& content, float defaultMark);

QByteArray WriteGift(const std::vector<QuestionRecord>& questions);

}  // namespace scrivane::interchange
