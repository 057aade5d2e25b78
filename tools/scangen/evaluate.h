// The reading judged against the generator's truth, sheet by sheet and over a
// mix of every kind of scan and photo: what the reading tests and the
// benchmark count.
#pragma once

#include <QStringList>
#include <random>

#include "grading/read/pageread.h"
#include "scangen/scangen.h"

namespace scrivane::scangen {

struct Evaluation {
    int sheets = 0;
    int registered = 0;
    int unreadable = 0;
    int unreadableWithoutReason = 0;
    int placedUnsurely = 0;  // registered, every answer left to check
    int versionsWrong = 0;
    long answers = 0;         // the questions of the registered sheets
    long wrong = 0;           // read as something not marked, without a flag
    long unclear = 0;         // an answer with a bubble neither marked nor empty
    long multiple = 0;        // two marks read where the student made one
    long multipleMarked = 0;  // two marks read where the student made two
    long studentsWrong = 0;   // a place of the student number read wrong, unflagged
    QStringList faults;       // the first of the wrong readings, said

    // Adds one sheet's reading; `name` says which sheet in the faults.
    void Add(const PageRead& read, const Sheet& sheet, const QString& name);
    // The share of answers left to check because of the reading itself.
    double DoubtfulPercent() const;
    QString Summary() const;
};

// The i-th sheet of the evaluation's mix, at 150, 200 or 300 dpi in turn:
// flatbed, crooked, upside down, copied and photographed scans, phone photos
// in perspective up to 15 degrees (some with a corner, or the two of one side,
// out of the picture), a sheet filled in light pencil with an erasure, and a
// torn corner with a doodle beside it.
Sheet EvaluationSheet(const PrintRun& run, int i, std::mt19937& random, double* dpi);

}  // namespace scrivane::scangen
