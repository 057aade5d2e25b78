// What a teacher chose to print: the headings, what goes on the pages and the
// versions. The print dialog fills it, the command line too.
#pragma once

#include <QString>

#include "print/versions/studentnumber.h"
#include "print/versions/versions.h"

namespace scrivane {

struct PrintSettings {
    QString heading;
    QString subheading;
    bool nameLines = true;
    bool marks = true;
    bool paper = true;
    bool key = true;
    bool answerSheet = false;
    VersionSettings versions;
    // The answer sheet: the student number's digits (0 for no grid), and the
    // paper's digests that its code carries (PaperDigest, TextDigest).
    int idDigits = kDefaultIdDigits;
    QString paperDigest;
    QString textDigest;
    // The paper's identity the sheets carry (IsPaperIdentity); empty prints
    // them as before papers had one.
    QString paperId;

    bool PrintsSomething() const { return paper || key || answerSheet; }
};

}  // namespace scrivane
