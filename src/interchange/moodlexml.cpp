#include "interchange/moodlexml.h"

#include <algorithm>
#include <optional>
#include <string>

#include "core/numbers.h"
#include "interchange/htmltext.h"
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
    std::vector<Answer> answers;
    bool manyAnswers = false;  // more than are kept
};

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
    try {
        XmlReader reader(std::string_view(content.constData(), std::size_t(content.size())));
        std::vector<std::string> path;  // the open elements' local names
        std::optional<MoodleQuestion> question;
        std::string* text = nullptr;  // where character data goes now
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
                        MoodleQuestion::Answer answer;
                        if (const std::string* f = reader.Attribute("fraction"))
                            answer.fraction = *f;
                        if (const std::string* f = reader.Attribute("format")) answer.format = *f;
                        if (question->answers.size() < 64)
                            question->answers.push_back(answer);
                        else
                            question->manyAnswers = true;
                    }
                } else if (question && depth >= 3 && reader.Name() == "text" &&
                           path[depth - 3] == "question") {
                    if (path[depth - 2] == "questiontext")
                        text = &question->text;
                    else if (path[depth - 2] == "answer" && !question->answers.empty())
                        text = &question->answers.back().text;
                }
            } else if (t == Token::EndElement) {
                text = nullptr;
                if (!path.empty()) path.pop_back();
                if (reader.Name() == "question" && question &&
                    std::find(path.begin(), path.end(), "question") == path.end()) {
                    if (question->type == "category") {
                        ++collector.skipped.categories;
                    } else if (question->type != "multichoice") {
                        ++collector.skipped.otherTypes;
                    } else {
                        auto record = ToRecord(*question, ++number, &error);
                        if (!error.isEmpty()) return ReadOutcome::Refuse(error);
                        if (record)
                            collector.Add(std::move(*record));
                        else
                            ++collector.skipped.tooManyOptions;
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
