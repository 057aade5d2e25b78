#include "grading/scores/gradesreport.h"

#include <algorithm>

#include "spreadsheet/workbookcommand.h"

namespace scrivane {

namespace {

const char* StatusId(AnswerStatus status) {
    switch (status) {
        case AnswerStatus::Ok:
            return "ok";
        case AnswerStatus::Blank:
            return "blank";
        case AnswerStatus::Multiple:
            return "multiple";
        case AnswerStatus::Unclear:
            return "unclear";
    }
    return "ok";
}

const char* StatusId(SheetStatus status) {
    switch (status) {
        case SheetStatus::Ok:
            return "ok";
        case SheetStatus::Review:
            return "review";
        case SheetStatus::Unreadable:
            return "unreadable";
    }
    return "unreadable";
}

QByteArray Number(double value) {
    return FormatFigure(value).toUtf8();
}

QByteArray Number(const std::optional<double>& value) {
    return value ? Number(*value) : QByteArray("null");
}

void AppendOptionalString(QByteArray& out, const std::optional<QString>& text) {
    if (text)
        AppendJsonString(out, *text);
    else
        out += "null";
}

// Trailing zeros of a fixed-point text dropped: "75.50" → "75.5", "80.00" → "80".
QString Trimmed(QString text) {
    if (text.contains(u'.')) {
        while (text.endsWith(u'0')) text.chop(1);
        if (text.endsWith(u'.')) text.chop(1);
    }
    return text == QStringLiteral("-0") ? QStringLiteral("0") : text;
}

}  // namespace

QString FormatFigure(double value) {
    // Twelve significant digits: sums of marks such as 0.1 + 0.2 show as 0.3.
    const QString text = QString::number(value, 'g', 12);
    return text == QStringLiteral("-0") ? QStringLiteral("0") : text;
}

QByteArray GradesJson(const std::vector<SheetResult>& sheets, const GradeStatistics& stats,
                      const AnswerKey& key, const ClassList* classList) {
    QByteArray out = "{\"paper\": {\"questions\": " + QByteArray::number(key.QuestionCount()) +
                     ", \"max\": " + Number(key.Maximum()) + "},\n\"sheets\": [";
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const SheetResult& sheet = sheets[i];
        out += i ? ",\n" : "\n";
        out += "{\"file\": ";
        AppendJsonString(out, sheet.file);
        out += ", \"page\": " + QByteArray::number(sheet.page) + ", \"student\": ";
        AppendOptionalString(out, sheet.student);
        out += ", \"name\": ";
        AppendOptionalString(out, sheet.name);
        out += ", \"version\": ";
        AppendOptionalString(
            out, sheet.version.isEmpty() ? std::nullopt : std::optional<QString>(sheet.version));
        out += ", \"status\": \"" + QByteArray(StatusId(sheet.status)) + "\", \"reasons\": [";
        for (qsizetype r = 0; r < sheet.reasons.size(); ++r) {
            if (r) out += ", ";
            AppendJsonString(out, sheet.reasons[r]);
        }
        out += "], \"score\": ";
        const bool read = sheet.status != SheetStatus::Unreadable;
        out += read ? Number(sheet.score) : QByteArray("null");
        out += ", \"max\": ";
        out += read ? Number(sheet.max) : QByteArray("null");
        out += ", \"answers\": [";
        for (std::size_t a = 0; a < sheet.answers.size(); ++a) {
            const AnswerResult& answer = sheet.answers[a];
            if (a) out += ", ";
            out += "{\"question\": " + QByteArray::number(answer.question) +
                   ", \"sheet_question\": " +
                   (answer.sheetQuestion ? QByteArray::number(answer.sheetQuestion)
                                         : QByteArray("null")) +
                   ", \"marked\": ";
            AppendJsonString(out, MarkedLetters(answer.marked));
            out += ", \"status\": \"" + QByteArray(StatusId(answer.status)) + "\", \"correct\": ";
            out += answer.correct ? (*answer.correct ? "true" : "false") : "null";
            out += '}';
        }
        out += "]}";
    }
    out += "],\n\"questions\": [";
    for (std::size_t i = 0; i < stats.questions.size(); ++i) {
        const QuestionStatistics& q = stats.questions[i];
        out += i ? ",\n" : "\n";
        out += "{\"question\": " + QByteArray::number(q.question) +
               ", \"mark\": " + Number(q.mark) + ", \"answer\": ";
        AppendOptionalString(out, q.answer);
        out += ", \"p\": " + Number(q.p) + ", \"discrimination\": " + Number(q.discrimination) +
               ", \"point_biserial\": " + Number(q.pointBiserial) + ", \"options\": {";
        for (std::size_t o = 0; o < q.options.size(); ++o) {
            if (o) out += ", ";
            out += '"' + QString(q.options[o].first).toUtf8() +
                   "\": " + QByteArray::number(q.options[o].second);
        }
        out += "}, \"blank\": " + QByteArray::number(q.blank) +
               ", \"multiple\": " + QByteArray::number(q.multiple) + '}';
    }
    const SummaryStatistics& s = stats.summary;
    out += "],\n\"summary\": {\"sheets\": " + QByteArray::number(s.sheets) +
           ", \"mean\": " + Number(s.mean) + ", \"median\": " + Number(s.median) +
           ", \"sd\": " + Number(s.sd) + ", \"lowest\": " + Number(s.lowest) +
           ", \"highest\": " + Number(s.highest) + ", \"kr20\": " + Number(s.kr20) +
           ", \"alpha\": " + Number(s.alpha) + ", \"sem\": " + Number(s.sem) + "},\n\"absent\": [";
    if (classList) {
        const QStringList absent = AbsentStudents(sheets, *classList);
        for (qsizetype i = 0; i < absent.size(); ++i) {
            out += i ? ", " : "";
            out += "{\"student\": ";
            AppendJsonString(out, absent[i]);
            out += ", \"name\": ";
            AppendJsonString(out, classList->Name(absent[i]));
            out += '}';
        }
    }
    out += "]}\n";
    return out;
}

