#include "interchange/moodlexml.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "core/numbers.h"
#include "interchange/htmltext.h"
#include "interchange/textfile.h"
#include "spreadsheet/codec/read_xml.h"
#include "spreadsheet/codec/workbook.h"

namespace scrivane::interchange {

namespace {

using codec::detail::XmlReader;
using Token = XmlReader::Token;

// One <question> as read, before it is judged.
struct MoodleQuestion {
    std::string type;
    std::string text, textFormat = "html";
    std::string grade;
    bool hasGrade = false;
    std::string single;  // "true", "false" or, when the file leaves it out, empty
    struct Answer {
        std::string text, format = "html", fraction;
    };
    std::vector<Answer> answers;  // those with text, at most one more than a paper's six
    bool manyAnswers = false;     // more than a paper's six options
};

constexpr std::size_t kKeptAnswers = 7;

QString Plain(const std::string& text, const std::string& format, HtmlLosses* losses = nullptr) {
    const QString decoded = QString::fromStdString(text);
    return format == "html" ? HtmlToPlain(decoded, losses) : TrimBlanks(decoded);
}

// An answer's text; one that is only a picture stands as "[picture]" until
// pictures are kept, so that the option and its credit are not lost.
QString AnswerText(const MoodleQuestion::Answer& answer, HtmlLosses* losses = nullptr) {
    HtmlLosses own;
    const QString text = Plain(answer.text, answer.format, &own);
    if (losses) {
        losses->picture = losses->picture || own.picture;
        for (const QString& tag : own.markup)
            if (!losses->markup.contains(tag)) losses->markup << tag;
    }
    return text.isEmpty() && own.picture ? QStringLiteral("[picture]") : text;
}

// A question of the bank as a question of the paper; nothing when it has
// more options than a paper holds. `paperNumber` is the number it takes in
// the paper, which the notes of what it lost name.
std::optional<QuestionRecord> ToRecord(const MoodleQuestion& source, int number, int paperNumber,
                                       Skipped& skipped, QString* error) {
    if (source.manyAnswers) return std::nullopt;
    QuestionRecord record;
    HtmlLosses losses;
    record.Title = Plain(source.text, source.textFormat, &losses);
    record.Score = 1;  // the platform's own default grade
    if (source.hasGrade) {
        bool ok = false;
        const double grade = QString::fromStdString(source.grade).trimmed().toDouble(&ok);
        if (!ok) {
            *error = QStringLiteral("question %1: the grade \"%2\" is not a number")
                         .arg(number)
                         .arg(QString::fromStdString(source.grade).left(40));
            return std::nullopt;
        }
        record.Score = float(grade);
    }
    int letter = 0;
    std::array<double, 6> credit{};
    for (const MoodleQuestion::Answer& answer : source.answers) {
        const QString text = AnswerText(answer, &losses);
        if (text.isEmpty()) continue;  // the platform ignores blank answers too
        if (letter == 6) return std::nullopt;
        record.Items[std::size_t(letter)] = text;
        credit[std::size_t(letter)] = QString::fromStdString(answer.fraction).trimmed().toDouble();
        ++letter;
    }
    // A single-answer question's answer is its full-credit options; the part
    // credit of others cannot be kept. A multiple-answer question takes every
    // option of positive weight. Without <single> the weights tell: several
    // positive ones and none of full credit are a multiple answer.
    const double best = *std::max_element(credit.begin(), credit.end());
    int positive = 0;
    for (double c : credit) positive += c > 0;
    const QString stated = QString::fromStdString(source.single).trimmed().toLower();
    const bool single = stated == u"true" || stated == u"1" ||
                        (stated.isEmpty() && (positive <= 1 || best >= 100 - 1e-6));
    for (int i = 0; i < letter; ++i) {
        const double c = credit[std::size_t(i)];
        if (c <= 0) continue;
        if (!single || c >= best - 1e-6)
            record.Answer |= AnswerMask(1 << i);
        else
            skipped.credits << QStringLiteral(
                                   "question %1: the %2 % credit of option %3 is not kept")
                                   .arg(paperNumber)
                                   .arg(Weight(c))
                                   .arg(QChar(u'A' + i));
    }
    if (losses.picture) skipped.pictures.push_back(paperNumber);
    if (!losses.markup.isEmpty()) {
        skipped.markup.push_back(paperNumber);
        for (const QString& tag : losses.markup)
            if (!skipped.markupTags.contains(tag)) skipped.markupTags << tag;
    }
    return record;
}

// The encoding the XML declaration names, in capitals; nothing without one.
std::optional<QByteArray> DeclaredEncoding(const EncodedText& text) {
    QString start;
    text.Decode(0, std::min<qsizetype>(text.Units(), 256), start);
    static const QRegularExpression declaration(
        QStringLiteral("^\\s*<\\?xml[^>]*?\\sencoding\\s*=\\s*[\"']([A-Za-z0-9._:-]{1,40})[\"']"));
    const QRegularExpressionMatch match = declaration.match(start);
    if (!match.hasMatch()) return std::nullopt;
    return match.captured(1).toUpper().toLatin1();
}

void AppendEscaped(QByteArray& out, const QString& text) {
    out += text.toHtmlEscaped().toUtf8();
}

// A text as the HTML of a question. A byte-order mark is written as a
// reference: as a character, one at the start of a text is lost on reading.
void AppendHtml(QByteArray& out, const QString& text) {
    out += PlainToHtml(text).replace(QChar(0xFEFF), QStringLiteral("&#65279;")).toUtf8();
}

}  // namespace

ReadOutcome ReadMoodleXml(const QByteArray& content) {
    QuestionCollector collector;
    QString error;
    // The XML reader reads UTF-8: other text is read as every text format
    // is, unless the file names an encoding of its own.
    const EncodedText encoded(content);
    QByteArray converted;
    QByteArrayView utf8 = encoded.Bytes();
    const std::optional<QByteArray> declared = DeclaredEncoding(encoded);
    const bool utf16 =
        encoded.Encoding() == TextEncoding::Utf16LE || encoded.Encoding() == TextEncoding::Utf16BE;
    // Windows-1252 holds Latin-1's and ASCII's every printable character.
    static const QList<QByteArray> western = {"WINDOWS-1252", "CP1252",   "ISO-8859-1",
                                              "LATIN1",       "US-ASCII", "ASCII"};
    if (declared && !utf16 && western.contains(*declared)) {
        converted = EncodedText(content, TextEncoding::Windows1252).ToUtf8();
        utf8 = converted;
    } else if (declared && !utf16 && !QByteArrayView(*declared).startsWith("UTF-")) {
        QStringDecoder decoder(declared->constData());
        if (!decoder.isValid())
            return ReadOutcome::Refuse(QStringLiteral("the encoding \"%1\" is not known")
                                           .arg(QString::fromLatin1(*declared)));
        const QString text = decoder.decode(content);
        if (decoder.hasError())
            return ReadOutcome::Refuse(
                QStringLiteral("the file is not %1 text").arg(QString::fromLatin1(*declared)));
        converted = text.toUtf8();
        utf8 = converted;
    } else if (declared && *declared == "UTF-8" && encoded.Encoding() != TextEncoding::Utf8) {
        return ReadOutcome::Refuse(QStringLiteral("the file is not UTF-8 text"));
    } else if (!encoded.Readable()) {
        return ReadOutcome::Refuse(encoded.UnreadableReason());
    } else if (encoded.Encoding() != TextEncoding::Utf8) {
        collector.encodingNote = encoded.FallbackNote();
        converted = encoded.ToUtf8();
        utf8 = converted;
    }
    try {
        XmlReader reader(std::string_view(utf8.data(), std::size_t(utf8.size())));
        std::vector<std::string> path;  // the open elements' local names
        std::optional<MoodleQuestion> question;
        std::string* text = nullptr;  // where character data goes now
        bool answerOpen = false;      // inside an answer that is kept
        int number = 0;
        for (Token t; (t = reader.Next()) != Token::End;) {
            if (t == Token::StartElement) {
                path.emplace_back(reader.Name());
                const std::size_t depth = path.size();
                if (reader.Name() == "question" && !question) {
                    question.emplace();
                    if (const std::string* type = reader.Attribute("type")) question->type = *type;
                } else if (question && depth >= 2 && path[depth - 2] == "question") {
                    if (reader.Name() == "questiontext") {
                        if (const std::string* format = reader.Attribute("format"))
                            question->textFormat = *format;
                    } else if (reader.Name() == "defaultgrade") {
                        question->hasGrade = true;
                        text = &question->grade;
                    } else if (reader.Name() == "single") {
                        text = &question->single;
                    } else if (reader.Name() == "answer") {
                        // An answer past the kept ones only tells that the
                        // question has too many; its text goes nowhere.
                        answerOpen = question->answers.size() < kKeptAnswers;
                        if (answerOpen) {
                            MoodleQuestion::Answer answer;
                            if (const std::string* f = reader.Attribute("fraction"))
                                answer.fraction = *f;
                            if (const std::string* f = reader.Attribute("format"))
                                answer.format = *f;
                            question->answers.push_back(answer);
                        } else {
                            question->manyAnswers = true;
                        }
                    }
                } else if (question && depth >= 3 && reader.Name() == "text" &&
                           path[depth - 3] == "question") {
                    if (path[depth - 2] == "questiontext")
                        text = &question->text;
                    else if (path[depth - 2] == "answer" && answerOpen)
                        text = &question->answers.back().text;
                }
            } else if (t == Token::EndElement) {
                text = nullptr;
                if (!path.empty()) path.pop_back();
                if (reader.Name() == "answer" && answerOpen && !path.empty() &&
                    path.back() == "question") {
                    // A blank answer is dropped, as the platform drops it, so
                    // that only answers with text count towards the six.
                    const MoodleQuestion::Answer& last = question->answers.back();
                    if (AnswerText(last).isEmpty()) question->answers.pop_back();
                    answerOpen = false;
                }
                if (reader.Name() == "question" && question &&
                    std::find(path.begin(), path.end(), "question") == path.end()) {
                    if (question->type == "category") {
                        ++collector.skipped.categories;
                    } else if (question->type != "multichoice") {
                        ++collector.skipped.otherTypes;
                    } else {
                        // What a question lost is noted only when it is kept.
                        Skipped lost;
                        auto record =
                            ToRecord(*question, ++number, collector.Count() + 1, lost, &error);
                        if (record) {
                            collector.skipped.credits << lost.credits;
                            for (int n : lost.pictures) collector.skipped.pictures.push_back(n);
                            for (int n : lost.markup) collector.skipped.markup.push_back(n);
                            for (const QString& tag : lost.markupTags)
                                if (!collector.skipped.markupTags.contains(tag))
                                    collector.skipped.markupTags << tag;
                        }
                        if (!error.isEmpty()) return ReadOutcome::Refuse(error);
                        if (!record)
                            ++collector.skipped.tooManyOptions;
                        else if (!collector.Add(std::move(*record)))
                            return collector.Finish();  // more than a paper holds
                    }
                    question.reset();
                }
            } else if (t == Token::Text && text) {
                if (text->size() + reader.Text().size() > std::size_t(4 * kMaxTextUnits) + 4096)
                    return ReadOutcome::Refuse(
                        QStringLiteral("question %1: a text is longer than 32767 characters")
                            .arg(number + 1));
                *text += reader.Text();
            }
        }
    } catch (const codec::WorkbookError& e) {
        QString why = QString::fromUtf8(e.what());
        why.replace(QStringLiteral("the workbook is damaged"), QStringLiteral("not readable XML"));
        return ReadOutcome::Refuse(why);
    }
    return collector.Finish();
}

QByteArray WriteMoodleXml(const std::vector<QuestionRecord>& questions) {
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quiz>\n";
    int number = 0;
    for (const QuestionRecord& question : questions) {
        ++number;
        const WrittenOptions written = FilledOptions(question);
        QString name = QStringLiteral("Q%1").arg(number);
        if (!question.Title.isEmpty()) {
            QString start = question.Title.left(40);
            if (start.size() == 40 && start.back().isHighSurrogate()) start.chop(1);
            start.replace(u'\r', u' ').replace(u'\n', u' ').replace(u'\t', u' ');
            name += u' ' + start;
        }
        out += "  <question type=\"multichoice\">\n    <name>\n      <text>";
        AppendEscaped(out, name);
        out += "</text>\n    </name>\n    <questiontext format=\"html\">\n      <text><![CDATA[";
        AppendHtml(out, question.Title);
        out += "]]></text>\n    </questiontext>\n    <defaultgrade>";
        out += ShortestSingle(question.Score).toUtf8();
        out += "</defaultgrade>\n    <single>";
        out += written.correct == 1 ? "true" : "false";
        out +=
            "</single>\n    <shuffleanswers>0</shuffleanswers>\n"
            "    <answernumbering>ABCD</answernumbering>\n";
        for (const WrittenOption& option : written.options) {
            out += "    <answer fraction=\"" + Weight(option.weight).toUtf8() +
                   "\" format=\"html\">\n      <text><![CDATA[";
            AppendHtml(out, option.text);
            out += "]]></text>\n    </answer>\n";
        }
        out += "  </question>\n";
    }
    out += "</quiz>\n";
    return out;
}

}  // namespace scrivane::interchange
