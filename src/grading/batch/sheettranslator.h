// From what a page of a scan shows (its bubbles as printed on that version's
// sheet) to what the student answered in the paper's own question numbers
// and letters.
#pragma once

#include <QString>
#include <vector>

#include "core/questionrecord.h"
#include "grading/scores/grades.h"
#include "grading/read/pageread.h"
#include "grading/read/versionscache.h"

namespace scrivane {

// Turns the pages read against one paper into its sheets. May be used from
// several threads at once: the versions are built once per print settings.
class SheetTranslator {
public:
    explicit SheetTranslator(std::vector<QuestionRecord> paper);

    // file as given, page from 1.
    SheetRead FromPage(const PageRead& read, const QString& file, int page) const;

private:
    VersionsCache versions_;
};

}  // namespace scrivane
