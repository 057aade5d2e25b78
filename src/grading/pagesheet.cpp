#include "grading/pagesheet.h"

namespace scrivane {

namespace {

SheetRead Unreadable(SheetRead sheet, const QString& why) {
    sheet.unreadable = true;
    sheet.reasons = QStringList{why};
    return sheet;
}

}  // namespace

PageSheets::PageSheets(std::vector<QuestionRecord> paper) : paper_(std::move(paper)) {}

const PaperVersion* PageSheets::Version(const SheetCode& code) {
    const VersionSettings& s = code.versions;
    const QByteArray key = QByteArray::number(s.count) + ' ' + QByteArray::number(s.seed) + ' ' +
                           QByteArray::number(int(s.shuffleQuestions)) +
                           QByteArray::number(int(s.shuffleOptions)) + ' ' +
                           QByteArray::number(s.blankOptionLetters) + ' ' +
                           QByteArray::number(int(s.keptOptions));
    auto found = versions_.find(key);
    if (found == versions_.end()) found = versions_.insert(key, BuildVersions(paper_, s));
    for (const PaperVersion& version : *found)
        if (version.name == code.version) return &version;
    return nullptr;
}

SheetRead PageSheets::FromPage(const PageRead& read, const QString& file, int page) {
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
    const PaperVersion* version = Version(code);
    if (!version)
        return Unreadable(
            std::move(sheet),
            QStringLiteral("version %1 is not one of this paper's versions").arg(code.version));
    sheet.version = code.version;
    sheet.reasons = read.reasons;

    // The printed letters of each question, by its number in the paper.
    std::vector<const PrintedQuestion*> printed(paper_.size(), nullptr);
    for (const PrintedQuestion& question : version->questions)
        if (question.source >= 1 && std::size_t(question.source) <= paper_.size())
            printed[std::size_t(question.source - 1)] = &question;

    sheet.answers.resize(paper_.size());
    for (std::size_t i = 0; i < paper_.size(); ++i) sheet.answers[i].question = int(i + 1);
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
        if (bubble.source < 1 || std::size_t(bubble.source) > paper_.size()) continue;
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
            std::size_t(bubble.source) <= paper_.size())
            sheet.answers[std::size_t(bubble.source - 1)].sheetQuestion = bubble.question;
    return sheet;
}

}  // namespace scrivane
