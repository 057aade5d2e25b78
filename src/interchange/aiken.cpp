#include "interchange/aiken.h"

#include <QRegularExpression>

#include "interchange/textfile.h"

namespace scrivane::interchange {

ReadOutcome ReadAiken(const QByteArray& content, float defaultMark) {
    const EncodedText encoded(content);
    if (!encoded.Readable()) return ReadOutcome::Refuse(encoded.UnreadableReason());

    // Options are "A. text" or "A) text", in capitals or, in their order,
    // in small letters; the answer's letter in either.
    static const QRegularExpression optionLine(QStringLiteral("^([A-Za-z])[.)](?:[ \\t]+(.*))?$"),
                                               QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression answerLine(QStringLiteral("^ANSWER\\s*:\\s*([A-Z])$"),
                                               QRegularExpression::CaseInsensitiveOption);

    QuestionCollector collector;
    collector.encodingNote = encoded.FallbackNote();
    QStringList title;
    qsizetype titleSize = 0;
    int titleLine = 0;
    QString letters;  // the options' letters in capitals, in order
    QStringList options;
    int lineNumber = 0;
    const auto refuse = [&lineNumber](const QString& why) {
        return ReadOutcome::Refuse(QStringLiteral("line %1: %2").arg(lineNumber).arg(why));
    };
    const auto tooLong = [&refuse] {
        return refuse(QStringLiteral("a text is longer than %1 characters").arg(kMaxTextUnits));
    };
    // A line holds at most one text, and blanks around it.
    // In UTF-8 a character may take three bytes.
    TextLines lines(encoded, 4 * kMaxTextUnits, true);
    QString piece;
    while (lines.Next(piece)) {
        lineNumber = lines.LineNumber();
        if (!lines.LineEnded()) return tooLong();
        // A DOS end-of-file mark after the last line is no question.
        const QStringView view = QStringView(piece).trimmed();
        if (view.isEmpty() || view == u"\x1A") continue;
        const QString line = view.toString();
        if (title.isEmpty()) {
            if (line.size() > kMaxTextUnits) return tooLong();
            title << line;
            titleSize = line.size();
            titleLine = lineNumber;
            continue;
        }
        if (const auto answer = answerLine.match(line); answer.hasMatch()) {
            if (options.isEmpty())
                return refuse(QStringLiteral("an ANSWER line before any option"));
            const qsizetype index = letters.indexOf(answer.captured(1).toUpper());
            bool going = true;
            if (options.size() > 6) {
                ++collector.skipped.tooManyOptions;
            } else if (index < 0) {
                return refuse(QStringLiteral("the answer names no option"));
            } else {
                QuestionRecord record;
                record.Title = title.join(u'\n');
                record.Score = defaultMark;
                record.Answer = AnswerMask(1 << index);
                for (qsizetype i = 0; i < options.size(); ++i)
                    record.Items[std::size_t(i)] = options[i];
                going = collector.Add(std::move(record));
            }
            title.clear();
            letters.clear();
            options.clear();
            if (!going) break;
            continue;
        }
        if (!options.isEmpty() && line.startsWith(QStringLiteral("ANSWER"), Qt::CaseInsensitive) &&
            line.sliced(6).trimmed().startsWith(u':'))
            return refuse(QStringLiteral("the ANSWER line names no option letter"));
        if (const auto option = optionLine.match(line); option.hasMatch()) {
            const QChar letter = option.capturedView(1).front();
            const bool inOrder = letter.unicode() == u'a' + options.size();
            if (letter.isUpper() || inOrder) {
                const QString text = option.captured(2).trimmed();
                if (text.size() > kMaxTextUnits) return tooLong();
                // Beyond six options the question is skipped at its end; only
                // the letters of the six are kept.
                if (options.size() < 6) letters += letter.toUpper();
                if (options.size() < 7) options << text;
                continue;
            }
        }
        if (!options.isEmpty()) return refuse(QStringLiteral("expected an option or ANSWER"));
        if (title.size() >= 64) return refuse(QStringLiteral("a question of too many lines"));
        titleSize += 1 + line.size();
        if (titleSize > kMaxTextUnits) return tooLong();
        title << line;  // a question of more than one line
    }
    if (!title.isEmpty()) {
        lineNumber = titleLine;
        return refuse(QStringLiteral("the last question has no ANSWER line"));
    }
    return collector.Finish();
}

QByteArray WriteAiken(const std::vector<QuestionRecord>& questions) {
    QString out;
    for (const QuestionRecord& question : questions) {
        out += question.Title + u'\n';
        QChar answer = u'A';
        char16_t letter = u'A';
        for (const WrittenOption& option : FilledOptions(question).options) {
            if (option.correct) answer = QChar(letter);
            out += QChar(letter++) + QStringLiteral(". ") + option.text + u'\n';
        }
        out += QStringLiteral("ANSWER: ") + answer + QStringLiteral("\n\n");
    }
    // A first title that starts with a byte-order mark would lose it as the
    // file's own mark, so the file gets one of its own first.
    if (out.startsWith(QChar(0xFEFF))) out.prepend(QChar(0xFEFF));
    return out.toUtf8();
}

}  // namespace scrivane::interchange
