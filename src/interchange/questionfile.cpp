#include "interchange/questionfile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <map>

#include "interchange/aiken.h"
#include "interchange/csv.h"
#include "interchange/gift.h"
#include "interchange/moodlexml.h"
#include "interchange/picturefiles.h"
#include "interchange/textfile.h"
#include "interchange/workbooks.h"
#include "spreadsheet/paperio.h"
#include "spreadsheet/questionsheet.h"

namespace scrivane::interchange {

namespace {

ReadOutcome Unreadable(const QString& reason) {
    ReadOutcome outcome = ReadOutcome::Refuse(reason);
    outcome.status = ReadOutcome::Status::Unreadable;
    return outcome;
}

// A character that XML 1.0 cannot hold.
bool OutsideXml(const QString& text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0xFFFE || u == 0xFFFF)
            return true;
    }
    return false;
}

bool AnyText(const QuestionRecord& question, bool (*test)(const QString&)) {
    if (test(question.Title)) return true;
    for (const QString& item : question.Items)
        if (test(item)) return true;
    return false;
}

// An option that the platforms read as empty: nothing but blanks, no-break
// spaces and byte-order marks.
bool IsBlank(const QString& text) {
    for (const QChar c : text)
        if (!c.isSpace() && c != QChar(0xFEFF)) return false;
    return true;
}

bool HasLineBreak(const QString& text) {
    return text.contains(u'\n') || text.contains(u'\r');
}

bool TooLong(const QString& text) {
    return text.size() > kMaxTextUnits;
}

WriteOutcome Failed(const QString& reason) {
    WriteOutcome outcome;
    outcome.reason = reason;
    return outcome;
}

WriteOutcome WriteBytes(const QString& path, const QByteArray& bytes) {
    const QString error = WriteBytesSafely(path, bytes);
    if (!error.isEmpty()) return Failed(error);
    WriteOutcome outcome;
    outcome.status = WriteOutcome::Status::Written;
    return outcome;
}

}  // namespace

namespace {

ReadOutcome ReadContent(const QByteArray& content, Format format, float defaultMark) {
    switch (format) {
        case Format::Csv:
            return ReadCsv(content);
        case Format::Moodle:
            return ReadMoodleXml(content);
        case Format::Gift:
            return ReadGift(content, defaultMark);
        case Format::Aiken:
            return ReadAiken(content, defaultMark);
        default:
            return Unreadable(QStringLiteral("a workbook is read from its file"));
    }
}

}  // namespace

ReadOutcome ReadQuestionContent(const QByteArray& content, Format format, float defaultMark) {
    ReadOutcome outcome = ReadContent(content, format, defaultMark);
    // What could not be written as a paper is not taken.
    if (outcome.Read())
        if (const auto rejection = TextRejection(outcome.rows)) {
            outcome.status = ReadOutcome::Status::Refused;
            outcome.rows.clear();
            outcome.reason = *rejection;
        }
    return outcome;
}

namespace {

// A workbook by the signature at its start, which the workbook reader then
// reads its own way; otherwise the whole text is read and recognised.
std::optional<Format> Recognise(const QString& path, QString* reason,
                                std::optional<QByteArray>* text) {
    const std::optional<QByteArray> start = ReadInputFile(path, reason, 512);
    if (!start) return std::nullopt;
    if (const auto format = DetectFormat(*start); format && IsWorkbook(*format)) return format;
    *text = ReadInputFile(path, reason);
    if (!*text) return std::nullopt;
    return DetectFormat(**text);
}

}  // namespace

std::optional<Format> RecogniseFile(const QString& path, QString* reason) {
    std::optional<QByteArray> text;
    reason->clear();
    return Recognise(path, reason, &text);
}

ReadOutcome ReadQuestionsUnlessWorkbook(const QString& path, float defaultMark) {
    QString reason;
    std::optional<QByteArray> text;
    const std::optional<Format> format = Recognise(path, &reason, &text);
    if (!reason.isEmpty()) return Unreadable(reason);
    if (format && !IsWorkbook(*format)) return ReadQuestionContent(*text, *format, defaultMark);
    ReadOutcome outcome;
    outcome.workbook = true;
    return outcome;
}

ReadOutcome ReadQuestionFileAs(const QString& path, Format format, float defaultMark) {
    if (IsWorkbook(format)) return ReadQuestionFile(path, defaultMark);
    QString reason;
    const std::optional<QByteArray> text = ReadInputFile(path, &reason);
    if (!text) return Unreadable(reason);
    return ReadQuestionContent(*text, format, defaultMark);
}

ReadOutcome ReadQuestionFile(const QString& path, float defaultMark) {
    ReadOutcome outcome = ReadQuestionsUnlessWorkbook(path, defaultMark);
    if (!outcome.workbook) return outcome;

    // Workbooks, and whatever is nothing else, go to the import's reading,
    // which names what it found.
    const ImportReport report = ReadPaperFile(path, outcome.rows);
    outcome.reason = report.reason;
    switch (report.outcome) {
        case ImportReport::Outcome::Imported:
            outcome.status = ReadOutcome::Status::Read;
            break;
        case ImportReport::Outcome::Unreadable:
            outcome.status = ReadOutcome::Status::Unreadable;
            break;
        case ImportReport::Outcome::Rejected:
            outcome.status = ReadOutcome::Status::Refused;
            break;
    }
    return outcome;
}

