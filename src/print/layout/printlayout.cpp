#include "print/layout/printlayout.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFile>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <span>

#include "core/numbers.h"
#include "print/layout/printpictures.h"
#include "spreadsheet/codec/workbook.h"

namespace scrivane {

namespace {

constexpr double kMarginMm = 18;
constexpr double kFooterMm = 9;       // band at the foot of the printable area
constexpr double kQuestionGapMm = 4;  // between two questions
constexpr double kColumnGapMm = 6;    // between the two columns of options
constexpr double kBodyPoints = 11;
// A picture stays well inside a page, so that it never has to split.
constexpr double kPictureHeightOfPage = 0.8;
// Options side by side only while each one's pictures are small: a row of
// the two columns then always fits a page.
constexpr double kPicturesInColumns = 0.3;
constexpr int kPictureBlock = QTextFormat::UserProperty + 40;  // a block that holds a picture

// Families that together cover Latin, Greek, Cyrillic, Arabic and CJK; the
// font system falls back further for anything else.
QFont PrintFont(double points, bool bold = false) {
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPointSizeF(points);
    font.setBold(bold);
    // No ligatures where the script needs none, so "fi" is searched and copied
    // as the two letters it is; Arabic is still joined.
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

// Line breaks stay line breaks inside one paragraph, so a wrapped title keeps
// its hanging indent.
QString Printable(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    text.replace(u'\n', QChar::LineSeparator);
    return text;
}

// Small type on every key page: enough to print the same versions again.
QString SeedLine(const VersionSettings& versions) {
    const QString shuffled = versions.shuffleQuestions && versions.shuffleOptions
                                 ? QStringLiteral("questions and options shuffled")
                             : versions.shuffleQuestions ? QStringLiteral("questions shuffled")
                             : versions.shuffleOptions   ? QStringLiteral("options shuffled")
                                                         : QStringLiteral("not shuffled");
    return QStringLiteral("Seed %1 \u00B7 %2").arg(versions.seed).arg(shuffled);
}

QString MarkText(float score, const QLocale& locale) {
    const QString number = FormatSingle(score, locale.decimalPoint().at(0));
    return score == 1.0f ? QStringLiteral("(%1 point)").arg(number)
                         : QStringLiteral("(%1 points)").arg(number);
}

}  // namespace

// One laid-out print: the documents, and what goes on each page.
struct PrintLayout::Pages {
    struct Placement {
        QTextDocument* doc = nullptr;
        double y = 0;
        int docPage = -1;  // -1: the whole document; else one page of a paginated one
    };
    struct KeyBlock {
        const PaperVersion* version = nullptr;
        double x = 0, y = 0;
        int firstRow = 0,
            count = 0;  // rows of the key; the row after the last question is the total
        bool showSource = false;
    };
    struct Page {
        std::vector<Placement> items;
        const PaperVersion* sheet = nullptr;  // an answer sheet page
        std::vector<KeyBlock> keyBlocks;
        int version = 0;
        PrintPart part = PrintPart::Paper;
        int unitPage = 0, unitPages = 0;  // "Page 2 of 5" within the version's part
    };

    QPagedPaintDevice& device;
    const PrintSettings& settings;
    const QLocale& locale;
    std::vector<PlacedBlock>& map;
    double width = 0, height = 0;  // of the area above the footer, in device pixels
    // Before the documents, which draw with it until they go.
    PrintPictures pictures;
    std::vector<std::unique_ptr<QTextDocument>> docs;
    std::vector<Page> pages;
    double y = 0;
    std::size_t unitStart = 0;
    // A version's part: its pages, which print together.
    struct Unit {
        PrintPart part;
        std::size_t first, count;
    };
    std::vector<Unit> units;

    Pages(QPagedPaintDevice& d, const PrintSettings& s, const QLocale& l,
          std::vector<PlacedBlock>& m)
        : device(d), settings(s), locale(l), map(m) {
        width = d.width();
        height = d.height() - Mm(kFooterMm);
    }

