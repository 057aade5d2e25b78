// What the question readers and writers share: the outcome of reading a file
// of questions, the checks every text format's questions pass before they
// become a paper, and the answers of the platform formats.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "core/paperrules.h"
#include "core/questionrecord.h"

namespace scrivane::interchange {

inline constexpr qsizetype kMaxTextUnits = 32767;  // a text, as in a cell of the sheet
inline constexpr qsizetype kMaxFileBytes = qsizetype{64} << 20;

struct ReadOutcome {
    enum class Status { Read, Refused, Unreadable };
    Status status = Status::Refused;
    std::vector<QuestionRecord> rows;  // when Read: questions 1 to n
    QString reason;                    // why it was refused or could not be read
    QStringList notes;      // what was left out: "3 questions of other types were skipped"
    bool workbook = false;  // the file was read as a workbook (or as nothing known)
    bool Read() const { return status == Status::Read; }

    static ReadOutcome Refuse(const QString& reason) {
        ReadOutcome outcome;
        outcome.reason = reason;
        return outcome;
    }
};

// Counts of what a reader left out, turned into notes.
struct Skipped {
    int otherTypes = 0;      // questions that are not multiple choice
    int tooManyOptions = 0;  // multiple choice with more than six options
    int categories = 0;
    // What was left out of the questions that were kept:
    QStringList credits;        // "question 3: the 50 % credit of option B is not kept"
    std::vector<int> pictures;  // the questions that lost a picture the file does not hold
    QStringList pictureNotes;   // "question 3: the picture anim.gif is not kept: ..."
    std::vector<int> markup;    // the questions whose formatting was dropped
    QStringList markupTags;     // the tags dropped: "strong", "table"

    QStringList Notes() const;
};

// Gathers a reader's questions and what it left out. Only as many questions
// are kept as a paper holds, so a huge file costs no more than a full paper.
class QuestionCollector {
public:
    // False once there are more questions than a paper holds: the reader
    // stops there, and Finish refuses the file.
    bool Add(QuestionRecord question);
    // The questions kept so far.
    int Count() const { return int(questions_.size()); }
    Skipped skipped;
    // A note told before what was skipped ("read as Windows-1252").
    QString encodingNote;

    // The questions as a paper: numbered 1 to n, refused when there are none
    // or more than a paper holds, when a mark lies outside 0 to 250 or a text is longer
    // than a sheet's cell holds. The notes of what was skipped go with it.
    ReadOutcome Finish();

private:
    std::vector<QuestionRecord> questions_;
};

// Why a file of `bytes` cannot be written: more than kMaxFileBytes, the
// most any way in reads, so what is written always reads back. `what` says
// what made it so large ("with its pictures").
std::optional<QString> FileSizeRejection(qsizetype bytes, const QString& what);

// The options written for a question in the platform formats: the filled
// ones (by text, or by a picture alone), in order, each with whether it is correct and its weight in percent.
// One correct option takes 100 and the wrong ones 0; several correct ones
// share 100 and the wrong ones share -100, so choosing them all gains nothing.
struct WrittenOption {
    int letter;  // 0 for A
    QString text;
    bool correct;
    double weight;
};
struct WrittenOptions {
    std::vector<WrittenOption> options;
    int correct = 0;  // how many are correct
};
WrittenOptions FilledOptions(const QuestionRecord& question);

// A weight as the platforms accept it: 100, 50, 33.33333, -25, ...
QString Weight(double percent);

// "questions 2, 5 and 7" or "question 3".
QString QuestionList(const std::vector<int>& numbers);

}  // namespace scrivane::interchange
