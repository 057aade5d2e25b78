#include "print/layout/answersheet.h"

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include <QCryptographicHash>
#include <QFontMetricsF>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>
#include <algorithm>
#include <bit>
#include <cmath>

namespace scrivane {

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;

// The page, in millimetres from its top-left corner. Everything stays at
// least 8 mm from the edges, where printers cannot print and copiers crop.
constexpr double kMarkerMm = 7;
constexpr double kMarkerInsetMm = 8;  // the page's edge to the marker's outer side
constexpr double kSideMm = 11;        // the page's edge to the content
constexpr double kHeadingTopMm = 8.5;
constexpr double kNameTopMm = 17;
constexpr double kCodeMm = 32;  // the QR code's square, quiet zone outside it
constexpr double kCodeTopMm = 19;
constexpr double kQuietMm = 4;

// The student number grid: a box for the written digit above each column of
// bubbles 0 to 9.
constexpr double kGridLabelTopMm = 25.5;
constexpr double kBoxTopMm = 30;
constexpr double kBoxHeightMm = 7;
constexpr double kDigitTopMm = 39;  // the top of the row of 0s
constexpr double kDigitBubbleMm = 4.2;
constexpr double kDigitPitchXMm = 6.3;
constexpr double kDigitPitchYMm = 5.8;

// The version: its text, and below it the squares.
constexpr double kVersionSquareMm = 4;

// The answers: up to 25 rows a column and four columns, rows in groups of
// five so that the eye finds a number; bubbles well apart, so that a mark
// that strays over its edge does not reach the next.
constexpr int kRowsPerColumn = 25;
constexpr int kMaxColumns = 4;
constexpr int kGroupRows = 5;
constexpr double kAnswerGapMm = 4;  // between the top band and the answers
constexpr double kGroupGapMm = 2;
constexpr double kMaxRowPitchMm = 8.5;
constexpr double kBubbleMm = 4.2;
constexpr double kBubblePitchMm = 6.3;
constexpr double kNumberMm = 6;     // the question's number, right-aligned
constexpr double kStarMm = 3.4;     // the mark of a question with several answers
constexpr double kBottomGapMm = 2;  // between the answers and the bottom markers
constexpr double kStarGapMm = 1;    // at least between the star's box and bubble A
// The heading's sizes: as large as fits, down to the smallest that still
// reads; a heading longer than two lines of that is shortened.
constexpr double kHeadingPoints = 13;
constexpr double kHeadingMinPoints = 7;

const QString kFormatTag = QStringLiteral("SCRV1");
const QString kFormatTag2 = QStringLiteral("SCRV2");
const QString kStar = QStringLiteral(u"\u2731");

double Pt(double mm) {
    return mm * kPointsPerMm;
}
double Mm(double points) {
    return points / kPointsPerMm;
}
QPointF Pt(QPointF mm) {
    return mm * kPointsPerMm;
}
QRectF Pt(const QRectF& mm) {
    return {mm.topLeft() * kPointsPerMm, mm.size() * kPointsPerMm};
}

// Where the parts of the top band stand, shared by the layout and painting.
struct Frame {
    double width = 0, height = 0;  // the page in mm
    int idDigits = 0;
    QRectF code;    // the QR code's square
    QRectF middle;  // between the grid and the code: version, instructions
    double gridLeft = kSideMm + 1;
    double bandBottom = 0;  // the top band's foot
    double answersTop = 0, answersBottom = 0;
    double answersLeft = kSideMm, answersRight = 0;

    Frame(QSizeF pagePoints, int digits) {
        width = Mm(pagePoints.width());
        height = Mm(pagePoints.height());
        idDigits = std::clamp(digits, 0, kMaxIdDigits);
        code = QRectF(width - kSideMm - kCodeMm, kCodeTopMm, kCodeMm, kCodeMm);
        const double gridRight = gridLeft + idDigits * kDigitPitchXMm;
        const double middleLeft = idDigits > 0 ? gridRight + 6 : kSideMm;
        middle = QRectF(middleLeft, kGridLabelTopMm, code.left() - kQuietMm - 2 - middleLeft,
                        code.bottom() - kGridLabelTopMm);
        const double gridBottom = kDigitTopMm + 10 * kDigitPitchYMm;
        bandBottom = std::max(code.bottom() + 14, idDigits > 0 ? gridBottom : 0.0);
        answersTop = bandBottom + kAnswerGapMm;
        answersBottom = height - kMarkerInsetMm - kMarkerMm - kBottomGapMm;
        answersRight = width - kSideMm;
    }