    double Mm(double mm) const { return mm * device.logicalDpiY() / 25.4; }
    // Most lengths in a document's formats (top and bottom margins, tab
    // stops, table widths) count at 96 dots an inch and are scaled to the
    // device; left margins and indents are taken in device pixels as they are.
    double DocLength(double devicePixels) const { return devicePixels * 96 / device.logicalDpiY(); }
    double DocMm(double mm) const { return mm * 96 / 25.4; }

    QTextDocument* NewDoc() {
        auto doc = std::make_unique<QTextDocument>();
        doc->documentLayout()->setPaintDevice(&device);
        doc->setDefaultFont(PrintFont(kBodyPoints));
        doc->setDocumentMargin(0);
        doc->setTextWidth(width);
        pictures.Attach(doc.get());
        docs.push_back(std::move(doc));
        return docs.back().get();
    }

    void StartUnit(int version, PrintPart part) {
        unitStart = pages.size();
        pages.push_back({});
        pages.back().version = version;
        pages.back().part = part;
        y = 0;
    }
    void NewPage() {
        const Page& last = pages.back();
        Page page;
        page.version = last.version;
        page.part = last.part;
        pages.push_back(std::move(page));
        y = 0;
    }
    void EndUnit() {
        const int count = int(pages.size() - unitStart);
        for (int i = 0; i < count; ++i) {
            pages[unitStart + std::size_t(i)].unitPage = i + 1;
            pages[unitStart + std::size_t(i)].unitPages = count;
        }
        units.push_back({pages[unitStart].part, unitStart, std::size_t(count)});
    }

    // Places a block below the last one, on a new page when it does not fit;
    // a block taller than a page runs over as many pages as it needs.
    void Place(QTextDocument* doc, PlacedBlock block, double gapAfter) {
        const double h = doc->size().height();
        const bool pageEmpty = pages.back().items.empty();
        if (h <= height) {
            if (!pageEmpty && y + h > height) NewPage();
            block.firstPage = block.lastPage = int(pages.size()) - 1;
            pages.back().items.push_back({doc, y, -1});
            y += h + gapAfter;
        } else {
            if (!pageEmpty) NewPage();
            block.firstPage = int(pages.size()) - 1;
            doc->setPageSize(QSizeF(width, height));
            KeepPicturesWhole(doc);
            const int count = doc->pageCount();
            for (int k = 0; k < count; ++k) {
                if (k > 0) NewPage();
                pages.back().items.push_back({doc, 0, k});
            }
            const QRectF last = doc->documentLayout()->blockBoundingRect(doc->lastBlock());
            y = last.bottom() - (count - 1) * height + gapAfter;
            block.lastPage = int(pages.size()) - 1;
        }
        map.push_back(block);
    }

    // A picture that would cross the foot of a page starts the next one
    // instead (its table row, in two columns), so that it is never split.
    void KeepPicturesWhole(QTextDocument* doc) const {
        QAbstractTextDocumentLayout* layout = doc->documentLayout();
        // Each round moves one picture (or table) down, each at most once.
        for (int round = 0; round <= doc->blockCount(); ++round) {
            bool moved = false;
            for (QTextBlock block = doc->begin(); block.isValid() && !moved;
                 block = block.next()) {
                if (!block.blockFormat().boolProperty(kPictureBlock)) continue;
                QRectF rect = layout->blockBoundingRect(block);
                QTextCursor cursor(block);
                QTextTable* table = cursor.currentTable();
                if (table) rect.translate(0, layout->frameBoundingRect(table).top());
                const double top = rect.top() + block.blockFormat().topMargin();
                if (std::floor(top / height) == std::floor((rect.bottom() - 1) / height)) continue;
                if (table) {
                    QTextTableFormat format = table->format();
                    if (format.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore) continue;
                    format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
                    table->setFormat(format);
                } else {
                    QTextBlockFormat format;
                    format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
                    cursor.mergeBlockFormat(format);
                }
                moved = true;
            }
            if (!moved) return;
        }
    }

