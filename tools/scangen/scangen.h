// Realistic scans of filled answer sheets, with the truth beside them: marks
// of several kinds drawn into the program's own rendered sheet, then the
// page turned, scaled, shifted, blurred, noised, compressed, copied or
// photographed as teachers' scanners and phones do.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QJsonObject>
#include <QString>
#include <random>
#include <vector>

#include "print/answersheet.h"

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

    QJsonObject ToJson() const;
};

// A distortion of the given style: 0 a clean flatbed scan, 1 a crooked
// scan-to-PDF, 2 upside down and JPEG-compressed, 3 a copy of a copy,
// 4 a phone photo; any other value picks one at random.
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

// Draws the marks into a page rendered at dpi (any format; grey comes back).
QImage DrawMarks(const QImage& page, double dpi, const SheetPageLayout& layout,
                 const Filling& filling, std::mt19937& random);

// The page as the scanner or phone gives it, at the same dpi.
QImage Distort(const QImage& page, double dpi, const Distortion& distortion, std::mt19937& random);

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

// The file's bytes as a JPEG of the given quality, or PNG for 0.
QByteArray Encode(const QImage& image, int jpegQuality, double dpi);

}  // namespace scrivane::scangen