namespace {

// A sheet's line stays one line whatever a name or a file name holds: a line
// end or another control character is shown escaped (as \n or \x1b).
QString OneLine(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else if (c == u'\t')
            out += QStringLiteral("\\t");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QChar::LineSeparator ||
                 c == QChar::ParagraphSeparator)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar(u'0'));
        else
            out += c;
    }
    return out;
}

}  // namespace

QByteArray GradesText(const std::vector<SheetResult>& sheets, const AnswerKey& key) {
    QByteArray out;
    for (const SheetResult& sheet : sheets) {
        QString line = QStringLiteral("%1 page %2: ").arg(sheet.file).arg(sheet.page);
        if (sheet.status == SheetStatus::Unreadable) {
            line += QStringLiteral("unreadable: ") + sheet.reasons.join(QStringLiteral("; "));
        } else {
            QStringList who;
            if (sheet.student) who << *sheet.student;
            if (sheet.name && !sheet.name->isEmpty()) who << *sheet.name;
            if (!who.isEmpty()) line += who.join(u' ') + QStringLiteral(", ");
            line += QStringLiteral("version %1, %2 of %3")
                        .arg(sheet.version, FormatFigure(sheet.score), FormatFigure(sheet.max));
            if (sheet.status == SheetStatus::Review)
                line += QStringLiteral("; review: ") + sheet.reasons.join(QStringLiteral("; "));
        }
        out += OneLine(line).toUtf8() + '\n';
    }
    for (int q = 0; q < key.QuestionCount(); ++q)
        if (!key.Counts(q))
            out += QStringLiteral("question %1: no answer is set, so the marks leave it out\n")
                       .arg(q + 1)
                       .toUtf8();
    return out;
}

std::vector<QStringList> GradesTable(const std::vector<SheetResult>& sheets, const AnswerKey& key,
                                     const ClassList* classList, const QStringList& statuses) {
    std::vector<QStringList> rows;
    QStringList header = {QStringLiteral("Student number"), QStringLiteral("Name"),
                          QStringLiteral("Version"),        QStringLiteral("Mark"),
                          QStringLiteral("Maximum"),        QStringLiteral("Percentage"),
                          QStringLiteral("Status")};
    for (int q = 1; q <= key.QuestionCount(); ++q) header << QStringLiteral("Q%1").arg(q);
    rows.push_back(header);
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const SheetResult& sheet = sheets[i];
        const QString status =
            qsizetype(i) < statuses.size() ? statuses[qsizetype(i)] : StatusId(sheet.status);
        if (sheet.status == SheetStatus::Unreadable) {
            QStringList row = {QString(), QString(), QString(), QString(),
                               QString(), QString(), status};
            for (int q = 0; q < key.QuestionCount(); ++q) row << QString();
            rows.push_back(row);
            continue;
        }
        QStringList row = {
            sheet.student.value_or(QString()),
            sheet.name.value_or(QString()),
            sheet.version,
            FormatFigure(sheet.score),
            FormatFigure(sheet.max),
            sheet.max > 0 ? Trimmed(QString::number(Percentage(sheet), 'f', 2)) : QString(),
            status};
        for (const AnswerResult& answer : sheet.answers) row << MarkedLetters(answer.marked);
        rows.push_back(row);
    }
    if (classList) {
        for (const QString& number : AbsentStudents(sheets, *classList)) {
            QStringList row = {number,    classList->Name(number), QString(), QString(), QString(),
                               QString(), QStringLiteral("absent")};
            for (int q = 0; q < key.QuestionCount(); ++q) row << QString();
            rows.push_back(row);
        }
    }
    return rows;
}