    static QTextCharFormat Plain(double points = kBodyPoints, bool bold = false) {
        QTextCharFormat format;
        format.setFont(PrintFont(points, bold));
        return format;
    }

    void HeadingLines(QTextCursor& cursor, const PaperVersion& version, int versionCount,
                      const QString& partName) {
        QTextBlockFormat centred;
        centred.setAlignment(Qt::AlignHCenter);
        QTextCharFormat big;
        big.setFont(PrintFont(16, true));
        cursor.setBlockFormat(centred);
        cursor.insertText(Printable(settings.heading), big);
        if (!settings.subheading.isEmpty()) {
            QTextCharFormat sub;
            sub.setFont(PrintFont(12.5));
            cursor.insertBlock(centred);
            cursor.insertText(Printable(settings.subheading), sub);
        }
        QStringList line;
        if (!partName.isEmpty()) line << partName;
        if (versionCount > 1) line << QStringLiteral("Version %1").arg(version.name);
        if (!line.isEmpty()) {
            QTextCharFormat bold;
            bold.setFont(PrintFont(12.5, true));
            cursor.insertBlock(centred);
            cursor.insertText(line.join(QStringLiteral(" \u2013 ")), bold);
        }
    }

    // Each picture on a line of its own under the text it belongs to, in
    // `room` device pixels of width; one that cannot be drawn is named.
    void InsertPictures(QTextCursor& cursor, const QList<Picture>& list, QTextBlockFormat format,
                        double room) {
        format.setTextIndent(0);
        format.setTopMargin(DocMm(1));
        format.setProperty(kPictureBlock, true);
        for (const Picture& picture : list) {
            cursor.insertBlock(format);
            if (const auto object = pictures.Format(picture, room, height * kPictureHeightOfPage,
                                                    device.logicalDpiX())) {
                cursor.insertText(QString(QChar::ObjectReplacementCharacter), *object);
            } else {
                QTextCharFormat note = Plain(kBodyPoints - 1);
                note.setFontItalic(true);
                cursor.insertText(
                    QStringLiteral("[picture %1 cannot be drawn]").arg(picture.Name).simplified(),
                    note);
            }
        }
    }

    // How tall the pictures stand one under another in `room` of width.
    double PicturesHeight(const QList<Picture>& list, double room) {
        double total = 0;
        for (const Picture& picture : list)
            if (const auto object = pictures.Format(picture, room, height * kPictureHeightOfPage,
                                                    device.logicalDpiX()))
                total += object->doubleProperty(PrintPictures::kHeightProperty) + Mm(1);
        return total;
    }

    void NameLines(QTextCursor& cursor) {
        QTextBlockFormat format;
        format.setTopMargin(DocMm(4));
        cursor.insertBlock(format);
        cursor.insertText(QStringLiteral("Name: ") + QString(34, u'_') +
                              QStringLiteral("    Class: ") + QString(16, u'_'),
                          Plain());
    }

    void PaperUnit(int v, const PaperVersion& version, int versionCount) {
        StartUnit(v, PrintPart::Paper);
        QTextDocument* head = NewDoc();
        QTextCursor cursor(head);
        HeadingLines(cursor, version, versionCount, {});
        double total = 0;
        for (const PrintedQuestion& q : version.questions) total += q.score;
        QTextBlockFormat centred;
        centred.setAlignment(Qt::AlignHCenter);
        centred.setTopMargin(DocMm(2));
        cursor.insertBlock(centred);
        cursor.insertText(QStringLiteral("Questions: %1    Total marks: %2")
                              .arg(version.questions.size())
                              .arg(FormatSingle(float(total), locale.decimalPoint().at(0))),
                          Plain());
        if (settings.nameLines) NameLines(cursor);
        Place(head, {v, PrintPart::Paper, -1, 0, 0}, Mm(7));

        const QFont body = PrintFont(kBodyPoints);
        const QFontMetricsF metrics(body, &device);
        const double indent = metrics.horizontalAdvance(QStringLiteral("100. "));
        for (std::size_t i = 0; i < version.questions.size(); ++i) {
            Place(QuestionDoc(version.questions[i], int(i) + 1, metrics, indent),
                  {v, PrintPart::Paper, int(i), 0, 0}, Mm(kQuestionGapMm));
        }
        EndUnit();
    }

