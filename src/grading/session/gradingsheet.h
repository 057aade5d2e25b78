// What a grading is made of, as it is kept: the sheets (scanned pages and
// sheets typed in by hand) with each bubble as read or as the teacher set it,
// the adjustments of flawed questions, the class list, and how far each scan
// was read. Plain data shared by the session, its undo steps and its file.
#pragma once

#include <QByteArray>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <map>
#include <set>
#include <vector>

#include "core/answercode.h"
#include "grading/read/pageread.h"

namespace scrivane {

// One bubble of a read sheet, where the sheet's layout puts it, and how it
// stands now (as read, or as the teacher set it).
struct SheetBubbleState {
    SheetBubble bubble;  // kind, printed question and letter or digit place, centre and r in points
    BubbleRead::Mark mark = BubbleRead::Mark::Empty;
    bool corrected = false;  // the teacher set it
};

// One sheet: a page of a scan, or one typed in by hand.
struct GradingSheet {
    int id = 0;    // stable for the session and its file; never reused
    QString file;  // the scan's path; empty for a sheet typed in by hand
    int page = 1;  // in that file, from 1
    bool byHand = false;
    bool unreadable = false;
    // Unreadable: why. Otherwise the reading's own doubts ("the paper's texts
    // changed since printing", ...), which only Accept clears.
    QStringList readReasons;
    QByteArray code;  // the sheet's code as read (SheetCode::Encode), empty when none
    QString version;
    QSizeF pageSize;                        // the sheet's page, in points
    std::vector<SheetBubbleState> bubbles;  // in the layout's order
    // Typed by hand, in place of what the grid gave; empty for none.
    QString typedStudent;
    // A sheet typed in by hand: the paper's letters marked, one per question
    // in the paper's order.
    std::vector<AnswerMask> handAnswers;
    bool accepted = false;  // taken as read with Accept
    // Typed by hand as printed on the version's sheet: the letters of each
    // printed question, in that version's order (handAnswers follow from
    // them); empty for a sheet typed in the paper's order.
    QStringList handPrinted;
    // A scanned sheet scored as another version than the one printed on it
    // (a student who used another version's sheet): the version printed.
    QString printedVersion;
};

// The teacher's adjustments of flawed questions, and the class list.
struct GradingAdjustments {
    std::map<int, std::vector<AnswerMask>> alsoAccept;  // by question from 1
    std::map<int, bool> giveAll;
    QByteArray classCsv;  // decoded, as UTF-8; empty for none
    bool operator==(const GradingAdjustments&) const = default;
};

// Of a scan, how many pages it has and which were read, so that a pile cut
// off can be continued.
struct ScanPages {
    int pages = 0;
    std::set<int> read;
};

// Everything the grading file keeps.
struct GradingContent {
    QStringList scans;
    std::vector<GradingSheet> sheets;
    GradingAdjustments adjustments;
    // The paper as its sheets were read: a key for each question, to tell
    // later what changed.
    QStringList gradedShape;
    std::map<QString, ScanPages> scanPages;
};

}  // namespace scrivane
