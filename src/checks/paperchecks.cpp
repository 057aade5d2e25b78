#include "checks/paperchecks.h"

#include <QCryptographicHash>

#include <QHash>
#include <bit>

#include "core/answercode.h"
#include "core/optionpins.h"

namespace scrivane {

namespace {

QChar Letter(int index) {
    return QChar(u'A' + index);
}

// "option B", "options B and D", "options A, B and D".
QString NameOptions(const QList<int>& indexes) {
    QString names;
    for (qsizetype i = 0; i < indexes.size(); ++i) {
        if (i > 0)
            names += i + 1 == indexes.size() ? QStringLiteral(" and ") : QStringLiteral(", ");
        names += Letter(indexes[i]);
    }
    return (indexes.size() == 1 ? QStringLiteral("option ") : QStringLiteral("options ")) + names;
}

// Texts compare without case and without blanks at the ends.
QString Key(const QString& text) {
    return text.trimmed().toCaseFolded();
}

QString HiddenOptionText(bool textF, bool answerF) {
    if (textF && answerF)
        return QStringLiteral(
            "option F is filled and is the answer, but this answer mode hides it");
    if (textF) return QStringLiteral("option F is filled, but this answer mode hides it");
    return QStringLiteral("the answer names option F, which this answer mode hides");
}

// No option is filled, by a text or a picture.
bool HasNoOptionTexts(const QuestionRecord& q) {
    for (int i = 0; i < 6; ++i)
        if (IsFilledOption(q, i)) return false;
    return true;
}

// Two options are the same when their texts are (ignoring case and blanks at
// the ends) and so are their pictures.
QString OptionKey(const QuestionRecord& q, int item) {
    QString key = Key(q.Items[std::size_t(item)]);
    for (const Picture& picture : q.Pictures[std::size_t(PictureBoxOfItem(item))])
        key +=
            u'\0' + QString::fromLatin1(
                        QCryptographicHash::hash(picture.Data, QCryptographicHash::Sha1).toHex());
    return key;
}

// "questions 1–20, 25 and 30–32 have no option texts: their letters are
// printed", or "question 4 has ...", for the numbers in ascending order.
QString NoOptionTextsLine(const QList<int>& numbers) {
    QStringList ranges;
    for (qsizetype i = 0; i < numbers.size();) {
        qsizetype j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
        ranges << (j == i ? QString::number(numbers[i])
                          : QStringLiteral("%1–%2").arg(numbers[i]).arg(numbers[j]));
        i = j + 1;
    }
    QString list = ranges.last();
    if (ranges.size() > 1)
        list = QStringList(ranges.mid(0, ranges.size() - 1)).join(QStringLiteral(", ")) +
               QStringLiteral(" and ") + list;
    return numbers.size() == 1
               ? QStringLiteral("question %1 has no option texts: its letters are printed")
                     .arg(list)
               : QStringLiteral("questions %1 have no option texts: their letters are printed")
                     .arg(list);
}

}  // namespace

int VisibleOptionCount(std::int16_t answerType) {
    return HidesOptionF(answerType) ? 5 : 6;
}

QString ProblemId(ProblemKind kind) {
    switch (kind) {
        case ProblemKind::NoAnswer:
            return QStringLiteral("no-answer");
        case ProblemKind::AnswerEmptyOption:
            return QStringLiteral("answer-empty-option");
        case ProblemKind::EmptyTitle:
            return QStringLiteral("empty-title");
        case ProblemKind::TooFewOptions:
            return QStringLiteral("too-few-options");
        case ProblemKind::OptionGap:
            return QStringLiteral("option-gap");
        case ProblemKind::DuplicateOptions:
            return QStringLiteral("duplicate-options");
        case ProblemKind::DuplicateQuestion:
            return QStringLiteral("duplicate-question");
        case ProblemKind::HiddenOption:
            return QStringLiteral("hidden-option");
        case ProblemKind::MultipleInSingle:
            return QStringLiteral("multiple-in-single");
        case ProblemKind::ZeroMark:
            return QStringLiteral("zero-mark");
        case ProblemKind::OptionsKept:
            return QStringLiteral("options-kept");
        case ProblemKind::NoOptionTexts:
            return QStringLiteral("no-option-texts");
    }
    return {};
}

QString ProblemLine(const PaperProblem& problem) {
    if (IsInformation(problem.kind)) return problem.text;
    return QStringLiteral("Question %1: %2").arg(problem.question).arg(problem.text);
}

bool IsInformation(ProblemKind kind) {
    return kind == ProblemKind::OptionsKept || kind == ProblemKind::NoOptionTexts;
}

std::vector<PaperProblem> ProblemsOnly(const std::vector<PaperProblem>& found) {
    std::vector<PaperProblem> problems;
    for (const PaperProblem& problem : found)
        if (!IsInformation(problem.kind)) problems.push_back(problem);
    return problems;
}

std::vector<PaperProblem> CheckPaper(const std::vector<QuestionRecord>& rows,
                                     std::int16_t answerType) {
    std::vector<PaperProblem> problems;
    const int visible = VisibleOptionCount(answerType);
    const bool single = !IsMultipleAnswerMode(answerType);
    QHash<QString, int> firstWithTitle;  // title key -> first question with it
    QList<int> withoutTexts;
    for (std::size_t r = 0; r < rows.size(); ++r)
        if (HasNoOptionTexts(rows[r])) withoutTexts << int(r) + 1;

    for (std::size_t r = 0; r < rows.size(); ++r) {
        const QuestionRecord& q = rows[r];
        const int number = int(r) + 1;
        const auto add = [&](ProblemKind kind, const QString& text) {
            problems.push_back({number, kind, text});
        };
        const unsigned answer = q.Answer & 0x3Fu;  // bits 6 and 7 name no option

        if (answer == 0) add(ProblemKind::NoAnswer, QStringLiteral("no answer is set"));

        // A quick paper's question is printed with the answer mode's letters:
        // its empty title and options are as meant.
        if (HasNoOptionTexts(q)) {
            if (HidesOptionF(answerType) && (answer & 32u))
                add(ProblemKind::HiddenOption, HiddenOptionText(false, true));
            if (single && std::popcount(answer) > 1)
                add(ProblemKind::MultipleInSingle,
                    QStringLiteral("the answer %1 has more than one letter in single-answer mode")
                        .arg(AnswerMaskToText(AnswerMask(answer))));
            if (q.Score == 0) add(ProblemKind::ZeroMark, QStringLiteral("the mark is 0"));
            if (number == withoutTexts.first())
                add(ProblemKind::NoOptionTexts, NoOptionTextsLine(withoutTexts));
            continue;
        }

        QList<int> emptyAnswers;
        for (int i = 0; i < 6; ++i)
            if ((answer & (1u << i)) && !IsFilledOption(q, i)) emptyAnswers << i;
        if (!emptyAnswers.isEmpty())
            add(ProblemKind::AnswerEmptyOption,
                QStringLiteral("the answer names %1, which %2 empty")
                    .arg(NameOptions(emptyAnswers),
                         emptyAnswers.size() == 1 ? QStringLiteral("is") : QStringLiteral("are")));

        // A title of a picture alone is filled, but has no text to repeat.
        if (!IsFilledTitle(q))
            add(ProblemKind::EmptyTitle, QStringLiteral("the question title is empty"));
        else if (IsFilledText(q.Title) && !firstWithTitle.contains(Key(q.Title)))
            firstWithTitle.insert(Key(q.Title), number);

        // The options the paper shows: F is left out where the mode hides it,
        // a filled F there is its own problem.
        int filled = 0;
        QList<int> gaps;
        int lastFilled = -1;
        for (int i = 0; i < visible; ++i)
            if (IsFilledOption(q, i)) {
                ++filled;
                lastFilled = i;
            }
        for (int i = 0; i < lastFilled; ++i)
            if (!IsFilledOption(q, i)) gaps << i;
        if (filled < 2)
            add(ProblemKind::TooFewOptions, filled == 0
                                                ? QStringLiteral("no option is filled")
                                                : QStringLiteral("only one option is filled"));
        if (!gaps.isEmpty())
            add(ProblemKind::OptionGap,
                QStringLiteral("%1 %2 empty before a filled option")
                    .arg(NameOptions(gaps),
                         gaps.size() == 1 ? QStringLiteral("is") : QStringLiteral("are")));

        // Each group of equal options once, named by all its letters.
        QList<QString> seenKeys;
        QList<QList<int>> groups;
        for (int i = 0; i < visible; ++i) {
            if (!IsFilledOption(q, i)) continue;
            const QString key = OptionKey(q, i);
            const qsizetype at = seenKeys.indexOf(key);
            if (at < 0) {
                seenKeys << key;
                groups << QList<int>{i};
            } else {
                groups[at] << i;
            }
        }
        for (const QList<int>& group : groups)
            if (group.size() > 1)
                add(ProblemKind::DuplicateOptions,
                    QStringLiteral("%1 have the same text").arg(NameOptions(group)));

        if (IsFilledText(q.Title)) {
            const int first = firstWithTitle.value(Key(q.Title));
            if (first != number)
                add(ProblemKind::DuplicateQuestion,
                    QStringLiteral("the title is the same as that of question %1").arg(first));
        }

        if (HidesOptionF(answerType)) {
            const bool textF = IsFilledOption(q, 5);
            const bool answerF = answer & 32u;
            if (textF || answerF) add(ProblemKind::HiddenOption, HiddenOptionText(textF, answerF));
        }

        if (single && std::popcount(answer) > 1)
            add(ProblemKind::MultipleInSingle,
                QStringLiteral("the answer %1 has more than one letter in single-answer mode")
                    .arg(AnswerMaskToText(AnswerMask(answer))));

        if (q.Score == 0) add(ProblemKind::ZeroMark, QStringLiteral("the mark is 0"));

        if (KeptOptionsOf(q).namesEachOther)
            add(ProblemKind::OptionsKept,
                QStringLiteral("the options of question %1 name each other: their order is kept")
                    .arg(number));
    }
    return problems;
}

}  // namespace scrivane
