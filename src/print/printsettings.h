// What a teacher chose to print: the headings, what goes on the pages and the
// versions. The print dialog fills it, the command line too.
#pragma once

#include <QString>

#include "print/versions.h"

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

    bool PrintsSomething() const { return paper || key || answerSheet; }
};

}  // namespace scrivane