    QPointF DigitCentre(int position, int digit) const {
        return {gridLeft + (position + 0.5) * kDigitPitchXMm,
                kDigitTopMm + kDigitBubbleMm / 2 + digit * kDigitPitchYMm};
    }
    QRectF DigitBox(int position) const {
        const double x = gridLeft + position * kDigitPitchXMm;
        return {x + 0.5, kBoxTopMm, kDigitPitchXMm - 1, kBoxHeightMm};
    }
    QRectF VersionSquares() const {
        return {middle.left(), middle.top() + 13.5, kVersionSquares * kVersionSquareMm,
                kVersionSquareMm};
    }
};

QString Hex16(const QByteArray& data) {
    return QString::fromLatin1(
        QCryptographicHash::hash(data, QCryptographicHash::Sha256).left(8).toHex().toUpper());
}

void AddText(QByteArray& out, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    out += QByteArray::number(utf8.size()) + ':' + utf8 + ';';
}

// A whole number of digits only, without a sign or leading zeros, so that a
// code reads back to the very text it was made from.
std::optional<std::uint64_t> StrictNumber(const QByteArray& text, std::uint64_t max) {
    if (text.isEmpty() || text.size() > 10 || (text.size() > 1 && text[0] == '0')) return {};
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return {};
        value = value * 10 + std::uint64_t(c - '0');
    }
    if (value > max) return {};
    return value;
}

bool IsDigest(const QByteArray& text) {
    if (text.size() != 16) return false;
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

// Text at its real size whatever the painter's scale: drawn in device
// pixels, so that a font is never laid out at a tiny pixel size and scaled up.
void DrawText(QPainter& painter, const QRectF& mm, int flags, const QString& text, double points,
              bool bold = false, const QColor& colour = Qt::black) {
    const QTransform toDevice = painter.deviceTransform();
    const double devicePerMm = std::hypot(toDevice.m11(), toDevice.m12());
    const QRectF target = toDevice.mapRect(mm);
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPointSizeF(points * 25.4 * devicePerMm / painter.device()->logicalDpiY());
    font.setBold(bold);
    painter.save();
    painter.resetTransform();
    painter.setFont(font);
    painter.setPen(colour);
    QString shown = text;
    if (!(flags & Qt::TextWordWrap))
        shown = painter.fontMetrics().elidedText(text, Qt::ElideRight, int(target.width()));
    painter.drawText(target, flags, shown);
    painter.restore();
}

// The heading on one line at its full size when it fits, else wrapped and
// made smaller until it fits the box; only what does not fit at the smallest
// size is cut, with an ellipsis.
void DrawHeading(QPainter& painter, const QRectF& mm, const QString& text) {
    if (text.trimmed().isEmpty()) return;
    const QTransform toDevice = painter.deviceTransform();
    const double devicePerMm = std::hypot(toDevice.m11(), toDevice.m12());
    const QRectF target = toDevice.mapRect(mm);
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setBold(true);
    const auto sized = [&](double points) {
        QFont f = font;
        f.setPointSizeF(points * 25.4 * devicePerMm / painter.device()->logicalDpiY());
        return f;
    };
    const int flags = Qt::AlignCenter | Qt::TextWordWrap;
    QFont chosen = sized(kHeadingMinPoints);
    QString shown;
    for (double points = kHeadingPoints; points >= kHeadingMinPoints - 1e-9; points -= 0.5) {
        const QFont f = sized(points);
        const QFontMetricsF metrics(f, painter.device());
        const QRectF needed = metrics.boundingRect(target, flags, text);
        if (needed.height() <= target.height() + 0.5 && needed.width() <= target.width() + 0.5) {
            chosen = f;
            shown = text;
            break;
        }
    }
    if (shown.isEmpty()) {
        // Two lines at the smallest size: the first as much as fits by words,
        // the rest shortened.
        const QFontMetricsF metrics(chosen, painter.device());
        const QStringList words = text.split(u' ', Qt::SkipEmptyParts);
        QString first;
        int used = 0;
        for (; used < words.size(); ++used) {
            const QString longer = first.isEmpty() ? words[used] : first + u' ' + words[used];
            if (metrics.horizontalAdvance(longer) > target.width()) break;
            first = longer;
        }
        QString rest = QStringList(words.mid(used)).join(u' ');
        if (first.isEmpty()) rest = text;
        shown = (first.isEmpty() ? QString() : first + u'\n') +
                metrics.elidedText(rest, Qt::ElideRight, target.width());
    }
    painter.save();
    painter.resetTransform();
    painter.setFont(chosen);
    painter.setPen(Qt::black);
    painter.drawText(target, flags, shown);
    painter.restore();
}

// The QR code's modules, light ones included; an empty matrix when the text
// cannot be written, which Encode's short ASCII never causes.
ZXing::BitMatrix CodeMatrix(const QByteArray& text, double sideMm) {
    // Quartile error correction survives a pencil stroke across the code;
    // the lower levels give smaller codes should the modules come out too small.
    for (int level : {5, 3, 1}) {
        try {
            ZXing::BitMatrix matrix = ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode)
                                          .setEccLevel(level)
                                          .setMargin(0)
                                          .encode(text.toStdString(), 0, 0);
            if (matrix.width() > 0 && sideMm / matrix.width() >= 0.8) return matrix;
        } catch (const std::exception&) {
            return {};
        }
    }
    return {};
}

}  // namespace