    QTextDocument* QuestionDoc(const PrintedQuestion& q, int number, const QFontMetricsF& metrics,
                               double indent) {
        QTextDocument* doc = NewDoc();
        QTextCursor cursor(doc);
        QTextBlockFormat hanging;
        // The number leads on the left even when the title starts in Arabic.
        hanging.setLayoutDirection(Qt::LeftToRight);
        hanging.setLeftMargin(indent);
        hanging.setTextIndent(-indent);
        cursor.setBlockFormat(hanging);
        QTextCharFormat bold;
        bold.setFont(PrintFont(kBodyPoints, true));
        cursor.insertText(QStringLiteral("%1.").arg(number), bold);
        QTextCharFormat plain;
        plain.setFont(PrintFont(kBodyPoints));
        // A tab lines the title up with the indent of its wrapped lines.
        hanging.setTabPositions({QTextOption::Tab(DocLength(indent), QTextOption::LeftTab)});
        cursor.setBlockFormat(hanging);
        // A question without option texts prints its letters, for questions
        // written on the board; they take the title's place when it is empty.
        const bool blankOptions =
            std::all_of(q.options.begin(), q.options.end(), [](const PrintedOption& option) {
                return option.text.isEmpty() && option.pictures.isEmpty();
            });
        QStringList letters;
        for (const PrintedOption& option : q.options) letters << QString(option.letter);
        const bool lettersAsTitle = blankOptions && q.title.isEmpty();
        cursor.insertText(
            QStringLiteral("\t") + (lettersAsTitle ? letters.join(u' ') : Printable(q.title)),
            plain);
        if (std::popcount(unsigned(q.answer)) >= 2) {
            QTextCharFormat note = plain;
            note.setFontItalic(true);
            cursor.insertText(QStringLiteral(" (choose all that apply)"), note);
        }
        if (settings.marks) {
            QTextCharFormat mark;
            mark.setFont(PrintFont(kBodyPoints - 1));
            mark.setForeground(QColor(0x44, 0x44, 0x44));
            cursor.insertText(QStringLiteral("  ") + MarkText(q.score, locale), mark);
        }
        if (!q.titlePictures.isEmpty()) {
            QTextBlockFormat under;
            under.setLayoutDirection(Qt::LeftToRight);
            under.setLeftMargin(indent);
            InsertPictures(cursor, q.titlePictures, under, width - indent);
        }
        if (q.options.empty() || lettersAsTitle) return doc;
        if (blankOptions) {
            QTextBlockFormat line;
            line.setLayoutDirection(Qt::LeftToRight);
            line.setTopMargin(DocMm(0.5));
            line.setLeftMargin(indent);
            cursor.insertBlock(line);
            cursor.insertText(letters.join(u' '), plain);
            return doc;
        }

        const double columnWidth = (width - indent - Mm(kColumnGapMm)) / 2;
        bool twoColumns = q.options.size() > 1;
        QStringList texts;
        for (const PrintedOption& option : q.options) {
            texts << QString(option.letter) + QStringLiteral(". ") + Printable(option.text);
            twoColumns = twoColumns && !option.text.contains(u'\n') &&
                         metrics.horizontalAdvance(texts.back()) <= columnWidth &&
                         PicturesHeight(option.pictures, columnWidth) <= height * kPicturesInColumns;
        }
        QTextBlockFormat optionFormat;
        optionFormat.setLayoutDirection(Qt::LeftToRight);
        optionFormat.setTopMargin(DocMm(0.5));
        if (twoColumns) {
            QTextTableFormat table;
            table.setBorderStyle(QTextFrameFormat::BorderStyle_None);
            table.setBorder(0);
            table.setCellPadding(0);
            table.setCellSpacing(0);
            table.setLeftMargin(DocLength(indent));
            table.setWidth(QTextLength(QTextLength::FixedLength, DocLength(width - indent)));
            table.setColumnWidthConstraints(
                {QTextLength(QTextLength::FixedLength, DocLength(columnWidth + Mm(kColumnGapMm))),
                 QTextLength(QTextLength::FixedLength, DocLength(columnWidth))});
            const int rows = int(texts.size() + 1) / 2;
            cursor.movePosition(QTextCursor::End);
            QTextTable* grid = cursor.insertTable(rows, 2, table);
            const double letterWidth = metrics.horizontalAdvance(QStringLiteral("M. "));
            for (int k = 0; k < int(texts.size()); ++k) {
                QTextCursor cell = grid->cellAt(k / 2, k % 2).firstCursorPosition();
                cell.setBlockFormat(optionFormat);
                cell.insertText(texts[k], plain);
                QTextBlockFormat under = optionFormat;
                under.setLeftMargin(letterWidth);
                InsertPictures(cell, q.options[std::size_t(k)].pictures, under,
                               columnWidth - letterWidth);
            }
            // The paragraph that follows a table takes no room.
            QTextCursor after(doc);
            after.movePosition(QTextCursor::End);
            QTextCharFormat tiny;
            tiny.setFont(PrintFont(1));
            QTextBlockFormat flat;
            flat.setLineHeight(0, QTextBlockFormat::FixedHeight);
            after.setBlockFormat(flat);
            after.setBlockCharFormat(tiny);
        } else {
            const double letterWidth = metrics.horizontalAdvance(QStringLiteral("M. "));
            QTextBlockFormat option = optionFormat;
            option.setLeftMargin(indent + letterWidth);
            option.setTextIndent(-letterWidth);
            for (int k = 0; k < int(texts.size()); ++k) {
                cursor.insertBlock(option);
                cursor.insertText(texts[k], plain);
                InsertPictures(cursor, q.options[std::size_t(k)].pictures, option,
                               width - indent - letterWidth);
            }
        }
        return doc;
    }

