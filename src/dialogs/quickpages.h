// Page arithmetic shared by the quick answer sheets: twenty questions a page.
#pragma once

#include <algorithm>
#include <cstdint>

#include "core/moddule1.h"

namespace scrivane {

constexpr int kRowsPerPage = 20;

struct QuickPages {
    std::int16_t PageCount = 1;
    std::int16_t LastPageCount = kRowsPerPage;
};

// The count comes from the quick new paper dialog (1 to 100); anything else
// is held to that range so that no page reaches past the answer records.
inline QuickPages CountQuickPages(int questionCount) {
    const int count = std::clamp(questionCount, 1, kMaxQuestions);
    QuickPages pages;
    pages.LastPageCount = std::int16_t(count % kRowsPerPage);
    if (pages.LastPageCount != 0) {
        pages.PageCount = std::int16_t(count / kRowsPerPage + 1);
    } else {
        pages.LastPageCount = kRowsPerPage;
        pages.PageCount = std::int16_t(count / kRowsPerPage);
    }
    return pages;
}

// Every record starts as question i with the default mark, no answer and no texts.
inline void ResetQuickAnswers(Moddule1& state) {
    for (int i = 1; i <= kMaxQuestions; ++i) {
        QuestionRecord record;
        record.QuestionNo = std::int16_t(i);
        record.Score = state.DefaultScore;
        state.QuickAnswers(i) = record;
    }
}

}  // namespace scrivane
