// Reading scanned answer sheets: the pages of the scan files, and what one
// page says (which sheet it is, and how dark each bubble is), before any
// scoring. Qt Gui only, so the converter and the grading window share it.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <QTransform>
#include <memory>
#include <optional>
#include <vector>

#include "core/questionrecord.h"
#include "print/answersheet.h"

namespace scrivane {

// One page of a scan file, decoded.
struct ScanImage {
    QImage image;    // as decoded (any format)
    double dpi = 0;  // the image's resolution, or the one it was rendered at
    QString error;   // why the page could not be decoded; empty when it was
};

// Opens scan files (PDF, PNG, JPEG, TIFF of any number of pages) one page at a
// time, so that a long scan never sits in memory whole. Not shared between
// threads: each reading thread has its own.
class ScanFileReader {
public:
    // fallbackDpi is used for images that carry no resolution.
    explicit ScanFileReader(double fallbackDpi = 200);
    ~ScanFileReader();
    ScanFileReader(const ScanFileReader&) = delete;
    ScanFileReader& operator=(const ScanFileReader&) = delete;

    // The file's page count; 0 with *error set when it cannot be read.
    int PageCount(const QString& file, QString* error);
    // Page from 1.
    ScanImage Page(const QString& file, int page);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

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
