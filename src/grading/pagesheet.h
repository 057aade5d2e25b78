// From what a page of a scan shows (its bubbles as printed on that version's
// sheet) to what the student answered in the paper's own question numbers
// and letters.
#pragma once

#include <QHash>
#include <QString>
#include <vector>

#include "core/questionrecord.h"
#include "grading/grades.h"
#include "grading/read/pageread.h"
#include "print/versions.h"

namespace scrivane {

class PageSheets {
public:
    explicit PageSheets(std::vector<QuestionRecord> paper);

    // file as given, page from 1. Not for several threads at once: the
    // versions are built once per print settings and kept.
    SheetRead FromPage(const PageRead& read, const QString& file, int page);

private:
    const PaperVersion* Version(const SheetCode& code);

    std::vector<QuestionRecord> paper_;
    QHash<QByteArray, std::vector<PaperVersion>> versions_;
};

}  // namespace scrivane
