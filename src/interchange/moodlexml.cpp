#include "interchange/moodlexml.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <algorithm>
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
    struct Answer {
        std::string text, format = "html", fraction;
    };
    std::vector<Answer> answers;  // those with text, at most one more than a paper's six
    bool manyAnswers = false;     // more than a paper's six options
};

constexpr std::size_t kKeptAnswers = 7;

QString Plain(const std::string& text, const std::string& format) {
    const QString decoded = QString::fromStdString(text);
    return format == "html" ? HtmlToPlain(decoded) : TrimBlanks(decoded);
}

// A question of the bank as a question of the paper; nothing when it has
// more options than a paper holds.
std::optional<QuestionRecord> ToRecord(const MoodleQuestion& source, int number, QString* error) {
    if (source.manyAnswers) return std::nullopt;
    QuestionRecord record;
    record.Title = Plain(source.text, source.textFormat);
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
    for (const MoodleQuestion::Answer& answer : source.answers) {
        const QString text = Plain(answer.text, answer.format);
        if (text.isEmpty()) continue;  // the platform ignores blank answers too
        if (letter == 6) return std::nullopt;
        record.Items[std::size_t(letter)] = text;
        if (QString::fromStdString(answer.fraction).trimmed().toDouble() > 0)
            record.Answer |= AnswerMask(1 << letter);
        ++letter;
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
                    if (Plain(last.text, last.format).isEmpty()) question->answers.pop_back();
                    answerOpen = false;
                }
                if (reader.Name() == "question" && question &&
                    std::find(path.begin(), path.end(), "question") == path.end()) {
                    if (question->type == "category") {
                        ++collector.skipped.categories;
                    } else if (question->type != "multichoice") {
                        ++collector.skipped.otherTypes;
                    } else {
                        auto record = ToRecord(*question, ++number, &error);
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