QByteArray SheetCode::Encode() const {
    // Upper-case letters, digits and ':' only: the QR code's alphanumeric
    // mode, which keeps the code small.
    // Flag 4: the options kept by the rule that tells a letter naming an
    // option from a name; a code without it was printed by the first rule.
    const int flags = (versions.shuffleQuestions ? 1 : 0) | (versions.shuffleOptions ? 2 : 0) |
                      (versions.keptOptions == KeptOptionsRule::References ? 4 : 0);
    const QStringList fields{kFormatTag,
                             paperDigest.toUpper(),
                             textDigest.toUpper(),
                             version,
                             QString::number(sheetPage),
                             QString::number(sheetPages),
                             QString::number(std::clamp(versions.count, 1, kMaxVersions)),
                             QString::number(flags),
                             QString::number(versions.seed),
                             QString::number(std::clamp(idDigits, 0, kMaxIdDigits)),
                             QString::number(versions.blankOptionLetters == 5 ? 5 : 6),
                             letterPaper ? QStringLiteral("L") : QStringLiteral("A")};
    if (Format() == 2)
        return (QStringList{kFormatTag2} + fields.mid(1) + QStringList{paperId.toUpper()})
            .join(u':')
            .toLatin1();
    return fields.join(u':').toLatin1();
}

std::optional<SheetCode> SheetCode::Decode(const QByteArray& text) {
    if (text.size() > 200) return {};
    const QList<QByteArray> fields = text.split(':');
    const bool second = fields.size() == 13 && fields[0] == kFormatTag2.toLatin1() &&
                        IsPaperIdentity(QString::fromLatin1(fields[12]));
    if (!second && (fields.size() != 12 || fields[0] != kFormatTag.toLatin1())) return {};
    if (!IsDigest(fields[1]) || !IsDigest(fields[2])) return {};
    const auto page = StrictNumber(fields[4], 99);
    const auto pages = StrictNumber(fields[5], 99);
    const auto count = StrictNumber(fields[6], kMaxVersions);
    const auto flags = StrictNumber(fields[7], 7);
    const auto seed = StrictNumber(fields[8], 0xFFFFFFFFull);
    const auto digits = StrictNumber(fields[9], kMaxIdDigits);
    const auto letters = StrictNumber(fields[10], 6);
    if (!page || !pages || !count || !flags || !seed || !digits || !letters) return {};
    if (*page < 1 || *page > *pages || *count < 1 || *letters < 5) return {};
    if (fields[3].size() != 1 || fields[3][0] < 'A' || fields[3][0] >= 'A' + char(*count))
        return {};
    if (fields[11] != "A" && fields[11] != "L") return {};
    SheetCode code;
    code.paperDigest = QString::fromLatin1(fields[1]);
    code.textDigest = QString::fromLatin1(fields[2]);
    code.version = QString::fromLatin1(fields[3]);
    code.sheetPage = int(*page);
    code.sheetPages = int(*pages);
    code.versions.count = int(*count);
    code.versions.shuffleQuestions = (*flags & 1) != 0;
    code.versions.shuffleOptions = (*flags & 2) != 0;
    code.versions.keptOptions =
        (*flags & 4) != 0 ? KeptOptionsRule::References : KeptOptionsRule::Phrases;
    code.versions.seed = std::uint32_t(*seed);
    code.versions.blankOptionLetters = int(*letters);
    code.idDigits = int(*digits);
    if (second) code.paperId = QString::fromLatin1(fields[12]);
    code.letterPaper = fields[11] == "L";
    return code;
}

