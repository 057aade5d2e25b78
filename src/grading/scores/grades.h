// Grades from read answer sheets: what each sheet says in the paper's own
// question numbers and letters, its score against the paper's answers, and
// the doubts that send it to review. Qt Core only, so the converter and the
// grades window share it; the reading of images is elsewhere.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "core/answercode.h"
#include "core/questionrecord.h"

namespace scrivane {

enum class Scoring {
    Exact,    // a question's mark when the marked options equal its answer, else 0
    Partial,  // several correct options weighted as the platform export weights them
};

// One question of one sheet, in the paper's letters.
struct AnswerRead {
    int question = 0;        // in the paper, from 1
    int sheetQuestion = 0;   // as printed on the sheet; 0 when the sheet did not carry it
    AnswerMask marked = 0;   // options read as marked
    AnswerMask unclear = 0;  // options neither clearly marked nor clearly empty
};

// One place of the student number: the digits read as marked and in doubt.
struct DigitRead {
    unsigned short marked = 0;  // bit d for digit d
    unsigned short unclear = 0;
};

// What one page of a scan gave, before scoring: enough to grade it again
// after a correction or a change of the paper's answers.
struct SheetRead {
    QString file;  // as given
    int page = 1;  // in that file, from 1
    bool unreadable = false;
    // Unreadable: why. Else the reading's own doubts, which send it to review.
    QStringList reasons;
    QString version;
    std::vector<DigitRead> student;   // one per place; none without a number grid
    std::vector<AnswerRead> answers;  // in the paper's order, one per question
};

// The student numbers and names of a class, numbers kept as text.
class ClassList {
public:
    // A CSV of number and name (comma, semicolon or tab); a first row whose
    // number holds no digit is a header. Nothing with *error set when the
    // file is not text, holds no student or lists a number twice.
    static std::optional<ClassList> FromCsv(const QByteArray& content, QString* error);
    // The file's text, decoded as every text file is (a byte-order mark or
    // UTF-16, then UTF-8, then Windows-1252); nothing with *error set when it
    // cannot be.
    static std::optional<QString> Decode(const QByteArray& content, QString* error);
    // The same as FromCsv on text already decoded.
    static std::optional<ClassList> FromText(const QString& text, QString* error);
    // A list the program kept itself (decoded, as UTF-8): a number listed
    // twice in an older file keeps its first name rather than losing the list.
    static std::optional<ClassList> FromStored(const QByteArray& utf8);

    bool Contains(const QString& number) const { return names_.contains(number); }
    QString Name(const QString& number) const { return names_.value(number); }
    int size() const { return int(names_.size()); }
    // Every number, in the file's order.
    const QStringList& Numbers() const { return numbers_; }

private:
    static std::optional<ClassList> Parse(const QString& text, QString* error, bool refuseTwice);

    QHash<QString, QString> names_;
    QStringList numbers_;
};

enum class AnswerStatus { Ok, Blank, Multiple, Unclear };
enum class SheetStatus { Ok, Review, Unreadable };

struct AnswerResult {
    int question = 0;
    int sheetQuestion = 0;
    AnswerMask marked = 0;
    AnswerStatus status = AnswerStatus::Blank;
    std::optional<bool> correct;  // none when the question's answer is not set
    double score = 0;             // 0 for a question whose answer is not set
    // The mark came from the teacher's adjustment of a flawed question: its
    // doubt no longer sends the sheet to review.
    bool adjusted = false;
};

struct SheetResult {
    QString file;
    int page = 1;
    SheetStatus status = SheetStatus::Unreadable;
    QStringList reasons;
    std::optional<QString> student;  // digits, '?' where a place could not be read
    std::optional<QString> name;     // from the class list
    QString version;
    double score = 0;
    double max = 0;
    std::vector<AnswerResult> answers;  // in the paper's order
    // Of a sheet whose bubbles are kept (the grades window's), one per bubble
    // in its layout's order: whether it is in doubt (unclear, one of several
    // marks where one answer is asked, or one of two digits in a place of the
    // student number); empty otherwise.
    std::vector<bool> bubbleDoubts;
};

// The sheet's mark as a percentage of its maximum; 0 for a maximum of 0.
inline double Percentage(const SheetResult& sheet) {
    return sheet.max > 0 ? 100 * sheet.score / sheet.max : 0;
}

// How the paper marks its sheets.
class AnswerKey {
public:
    // modeLetters: "ABCDE" in single-answer mode, "ABCDEF" in multiple; the
    // letters a question without option texts offers.
    AnswerKey(std::vector<QuestionRecord> paper, QString modeLetters,
              Scoring scoring = Scoring::Exact);

    const std::vector<QuestionRecord>& Paper() const { return paper_; }
    const QString& ModeLetters() const { return modeLetters_; }
    int QuestionCount() const { return int(paper_.size()); }
    // The question's mark as shown (the shortest decimal of its stored value).
    double Mark(int index) const { return marks_[std::size_t(index)]; }
    // False for a question whose answer is not set ("Uncertain"): left out of
    // the score, the maximum and the statistics.
    bool Counts(int index) const { return paper_[std::size_t(index)].Answer != 0; }
    // The options a sheet offers for the question, in the paper's letters.
    AnswerMask Offered(int index) const { return offered_[std::size_t(index)]; }
    // The sum of the marks of the questions that count.
    double Maximum() const;

    AnswerResult Score(int index, const AnswerRead& read) const;

    // A flawed question's adjustments, for a question that counts: more
    // answers that earn its whole mark (a clear mark only, several letters
    // allowed), or its mark given to every sheet.
    void AlsoAccept(int index, std::vector<AnswerMask> answers);
    void GiveAll(int index, bool give);
    void ClearAdjustments();

    // Whether every sheet is given the question's mark (GiveAll).
    bool GivenToAll(int index) const { return giveAll_[std::size_t(index)]; }

private:
    std::vector<QuestionRecord> paper_;
    QString modeLetters_;
    Scoring scoring_;
    std::vector<double> marks_;
    std::vector<AnswerMask> offered_;
    std::vector<std::vector<AnswerMask>> alsoAccept_;  // by index
    std::vector<bool> giveAll_;                        // by index
};

// Grades every sheet: scores, student numbers and names, and the reasons for
// review, among them a number missing from the class list or read on more
// than one sheet. The results are in the order of reads.
std::vector<SheetResult> GradeSheets(const std::vector<SheetRead>& reads, const AnswerKey& key,
                                     const ClassList* classList = nullptr);

// The paper's letters of a mask in alphabetical order ("AC"), "" for none.
QString MarkedLetters(AnswerMask mask);

// The class list's numbers that no sheet read carries (an unreadable page
// carries none), in the list's order.
QStringList AbsentStudents(const std::vector<SheetResult>& sheets, const ClassList& classList);

}  // namespace scrivane
