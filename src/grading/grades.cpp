#include "grading/grades.h"

#include <QMap>
#include <QSet>
#include <algorithm>
#include <bit>

#include "core/numbers.h"
#include "interchange/csv.h"
#include "interchange/questions.h"
#include "interchange/textfile.h"

namespace scrivane {

namespace {

bool HasDigit(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

int Letters(AnswerMask mask) {
    return std::popcount(unsigned(mask));
}

// The share of the mark that the marked options earn, weighted as the
// platform export weights the options of the question.
double PartialShare(const QuestionRecord& question, AnswerMask offered, AnswerMask marked) {
    // A question without option texts offers letters all the same: they are
    // weighted as if they had texts.
    QuestionRecord weighed = question;
    for (int i = 0; i < 6; ++i)
        weighed.Items[std::size_t(i)] = (offered & (1 << i)) ? QStringLiteral("x") : QString();
    double percent = 0;
    for (const interchange::WrittenOption& option : interchange::FilledOptions(weighed).options)
        if (marked & (1 << option.letter)) percent += option.weight;
    return std::clamp(percent / 100, 0.0, 1.0);
}

QString Place(int position) {
    return QStringLiteral("student number place %1").arg(position + 1);
}

}  // namespace

QString MarkedLetters(AnswerMask mask) {
    QString letters;
    for (int i = 0; i < 6; ++i)
        if (mask & (1 << i)) letters += QChar(u'A' + i);
    return letters;
}

namespace {

// "student number N is also on FILE page P", and "and K more" for the rest.
QString AlsoOnReason(const std::vector<SheetResult>& results,
                     const std::vector<std::size_t>& sheets, std::size_t i) {
    const std::size_t first = sheets[0] == i ? sheets[1] : sheets[0];
    QString reason = QStringLiteral("student number %1 is also on %2 page %3")
                         .arg(*results[i].student, results[first].file)
                         .arg(results[first].page);
    if (sheets.size() > 2) reason += QStringLiteral(" and %1 more").arg(sheets.size() - 2);
    return reason;
}

}  // namespace

std::optional<QString> ClassList::Decode(const QByteArray& content, QString* error) {
    const interchange::EncodedText encoded(content);
    if (!encoded.Readable()) {
        if (error)
            *error = QStringLiteral("the class list is not a CSV file: %1")
                         .arg(encoded.UnreadableReason());
        return std::nullopt;
    }
    QString text;
    encoded.Decode(0, encoded.Units(), text);
    return text;
}

QStringList AbsentStudents(const std::vector<SheetResult>& sheets, const ClassList& classList) {
    QSet<QString> present;
    for (const SheetResult& sheet : sheets)
        if (sheet.status != SheetStatus::Unreadable && sheet.student)
            present.insert(*sheet.student);
    QStringList absent;
    for (const QString& number : classList.Numbers())
        if (!present.contains(number)) absent << number;
    return absent;
}

std::optional<ClassList> ClassList::FromCsv(const QByteArray& content, QString* error) {
    const std::optional<QString> text = Decode(content, error);
    if (!text) return std::nullopt;
    return FromText(*text, error);
}

std::optional<ClassList> ClassList::FromText(const QString& text, QString* error) {
    return Parse(text, error, true);
}

std::optional<ClassList> ClassList::FromStored(const QByteArray& utf8) {
    return Parse(QString::fromUtf8(utf8), nullptr, false);
}

std::optional<ClassList> ClassList::Parse(const QString& text, QString* error, bool refuseTwice) {
    // The separator as a teacher's file has it: a tab when the lines hold
    // one, else a semicolon (with names written "Last, First"), else a comma.
    int lines = 0, tabs = 0, semicolons = 0;
    for (const QStringView line : QStringView(text).split(u'\n')) {
        if (line.trimmed().isEmpty()) continue;
        ++lines;
        tabs += line.contains(u'\t');
        semicolons += line.contains(u';');
    }
    const QChar separator = tabs * 2 >= lines && tabs > 0               ? QChar(u'\t')
                            : semicolons * 2 >= lines && semicolons > 0 ? QChar(u';')
                                                                        : QChar(u',');
    const auto rows = interchange::ReadCsvTextRows(text, separator);
    if (!rows) {
        if (error)
            *error =
                QStringLiteral("the class list is not a CSV file: a quoted field does not end");
        return std::nullopt;
    }
    ClassList list;
    QStringList twice;
    for (std::size_t i = 0; i < rows->size(); ++i) {
        const QStringList& row = (*rows)[i];
        const QString number = row.value(0).trimmed();
        if (i == 0 && !HasDigit(number)) continue;  // a header
        if (number.isEmpty()) continue;
        if (list.names_.contains(number)) {
            if (!twice.contains(number)) twice << number;
            continue;
        }
        list.numbers_ << number;
        list.names_.insert(number, row.value(1).trimmed());
    }
    // Two students under one number cannot both be graded: which one is meant is the teacher's to
    // say.
    if (!twice.isEmpty() && refuseTwice) {
        if (error)
            *error = twice.size() == 1
                         ? QStringLiteral("student number %1 is listed twice").arg(twice[0])
                         : QStringLiteral("student numbers %1 are listed twice")
                               .arg(twice.join(QStringLiteral(", ")));
        return std::nullopt;
    }
    if (list.names_.isEmpty()) {
        if (error) *error = QStringLiteral("the class list holds no student number");
        return std::nullopt;
    }
    return list;
}

AnswerKey::AnswerKey(std::vector<QuestionRecord> paper, QString modeLetters, Scoring scoring)
    : paper_(std::move(paper)), modeLetters_(std::move(modeLetters)), scoring_(scoring) {
    const AnswerMask modeMask = AnswerMask((1u << std::clamp(int(modeLetters_.size()), 1, 6)) - 1);
    for (const QuestionRecord& question : paper_) {
        marks_.push_back(ShortestSingle(question.Score).toDouble());
        // The filled options, as the versions print them; all the mode's
        // letters for a question without option texts.
        AnswerMask offered = 0;
        for (int i = 0; i < 6; ++i)
            if (IsFilledOption(question, i)) offered |= AnswerMask(1 << i);
        offered_.push_back(offered ? offered : modeMask);
    }
    ClearAdjustments();
}

void AnswerKey::AlsoAccept(int index, std::vector<AnswerMask> answers) {
    if (index >= 0 && index < QuestionCount()) alsoAccept_[std::size_t(index)] = std::move(answers);
}

void AnswerKey::GiveAll(int index, bool give) {
    if (index >= 0 && index < QuestionCount()) giveAll_[std::size_t(index)] = give;
}

void AnswerKey::ClearAdjustments() {
    alsoAccept_.assign(paper_.size(), {});
    giveAll_.assign(paper_.size(), false);
}

double AnswerKey::Maximum() const {
    double max = 0;
    for (int i = 0; i < QuestionCount(); ++i)
        if (Counts(i)) max += Mark(i);
    return max;
}

AnswerResult AnswerKey::Score(int index, const AnswerRead& read) const {
    const QuestionRecord& question = paper_[std::size_t(index)];
    AnswerResult result;
    result.question = index + 1;
    result.sheetQuestion = read.sheetQuestion;
    result.marked = read.marked;
    // A question with one correct letter takes one mark; so does any question
    // in single-answer mode, where a key of several letters cannot be set.
    const bool oneLetter =
        Letters(question.Answer) == 1 || (question.Answer == 0 && modeLetters_.size() <= 5);
    if (read.unclear)
        result.status = AnswerStatus::Unclear;
    else if (read.marked == 0)
        result.status = AnswerStatus::Blank;
    else if (oneLetter && Letters(read.marked) > 1)
        result.status = AnswerStatus::Multiple;
    else
        result.status = AnswerStatus::Ok;
    if (!Counts(index)) return result;

    const bool exact = result.status == AnswerStatus::Ok && read.marked == question.Answer;
    result.correct = exact;
    if (exact)
        result.score = Mark(index);
    else if (result.status == AnswerStatus::Ok && scoring_ == Scoring::Partial &&
             Letters(question.Answer) > 1)
        result.score = Mark(index) * PartialShare(question, Offered(index), read.marked);

    const std::vector<AnswerMask>& also = alsoAccept_[std::size_t(index)];
    const bool alsoAccepted = result.status != AnswerStatus::Unclear &&
                              std::find(also.begin(), also.end(), read.marked) != also.end();
    if (giveAll_[std::size_t(index)] || alsoAccepted) {
        if (result.status == AnswerStatus::Multiple && alsoAccepted)
            result.status = AnswerStatus::Ok;
        result.score = Mark(index);
        result.correct = true;
        result.adjusted = true;
    }
    return result;
}

std::vector<SheetResult> GradeSheets(const std::vector<SheetRead>& reads, const AnswerKey& key,
                                     const ClassList* classList) {
    std::vector<SheetResult> results;
    results.reserve(reads.size());
    const double max = key.Maximum();
    for (const SheetRead& read : reads) {
        SheetResult sheet;
        sheet.file = read.file;
        sheet.page = read.page;
        sheet.reasons = read.reasons;
        if (read.unreadable) {
            results.push_back(std::move(sheet));
            continue;
        }
        sheet.version = read.version;
        sheet.max = max;
        QStringList doubts;
        for (int i = 0; i < key.QuestionCount(); ++i) {
            AnswerRead answer;
            answer.question = i + 1;
            if (std::size_t(i) < read.answers.size()) answer = read.answers[std::size_t(i)];
            AnswerResult scored = key.Score(i, answer);
            const int printed = scored.sheetQuestion ? scored.sheetQuestion : i + 1;
            // A question the teacher adjusted is no longer in doubt.
            if (!scored.adjusted && scored.status == AnswerStatus::Multiple)
                doubts << QStringLiteral("question %1: several marks").arg(printed);
            else if (!scored.adjusted && scored.status == AnswerStatus::Unclear)
                doubts << QStringLiteral("question %1: unclear mark").arg(printed);
            sheet.score += scored.score;
            sheet.answers.push_back(scored);
        }
        if (!read.student.empty()) {
            QString number;
            const bool none =
                std::all_of(read.student.begin(), read.student.end(),
                            [](const DigitRead& d) { return !d.marked && !d.unclear; });
            if (none) doubts << QStringLiteral("no student number is marked");
            for (std::size_t p = 0; p < read.student.size() && !none; ++p) {
                const DigitRead& digit = read.student[p];
                const int marks = std::popcount(unsigned(digit.marked));
                if (digit.unclear)
                    doubts << Place(int(p)) + QStringLiteral(": unclear mark");
                else if (marks == 0)
                    doubts << Place(int(p)) + QStringLiteral(": no mark");
                else if (marks > 1)
                    doubts << Place(int(p)) + QStringLiteral(": several marks");
                number += (!digit.unclear && marks == 1)
                              ? QChar(u'0' + std::countr_zero(unsigned(digit.marked)))
                              : QChar(u'?');
            }
            if (none) number = QString(qsizetype(read.student.size()), u'?');
            sheet.student = number;
            if (classList && !number.contains(u'?')) {
                if (classList->Contains(number))
                    sheet.name = classList->Name(number);
                else
                    doubts
                        << QStringLiteral("student number %1 is not in the class list").arg(number);
            }
        }
        sheet.reasons << doubts;
        results.push_back(std::move(sheet));
    }

    // A number read on several sheets: each of them names the first other
    // sheet and counts the rest, so a pile of one number stays one line a sheet.
    QMap<QString, std::vector<std::size_t>> byNumber;
    for (std::size_t i = 0; i < results.size(); ++i)
        if (results[i].student && !results[i].student->isEmpty() &&
            !results[i].student->contains(u'?'))
            byNumber[*results[i].student].push_back(i);
    for (const auto& sheets : byNumber)
        if (sheets.size() > 1)
            for (std::size_t i : sheets) results[i].reasons << AlsoOnReason(results, sheets, i);

    // An unreadable page was never graded and keeps its status.
    for (std::size_t i = 0; i < results.size(); ++i)
        if (!reads[i].unreadable)
            results[i].status =
                results[i].reasons.isEmpty() ? SheetStatus::Ok : SheetStatus::Review;
    return results;
}

}  // namespace scrivane
