// Reading a page of a scan against one paper: which of its sheets the page
// is, where the sheet stands on it, and each bubble marked, empty or unclear.
#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "core/questionrecord.h"
#include "grading/read/pageread.h"
#include "grading/read/scanfilereader.h"

namespace scrivane {

// Reads pages against one paper. Read() may be called from several threads at
// once; the blank renders it compares against are made once per version.
class SheetReader {
public:
    // modeLetters: "ABCDE" in single-answer mode, "ABCDEF" in multiple.
    SheetReader(std::vector<QuestionRecord> paper, QString modeLetters);
    // With the paper's identity (IsPaperIdentity; empty for none): a sheet
    // that carries another identity is "this sheet belongs to another paper".
    SheetReader(std::vector<QuestionRecord> paper, QString modeLetters, QString paperId);
    ~SheetReader();
    SheetReader(const SheetReader&) = delete;
    SheetReader& operator=(const SheetReader&) = delete;

    // printedWith: the print settings to read a sheet whose code cannot be
    // read, from the codes of the other sheets of the same print; without
    // them such a sheet is Unreadable with codeMissing set.
    PageRead Read(const ScanImage& page,
                  const std::optional<SheetCode>& printedWith = std::nullopt) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace scrivane
