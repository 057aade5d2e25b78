#include "interchange/questions.h"

#include <cmath>

#include "core/numbers.h"
#include "spreadsheet/questionsheet.h"

namespace scrivane::interchange {

namespace {

QString Count(int n, const QString& one, const QString& many) {
    return n == 1 ? one : many.arg(n);
}

bool TooLong(const QuestionRecord& question) {
    if (question.Title.size() > kMaxTextUnits) return true;
    for (const QString& item : question.Items)
        if (item.size() > kMaxTextUnits) return true;
    return false;
}

}  // namespace

QStringList Skipped::Notes() const {
    QStringList notes;
    if (otherTypes)
        notes << Count(otherTypes, QStringLiteral("1 question of another type was skipped"),
                       QStringLiteral("%1 questions of other types were skipped"));
    if (tooManyOptions)
        notes << Count(tooManyOptions,
                       QStringLiteral("1 question with more than six options was skipped"),
                       QStringLiteral("%1 questions with more than six options were skipped"));
    if (categories)
        notes << Count(categories, QStringLiteral("1 category was skipped"),
                       QStringLiteral("%1 categories were skipped"));
    notes << credits;
    if (!pictures.empty())
        notes << QStringLiteral(
                     "%1 lost %2 that the file does not hold, and an option that was only "
                     "a picture reads [picture]")
                     .arg(QuestionList(pictures), pictures.size() == 1
                                                      ? QStringLiteral("a picture")
                                                      : QStringLiteral("pictures"));
    notes << pictureNotes;
    if (!markup.empty())
        notes << QStringLiteral("the formatting of %1 was dropped (%2)")
                     .arg(QuestionList(markup), markupTags.join(QStringLiteral(", ")));
    return notes;
}

bool QuestionCollector::Add(QuestionRecord question) {
    if (questions_.size() > std::size_t(kMaxQuestions)) return false;
    questions_.push_back(std::move(question));
    return questions_.size() <= std::size_t(kMaxQuestions);
}

ReadOutcome QuestionCollector::Finish() {
    std::vector<QuestionRecord>& questions = questions_;
    QStringList notes = skipped.Notes();
    if (!encodingNote.isEmpty()) notes.prepend(encodingNote);
    const auto refuse = [&notes](const QString& reason) {
        ReadOutcome outcome = ReadOutcome::Refuse(reason);
        outcome.notes = notes;
        return outcome;
    };
    if (questions.empty()) return refuse(QStringLiteral("no multiple-choice questions"));
    if (questions.size() > std::size_t(kMaxQuestions))
        return refuse(
            QStringLiteral("more than %1 questions; a paper holds %1").arg(kMaxQuestions));
    for (std::size_t k = 0; k < questions.size(); ++k) {
        QuestionRecord& question = questions[k];
        question.QuestionNo = std::int16_t(k + 1);
        const float mark = question.Score;
        if (!IsValidMark(mark))
            return refuse(QStringLiteral("question %1: mark %2 is outside 0 to 250")
                              .arg(k + 1)
                              .arg(ShortestSingle(mark)));
        if (TooLong(question))
            return refuse(
                QStringLiteral("question %1: a text is longer than 32767 characters").arg(k + 1));
    }
    ReadOutcome outcome;
    outcome.status = ReadOutcome::Status::Read;
    outcome.rows = std::move(questions);
    outcome.notes = notes;
    return outcome;
}

WrittenOptions FilledOptions(const QuestionRecord& question) {
    WrittenOptions written;
    for (int i = 0; i < 6; ++i) {
        const QString& text = question.Items[std::size_t(i)];
        if (text.isEmpty() && question.Pictures[std::size_t(PictureBoxOfItem(i))].isEmpty())
            continue;
        const bool correct = question.Answer & (1 << i);
        written.options.push_back({i, text, correct, 0});
        written.correct += correct;
    }
    const int wrong = int(written.options.size()) - written.correct;
    for (WrittenOption& option : written.options)
        if (option.correct)
            option.weight = 100.0 / written.correct;
        else if (written.correct > 1)
            option.weight = -100.0 / wrong;
    return written;
}

std::optional<QString> FileSizeRejection(qsizetype bytes, const QString& what) {
    if (bytes <= kMaxFileBytes) return std::nullopt;
    return QStringLiteral(
               "the file %1 would be %2 MiB, more than the %3 MiB that a file read back may be")
        .arg(what)
        .arg(double(bytes) / (1 << 20), 0, 'f', 1)
        .arg(kMaxFileBytes >> 20);
}

QString Weight(double percent) {
    // Five decimals are what the platforms list (33.33333); whole numbers stay whole.
    QString text = QString::number(percent, 'f', 5);
    while (text.endsWith(u'0')) text.chop(1);
    if (text.endsWith(u'.')) text.chop(1);
    return text == QStringLiteral("-0") ? QStringLiteral("0") : text;
}

QString QuestionList(const std::vector<int>& numbers) {
    QStringList texts;
    for (int n : numbers) texts << QString::number(n);
    if (texts.size() == 1) return QStringLiteral("question ") + texts.front();
    const QString last = texts.takeLast();
    return QStringLiteral("questions %1 and %2").arg(texts.join(QStringLiteral(", ")), last);
}

}  // namespace scrivane::interchange