// --- The questions -----------------------------------------------------------------

bool AnswerLooksWrong(const QuestionStatistics& question) {
    if (!question.answer) return false;
    bool chosenOverKey = false, goesWithTotal = false;
    for (std::size_t o = 0; o < question.options.size(); ++o) {
        if (question.answer->contains(question.options[o].first)) continue;
        // A distractor the best students prefer to the key.
        if (o < question.upper.size() && question.upper[o] > question.upperCorrect)
            chosenOverKey = true;
        if (o < question.optionPointBiserial.size() && question.optionPointBiserial[o] &&
            *question.optionPointBiserial[o] > 0.2)
            goesWithTotal = true;
    }
    return chosenOverKey ||
           (question.pointBiserial && *question.pointBiserial < 0 && goesWithTotal);
}

QString QuestionFlag(const QuestionStatistics& question) {
    if (AnswerLooksWrong(question)) return QStringLiteral("Check the answer");
    // A question given to everyone was already judged by the teacher.
    const bool judged = question.givenToAll;
    if (!judged && question.p && *question.p < 0.2) return QStringLiteral("Too hard");
    if (!judged && question.p && *question.p > 0.95) return QStringLiteral("Too easy");
    if (question.pointBiserial && *question.pointBiserial < 0.2) return QStringLiteral("Weak");
    return {};
}

QStringList AdjustmentPhrases(const std::vector<AnswerMask>& alsoAccepted, bool givenToAll) {
    QStringList texts;
    if (!alsoAccepted.empty()) {
        QStringList letters;
        for (const AnswerMask mask : alsoAccepted) letters << MarkedLetters(mask);
        texts << QStringLiteral("also accepted %1").arg(letters.join(QStringLiteral(", ")));
    }
    if (givenToAll) texts << QStringLiteral("everyone given the mark");
    return texts;
}

QString OfferedLetters(const GradeStatistics& stats) {
    QString letters;
    for (const QuestionStatistics& q : stats.questions)
        for (const auto& [letter, count] : q.options)
            if (!letters.contains(letter)) letters += letter;
    std::sort(letters.begin(), letters.end());
    return letters;
}

std::vector<std::vector<ReportCell>> QuestionsTable(
    const GradeStatistics& stats, const QString& letters,
    const std::function<QStringList(int question)>& adjustments) {
    std::vector<std::vector<ReportCell>> rows;
    std::vector<ReportCell> header = {
        QStringLiteral("Question"),       QStringLiteral("Answer"),
        QStringLiteral("Mark"),           QStringLiteral("p"),
        QStringLiteral("Discrimination"), QStringLiteral("Point-biserial")};
    for (const QChar letter : letters) header.emplace_back(QString(letter));
    for (const char* name : {"Blank", "Multiple", "Flag", "Adjustment"})
        header.emplace_back(QString::fromLatin1(name));
    rows.push_back(header);
    const auto figure = [](const std::optional<double>& value) -> ReportCell {
        if (value) return *value;
        return QString();
    };
    for (const QuestionStatistics& q : stats.questions) {
        std::vector<ReportCell> row = {
            double(q.question), q.answer.value_or(QString()), q.mark,
            figure(q.p),        figure(q.discrimination),     figure(q.pointBiserial)};
        for (const QChar letter : letters) {
            ReportCell count = QString();
            for (const auto& [option, n] : q.options)
                if (option == letter) count = double(n);
            row.push_back(count);
        }
        row.emplace_back(double(q.blank));
        row.emplace_back(double(q.multiple));
        row.emplace_back(QuestionFlag(q));
        row.emplace_back(adjustments(q.question).join(QStringLiteral("; ")));
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace scrivane
