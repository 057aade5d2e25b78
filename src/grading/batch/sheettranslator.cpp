#include "grading/batch/sheettranslator.h"

namespace scrivane {

namespace {

SheetRead Unreadable(SheetRead sheet, const QString& why) {
    sheet.unreadable = true;
    sheet.reasons = QStringList{why};
    return sheet;
}

}  // namespace

SheetTranslator::SheetTranslator(std::vector<QuestionRecord> paper) : versions_(std::move(paper)) {}

SheetRead SheetTranslator::FromPage(const PageRead& read, const QString& file, int page) const {
    SheetRead sheet;
    sheet.file = file;
    sheet.page = page;
    if (read.status == PageRead::Status::Unreadable)
        return Unreadable(std::move(sheet), read.reasons.isEmpty()
                                                ? QStringLiteral("the page could not be read")
                                                : read.reasons.join(QStringLiteral("; ")));
    if (!read.code)
        return Unreadable(std::move(sheet), QStringLiteral("the sheet's code could not be read"));
    SheetCode code = *read.code;
    if (!read.version.isEmpty()) code.version = read.version;
    const PaperVersion* version = versions_.Find(code.versions, code.version);
    if (!version)
        return Unreadable(
            std::move(sheet),
            QStringLiteral("version %1 is not one of this paper's versions").arg(code.version));
    const std::vector<QuestionRecord>& paper = versions_.Paper();
    sheet.version = code.version;
    sheet.reasons = read.reasons;

    // The printed letters of each question, by its number in the paper.
    std::vector<const PrintedQuestion*> printed(paper.size(), nullptr);
    for (const PrintedQuestion& question : version->questions)
        if (question.source >= 1 && std::size_t(question.source) <= paper.size())
            printed[std::size_t(question.source - 1)] = &question;

    sheet.answers.resize(paper.size());
    for (std::size_t i = 0; i < paper.size(); ++i) sheet.answers[i].question = int(i + 1);
    sheet.student.resize(std::size_t(std::clamp(code.idDigits, 0, kMaxIdDigits)));
    for (const BubbleRead& bubbleRead : read.bubbles) {
        if (bubbleRead.mark == BubbleRead::Mark::Empty) continue;
        const bool marked = bubbleRead.mark == BubbleRead::Mark::Marked;
        const SheetBubble& bubble = bubbleRead.bubble;
        if (bubble.kind == SheetBubble::Kind::Student) {
            if (bubble.position < 0 || std::size_t(bubble.position) >= sheet.student.size() ||
                bubble.digit < 0 || bubble.digit > 9)
                continue;
            DigitRead& digit = sheet.student[std::size_t(bubble.position)];
            (marked ? digit.marked : digit.unclear) |= (1 << bubble.digit);
            continue;
        }
        if (bubble.source < 1 || std::size_t(bubble.source) > paper.size()) continue;
        // A question without option texts offers its letters unshuffled.
        QChar letter = bubble.option;
        if (const PrintedQuestion* question = printed[std::size_t(bubble.source - 1)])
            for (const PrintedOption& option : question->options)
                if (option.letter == bubble.option) letter = option.sourceLetter;
        const int bit = letter.unicode() - u'A';
        if (bit < 0 || bit >= 6) continue;
        (marked ? sheet.answers[std::size_t(bubble.source - 1)].marked
                : sheet.answers[std::size_t(bubble.source - 1)].unclear) |= AnswerMask(1 << bit);
    }
    // Every question keeps the number it was printed with, marked or not.
    for (const SheetBubble& bubble : read.layout.bubbles)
        if (bubble.kind == SheetBubble::Kind::Answer && bubble.source >= 1 &&
            std::size_t(bubble.source) <= paper.size())
            sheet.answers[std::size_t(bubble.source - 1)].sheetQuestion = bubble.question;
    return sheet;
}

}  // namespace scrivane