QString PaperDigest(const std::vector<QuestionRecord>& paper, const QString& modeLetters,
                    KeptOptionsRule rule) {
    QByteArray data = "paper;";
    AddText(data, modeLetters);
    data += QByteArray::number(qulonglong(paper.size())) + ';';
    for (const QuestionRecord& record : paper) {
        const OptionPlaces places = PlacesOf(record, rule);
        data += QByteArray::number(places.filled) + ',' + QByteArray::number(places.pinned) + ',' +
                (places.whole ? '1' : '0');
        // A question without option texts offers the mode's letters, and
        // any further letter its answer names.
        if (places.filled == 0)
            data +=
                ',' + QByteArray::number(std::max<int>(
                          int(modeLetters.size()), std::bit_width(unsigned(record.Answer & 63))));
        data += ';';
    }
    return Hex16(data);
}

QString ModeLetters(const VersionSettings& versions) {
    return QStringLiteral("ABCDEF").left(versions.blankOptionLetters == 5 ? 5 : 6);
}

QString TextDigest(const std::vector<QuestionRecord>& paper) {
    // As printed: blanks at the ends of a text are not.
    QByteArray data = "texts;";
    for (const QuestionRecord& record : paper) {
        AddText(data, record.Title.trimmed());
        for (const QString& item : record.Items) AddText(data, item.trimmed());
    }
    return Hex16(data);
}

QSizeF SheetPageSize(bool letterPaper) {
    // In whole points, as a PDF page of that size is.
    return QPageSize(letterPaper ? QPageSize::Letter : QPageSize::A4).size(QPageSize::Point);
}

SheetPageLayout LayOutAnswerSheet(const PaperVersion& version, int idDigits, bool letterPaper) {
    SheetPageLayout layout;
    layout.version = version.name;
    layout.size = SheetPageSize(letterPaper);
    const Frame frame(layout.size, idDigits);

    const double half = kMarkerMm / 2;
    const double left = kMarkerInsetMm + half, right = frame.width - kMarkerInsetMm - half;
    const double top = kMarkerInsetMm + half, bottom = frame.height - kMarkerInsetMm - half;
    for (const QPointF& centre :
         {QPointF(left, top), QPointF(right, top), QPointF(right, bottom), QPointF(left, bottom)})
        layout.markers.push_back({Pt(centre), Pt(kMarkerMm), false});
    layout.markers.back().hollow = true;
    layout.code = Pt(frame.code);
    layout.versionSquares = Pt(frame.VersionSquares());

    // Columns of up to 25 rows, centred as a group; the rows spread over the
    // height there is, in groups of five.
    const int n = int(version.questions.size());
    const int columns = std::clamp((n + kRowsPerColumn - 1) / kRowsPerColumn, 1, kMaxColumns);
    const int rows = std::max(1, (n + columns - 1) / columns);
    const int groups = (rows + kGroupRows - 1) / kGroupRows;
    const double columnWidth = (frame.answersRight - frame.answersLeft) / kMaxColumns;
    const double rowPitch =
        std::min(kMaxRowPitchMm,
                 (frame.answersBottom - frame.answersTop - (groups - 1) * kGroupGapMm) / rows);
    const double firstColumn = frame.answersLeft + (kMaxColumns - columns) * columnWidth / 2;
    for (int i = 0; i < n; ++i) {
        const int column = i / rows, row = i % rows;
        const double x0 = firstColumn + column * columnWidth;
        const double y =
            frame.answersTop + row * rowPitch + (row / kGroupRows) * kGroupGapMm + rowPitch / 2;
        const PrintedQuestion& q = version.questions[std::size_t(i)];
        for (std::size_t k = 0; k < q.options.size(); ++k) {
            SheetBubble bubble;
            bubble.kind = SheetBubble::Kind::Answer;
            bubble.question = i + 1;
            bubble.source = q.source;
            bubble.option = q.options[k].letter;
            bubble.centre = Pt(
                QPointF(x0 + kNumberMm + kStarMm + kBubbleMm / 2 + double(k) * kBubblePitchMm, y));
            bubble.r = Pt(kBubbleMm / 2);
            layout.bubbles.push_back(bubble);
        }
    }
    for (int position = 0; position < frame.idDigits; ++position) {
        for (int digit = 0; digit < 10; ++digit) {
            SheetBubble bubble;
            bubble.kind = SheetBubble::Kind::Student;
            bubble.position = position;
            bubble.digit = digit;
            bubble.centre = Pt(frame.DigitCentre(position, digit));
            bubble.r = Pt(kDigitBubbleMm / 2);
            layout.bubbles.push_back(bubble);
        }
    }
    return layout;
}

