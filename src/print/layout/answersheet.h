// The answer sheet that a scanner reads back: where its corner markers, code,
// version squares, student number grid and bubbles stand on the page, the
// code it carries, and its painting. Print draws it; grading reads by it, so
// the layout depends only on what the code tells (the version, the number of
// student digits and the paper size), never on headings or fonts found at
// print time.
#pragma once

#include <QByteArray>
#include <QChar>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

#include "core/paperidentity.h"
#include "core/questionrecord.h"
#include "print/versions/studentnumber.h"
#include "print/versions/versions.h"

class QImage;
class QPainter;

namespace scrivane {

// The version squares: a black square, five squares for the version's index
// (0 for A to 25 for Z, most significant first, black for 1), a black square.
constexpr int kVersionSquares = 7;

// What the sheet's QR code carries.
struct SheetCode {
    QString paperDigest;  // 16 hex digits over what decides the versions
    QString textDigest;   // 16 hex digits over the titles and option texts
    QString version;      // "A" to "Z"
    int sheetPage = 1;    // this page of the version's sheet, from 1
    int sheetPages = 1;
    VersionSettings versions;  // seed, count, shuffle flags, blank letters
    int idDigits = kDefaultIdDigits;
    bool letterPaper = false;  // Letter rather than A4

    // The paper's identity (IsPaperIdentity), 16 hex digits: what tells apart
    // two papers whose questions print alike. Empty on sheets printed before
    // papers had one, which stay as they were printed.
    QString paperId;

    // A short text starting "SCRV1" or "SCRV2"; Decode gives nothing for any
    // other text. Fields joined by ':', within the QR code's alphanumeric
    // mode: SCRV1:paperDigest:textDigest:version:sheetPage:sheetPages:count:
    // flags (1 shuffled questions + 2 shuffled options + 4 options kept by
    // the References rule, without which the Phrases rule reads it):seed:idDigits:
    // blankOptionLetters:A or L (A4 or Letter); numbers without leading zeros.
    // A code with a paper identity is SCRV2, the same twelve fields and the
    // identity as a thirteenth.
    QByteArray Encode() const;
    static std::optional<SheetCode> Decode(const QByteArray& text);
    // 1 for a sheet printed before papers had an identity (SCRV1), painted
    // and read by the rules it was printed with; 2 for the sheets since.
    int Format() const { return paperId.isEmpty() ? 1 : 2; }
};

// Over what decides the versions: the number of questions, their filled
// options, the options that keep their place, and the answer mode's letters
// ("ABCDE" or "ABCDEF"), the kept options as `rule` decides them. Answers and
// marks are left out, so a corrected key grades the same sheets.
QString PaperDigest(const std::vector<QuestionRecord>& paper, const QString& modeLetters,
                    KeptOptionsRule rule = kCurrentKeptOptionsRule);
// The answer mode's letters as PaperDigest takes them, from the letters a
// question without option texts offers: "ABCDE" for 5, "ABCDEF" for 6.
QString ModeLetters(const VersionSettings& versions);
// Over the titles and option texts.
QString TextDigest(const std::vector<QuestionRecord>& paper);

struct SheetMarker {
    QPointF centre;
    double size = 0;  // the side of the square
    bool hollow = false;
};

struct SheetBubble {
    enum class Kind { Answer, Student };
    Kind kind = Kind::Answer;
    int question = 0;  // Answer: the number printed on the sheet, from 1
    int source = 0;    // Answer: the question's number in the paper, from 1
    QChar option;      // Answer: the letter printed in the bubble
    int position = 0;  // Student: the digit's place, from 0 at the left
    int digit = 0;     // Student: 0 to 9
    QPointF centre;
    double r = 0;
};

// One page of a version's answer sheet, in PDF points from the page's
// top-left corner (not from the margins).
struct SheetPageLayout {
    QString version;
    int sheetPage = 1;
    int sheetPages = 1;
    QSizeF size;  // the page
    // Top-left, top-right, bottom-right, bottom-left; exactly one is hollow
    // (the bottom-left), so a sheet scanned turned is turned back.
    std::vector<SheetMarker> markers;
    QRectF code;                       // the QR code's square
    QRectF versionSquares;             // kVersionSquares squares side by side
    std::vector<SheetBubble> bubbles;  // answers in printed order, then student digits
};

// The page size in points of A4 or Letter, in whole points as a PDF page of
// that size has them: 595 x 842 and 612 x 792.
QSizeF SheetPageSize(bool letterPaper);

// The layout of a version's answer sheet (always one page: up to 100
// questions and the student number grid).
SheetPageLayout LayOutAnswerSheet(const PaperVersion& version, int idDigits, bool letterPaper);

// Paints the whole page: markers, code, version text and squares, the
// heading, the name line, the student number grid with a box above each
// column, the bubbles with their letters and the legend. The painter works in
// points with its origin at the page's top-left corner.
void PaintAnswerSheet(QPainter& painter, const SheetPageLayout& layout, const PaperVersion& version,
                      const SheetCode& code, const QString& heading);

// The page as printed with nothing marked, in grey at dpi: what each bubble
// of a scan is judged against.
QImage RenderBlankSheet(const SheetPageLayout& layout, const PaperVersion& version,
                        const SheetCode& code, double dpi);

// --sheet-layout-json: {"pages": [{"page", "version", "sheet_page", "width",
// "height", "markers": [...], "bubbles": [...]}]}, each page with the PDF page
// it was printed on, from 1.
QByteArray SheetLayoutJson(const std::vector<std::pair<int, SheetPageLayout>>& pages);

}  // namespace scrivane