namespace {

// The formats that hold text only write a stand-in for a box that was only a
// picture, and lose the pictures with a note.
bool TextOnlyFormat(Format format) {
    return format == Format::Csv || format == Format::Gift || format == Format::Aiken;
}

QStringList Unfit(const std::vector<QuestionRecord>& questions, Format format);

}  // namespace

QStringList UnfitFor(const std::vector<QuestionRecord>& questions, Format format) {
    return TextOnlyFormat(format) ? Unfit(TextOnly(questions), format) : Unfit(questions, format);
}

namespace {

QStringList Unfit(const std::vector<QuestionRecord>& questions, Format format) {
    // Kinds of misfit in the order they are told, each with its questions.
    std::map<int, std::pair<QString, std::vector<int>>> found;
    const auto note = [&found](int order, const QString& what, int number) {
        auto& entry = found[order];
        entry.first = what;
        entry.second.push_back(number);
    };
    const bool platform =
        format == Format::Moodle || format == Format::Gift || format == Format::Aiken;
    int number = 0;
    for (const QuestionRecord& question : questions) {
        ++number;
        if (platform) {
            // An option of blanks reads back as empty, and only filled options
            // are written, so an answer on such an option would vanish or move.
            for (int i = 0; i < 6; ++i)
                if ((question.Answer & (1 << i)) && IsBlank(question.Items[std::size_t(i)]) &&
                    question.Pictures[std::size_t(PictureBoxOfItem(i))].isEmpty()) {
                    note(0, QStringLiteral("the answer names an empty option"), number);
                    break;
                }
        }
        if (format == Format::Aiken) {
            const AnswerMask answer = question.Answer;
            if (answer == 0 || (answer & (answer - 1)) != 0)
                note(1, QStringLiteral("the answer is not one letter"), number);
            if (AnyText(question, HasLineBreak))
                note(2, QStringLiteral("a line break in the question or an option"), number);
            if (question.Title.trimmed().isEmpty())
                note(3, QStringLiteral("no question text"), number);
        }
        if ((format == Format::Moodle || format == Format::Ods || format == Format::Xlsx) &&
            AnyText(question, OutsideXml))
            note(4, QStringLiteral("a control character that the format cannot hold"), number);
        if (IsWorkbook(format) && AnyText(question, TooLong))
            note(5, QStringLiteral("a text longer than a cell holds (32767 characters)"), number);
        // A GIFT answer block without options is read as another type of question.
        if (format == Format::Gift && FilledOptions(question).options.empty())
            note(6, QStringLiteral("no option text, which GIFT needs"), number);
    }
    QStringList lines;
    for (const auto& [order, entry] : found)
        lines << QuestionList(entry.second) + QStringLiteral(": ") + entry.first;
    // Every format is held to the limit of the paper files, so that what is
    // written can be read back and opened as a paper.
    if (const auto rejection = TextRejection(questions)) lines << *rejection;
    // Base64 adds a third to every picture a Moodle file carries.
    if (format == Format::Moodle &&
        std::any_of(questions.begin(), questions.end(),
                    [](const QuestionRecord& q) { return HasPictures(q.Pictures); }))
        if (const auto rejection =
                FileSizeRejection(MoodleXmlSize(questions), QStringLiteral("with its pictures")))
            lines << *rejection;
    return lines;
}

}  // namespace

namespace {
WriteOutcome WriteQuestions(const QString& path, const std::vector<QuestionRecord>& questions,
                            Format format);
}  // namespace

WriteOutcome WriteQuestionFile(const QString& path, const std::vector<QuestionRecord>& given,
                               Format format) {
    WriteOutcome outcome;
    outcome.unfit = UnfitFor(given, format);
    if (!outcome.unfit.isEmpty()) {
        outcome.status = WriteOutcome::Status::Unfit;
        return outcome;
    }
    const bool textOnly = TextOnlyFormat(format);
    const std::vector<QuestionRecord> stripped = textOnly ? TextOnly(given) : std::vector<QuestionRecord>{};
    const std::vector<QuestionRecord>& questions = textOnly ? stripped : given;
    const QStringList leftOut = textOnly ? PicturesLeftOut(given, InfoOf(format).description) : QStringList{};
    outcome = WriteQuestions(path, questions, format);
    if (outcome.Written()) outcome.notes = leftOut;
    return outcome;
}

namespace {

WriteOutcome WriteQuestions(const QString& path, const std::vector<QuestionRecord>& questions,
                            Format format) {
    WriteOutcome outcome;
    switch (format) {
        case Format::Xls: {
            const ExportResult result = WritePaperFile(path, questions);
            if (result.WasWritten()) {
                outcome.status = WriteOutcome::Status::Written;
                return outcome;
            }
            return Failed(result.outcome == ExportResult::EmptyPaper
                              ? QStringLiteral("The test paper should not be empty.")
                              : result.reason);
        }
        case Format::Xlsx:
        case Format::Ods: {
            const WrittenBytes written =
                format == Format::Xlsx ? WriteXlsx(questions) : WriteOds(questions);
            if (!written.error.isEmpty()) return Failed(written.error);
            return WriteBytes(path, written.bytes);
        }
        case Format::Csv:
            return WriteBytes(path, WriteCsv(questions));
        case Format::Moodle:
            return WriteBytes(path, WriteMoodleXml(questions));
        case Format::Gift:
            return WriteBytes(path, WriteGift(questions));
        case Format::Aiken:
            return WriteBytes(path, WriteAiken(questions));
    }
    return Failed(QStringLiteral("unknown format"));
}

}  // namespace

}  // namespace scrivane::interchange
