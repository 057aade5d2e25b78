#include "interchange/moodlexml.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>
#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "core/numbers.h"
#include "interchange/htmltext.h"
#include "interchange/picturefiles.h"
#include "interchange/textfile.h"
#include "spreadsheet/codec/read_xml.h"
#include "spreadsheet/codec/workbook.h"

namespace scrivane::interchange {

namespace {

using codec::detail::XmlReader;
using Token = XmlReader::Token;

// A <file> beside a text, as read: its bytes still in base64.
struct MoodleFile {
    std::string name, path, data;
    bool tooLarge = false;
};

// One <question> as read, before it is judged.
struct MoodleQuestion {
    std::string type;
    std::string text, textFormat = "html";
    std::vector<MoodleFile> textFiles;
    std::string grade;
    bool hasGrade = false;
    std::string single;  // "true", "false" or, when the file leaves it out, empty
    struct Answer {
        std::string text, format = "html", fraction;
        std::vector<MoodleFile> files;
    };
    std::vector<Answer> answers;  // those with text, at most one more than a paper's six
    bool manyAnswers = false;     // more than a paper's six options
};

constexpr std::size_t kKeptAnswers = 7;
// A picture's base64 with room for line breaks: more cannot hold a picture
// that a paper takes.
constexpr std::size_t kMaxFileData = std::size_t(kMaxPictureFileBytes) / 3 * 4 * 2 + 4096;
const QString kPluginFile = QStringLiteral("@@PLUGINFILE@@/");

QString Plain(const std::string& text, const std::string& format, HtmlLosses* losses = nullptr) {
    const QString decoded = QString::fromStdString(text);
    return format == "html" ? HtmlToPlain(decoded, losses) : TrimBlanks(decoded);
}

// A blank answer is dropped, as the platform drops it; one that is only a
// picture is not blank.
bool IsBlankAnswer(const MoodleQuestion::Answer& answer) {
    HtmlLosses losses;
    return Plain(answer.text, answer.format, &losses).isEmpty() && !losses.picture;
}

// A title or an option as read: its text and the pictures its HTML shows
// from the files beside it, under the text in the order they stand.
struct ReadBox {
    QString text;
    QList<Picture> pictures;
};

ReadBox ReadText(const std::string& html, const std::string& format,
                 const std::vector<MoodleFile>& files, bool option, int paperNumber,
                 HtmlLosses& losses, QStringList& refused) {
    HtmlLosses own;
    ReadBox box;
    box.text = Plain(html, format, &own);
    bool lost = own.otherObjects > 0;
    for (const QString& source : own.images) {
        // The platform names the files of a text by their path and name,
        // percent-encoded; anything else (a web address) is not in the file.
        const MoodleFile* found = nullptr;
        if (source.startsWith(kPluginFile)) {
            const QString relative =
                QUrl::fromPercentEncoding(source.mid(kPluginFile.size()).toUtf8());
            const QString name = relative.section(u'/', -1);
            QString path = u'/' + relative.left(relative.size() - name.size());
            if (!path.endsWith(u'/')) path += u'/';
            for (const MoodleFile& file : files) {
                QString filePath = QString::fromStdString(file.path);
                if (filePath.isEmpty()) filePath = QStringLiteral("/");
                if (QString::fromStdString(file.name) == name && filePath == path) {
                    found = &file;
                    break;
                }
            }
        }
        if (!found) {
            lost = true;
            continue;
        }
        const QString name = QString::fromStdString(found->name);
        const auto refuse = [&](const QString& why) {
            refused << QStringLiteral("question %1: the picture %2 is not kept: %3")
                           .arg(paperNumber)
                           .arg(SafePictureName(name, {}), why);
        };
        if (found->tooLarge) {
            refuse(QStringLiteral("it is larger than %1 MB").arg(kMaxPictureFileBytes >> 20));
            continue;
        }
        const auto result = QByteArray::fromBase64Encoding(
            QByteArray::fromStdString(found->data).simplified().replace(' ', QByteArray()),
            QByteArray::AbortOnBase64DecodingErrors);
        const QByteArray& decoded = result.decoded;
        const QString kind = result ? PictureFormatOf(decoded) : QString();
        if (!result || decoded.isEmpty())
            refuse(QStringLiteral("its file is damaged"));
        else if (decoded.size() > kMaxPictureFileBytes)
            refuse(QStringLiteral("it is larger than %1 MB").arg(kMaxPictureFileBytes >> 20));
        else if (kind == u"gif")
            refuse(QStringLiteral("a GIF comes in from a file or the clipboard, not from here"));
        else if (kind.isEmpty())
            refuse(QStringLiteral("it is not a PNG, JPEG or SVG picture"));
        else
            box.pictures.append(Picture{decoded, kind, SafePictureName(name, kind)});
    }
    losses.picture = losses.picture || lost;
    for (const QString& tag : own.markup)
        if (!losses.markup.contains(tag)) losses.markup << tag;
    // An option that is only a picture the file does not hold stands as
    // "[picture]", so that the option and its credit are not lost.
    if (option && box.text.isEmpty() && box.pictures.isEmpty() && lost) box.text = kPictureStandIn;
    return box;
}

// A question of the bank as a question of the paper; nothing when it has
// more options than a paper holds. `paperNumber` is the number it takes in
// the paper, which the notes of what it lost name.
std::optional<QuestionRecord> ToRecord(const MoodleQuestion& source, int number, int paperNumber,
                                       Skipped& skipped, QString* error) {
    if (source.manyAnswers) return std::nullopt;
    QuestionRecord record;
    HtmlLosses losses;
    ReadBox title = ReadText(source.text, source.textFormat, source.textFiles, false, paperNumber,
                             losses, skipped.pictureNotes);
    record.Title = title.text;
    record.Pictures[kPictureTitle] = title.pictures;
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
        ReadBox box = ReadText(answer.text, answer.format, answer.files, true, paperNumber, losses,
                               skipped.pictureNotes);
        // The platform ignores blank answers too.
        if (box.text.isEmpty() && box.pictures.isEmpty()) continue;
        if (letter == 6) return std::nullopt;
        record.Items[std::size_t(letter)] = box.text;
        record.Pictures[std::size_t(PictureBoxOfItem(letter))] = box.pictures;
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
        MoodleFile* file = nullptr;   // the <file> whose data is read now
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
                } else if (question && depth >= 3 && reader.Name() == "file" &&
                           path[depth - 3] == "question" &&
                           (path[depth - 2] == "questiontext" ||
                            (path[depth - 2] == "answer" && answerOpen))) {
                    auto& files = path[depth - 2] == "questiontext"
                                      ? question->textFiles
                                      : question->answers.back().files;
                    files.emplace_back();
                    file = &files.back();
                    if (const std::string* name = reader.Attribute("name")) file->name = *name;
                    if (const std::string* where = reader.Attribute("path")) file->path = *where;
                } else if (question && depth >= 3 && reader.Name() == "text" &&
                           path[depth - 3] == "question") {
                    if (path[depth - 2] == "questiontext")
                        text = &question->text;
                    else if (path[depth - 2] == "answer" && answerOpen)
                        text = &question->answers.back().text;
                }
            } else if (t == Token::EndElement) {
                text = nullptr;
                file = nullptr;
                if (!path.empty()) path.pop_back();
                if (reader.Name() == "answer" && answerOpen && !path.empty() &&
                    path.back() == "question") {
                    // A blank answer is dropped, as the platform drops it, so
                    // that only answers with text count towards the six.
                    if (IsBlankAnswer(question->answers.back())) question->answers.pop_back();
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
                            collector.skipped.pictureNotes << lost.pictureNotes;
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
            } else if (t == Token::Text && file) {
                // Only as much is kept as a picture can be; the rest tells
                // that the picture is too large.
                if (file->tooLarge || file->data.size() + reader.Text().size() > kMaxFileData) {
                    file->tooLarge = true;
                    std::string().swap(file->data);
                } else {
                    file->data += reader.Text();
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

namespace {

// Writes the file, or with countOnly only counts it: the pictures' base64
// is then counted, not made, so that a paper too large for the file costs
// no more than its text to refuse.
class MoodleWriter {
public:
    explicit MoodleWriter(bool countOnly) : countOnly_(countOnly) {}

    void Write(const std::vector<QuestionRecord>& questions);
    qsizetype Size() const { return out_.size() + counted_; }
    QByteArray Take() { return std::move(out_); }

private:
    // A text as Moodle's editor writes it: the text, then each picture on a
    // line of its own, shown from the file of its name beside the text.
    void Text(const QString& text, const QList<Picture>& pictures, const QStringList& names,
              const char* indent) {
        out_ += "<text><![CDATA[";
        AppendHtml(out_, text);
        for (qsizetype k = 0; k < pictures.size(); ++k) {
            if (k > 0 || !text.isEmpty()) out_ += "<br>";
            // Percent-encoded, the name is a plain path within the text's
            // files and can close neither the attribute nor the CDATA.
            out_ += "<img src=\"" + kPluginFile.toUtf8() + QUrl::toPercentEncoding(names[k]) +
                    "\" alt=\"\">";
        }
        out_ += "]]></text>\n";
        for (qsizetype k = 0; k < pictures.size(); ++k) {
            out_ += indent;
            out_ += "<file name=\"";
            AppendEscaped(out_, names[k]);
            out_ += "\" path=\"/\" encoding=\"base64\">";
            if (countOnly_)
                counted_ += (pictures[k].Data.size() + 2) / 3 * 4;
            else
                out_ += pictures[k].Data.toBase64();
            out_ += "</file>\n";
        }
    }

    QByteArray out_;
    qsizetype counted_ = 0;
    bool countOnly_;
};

void MoodleWriter::Write(const std::vector<QuestionRecord>& questions) {
    out_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quiz>\n";
    int number = 0;
    for (const QuestionRecord& question : questions) {
        ++number;
        const WrittenOptions written = FilledOptions(question);
        const std::vector<QStringList> names = WrittenPictureNames(question.Pictures);
        QString name = QStringLiteral("Q%1").arg(number);
        if (!question.Title.isEmpty()) {
            QString start = question.Title.left(40);
            if (start.size() == 40 && start.back().isHighSurrogate()) start.chop(1);
            start.replace(u'\r', u' ').replace(u'\n', u' ').replace(u'\t', u' ');
            name += u' ' + start;
        }
        out_ += "  <question type=\"multichoice\">\n    <name>\n      <text>";
        AppendEscaped(out_, name);
        out_ += "</text>\n    </name>\n    <questiontext format=\"html\">\n      ";
        Text(question.Title, question.Pictures[kPictureTitle], names[kPictureTitle], "      ");
        out_ += "    </questiontext>\n    <defaultgrade>";
        out_ += ShortestSingle(question.Score).toUtf8();
        out_ += "</defaultgrade>\n    <single>";
        out_ += written.correct == 1 ? "true" : "false";
        out_ +=
            "</single>\n    <shuffleanswers>0</shuffleanswers>\n"
            "    <answernumbering>ABCD</answernumbering>\n";
        for (const WrittenOption& option : written.options) {
            const std::size_t box = std::size_t(PictureBoxOfItem(option.letter));
            out_ += "    <answer fraction=\"" + Weight(option.weight).toUtf8() +
                    "\" format=\"html\">\n      ";
            Text(option.text, question.Pictures[box], names[box], "      ");
            out_ += "    </answer>\n";
        }
        out_ += "  </question>\n";
    }
    out_ += "</quiz>\n";
}

}  // namespace

QByteArray WriteMoodleXml(const std::vector<QuestionRecord>& questions) {
    MoodleWriter writer(false);
    writer.Write(questions);
    return writer.Take();
}

qsizetype MoodleXmlSize(const std::vector<QuestionRecord>& questions) {
    MoodleWriter writer(true);
    writer.Write(questions);
    return writer.Size();
}

}  // namespace scrivane::interchange