    // The key is a table of short cells drawn directly: a text document's
    // table costs more than all the questions together. Its rows run down in
    // as many blocks side by side as the width takes, the header atop each.
    void KeyUnit(int v, const PaperVersion& version, int versionCount, bool showSource) {
        StartUnit(v, PrintPart::Key);
        QTextDocument* head = NewDoc();
        QTextCursor cursor(head);
        HeadingLines(cursor, version, versionCount, QStringLiteral("Answer key"));
        Place(head, {v, PrintPart::Key, -1, 0, 0}, Mm(4));
        const std::size_t firstPage = pages.size() - 1;

        const int columns = showSource ? 4 : 3;
        const double blockWidth = KeyColumnX(columns);
        const double gap = Mm(8);
        const int across = std::max(1, int((width + gap) / (blockWidth + gap)));
        const int rows = int(version.questions.size()) + 1;  // and the total
        int row = 0;
        while (row < rows) {
            const int fit = int((height - SeedBand() - y) / KeyRowHeight()) - 1;
            if (fit < 1) {
                NewPage();
                continue;
            }
            // Blocks on this page, centred as a group.
            const int blocks = std::min(across, (rows - row + fit - 1) / fit);
            double x = (width - blocks * blockWidth - (blocks - 1) * gap) / 2;
            int tallest = 0;
            for (int b = 0; b < blocks && row < rows; ++b) {
                const int count = std::min(fit, rows - row);
                pages.back().keyBlocks.push_back({&version, x, y, row, count, showSource});
                tallest = std::max(tallest, count);
                row += count;
                x += blockWidth + gap;
            }
            y += (tallest + 1) * KeyRowHeight();
        }
        map.push_back({v, PrintPart::Key, -1, int(firstPage), int(pages.size()) - 1});
        EndUnit();
    }

    double KeyRowHeight() const { return Mm(6); }
    // The room kept at the foot of a key page for its seed line.
    double SeedBand() const { return Mm(5); }

