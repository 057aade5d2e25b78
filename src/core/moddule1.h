// The state that the windows share, owned by the application module and
// handed to every window and command that uses it. The names are those the
// whole program uses; arrays are 1-based as the questions are numbered.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <stdexcept>

#include "core/paperrules.h"
#include "core/questionrecord.h"
#include "core/typeinfo.h"

namespace scrivane {

// A fixed array indexed 1 to N; any other index is a programming error.
template <typename T, int N>
class OneBased {
public:
    T& operator()(int i) { return items_.at(Index(i)); }
    const T& operator()(int i) const { return items_.at(Index(i)); }
    static constexpr int size() { return N; }

private:
    static std::size_t Index(int i) {
        if (i < 1 || i > N) throw std::out_of_range("index outside 1 to " + std::to_string(N));
        return std::size_t(i - 1);
    }
    std::array<T, N> items_{};
};

struct Moddule1 {
    scrivane::TypeInfoRecord TypeInfoRecord;
    OneBased<float, kMaxQuestions> ScoreList;
    bool PaperModified = false;
    bool CausionResult = false;
    QString PaperFileName;
    bool StartupNew = false;
    bool QuickNewResult = false;
    std::int16_t QuickQuestionCount = 0;
    float DefaultScore = 10;
    OneBased<QuestionRecord, kMaxQuestions> QuickAnswers;
    AnswerMask CurrentAnswer = 0;

    std::int16_t AnswerType() const { return TypeInfoRecord.AnswerType; }
};

}  // namespace scrivane
