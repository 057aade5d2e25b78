// One question as a fixed record, used for staging (quick papers, imports).
#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "core/answercode.h"
#include "core/pictures.h"

namespace scrivane {

struct QuestionRecord {
    std::int16_t QuestionNo = 0;
    float Score = 0;
    AnswerMask Answer = 0;
    QString Title;
    std::array<QString, 6> Items;  // ItemA to ItemF
    QuestionPictures Pictures{};    // the title's and each option's pictures

    bool operator==(const QuestionRecord&) const = default;
};

// A text counts as filled when it holds more than white space.
inline bool IsFilledText(const QString& text) {
    return !text.trimmed().isEmpty();
}
// An option (item 0 for A) or the title is filled by its text, or by a
// picture alone.
inline bool IsFilledOption(const QuestionRecord& question, int item) {
    return IsFilledText(question.Items[std::size_t(item)]) ||
           !question.Pictures[std::size_t(PictureBoxOfItem(item))].isEmpty();
}
inline bool IsFilledTitle(const QuestionRecord& question) {
    return IsFilledText(question.Title) || !question.Pictures[kPictureTitle].isEmpty();
}

}  // namespace scrivane
