#include "spreadsheet/questionsheet.h"

#include <atomic>
#include <cfloat>
#include <cmath>
#include <exception>

#include "core/numbers.h"
#include "spreadsheet/excel.h"

namespace scrivane {

namespace {

// The scan stops here: row 102 full means more than 100 data rows.
constexpr int kLastScannedRow = kSheetRowsRead;

QString TrimSpaces(const QString& text) {
    qsizetype first = 0, last = text.size();
    while (first < last && text[first] == u' ') ++first;
    while (last > first && text[last - 1] == u' ') --last;
    return text.mid(first, last - first);
}

QString CellName(int row, int column) {
    return QChar(char16_t(u'A' + column - 1)) + QString::number(row);
}

// A cell's text as shown in a reason: quoted, and cut when long.
QString Quoted(const QString& text) {
    constexpr qsizetype kShown = 40;
    const QString shown = text.size() > kShown ? text.left(kShown) + QChar(0x2026) : text;
    return u'"' + shown + u'"';
}

// Single precision as the mark is kept; beyond its range gives an infinity.
float ToSingle(double value) {
    if (std::isnan(value)) return NAN;
    if (value > FLT_MAX) return INFINITY;
    if (value < -FLT_MAX) return -INFINITY;
    return float(value);
}

// A mark cell: a number is taken as it is, anything else by the leading
// number of its text.
float ReadMark(const codec::Cell& cell) {
    if (cell.kind == codec::Cell::Kind::Number) return ToSingle(cell.number);
    return ToSingle(ReadLeadingNumber(CellText(cell)));
}

// The question sheet's columns that hold pictures: the title's, then the options'.
constexpr int kTitleColumn = 4;

Picture PictureOf(const codec::SheetPicture& picture) {
    return {QByteArray(reinterpret_cast<const char*>(picture.data.data()),
                       qsizetype(picture.data.size())),
            QString::fromStdString(picture.format), QString::fromStdString(picture.name)};
}

// The sheet's pictures given to the questions whose title or option cell
// holds them; those anywhere else, or larger than a picture may be, are
// left out and noted.
void StagePictures(StagedSheet& staged, const std::vector<codec::SheetPicture>& pictures) {
    int outside = 0, tooLarge = 0;
    for (const codec::SheetPicture& picture : pictures) {
        const int box = picture.column - kTitleColumn;
        if (picture.row < 2 || picture.row > staged.lastRow || box < 0 || box >= kPictureBoxes) {
            ++outside;
            continue;
        }
        if (qint64(picture.data.size()) > kMaxPictureFileBytes) {
            ++tooLarge;
            continue;
        }
        staged.questions[std::size_t(picture.row - 2)].Pictures[std::size_t(box)].append(
            PictureOf(picture));
    }
    if (outside == 1)
        staged.notes << QStringLiteral(
            "1 picture outside the questions' title and option cells was left out.");
    else if (outside > 1)
        staged.notes << QStringLiteral(
                            "%1 pictures outside the questions' title and option cells were "
                            "left out.")
                            .arg(outside);
    if (tooLarge > 0)
        staged.notes << QStringLiteral("%1 picture(s) larger than %2 MB were left out.")
                            .arg(tooLarge)
                            .arg(kMaxPictureFileBytes / (1024 * 1024));
}

}  // namespace

namespace {
std::atomic<SvgDrawer> svgDrawer{nullptr};
}  // namespace

void SetSvgDrawer(SvgDrawer drawer) {
    svgDrawer = drawer;
}

std::vector<codec::SheetPicture> QuestionSheetPictures(int row, const QuestionPictures& pictures) {
    std::vector<codec::SheetPicture> placed;
    for (int box = 0; box < kPictureBoxes; ++box) {
        for (const Picture& picture : pictures[std::size_t(box)]) {
            codec::SheetPicture& p = placed.emplace_back();
            p.row = row;
            p.column = kTitleColumn + box;
            p.format = picture.Format.toStdString();
            p.name = picture.Name.toStdString();
            p.data.assign(picture.Data.begin(), picture.Data.end());
            if (const SvgDrawer draw = svgDrawer; picture.Format == u"svg" && draw) {
                const QByteArray standIn = draw(picture.Data);
                p.standIn.assign(standIn.begin(), standIn.end());
            }
        }
    }
    return placed;
}

const QStringList& QuestionSheetHeaders() {
    static const QStringList headers = {
        QStringLiteral("Question NO"),    QStringLiteral("Mark"),     QStringLiteral("Answer"),
        QStringLiteral("Question Title"), QStringLiteral("Option A"), QStringLiteral("Option B"),
        QStringLiteral("Option C"),       QStringLiteral("Option D"), QStringLiteral("Option E"),
        QStringLiteral("Option F")};
    return headers;
}

codec::ReadScope QuestionSheetScope() {
    return {true, kLastScannedRow, kSheetColumns};
}

namespace {

// The question sheet's rules over any source of cells: cellAt(row, column)
// gives a cell, or throws when it cannot be read.
template <typename CellAt, typename PicturesOf>
StagedSheet StageQuestionSheet(const CellAt& cellAt, const PicturesOf& picturesOf) {
    const auto textAt = [&cellAt](int row, int column) { return CellText(cellAt(row, column)); };
    StagedSheet staged;

    // The end of the data: a row whose number or mark is blank, or cannot be read.
    int row = 2;
    for (; row <= kLastScannedRow; ++row) {
        bool ends = true;
        try {
            const QString number = TrimSpaces(textAt(row, 1));
            const QString mark = TrimSpaces(textAt(row, 2));
            ends = number.isEmpty() || mark.isEmpty();
        } catch (const std::exception&) {
        }
        if (ends) break;
    }
    staged.lastRow = row - 1;

    // The format: headers first, as they tell best what sheet this is.
    const QStringList& headers = QuestionSheetHeaders();
    for (int column = 1; column <= kSheetColumns && staged.Valid(); ++column) {
        const QString& expected = headers[column - 1];
        try {
            const QString text = textAt(1, column);
            const QString trimmed = TrimSpaces(text);
            if (column < kSheetColumns && trimmed != expected)
                staged.rejection = QStringLiteral("header cell %1 holds %2, expected %3")
                                       .arg(CellName(1, column), Quoted(text), Quoted(expected));
            else if (column == kSheetColumns && !trimmed.isEmpty() && trimmed != expected)
                staged.rejection = QStringLiteral("header cell %1 holds %2, expected %3 or nothing")
                                       .arg(CellName(1, column), Quoted(text), Quoted(expected));
        } catch (const std::exception& e) {
            staged.rejection = QStringLiteral("header cell %1 cannot be read: %2")
                                   .arg(CellName(1, column), QString::fromUtf8(e.what()));
        }
    }
    if (staged.Valid() && staged.lastRow < 2) staged.rejection = QStringLiteral("no data rows");
    if (staged.Valid() && staged.lastRow > kMaxQuestions + 1)
        staged.rejection = QStringLiteral("more than %1 data rows").arg(kMaxQuestions);
    if (!staged.Valid()) return staged;

    // The data rows; a cell that cannot be read leaves its field as it was.
    staged.questions.resize(std::size_t(staged.lastRow - 1));
    for (int i = 2; i <= staged.lastRow; ++i) {
        QuestionRecord& question = staged.questions[std::size_t(i - 2)];
        try {
            question.Score = ReadMark(cellAt(i, 2));
        } catch (const std::exception&) {
        }
        try {
            question.Answer = AnswerTextToMask(TrimSpaces(textAt(i, 3)));
        } catch (const std::exception&) {
        }
        try {
            question.Title = textAt(i, 4);
        } catch (const std::exception&) {
        }
        for (int option = 0; option < 6; ++option) {
            try {
                question.Items[std::size_t(option)] = textAt(i, 5 + option);
            } catch (const std::exception&) {
            }
        }
    }
    try {
        StagePictures(staged, picturesOf());
    } catch (const std::exception& e) {
        staged.notes << QStringLiteral("The pictures could not be read: %1.")
                            .arg(QString::fromUtf8(e.what()));
    }
    return staged;
}

}  // namespace

StagedSheet ReadQuestionSheet(const Sheet& sheet) {
    return StageQuestionSheet(
        [&sheet](int row, int column) { return sheet.cells(row, column).Value(); },
        [&sheet] { return sheet.Pictures(); });
}

StagedSheet ReadQuestionSheet(const codec::Worksheet& sheet) {
    return StageQuestionSheet([&sheet](int row, int column) { return sheet.At(row, column); },
                              [&sheet]() -> const auto& { return sheet.pictures; });
}

std::optional<QString> MarkRejection(const std::vector<QuestionRecord>& questions) {
    for (std::size_t k = 0; k < questions.size(); ++k) {
        const float mark = questions[k].Score;
        const int row = int(k) + 2;
        if (std::isnan(mark)) return QStringLiteral("row %1: the mark is not a number").arg(row);
        if (!IsValidMark(mark))
            return QStringLiteral("row %1: mark %2 is outside 0 to 250")
                .arg(row)
                .arg(ShortestSingle(mark));
    }
    return std::nullopt;
}

std::size_t QuestionSheetTextBytes(const std::vector<QuestionRecord>& questions) {
    // Every writer names the one sheet as a new worksheet is named.
    std::size_t bytes = codec::Worksheet().name.size();
    const auto add = [&bytes](const QString& text) { bytes += std::size_t(text.toUtf8().size()); };
    for (const QString& header : QuestionSheetHeaders()) add(header);
    for (const QuestionRecord& question : questions) {
        add(AnswerMaskToText(question.Answer));
        add(question.Title);
        for (const QString& item : question.Items) add(item);
    }
    return bytes;
}

std::optional<QString> TextRejection(const std::vector<QuestionRecord>& questions) {
    const std::size_t bytes = QuestionSheetTextBytes(questions);
    if (bytes <= codec::kMaxTextBytes) return std::nullopt;
    return QStringLiteral(
               "the paper holds too much text: %1 bytes, more than the %2 (8 MiB, counted in "
               "UTF-8) that a paper file holds")
        .arg(bytes)
        .arg(codec::kMaxTextBytes);
}

}  // namespace scrivane
