#include "interchange/aiken.h"

#include <QRegularExpression>

namespace scrivane::interchange {

ReadOutcome ReadAiken(const QByteArray& content, float defaultMark) {
    const std::optional<QString> decoded = DecodeLines(content);
    if (!decoded) return ReadOutcome::Refuse(QStringLiteral("the file is not UTF-8 text"));
    const QString& text = *decoded;

    static const QRegularExpression optionLine(QStringLiteral("^([A-Z])[.)](?:[ \\t]+(.*))?$"));
    static const QRegularExpression answerLine(QStringLiteral("^ANSWER\\s*:\\s*([A-Z])$"));

    QuestionCollector collector;
    QStringList title;
    QString letters;  // the options' letters, in order
    QStringList options;
    int lineNumber = 0;
    const auto refuse = [&lineNumber](const QString& why) {
        return ReadOutcome::Refuse(QStringLiteral("line %1: %2").arg(lineNumber).arg(why));
    };
    for (const QStringView view : QStringView(text).split(u'\n')) {
        ++lineNumber;
        const QString line = view.trimmed().toString();
        if (line.isEmpty()) continue;
        if (title.isEmpty()) {
            title << line;
            continue;
        }
        if (const auto answer = answerLine.match(line); answer.hasMatch()) {
            if (options.isEmpty())
                return refuse(QStringLiteral("an ANSWER line before any option"));
            const qsizetype index = letters.indexOf(answer.captured(1));
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
                collector.Add(std::move(record));
            }
            title.clear();
            letters.clear();
            options.clear();
            continue;
        }
        if (const auto option = optionLine.match(line); option.hasMatch()) {
            // Beyond six options the question is skipped at its end; only
            // the letters of the six are kept.
            if (options.size() < 6) letters += option.captured(1);
            if (options.size() < 7) options << option.captured(2).trimmed();
            continue;
        }
        if (!options.isEmpty()) return refuse(QStringLiteral("expected an option or ANSWER"));
        if (title.size() >= 64) return refuse(QStringLiteral("a question of too many lines"));
        title << line;  // a question of more than one line
    }
    if (!title.isEmpty()) {
        lineNumber = int(text.count(u'\n')) + 1;
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