void PaintAnswerSheet(QPainter& painter, const SheetPageLayout& layout, const PaperVersion& version,
                      const SheetCode& code, const QString& heading) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.scale(kPointsPerMm, kPointsPerMm);  // millimetres from here on
    int idDigits = 0;
    for (const SheetBubble& bubble : layout.bubbles)
        if (bubble.kind == SheetBubble::Kind::Student)
            idDigits = std::max(idDigits, bubble.position + 1);
    const Frame frame(layout.size, idDigits);
    const QColor ink(0x22, 0x22, 0x22), grey(0x66, 0x66, 0x66);

    // The corner markers.
    for (const SheetMarker& marker : layout.markers) {
        const double side = Mm(marker.size);
        const QRectF square(Mm(marker.centre.x()) - side / 2, Mm(marker.centre.y()) - side / 2,
                            side, side);
        painter.fillRect(square, Qt::black);
        if (marker.hollow) painter.fillRect(square.adjusted(1.75, 1.75, -1.75, -1.75), Qt::white);
    }

    // The heading between the top markers, the name line below it.
    const double textLeft = kMarkerInsetMm + kMarkerMm + 3;
    if (code.Format() == 1)
        DrawText(painter, QRectF(textLeft, kHeadingTopMm, frame.width - 2 * textLeft, 6),
                 Qt::AlignCenter, QString(heading).replace(u'\n', u' '), 13, true);
    else
        DrawHeading(painter,
                    QRectF(textLeft, kMarkerInsetMm, frame.width - 2 * textLeft,
                           kCodeTopMm - kQuietMm - kMarkerInsetMm),
                    QString(heading).replace(u'\n', u' '));
    const double nameRight = frame.code.left() - kQuietMm - 2;
    DrawText(painter, QRectF(kSideMm + 1, kNameTopMm, 14, 6), Qt::AlignLeft | Qt::AlignBottom,
             QStringLiteral("Name:"), 10.5);
    painter.setPen(QPen(ink, 0.25));
    const double lineY = kNameTopMm + 5.6;
    const double classLeft = nameRight - 38;
    painter.drawLine(QPointF(kSideMm + 14, lineY), QPointF(classLeft - 3, lineY));
    DrawText(painter, QRectF(classLeft, kNameTopMm, 13, 6), Qt::AlignLeft | Qt::AlignBottom,
             QStringLiteral("Class:"), 10.5);
    painter.drawLine(QPointF(classLeft + 13, lineY), QPointF(nameRight, lineY));

    // The student number: a box for each written digit over its column.
    if (frame.idDigits > 0) {
        DrawText(painter,
                 QRectF(frame.gridLeft, kGridLabelTopMm, frame.idDigits * kDigitPitchXMm + 10, 4),
                 Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Student number"), 9, true);
        painter.setPen(QPen(ink, 0.3));
        painter.setBrush(Qt::NoBrush);
        for (int position = 0; position < frame.idDigits; ++position)
            painter.drawRect(frame.DigitBox(position));
    }

    // The version as text and as squares that still tell it when the code
    // is damaged.
    const QRectF squares = frame.VersionSquares();
    DrawText(painter, QRectF(frame.middle.left(), frame.middle.top(), frame.middle.width(), 4),
             Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Answer sheet"), 9, true, grey);
    DrawText(painter, QRectF(frame.middle.left(), frame.middle.top() + 4, frame.middle.width(), 9),
             Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Version %1").arg(layout.version), 20,
             true);
    const int index = layout.version.isEmpty() ? 0 : layout.version.at(0).unicode() - u'A';
    painter.setPen(QPen(ink, 0.2));
    for (int k = 0; k < kVersionSquares; ++k) {
        const bool black =
            k == 0 || k == kVersionSquares - 1 || ((index >> (kVersionSquares - 2 - k)) & 1) != 0;
        const QRectF square(squares.left() + k * kVersionSquareMm, squares.top(), kVersionSquareMm,
                            kVersionSquareMm);
        if (black)
            painter.fillRect(square, Qt::black);
        else
            painter.drawRect(square.adjusted(0.1, 0.1, -0.1, -0.1));
    }

    // How to mark, and the legend of the questions with several answers.
    bool severalAnswers = false;
    for (const PrintedQuestion& q : version.questions)
        severalAnswers = severalAnswers || (q.answer & (q.answer - 1)) != 0;
    const double notesTop = squares.bottom() + 4;
    const double bubbleY = notesTop + 2.5;
    painter.setPen(QPen(ink, 0.3));
    painter.setBrush(Qt::NoBrush);
    const QRectF example(frame.middle.left(), bubbleY - kBubbleMm / 2, kBubbleMm, kBubbleMm);
    painter.setBrush(Qt::black);
    painter.drawEllipse(example);
    painter.setBrush(Qt::NoBrush);
    QString notes = QStringLiteral(
        "Fill the bubble completely with a dark pencil or pen. To change an answer, erase the "
        "mark completely. Write nothing in the corners or over the code.");
    DrawText(painter,
             QRectF(frame.middle.left() + kBubbleMm + 2, notesTop, frame.middle.width() - 7, 14),
             Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, notes, 8, false, ink);
    if (severalAnswers)
        DrawText(painter, QRectF(frame.middle.left(), notesTop + 15, frame.middle.width(), 5),
                 Qt::AlignLeft | Qt::AlignVCenter, kStar + QStringLiteral(" mark all that apply"),
                 9, true);

    // The QR code, on white with its quiet zone.
    painter.fillRect(frame.code.adjusted(-kQuietMm, -kQuietMm, kQuietMm, kQuietMm), Qt::white);
    const ZXing::BitMatrix matrix = CodeMatrix(code.Encode(), frame.code.width());
    if (matrix.width() > 0) {
        const double module = frame.code.width() / matrix.width();
        QPainterPath dark;
        dark.setFillRule(Qt::WindingFill);
        for (int y = 0; y < matrix.height(); ++y) {
            for (int x = 0; x < matrix.width();) {
                if (!matrix.get(x, y)) {
                    ++x;
                    continue;
                }
                int end = x;
                while (end < matrix.width() && matrix.get(end, y)) ++end;
                dark.addRect(frame.code.left() + x * module, frame.code.top() + y * module,
                             (end - x) * module, module);
                x = end;
            }
        }
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.fillPath(dark, Qt::black);
        painter.setRenderHint(QPainter::Antialiasing, true);
    }
    DrawText(painter,
             QRectF(frame.code.left() - 4, frame.code.bottom() + 1.5, frame.code.width() + 8, 4),
             Qt::AlignCenter,
             QStringLiteral("Version %1 \u00b7 sheet %2 of %3")
                 .arg(layout.version)
                 .arg(layout.sheetPage)
                 .arg(layout.sheetPages),
             7.5, false, grey);

    // The bubbles, each with its letter or digit inside; a question with
    // several answers carries the star after its number.
    painter.setPen(QPen(ink, 0.28));
    painter.setBrush(Qt::NoBrush);
    int lastQuestion = 0;
    for (const SheetBubble& bubble : layout.bubbles) {
        const QPointF centre(Mm(bubble.centre.x()), Mm(bubble.centre.y()));
        const double r = Mm(bubble.r);
        painter.drawEllipse(centre, r, r);
        const QRectF box(centre.x() - r, centre.y() - r, 2 * r, 2 * r);
        if (bubble.kind == SheetBubble::Kind::Student) {
            DrawText(painter, box, Qt::AlignCenter, QString::number(bubble.digit), 6.5, false,
                     grey);
            continue;
        }
        DrawText(painter, box, Qt::AlignCenter, QString(bubble.option), 6.5, false, grey);
        if (bubble.question == lastQuestion) continue;
        lastQuestion = bubble.question;
        // Since papers have an identity the star is smaller and stands clear
        // of bubble A, the number a little to the left to make room.
        const bool clear = code.Format() >= 2;
        const double numberRight = centre.x() - r - kStarMm - (clear ? 0.4 : 0);
        DrawText(painter, QRectF(numberRight - 10, centre.y() - 3, 10, 6),
                 Qt::AlignRight | Qt::AlignVCenter, QString::number(bubble.question), 9.5, true);
        const std::size_t q = std::size_t(bubble.question - 1);
        if (q < version.questions.size()) {
            const AnswerMask answer = version.questions[q].answer;
            if ((answer & (answer - 1)) != 0) {
                if (clear)
                    DrawText(painter,
                             QRectF(numberRight + 0.2, centre.y() - 2,
                                    centre.x() - r - kStarGapMm - numberRight - 0.2, 4),
                             Qt::AlignCenter, kStar, 5.5, true);
                else
                    DrawText(painter, QRectF(numberRight + 0.3, centre.y() - 2, kStarMm - 0.8, 4),
                             Qt::AlignCenter, kStar, 7, true);
            }
        }
        painter.setPen(QPen(ink, 0.28));
    }
    painter.restore();
}

QImage RenderBlankSheet(const SheetPageLayout& layout, const PaperVersion& version,
                        const SheetCode& code, double dpi) {
    const double pixelsPerPoint = dpi / 72;
    QImage image(int(std::ceil(layout.size.width() * pixelsPerPoint)),
                 int(std::ceil(layout.size.height() * pixelsPerPoint)), QImage::Format_RGB32);
    if (image.isNull()) return {};
    image.setDotsPerMeterX(int(std::lround(dpi / 0.0254)));
    image.setDotsPerMeterY(int(std::lround(dpi / 0.0254)));
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.scale(pixelsPerPoint, pixelsPerPoint);
        PaintAnswerSheet(painter, layout, version, code, QString());
    }
    return image.convertToFormat(QImage::Format_Grayscale8);
}

