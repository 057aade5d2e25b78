// Realistic scans of filled answer sheets, with the truth beside them: marks
// of several kinds drawn into the program's own rendered sheet, then the
// page turned, scaled, shifted, blurred, noised, compressed, copied or
// photographed as teachers' scanners and phones do.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QJsonObject>
#include <QString>

class QPainter;
#include <random>
#include <vector>

#include "print/layout/answersheet.h"

namespace scrivane::scangen {

enum class Mark {
    None,
    Pencil,  // filled in pencil
    Pen,     // filled in pen
    Half,    // about half filled
    Tick,
    Cross,
    Erased,  // a pencil mark rubbed out
    Dot,     // the pen rested on the bubble
    Smudge,  // grey from a hand or a dirty glass
    Light,   // filled in light pencil, as a whole sheet may be
    Rubbed,  // a mark rubbed out that left a grey smear behind
};

// Whether a mark of this kind means the bubble was chosen.
bool Counts(Mark mark);
QString MarkName(Mark mark);

// What happens to the page between the printer and the reader.
struct Distortion {
    int quarterTurns = 0;           // 0 to 3, clockwise
    double skew = 0;                // degrees, up to 10 either way
    double scale = 1;               // 0.95 to 1.05
    double shiftX = 0, shiftY = 0;  // points
    double blur = 0;                // Gaussian sigma in pixels
    double noise = 0;               // standard deviation in grey levels
    int jpegQuality = 0;            // 0 for none
    bool copier = false;            // greyed paper and weaker toner
    int copies = 1;                 // a copy of a copy of ...
    bool photo = false;             // perspective, light falling off across the page
    bool darkBed = false;           // the scanner's lid left open: black around the page
    // A phone photo in perspective: the camera leans this many degrees from
    // square over the sheet, towards tiltAxis (degrees in the image plane).
    double tilt = 0;
    double tiltAxis = 0;
    // The corner markers out of the picture (1 top-left, 2 top-right,
    // 4 bottom-right, 8 bottom-left of the sheet), leaving the code and every
    // bubble in it, or only the other markers when cutWhole is false.
    int cutCorners = 0;
    bool cutWhole = true;
    // The page itself: a corner marker torn off (0 to 3, -1 none), and a dark
    // square drawn 15 mm from it towards the middle of the page.
    int tornMarker = -1;
    bool doodle = false;

    QJsonObject ToJson() const;
};

// A distortion of the given style: 0 a clean flatbed scan, 1 a crooked
// scan-to-PDF, 2 upside down and JPEG-compressed, 3 a copy of a copy,
// 4 a phone photo, 5 a phone photo in perspective (5 to 15 degrees); any
// other value picks one at random.
Distortion RandomDistortion(std::mt19937& random, int style);

// What was marked on one sheet.
struct Filling {
    std::vector<Mark> marks;  // one per bubble of the layout, in its order
    QString student;          // the digits marked, one per column
};

// A student's filling of a sheet: mostly one answer per question in pencil or
// pen, some blank or changed (erased), some with two answers, dots and
// smudges here and there.
Filling RandomFilling(const SheetPageLayout& layout, std::mt19937& random);
// A sheet filled lightly but consistently in pencil: one answer per question
// (a few blank), the student number too, and one answer changed with a grey
// erasure beside the mark that stayed.
Filling LightPencilFilling(const SheetPageLayout& layout, std::mt19937& random);

// Draws the marks into a page rendered at dpi (any format; grey comes back).
QImage DrawMarks(const QImage& page, double dpi, const SheetPageLayout& layout,
                 const Filling& filling, std::mt19937& random);

// The page as the scanner or phone gives it, at the same dpi.
QImage Distort(const QImage& page, double dpi, const Distortion& distortion, std::mt19937& random);
// The same, with the corners of `cutCorners` out of the picture; *cut says
// whether they could be cut as asked.
QImage Distort(const QImage& page, double dpi, const Distortion& distortion, std::mt19937& random,
               const SheetPageLayout& layout, bool* cut);
// The torn marker and the doodle of the distortion painted on the page
// (points), before it is scanned.
void DamagePage(QPainter& painter, const SheetPageLayout& layout, const Distortion& distortion);

// {"version", "student", "distortion": {...}, "bubbles": [{"kind", "question",
// "option" | "position", "digit", "mark", "counts"}]}
QJsonObject Truth(const SheetPageLayout& layout, const Filling& filling,
                  const Distortion& distortion);

// A paper printed with answer sheets: what a class receives.
struct PrintRun {
    std::vector<QuestionRecord> paper;
    QString modeLetters;
    std::vector<PaperVersion> versions;
    std::vector<SheetCode> codes;  // one per version
    std::vector<SheetPageLayout> layouts;
};
// questions with options A to E (about one in ten with four), one answer
// each, in the given number of shuffled versions.
std::vector<QuestionRecord> SamplePaper(int questions, std::uint32_t seed);
PrintRun Print(std::vector<QuestionRecord> paper, const QString& modeLetters, int versions,
               std::uint32_t seed, int idDigits = kDefaultIdDigits, bool letterPaper = false);

struct Sheet {
    QImage image;  // as scanned
    Filling filling;
    Distortion distortion;
    QJsonObject truth;
};
// A sheet of the run's version, rendered at dpi, filled and scanned.
Sheet MakeSheet(const PrintRun& run, int version, const Distortion& distortion, double dpi,
                std::mt19937& random);
// The same with a filling of one's own; an empty image when the distortion's
// corners cannot be cut as asked.
Sheet MakeSheet(const PrintRun& run, int version, const Distortion& distortion, double dpi,
                std::mt19937& random, const Filling& filling);
// A phone photo in perspective with the corners of `cutCorners` out of the
// picture and the code and every bubble in it, the perspective drawn again
// until they can be; the two corners of the left or right side cannot (the
// student number and the code stand too near the edges), so only the other
// two markers stay in the picture then.
Sheet MakeCutPhoto(const PrintRun& run, int version, int cutCorners, double dpi,
                   std::mt19937& random);

// The file's bytes as a JPEG of the given quality, or PNG for 0.
QByteArray Encode(const QImage& image, int jpegQuality, double dpi);

}  // namespace scrivane::scangen