    void PaintSeedLine(QPainter& painter) const {
        painter.save();
        painter.setFont(PrintFont(7.5));
        painter.setPen(QColor(0x44, 0x44, 0x44));
        painter.drawText(QRectF(0, height - SeedBand(), width, SeedBand()),
                         Qt::AlignHCenter | Qt::AlignVCenter, SeedLine(settings.versions));
        painter.restore();
    }
    // The left edge of key column c, and the width of the block for c = columns.
    double KeyColumnX(int c) const {
        static constexpr double kWidthsMm[] = {14, 24, 16, 22};
        double x = 0;
        for (int i = 0; i < c; ++i) x += Mm(kWidthsMm[i]);
        return x;
    }

    // The pictures of a question's correct options, which its key row shows
    // beside the letters so that a shuffled picture is seen to go with its letter.
    static QList<Picture> AnswerPictures(const PrintedQuestion& q) {
        QList<Picture> list;
        for (std::size_t k = 0; k < q.options.size(); ++k)
            if (q.answer & (1u << k)) list += q.options[k].pictures;
        return list;
    }

    void PaintKeyBlock(QPainter& painter, const KeyBlock& block) {
        const PaperVersion& version = *block.version;
        const int columns = block.showSource ? 4 : 3;
        const double h = KeyRowHeight();
        const QFont plain = PrintFont(10), bold = PrintFont(10, true);
        const QChar point = locale.decimalPoint().at(0);
        auto rowTexts = [&](int row) -> QStringList {
            if (row < 0)
                return {QStringLiteral("No."), QStringLiteral("Answer"), QStringLiteral("Mark"),
                        QStringLiteral("Paper No.")};
            if (row == int(version.questions.size())) {
                double total = 0;
                for (const PrintedQuestion& q : version.questions) total += q.score;
                return {QStringLiteral("Total"), QString(), FormatSingle(float(total), point),
                        QString()};
            }
            const PrintedQuestion& q = version.questions[std::size_t(row)];
            return {QString::number(row + 1), q.KeyText(), FormatSingle(q.score, point),
                    QString::number(q.source)};
        };
        painter.setPen(QPen(Qt::black, Mm(0.2)));
        for (int r = -1; r < block.count; ++r) {
            const int row = r < 0 ? -1 : block.firstRow + r;
            const double top = block.y + (r + 1) * h;
            const QStringList texts = rowTexts(row);
            const bool strong = row < 0 || row == int(version.questions.size());
            if (row < 0)
                painter.fillRect(QRectF(block.x, top, KeyColumnX(columns), h),
                                 QColor(0xee, 0xee, 0xee));
            const QList<Picture> shown =
                strong ? QList<Picture>{} : AnswerPictures(version.questions[std::size_t(row)]);
            for (int c = 0; c < columns; ++c) {
                const QRectF cell(block.x + KeyColumnX(c), top, KeyColumnX(c + 1) - KeyColumnX(c),
                                  h);
                painter.drawRect(cell);
                painter.setFont(strong || c == 1 ? bold : plain);
                if (c != 1 || shown.isEmpty()) {
                    painter.drawText(cell, Qt::AlignCenter, texts[c]);
                    continue;
                }
                // The letters on the left, the pictures small in the rest.
                const double pad = Mm(0.7);
                const QRectF letters(cell.left() + pad, top,
                                     QFontMetricsF(painter.font(), painter.device())
                                             .horizontalAdvance(texts[c]) + pad,
                                     h);
                painter.drawText(letters, Qt::AlignLeft | Qt::AlignVCenter, texts[c]);
                const double side = h - 2 * pad;
                const int fit = std::max(1, int((cell.right() - letters.right()) / (side + pad)));
                for (int k = 0; k < std::min(fit, int(shown.size())); ++k)
                    pictures.DrawFitted(painter, shown[k],
                                        QRectF(letters.right() + k * (side + pad), top + pad,
                                               side, side));
            }
        }
    }

