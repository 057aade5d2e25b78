// One question as a fixed record, used for staging (quick papers, imports).
#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "core/answercode.h"

namespace scrivane {

struct QuestionRecord {
    std::int16_t QuestionNo = 0;
    float Score = 0;
    AnswerMask Answer = 0;
    QString Title;
    std::array<QString, 6> Items;  // ItemA to ItemF

    bool operator==(const QuestionRecord&) const = default;
};

}  // namespace scrivane