QByteArray SheetLayoutJson(const std::vector<std::pair<int, SheetPageLayout>>& pages) {
    const auto round = [](double value) { return std::round(value * 100) / 100; };
    QJsonArray list;
    for (const auto& [page, layout] : pages) {
        QJsonArray markers;
        for (const SheetMarker& marker : layout.markers)
            markers.append(
                QJsonObject{{QStringLiteral("x"), round(marker.centre.x())},
                            {QStringLiteral("y"), round(marker.centre.y())},
                            {QStringLiteral("size"), round(marker.size)},
                            {QStringLiteral("kind"),
                             marker.hollow ? QStringLiteral("hollow") : QStringLiteral("solid")}});
        QJsonArray bubbles;
        for (const SheetBubble& bubble : layout.bubbles) {
            QJsonObject object{{QStringLiteral("x"), round(bubble.centre.x())},
                               {QStringLiteral("y"), round(bubble.centre.y())},
                               {QStringLiteral("r"), round(bubble.r)}};
            if (bubble.kind == SheetBubble::Kind::Answer) {
                object.insert(QStringLiteral("kind"), QStringLiteral("answer"));
                object.insert(QStringLiteral("question"), bubble.question);
                object.insert(QStringLiteral("source"), bubble.source);
                object.insert(QStringLiteral("option"), QString(bubble.option));
            } else {
                object.insert(QStringLiteral("kind"), QStringLiteral("student"));
                object.insert(QStringLiteral("position"), bubble.position);
                object.insert(QStringLiteral("digit"), bubble.digit);
            }
            bubbles.append(object);
        }
        list.append(QJsonObject{{QStringLiteral("page"), page},
                                {QStringLiteral("version"), layout.version},
                                {QStringLiteral("sheet_page"), layout.sheetPage},
                                {QStringLiteral("width"), round(layout.size.width())},
                                {QStringLiteral("height"), round(layout.size.height())},
                                {QStringLiteral("markers"), markers},
                                {QStringLiteral("bubbles"), bubbles}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("pages"), list}})
        .toJson(QJsonDocument::Indented);
}

}  // namespace scrivane