    // The answer sheet is a page of its own, laid out over the whole paper.
    void SheetUnit(int v, const PaperVersion& version) {
        StartUnit(v, PrintPart::AnswerSheet);
        pages.back().sheet = &version;
        map.push_back(
            {v, PrintPart::AnswerSheet, -1, int(pages.size()) - 1, int(pages.size()) - 1});
        EndUnit();
    }

    // Paints the sheet over the whole paper rather than inside the margins,
    // scaled down only where the paper is smaller than the sheet.
    SheetPageLayout PaintSheet(QPainter& painter, const PaperVersion& version) const {
        const QPageLayout page = device.pageLayout();
        const bool letter = page.pageSize().id() == QPageSize::Letter;
        SheetPageLayout sheet = LayOutAnswerSheet(version, settings.idDigits, letter);
        SheetCode code;
        code.paperDigest = settings.paperDigest;
        code.textDigest = settings.textDigest;
        code.paperId = settings.paperId;
        code.version = version.name;
        code.versions = settings.versions;
        code.idDigits = std::clamp(settings.idDigits, 0, kMaxIdDigits);
        code.letterPaper = letter;
        QStringList headings;
        for (const QString& line : {settings.heading, settings.subheading})
            if (!line.trimmed().isEmpty()) headings << line.trimmed();
        const QString heading = headings.join(QStringLiteral(" \u2013 "));

        const int dpi = device.logicalDpiX();
        const QRect paper = page.fullRectPixels(dpi), printable = page.paintRectPixels(dpi);
        const QSizeF paperPoints = page.fullRectPoints().size();
        const double fit = std::min({1.0, paperPoints.width() / sheet.size.width(),
                                     paperPoints.height() / sheet.size.height()});
        const QPointF offset((paperPoints.width() - sheet.size.width() * fit) / 2,
                             (paperPoints.height() - sheet.size.height() * fit) / 2);
        painter.save();
        painter.translate(paper.left() - printable.left(), paper.top() - printable.top());
        painter.scale(dpi / 72.0, dpi / 72.0);
        painter.translate(offset);
        painter.scale(fit, fit);
        PaintAnswerSheet(painter, sheet, version, code, heading);
        painter.restore();
        // Where the sheet landed on the paper, in points.
        const QTransform placed = QTransform::fromTranslate(offset.x(), offset.y()).scale(fit, fit);
        for (SheetMarker& marker : sheet.markers) {
            marker.centre = placed.map(marker.centre);
            marker.size *= fit;
        }
        for (SheetBubble& bubble : sheet.bubbles) {
            bubble.centre = placed.map(bubble.centre);
            bubble.r *= fit;
        }
        sheet.code = placed.mapRect(sheet.code);
        sheet.versionSquares = placed.mapRect(sheet.versionSquares);
        sheet.size = paperPoints;
        return sheet;
    }

