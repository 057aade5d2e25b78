// What holds the paper being edited, as the paper commands and the import
// need it: the paper document, whose table is bound to the navigator, the
// grid and the panel, and a way to put a paper just read in its place. The
// workspace holds it, the main window hands it on to its workspace, and a
// test's paper without windows holds it alone.
#pragma once

#include <QString>
#include <vector>

#include "core/paperdocument.h"

namespace scrivane {

class PaperHolder {
public:
    virtual ~PaperHolder() = default;
    virtual PaperDocument& Document() = 0;
    // The question table bound to the record navigator, the grid and the panel.
    QuestionTable& BoundTable() { return Document().Table(); }
    // Puts a paper just read in place of the current one, as the step named
    // `step` where the window keeps an undo history: the rows, ScoreList, the
    // count and the total change together, the first question is current, and
    // the paper has no unsaved changes and no file name.
    virtual void ReplacePaper(const QString& step, const std::vector<QuestionRecord>& rows) = 0;
};

}  // namespace scrivane
