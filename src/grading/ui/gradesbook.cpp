#include "grading/ui/gradesbook.h"

#include <QUndoCommand>
#include <algorithm>

#include "grading/gradesreport.h"
#include "interchange/csv.h"
#include "spreadsheet/paperio.h"

namespace scrivane {

namespace {

struct BookState {
    std::vector<GradedSheet> sheets;
    std::vector<std::vector<AnswerMask>> alsoAccepted;
    std::vector<bool> givenToAll;
};

}  // namespace

// One correction: the whole grading before and after, which for a class of
// sheets is small, and undoes every kind of change alike.
class SheetStep : public QUndoCommand {
public:
    SheetStep(GradesBook& book, BookState before, BookState after, const QString& text)
        : QUndoCommand(text), book_(book), before_(std::move(before)), after_(std::move(after)) {}
    void undo() override { Put(before_); }
    void redo() override { Put(after_); }

private:
    void Put(const BookState& state) {
        book_.sheets_ = state.sheets;
        book_.alsoAccepted_ = state.alsoAccepted;
        book_.givenToAll_ = state.givenToAll;
        book_.Regrade();
    }
    GradesBook& book_;
    BookState before_, after_;
};

GradesBook::GradesBook(std::vector<QuestionRecord> paper, QString modeLetters, QObject* parent)
    : QObject(parent), key_(paper, modeLetters), modeLetters_(std::move(modeLetters)) {
    alsoAccepted_.resize(paper.size());
    givenToAll_.resize(paper.size());
    Regrade();
}

void GradesBook::SetPaper(std::vector<QuestionRecord> paper) {
    key_ = AnswerKey(std::move(paper), modeLetters_);
    // Questions added or removed in the paper take or leave their flags.
    alsoAccepted_.resize(std::size_t(key_.QuestionCount()));
    givenToAll_.resize(std::size_t(key_.QuestionCount()));
    Regrade();
}

void GradesBook::Regrade() {
    std::vector<SheetRead> reads;
    reads.reserve(sheets_.size());
    for (const GradedSheet& sheet : sheets_) reads.push_back(sheet.read);
    results_ = GradeSheets(reads, key_, Classes());
    for (std::size_t s = 0; s < results_.size(); ++s) {
        SheetResult& result = results_[s];
        if (result.status == SheetStatus::Unreadable) continue;
        for (AnswerResult& answer : result.answers) {
            const std::size_t q = std::size_t(answer.question - 1);
            if (q >= givenToAll_.size() || !key_.Counts(int(q))) continue;
            const bool also = answer.status != AnswerStatus::Unclear &&
                              std::find(alsoAccepted_[q].begin(), alsoAccepted_[q].end(),
                                        answer.marked) != alsoAccepted_[q].end();
            if (givenToAll_[q] || also) {
                result.score += key_.Mark(int(q)) - answer.score;
                answer.score = key_.Mark(int(q));
                answer.correct = true;
            }
        }
        if (sheets_[s].accepted) {
            result.status = SheetStatus::Ok;
            result.reasons.clear();
        }
    }
    stats_ = ComputeStatistics(results_, key_);
    emit Rescored();
}

void GradesBook::Replace(std::vector<GradedSheet> sheets, const QString& step) {
    BookState before{sheets_, alsoAccepted_, givenToAll_};
    BookState after{std::move(sheets), alsoAccepted_, givenToAll_};
    undo_.push(new SheetStep(*this, std::move(before), std::move(after), step));
}

void GradesBook::Add(GradedSheet sheet) {
    // What the scanner read is no correction: it is not undone.
    sheets_.push_back(std::move(sheet));
    Regrade();
}

void GradesBook::ToggleOption(int sheet, int question, AnswerMask option) {
    std::vector<GradedSheet> sheets = sheets_;
    GradedSheet& changed = sheets.at(std::size_t(sheet));
    for (AnswerRead& answer : changed.read.answers) {
        if (answer.question != question) continue;
        answer.marked ^= option;
        answer.unclear &= AnswerMask(~option);
    }
    changed.corrected = true;
    Replace(std::move(sheets), QStringLiteral("Correct question %1").arg(question));
}

void GradesBook::ChooseDigit(int sheet, int position, int digit) {
    std::vector<GradedSheet> sheets = sheets_;
    GradedSheet& changed = sheets.at(std::size_t(sheet));
    if (position < 0 || std::size_t(position) >= changed.read.student.size()) return;
    changed.read.student[std::size_t(position)] = DigitRead{(unsigned short)(1u << digit), 0};
    changed.corrected = true;
    Replace(std::move(sheets), QStringLiteral("Correct the student number"));
}

void GradesBook::SetStudent(int sheet, const QString& digits) {
    std::vector<GradedSheet> sheets = sheets_;
    GradedSheet& changed = sheets.at(std::size_t(sheet));
    std::vector<DigitRead> student;
    for (QChar c : digits)
        if (c.isDigit()) student.push_back(DigitRead{(unsigned short)(1u << c.digitValue()), 0});
    changed.read.student = std::move(student);
    changed.corrected = true;
    Replace(std::move(sheets), QStringLiteral("Type the student number"));
}

void GradesBook::Accept(int sheet) {
    std::vector<GradedSheet> sheets = sheets_;
    GradedSheet& changed = sheets.at(std::size_t(sheet));
    if (changed.read.unreadable) return;
    changed.accepted = true;
    changed.corrected = true;
    Replace(std::move(sheets), QStringLiteral("Accept the sheet"));
}

void GradesBook::Remove(const std::vector<int>& rows) {
    std::vector<GradedSheet> sheets;
    for (std::size_t i = 0; i < sheets_.size(); ++i)
        if (std::find(rows.begin(), rows.end(), int(i)) == rows.end()) sheets.push_back(sheets_[i]);
    if (sheets.size() == sheets_.size()) return;
    Replace(std::move(sheets), QStringLiteral("Remove sheets"));
}

void GradesBook::AddByHand(GradedSheet sheet) {
    std::vector<GradedSheet> sheets = sheets_;
    sheet.byHand = true;
    sheet.accepted = true;
    sheet.corrected = true;
    sheets.push_back(std::move(sheet));
    Replace(std::move(sheets), QStringLiteral("Enter a sheet by hand"));
}

void GradesBook::AlsoAccept(int question, AnswerMask answer) {
    const std::size_t q = std::size_t(question - 1);
    if (q >= alsoAccepted_.size() || answer == 0) return;
    BookState before{sheets_, alsoAccepted_, givenToAll_};
    BookState after = before;
    auto& list = after.alsoAccepted[q];
    if (std::find(list.begin(), list.end(), answer) != list.end()) return;
    list.push_back(answer);
    undo_.push(new SheetStep(
        *this, std::move(before), std::move(after),
        QStringLiteral("Also accept %1 for question %2").arg(MarkedLetters(answer)).arg(question)));
}

void GradesBook::GiveAll(int question) {
    const std::size_t q = std::size_t(question - 1);
    if (q >= givenToAll_.size() || givenToAll_[q]) return;
    BookState before{sheets_, alsoAccepted_, givenToAll_};
    BookState after = before;
    after.givenToAll[q] = true;
    undo_.push(new SheetStep(*this, std::move(before), std::move(after),
                             QStringLiteral("Give everyone question %1").arg(question)));
}

void GradesBook::SetClassList(std::optional<ClassList> list) {
    classList_ = std::move(list);
    Regrade();
}

const std::vector<AnswerMask>& GradesBook::AlsoAccepted(int question) const {
    return alsoAccepted_.at(std::size_t(question - 1));
}

bool GradesBook::GivenToAll(int question) const {
    return givenToAll_.at(std::size_t(question - 1));
}

int GradesBook::ToReview() const {
    return int(std::count_if(results_.begin(), results_.end(),
                             [](const SheetResult& r) { return r.status == SheetStatus::Review; }));
}

QString GradesBook::ExportCsv(const QString& path) const {
    return WriteBytesSafely(path, interchange::WriteCsvRows(GradesTable(results_, key_)));
}

}  // namespace scrivane
