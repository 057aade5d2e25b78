// What one page of a scan says: which sheet it is, where it stands, and how
// dark each bubble is, before any scoring.
#pragma once

#include <QImage>
#include <QStringList>
#include <QTransform>
#include <optional>
#include <vector>

#include "print/layout/answersheet.h"

namespace scrivane {

struct BubbleRead {
    SheetBubble bubble;  // from the sheet's layout
    double fill = 0;     // darkness beyond the blank sheet's: 0 none, 1 fully filled
    enum class Mark { Empty, Marked, Unclear };
    Mark mark = Mark::Empty;
    double strong = 0;  // share of strongly dark pixels beyond the blank sheet's
};

struct PageRead {
    enum class Status { Read, Unreadable };
    Status status = Status::Unreadable;
    // With Unreadable: why ("no corner markers were found", "this sheet
    // belongs to another paper, or the paper's questions changed since
    // printing", ...). With Read: doubts of the reading itself that send the
    // sheet to review ("the paper's texts changed since printing", ...).
    QStringList reasons;
    std::optional<SheetCode> code;
    QString version;                  // "A" to "Z"
    SheetPageLayout layout;           // the sheet's layout, in points
    std::vector<BubbleRead> bubbles;  // in the order of layout.bubbles
    // Unreadable only for want of its code: the version squares were read, and
    // the page reads given the print settings from another sheet's code.
    bool codeMissing = false;
    QImage upright;              // the page turned upright (grey), for showing
    QTransform pointsToUpright;  // layout points to pixels of upright
};

}  // namespace scrivane
