#include "interchange/gift.h"

#include <QRegularExpression>
#include <algorithm>
#include <charconv>
#include <utility>

#include "core/numbers.h"
#include "interchange/htmltext.h"
#include "interchange/textfile.h"
#include "spreadsheet/questionsheet.h"

namespace scrivane::interchange {

namespace {

const QString kSpecial = QStringLiteral("~=#{}:");

// A mark as the shortest plain decimal that reads back as the same single
// ("0.0005", never "5e-04"): the reader takes plain decimals only.
QString PlainMark(float value) {
    char buffer[128];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (result.ec != std::errc()) return ShortestSingle(value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

// The position of the first c at or after from that no backslash escapes, or -1.
qsizetype FindUnescaped(const QString& text, QChar c, qsizetype from = 0) {
    for (qsizetype i = from; i < text.size(); ++i) {
        if (text[i] == u'\\')
            ++i;
        else if (text[i] == c)
            return i;
    }
    return -1;
}

QString Unescape(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size()) {
            const QChar next = text[i + 1];
            if (next == u'n') {
                out += u'\n';
                ++i;
                continue;
            }
            if (next == u'\\' || kSpecial.contains(next)) {
                out += next;
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

QString Escape(const QString& text) {
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n') continue;
            out += QStringLiteral("\\n");
        } else if (c == u'\n') {
            out += QStringLiteral("\\n");
        } else {
            if (c == u'\\' || kSpecial.contains(c)) out += u'\\';
            out += c;
        }
    }
    return out;
}

struct Entry {
    bool correct;
    QString text;
    bool equals = false;  // written with =: a right answer of a single-answer question
    double weight = 0;    // the percent a ~%50% gives, 100 for = without one
};

// The entries of an answer block, split at the unescaped = and ~ that start
// them; feedback after # is dropped. Past the first kept entries only
// whether a wrong one follows is looked for.
std::vector<Entry> Entries(QString block, bool* hasWrong, std::size_t kept) {
    const qsizetype general = block.indexOf(QStringLiteral("####"));
    if (general >= 0 && (general == 0 || block[general - 1] != u'\\')) block.truncate(general);
    std::vector<Entry> entries;
    *hasWrong = false;
    qsizetype i = 0;
    const auto nextMarker = [&block](qsizetype from) {
        for (qsizetype k = from; k < block.size(); ++k) {
            if (block[k] == u'\\')
                ++k;
            else if (block[k] == u'=' || block[k] == u'~')
                return k;
        }
        return qsizetype(-1);
    };
    i = nextMarker(0);
    while (i >= 0) {
        const qsizetype next = nextMarker(i + 1);
        const bool right = block[i] == u'=';
        if (entries.size() == kept) {
            if (!right) *hasWrong = true;
            i = next;
            continue;
        }
        QString body = block.mid(i + 1, next < 0 ? -1 : next - i - 1);
        bool correct = right;
        double weight = right ? 100 : 0;
        if (body.startsWith(u'%')) {
            const qsizetype close = body.indexOf(u'%', 1);
            if (close > 0) {
                weight = body.mid(1, close - 1).toDouble();
                correct = weight > 0;
                body = body.mid(close + 1);
            }
        }
        const qsizetype feedback = FindUnescaped(body, u'#');
        if (feedback >= 0) body.truncate(feedback);
        if (!right) *hasWrong = true;
        entries.push_back({correct, body, right, weight});
        i = next;
    }
    return entries;
}

enum class Kind { MultipleChoice, Other, Category, TooManyOptions, Malformed };

struct Parsed {
    Kind kind = Kind::Other;
    QuestionRecord record;
    std::vector<std::pair<int, double>> droppedCredit;  // option, percent
    HtmlLosses losses;
};

Parsed ParseQuestion(QString text) {
    Parsed parsed;
    text = text.trimmed();
    if (text.startsWith(QStringLiteral("$CATEGORY:"))) {
        parsed.kind = Kind::Category;
        return parsed;
    }
    if (text.startsWith(QStringLiteral("::"))) {
        // The name is not kept: titles carry the question.
        const qsizetype close = text.indexOf(QStringLiteral("::"), 2);
        if (close < 0) {
            parsed.kind = Kind::Malformed;
            return parsed;
        }
        text = text.mid(close + 2).trimmed();
    }
    QString format = QStringLiteral("moodle");
    static const QRegularExpression formatTag(
        QStringLiteral("^\\[(html|moodle|plain|markdown)\\]"));
    if (const auto match = formatTag.match(text); match.hasMatch()) {
        format = match.captured(1);
        text = text.mid(match.capturedLength());
    }
    const qsizetype open = FindUnescaped(text, u'{');
    if (open < 0) return parsed;  // a description: no answers
    const qsizetype close = FindUnescaped(text, u'}', open + 1);
    if (close < 0) {
        parsed.kind = Kind::Malformed;
        return parsed;
    }
    const QString block = text.mid(open + 1, close - open - 1).trimmed();
    const QString after = text.mid(close + 1).trimmed();
    QString title = text.left(open).trimmed();
    if (!after.isEmpty()) title += QStringLiteral(" _____ ") + after;  // a missing word

    static const QRegularExpression trueFalse(QStringLiteral("^(T|F|TRUE|FALSE)\\s*(#.*)?$"),
                                              QRegularExpression::DotMatchesEverythingOption);
    if (block.isEmpty() || block.startsWith(u'#') || trueFalse.match(block).hasMatch() ||
        block.contains(QStringLiteral("->")))
        return parsed;
    bool hasWrong = false;
    // One entry more than a paper's six options tells a question to skip.
    const std::vector<Entry> entries = Entries(block, &hasWrong, 7);
    if (!hasWrong) return parsed;  // only = entries: a short answer

    // Without [html] a text keeps its characters as typed.
    const auto plain = [&format, &parsed](const QString& escaped, bool option) {
        const QString text = Unescape(escaped);
        if (format != u"html") return text.trimmed();
        HtmlLosses losses;
        const QString read = HtmlToPlain(text, &losses);
        parsed.losses.picture = parsed.losses.picture || losses.picture;
        for (const QString& tag : losses.markup)
            if (!parsed.losses.markup.contains(tag)) parsed.losses.markup << tag;
        return option && read.isEmpty() && losses.picture ? QStringLiteral("[picture]") : read;
    };
    parsed.record.Title = plain(title, false);
    // With an = the question has one right answer: the = options and those of
    // full credit; the part credit of others cannot be kept. Without one, every
    // option of positive weight is right.
    const bool single = std::any_of(entries.begin(), entries.end(),
                                    [](const Entry& entry) { return entry.equals; });
    int letter = 0;
    for (const Entry& entry : entries) {
        if (letter == 6) {
            parsed.kind = Kind::TooManyOptions;
            return parsed;
        }
        parsed.record.Items[std::size_t(letter)] = plain(entry.text, true);
        if (entry.correct && (!single || entry.weight >= 100 - 1e-6))
            parsed.record.Answer |= AnswerMask(1 << letter);
        else if (entry.correct)
            parsed.droppedCredit.emplace_back(letter, entry.weight);
        ++letter;
    }
    parsed.kind = Kind::MultipleChoice;
    return parsed;
}

// A question a paper can hold is at most seven texts of a cell's length,
// each at most doubled by its escapes and up to three bytes a character in
// UTF-8; this leaves room for weights and feedback. Anything longer is refused as soon as it is
// seen.
constexpr qsizetype kMaxQuestionUnits = 32 * kMaxTextUnits;

// A "// Mark:" as the platforms read a grade: a decimal number with a point
// or a comma, within the marks a paper takes; nothing, and why, otherwise.
// The writer writes marks as plain decimals, which this reads back.
std::optional<float> ReadGiftMark(const QString& text, QString* why) {
    static const QRegularExpression decimal(QStringLiteral("^[+-]?(\\d+([.,]\\d*)?|[.,]\\d+)$"));
    if (!decimal.match(text).hasMatch()) {
        *why = QStringLiteral("not a number");
        return std::nullopt;
    }
    const double mark = QString(text).replace(u',', u'.').toDouble();
    if (!IsValidMark(mark)) {
        *why = QStringLiteral("not between 0 and %1").arg(kMaxMark);
        return std::nullopt;
    }
    return float(mark);
}

}  // namespace

ReadOutcome ReadGift(const QByteArray& content, float defaultMark) {
    const EncodedText encoded(content);
    if (!encoded.Readable()) return ReadOutcome::Refuse(encoded.UnreadableReason());

    static const QRegularExpression markLine(QStringLiteral("^//\\s*Mark:(.*)$"));
    QuestionCollector collector;
    collector.encodingNote = encoded.FallbackNote();
    std::optional<QString> pendingMark;
    QString question;
    int firstLine = 0;
    QString error;
    const auto finish = [&]() {
        if (question.trimmed().isEmpty()) return true;
        const Parsed parsed = ParseQuestion(question);
        question.clear();
        const std::optional<QString> mark = std::exchange(pendingMark, std::nullopt);
        switch (parsed.kind) {
            case Kind::MultipleChoice: {
                QuestionRecord record = parsed.record;
                record.Score = defaultMark;
                if (mark) {
                    QString why;
                    const std::optional<float> read = ReadGiftMark(*mark, &why);
                    if (!read) {
                        error = QStringLiteral("question %1: the mark \"%2\" is %3")
                                    .arg(collector.Count() + 1)
                                    .arg(mark->left(40), why);
                        return false;
                    }
                    record.Score = *read;
                }
                const int paperNumber = collector.Count() + 1;
                for (const auto& [option, percent] : parsed.droppedCredit)
                    collector.skipped.credits
                        << QStringLiteral("question %1: the %2 % credit of option %3 is not kept")
                               .arg(paperNumber)
                               .arg(Weight(percent))
                               .arg(QChar(u'A' + option));
                if (parsed.losses.picture) collector.skipped.pictures.push_back(paperNumber);
                if (!parsed.losses.markup.isEmpty()) {
                    collector.skipped.markup.push_back(paperNumber);
                    for (const QString& tag : parsed.losses.markup)
                        if (!collector.skipped.markupTags.contains(tag))
                            collector.skipped.markupTags << tag;
                }
                return collector.Add(std::move(record));
            }
            case Kind::Category:
                ++collector.skipped.categories;
                break;
            case Kind::Other:
                ++collector.skipped.otherTypes;
                break;
            case Kind::TooManyOptions:
                ++collector.skipped.tooManyOptions;
                break;
            case Kind::Malformed:
                error = QStringLiteral("line %1: a question without the end of its name or answers")
                            .arg(firstLine);
                return false;
        }
        return true;
    };
    // Blank lines end a question.
    TextLines lines(encoded, kMaxQuestionUnits, true, true);
    QString line;
    bool going = true;
    while (going && lines.Next(line)) {
        if (lines.BlankBefore() && !(going = finish())) break;
        const int lineNumber = lines.LineNumber();
        const QStringView trimmed = QStringView(line).trimmed();
        if (!lines.LineEnded() || question.size() + line.size() > kMaxQuestionUnits)
            return ReadOutcome::Refuse(
                QStringLiteral("line %1: a question longer than a paper can hold")
                    .arg(question.isEmpty() ? lineNumber : firstLine));
        if (trimmed.startsWith(u"//")) {
            if (trimmed.sliced(2).trimmed().startsWith(u"Mark:"))
                if (const auto match = markLine.match(trimmed); match.hasMatch())
                    pendingMark = match.captured(1).trimmed();
            continue;
        }
        if (trimmed.isEmpty()) {
            going = finish();
            continue;
        }
        if (question.isEmpty()) firstLine = lineNumber;
        question += line;
        question += u'\n';
    }
    if (going) finish();
    if (!error.isEmpty()) return ReadOutcome::Refuse(error);
    return collector.Finish();
}

namespace {

// "->" anywhere in an answer block makes it a matching question, and GIFT has
// no escape for it; such a question is written as HTML, where ">" is "&gt;".
bool NeedsHtml(const WrittenOptions& written) {
    for (const WrittenOption& option : written.options)
        if (option.text.contains(QStringLiteral("->"))) return true;
    return false;
}

}  // namespace

QByteArray WriteGift(const std::vector<QuestionRecord>& questions) {
    QString out;
    int number = 0;
    for (const QuestionRecord& question : questions) {
        ++number;
        const WrittenOptions written = FilledOptions(question);
        const bool html = NeedsHtml(written);
        const auto text = [html](const QString& plain) {
            return Escape(html ? PlainToHtml(plain) : plain);
        };
        // The format tag says how the texts read; a title that starts with
        // "[" gets one too, so that its own start is never taken for a tag.
        const QString tag = html                                        ? QStringLiteral("[html]")
                            : question.Title.trimmed().startsWith(u'[') ? QStringLiteral("[moodle]")
                                                                        : QString();
        out += QStringLiteral("// Mark: %1\n::Q%2:: %3%4 {\n")
                   .arg(PlainMark(question.Score))
                   .arg(number)
                   .arg(tag, text(question.Title));
        for (const WrittenOption& option : written.options) {
            const QString body = text(option.text);
            // A text that starts with % would read as a weight, and a lone
            // "=" option as a short answer, so these get a weight of their own.
            if (written.correct <= 1 && written.options.size() > 1 && !body.startsWith(u'%'))
                out += option.correct ? u'=' : u'~';
            else
                out += QStringLiteral("~%") + Weight(option.weight) + u'%';
            out += body + u'\n';
        }
        out += QStringLiteral("}\n\n");
    }
    return out.toUtf8();
}

}  // namespace scrivane::interchange