    void PaintFooter(QPainter& painter, const Page& page, const QString& versionName,
                     int versionCount) const {
        painter.setFont(PrintFont(8));
        painter.setPen(QPen(QColor(0x55, 0x55, 0x55), Mm(0.2)));
        const double top = height + Mm(kFooterMm) - Mm(5);
        painter.drawLine(QPointF(0, top - Mm(1)), QPointF(width, top - Mm(1)));
        const QRectF band(0, top, width, Mm(5));
        QString heading = settings.heading;
        heading.replace(u'\n', u' ');
        painter.drawText(
            band, Qt::AlignLeft | Qt::AlignVCenter,
            painter.fontMetrics().elidedText(heading, Qt::ElideRight, int(width * 0.45)));
        if (versionCount > 1)
            painter.drawText(band, Qt::AlignHCenter | Qt::AlignVCenter,
                             QStringLiteral("Version %1").arg(versionName));
        painter.drawText(band, Qt::AlignRight | Qt::AlignVCenter,
                         QStringLiteral("Page %1 of %2").arg(page.unitPage).arg(page.unitPages));
    }
};

PrintLayout::PrintLayout(std::vector<PaperVersion> versions, PrintSettings settings, QLocale locale)
    : versions_(std::move(versions)), settings_(std::move(settings)), locale_(std::move(locale)) {}

PrintLayout::~PrintLayout() = default;

bool PrintLayout::Render(QPagedPaintDevice& device, int copies) {
    pageMap_.clear();
    pageCount_ = 0;
    sheetPages_.clear();
    copies = std::max(1, copies);
    device.setPageMargins(QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                          QPageLayout::Millimeter);
    Pages pages(device, settings_, locale_, pageMap_);
    const int count = int(versions_.size());
    const bool showSource = settings_.versions.shuffleQuestions;
    // By part, so that the students' copies and the keys come apart: every
    // version's paper, then every version's sheet, then the keys.
    if (settings_.paper)
        for (int v = 0; v < count; ++v) pages.PaperUnit(v, versions_[std::size_t(v)], count);
    if (settings_.answerSheet)
        for (int v = 0; v < count; ++v) pages.SheetUnit(v, versions_[std::size_t(v)]);
    if (settings_.key)
        for (int v = 0; v < count; ++v)
            pages.KeyUnit(v, versions_[std::size_t(v)], count, showSource);
    if (pages.pages.empty()) return false;

    // Papers and sheets are printed once a copy, each version's together;
    // a key once.
    std::vector<std::size_t> sequence;
    std::vector<int> printedAt(pages.pages.size(), -1);
    for (const Pages::Unit& unit : pages.units) {
        const int times = unit.part == PrintPart::Key ? 1 : copies;
        for (int t = 0; t < times; ++t)
            for (std::size_t p = unit.first; p < unit.first + unit.count; ++p) {
                if (printedAt[p] < 0) printedAt[p] = int(sequence.size());
                sequence.push_back(p);
            }
    }
    for (PlacedBlock& block : pageMap_) {
        block.firstPage = printedAt[std::size_t(block.firstPage)];
        block.lastPage = printedAt[std::size_t(block.lastPage)];
    }

    QPainter painter;
    if (!painter.begin(&device)) return false;
    for (std::size_t s = 0; s < sequence.size(); ++s) {
        const Pages::Page& page = pages.pages[sequence[s]];
        if (s > 0) device.newPage();
        for (const Pages::Placement& item : page.items) {
            painter.save();
            QAbstractTextDocumentLayout::PaintContext context;
            if (item.docPage < 0) {
                painter.translate(0, item.y);
                context.clip = QRectF(0, 0, pages.width, item.doc->size().height());
            } else {
                const double offset = item.docPage * pages.height;
                painter.translate(0, item.y - offset);
                context.clip = QRectF(0, offset, pages.width, pages.height);
            }
            painter.setClipRect(context.clip);
            item.doc->documentLayout()->draw(&painter, context);
            painter.restore();
        }
        for (const Pages::KeyBlock& block : page.keyBlocks) pages.PaintKeyBlock(painter, block);
        if (page.part == PrintPart::Key) pages.PaintSeedLine(painter);
        // The sheet carries its version and heading itself; a footer would
        // crowd its bottom markers.
        if (page.sheet)
            sheetPages_.emplace_back(int(s) + 1, pages.PaintSheet(painter, *page.sheet));
        else
            pages.PaintFooter(painter, page, versions_[std::size_t(page.version)].name, count);
    }
    painter.end();
    pageCount_ = int(sequence.size());
    return true;
}

QPageSize LocalePageSize(const QLocale& locale) {
    return QPageSize(locale.measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter
                                                                             : QPageSize::A4);
}

QString WritePdf(const QString& path, PrintLayout& layout, const QLocale& locale) {
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageSize(LocalePageSize(locale));
        writer.setResolution(600);
        writer.setCreator(QStringLiteral("Scrivane"));
        if (!layout.Render(writer)) return QStringLiteral("The pages could not be laid out.");
    }
    return WriteBytesSafely(path, bytes);
}

}  // namespace scrivane
