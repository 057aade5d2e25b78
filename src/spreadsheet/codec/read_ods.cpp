// OpenDocument spreadsheet content: tables of rows and cells, where runs of
// equal rows and cells are written once with a repeat count.
#include "spreadsheet/codec/read_ods.h"

#include <charconv>
#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "spreadsheet/codec/officeart.h"
#include "spreadsheet/codec/read_internal.h"
#include "spreadsheet/codec/read_xml.h"
#include "spreadsheet/codec/zip.h"

namespace scrivane::codec::detail {
namespace {

using Token = XmlReader::Token;

bool IsXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A repeat count: 1 when absent; a bad one is damage.
std::size_t Repeat(const std::string* text) {
    if (!text) return 1;
    std::size_t value = 0;
    const auto [ptr, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (ec != std::errc() || ptr != text->data() + text->size() || value == 0)
        Damaged("bad repeat count");
    return value;
}

double ParseDouble(const std::string& text) {
    std::string_view s(text);
    while (!s.empty() && IsXmlSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsXmlSpace(s.back())) s.remove_suffix(1);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    double value = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ec != std::errc() || ptr != s.data() + s.size() || !std::isfinite(value))
        Damaged("bad number in a cell");
    return value;
}

// "2.258cm" and the like as a width in characters of the default font, the
// unit of the other workbook formats (7 pixels a character and 5 of margin
// at 96 pixels an inch).
std::optional<double> WidthInCharacters(const std::string& length) {
    static const std::pair<std::string_view, double> units[] = {
        {"in", 1.0}, {"cm", 1 / 2.54}, {"mm", 1 / 25.4}, {"pt", 1 / 72.0}, {"pc", 1 / 6.0}};
    for (const auto& [unit, perInch] : units) {
        if (length.size() <= unit.size() || !length.ends_with(unit)) continue;
        double value = 0;
        const char* end = length.data() + length.size() - unit.size();
        const auto [ptr, ec] = std::from_chars(length.data(), end, value);
        if (ec != std::errc() || ptr != end || !std::isfinite(value) || value < 0) return {};
        const double characters = (value * perInch * 96 - 5) / 7;
        return std::max(0.0, std::round(characters * 100) / 100);
    }
    return std::nullopt;
}

// "2024-01-05T08:30:00" as a spreadsheet shows a date: 2024-01-05 08:30.
std::string IsoDateText(const std::string& value) {
    const std::size_t t = value.find('T');
    if (t == std::string::npos) return value;
    std::string time = value.substr(t + 1);
    if (time.size() > 8) time.resize(8);  // no fractions of a second
    if (time.ends_with(":00") && time.size() == 8) time.resize(5);
    if (time == "00:00") return value.substr(0, t);
    return value.substr(0, t) + ' ' + time;
}

struct Styles {
    std::map<std::string, double> columnWidths;  // table-column styles
    std::map<std::string, bool> wrap;            // table-cell styles
};

// A picture framed in a cell: where it is, the member it names, its title.
struct FramedPicture {
    std::size_t sheet = 0;  // index of its sheet
    int row = 0, column = 0;
    std::string href, title;
};

class ContentParser {
public:
    // The pictures framed in the cells read, in document order.
    std::vector<FramedPicture> frames;

    // activeSheet: the name of the sheet the document opens on, if known.
    ContentParser(ReadBudget& budget, std::optional<std::string> activeSheet)
        : budget_(budget), activeSheet_(std::move(activeSheet)) {}

    Workbook Parse(std::string_view xml) {
        XmlReader reader(xml);
        for (Token t; (t = reader.Next()) != Token::End;) {
            if (t == Token::StartElement)
                Start(reader);
            else if (t == Token::EndElement)
                End(reader);
            else if (t == Token::Text)
                Text(reader.Text());
        }
        if (book_.sheets.empty()) Damaged("no sheets");
        return std::move(book_);
    }

private:
    void Start(const XmlReader& reader) {
        const std::string_view name = reader.Name();
        if (skipDepth_) {
            // Inside a cell's frame: its first image and its title.
            if (!inFrame_) return;
            if (name == "image" && frameHref_.empty()) {
                if (const std::string* href = reader.Attribute("href")) frameHref_ = *href;
            } else if (name == "title" && reader.Depth() == skipDepth_ + 1) {
                inTitle_ = true;
            }
            return;
        }
        if (inCell_) {
            StartInCell(reader, name);
            return;
        }
        if (name == "style") {
            const std::string* styleName = reader.Attribute("name");
            style_ = styleName ? *styleName : std::string();
        } else if (name == "table-column-properties" && !style_.empty()) {
            if (const std::string* width = reader.Attribute("column-width"))
                if (const auto characters = WidthInCharacters(*width))
                    styles_.columnWidths[style_] = *characters;
        } else if (name == "table-cell-properties" && !style_.empty()) {
            const std::string* wrap = reader.Attribute("wrap-option");
            if (wrap && *wrap == "wrap") styles_.wrap[style_] = true;
        } else if (name == "table" && !sheet_) {
            if (book_.sheets.size() >= kMaxSheets) Fail("the workbook has too many sheets");
            sheet_ = &book_.sheets.emplace_back();
            const std::string* sheetName = reader.Attribute("name");
            sheet_->name = sheetName ? *sheetName : std::string();
            budget_.AddText(sheet_->name.size());
            row_ = 1;
            nextColumn_ = 1;
            // Only the sheet the document opens on keeps cells when the
            // read is limited to it.
            keepCells_ = !budget_.Scope().activeSheetOnly ||
                         (activeSheet_ ? sheet_->name == *activeSheet_ : book_.sheets.size() == 1);
        } else if (!sheet_) {
            return;
        } else if (name == "table-column") {
            Column(reader);
        } else if (name == "table-row") {
            rowRepeat_ = Repeat(reader.Attribute("number-rows-repeated"));
            column_ = 1;
            rowCells_.clear();
        } else if (name == "table-cell" || name == "covered-table-cell") {
            StartCell(reader);
        }
    }

    void StartInCell(const XmlReader& reader, std::string_view name) {
        // Comments, drawings and nested tables are not the cell's text.
        if (name == "annotation" || name == "frame" || name == "custom-shape" || name == "table") {
            skipDepth_ = reader.Depth();
            inFrame_ = name == "frame";
            frameHref_.clear();
            frameTitle_.clear();
            return;
        }
        if (name == "p" || name == "h") {
            pendingSpace_ = false;
            if (paragraphs_++ > 0) Append("\n");
            atParagraphStart_ = true;
            inParagraph_ = true;
        } else if (name == "s") {
            std::size_t count = Repeat(reader.Attribute("c"));
            if (count > kMaxCellUnits) Fail("a cell holds more than 32767 characters");
            Append(std::string(count, ' '));
        } else if (name == "tab") {
            Append("\t");
        } else if (name == "line-break") {
            Append("\n");
        }
    }

    void End(const XmlReader& reader) {
        const std::string_view name = reader.Name();
        if (skipDepth_) {
            if (name == "title") inTitle_ = false;
            if (reader.Depth() + 1 == skipDepth_) {
                skipDepth_ = 0;
                if (inFrame_ && !frameHref_.empty()) {
                    budget_.AddWork(1);
                    cellFrames_.push_back({0, 0, 0, frameHref_, frameTitle_});
                }
                inFrame_ = false;
            }
            return;
        }
        if (inCell_) {
            if (name == "table-cell" || name == "covered-table-cell") FinishCell();
            if (name == "p" || name == "h") {
                // Blanks at the end of a paragraph count (once), as at its
                // start they do not.
                if (pendingSpace_) Append("");
                inParagraph_ = false;
            }
            return;
        }
        if (name == "style") {
            style_.clear();
        } else if (name == "table-row" && sheet_) {
            FinishRow();
        } else if (name == "table" && sheet_) {
            sheet_ = nullptr;
        }
    }

    // Character data of a paragraph: a run of blanks counts as one, and none
    // at the start of the paragraph; <text:s/> writes the blanks that count.
    void Text(const std::string& text) {
        if (inTitle_ && frameTitle_.size() + text.size() <= 4 * kMaxCellUnits) frameTitle_ += text;
        if (!inCell_ || skipDepth_ || !inParagraph_) return;
        std::string kept;
        bool pending = pendingSpace_;
        for (const char c : text) {
            if (IsXmlSpace(c)) {
                pending = pending || !atParagraphStart_ || !kept.empty();
                continue;
            }
            if (pending) kept.push_back(' ');
            pending = false;
            kept.push_back(c);
        }
        if (!kept.empty()) Append(kept, false);
        pendingSpace_ = pending;  // a run at the end waits for what follows
    }

    void Append(const std::string& text, bool flushSpace = true) {
        if (flushSpace && pendingSpace_) text_.push_back(' ');
        pendingSpace_ = false;
        atParagraphStart_ = false;
        if (text_.size() + text.size() > 4 * kMaxCellUnits)
            Fail("a cell holds more than 32767 characters");
        text_ += text;
    }

    void Column(const XmlReader& reader) {
        const std::size_t repeat = Repeat(reader.Attribute("number-columns-repeated"));
        const std::string* style = reader.Attribute("style-name");
        const std::string* cellStyle = reader.Attribute("default-cell-style-name");
        std::optional<double> width;
        if (style) {
            const auto it = styles_.columnWidths.find(*style);
            if (it != styles_.columnWidths.end()) width = it->second;
        }
        const bool wrap = cellStyle && styles_.wrap.count(*cellStyle);
        const std::size_t first = nextColumn_;
        nextColumn_ = std::min<std::size_t>(nextColumn_ + repeat, kMaxColumn + 1);
        if ((!width && !wrap) || !keepCells_) return;
        const std::size_t end =
            std::min<std::size_t>(nextColumn_, std::size_t(budget_.Scope().lastColumn) + 1);
        if (end > first) budget_.AddWork(end - first);
        for (std::size_t c = first; c < end; ++c) {
            if (width) sheet_->columnWidths[int(c)] = *width;
            if (wrap) sheet_->wrapColumns.insert(int(c));
        }
    }

    void StartCell(const XmlReader& reader) {
        inCell_ = true;
        cellRepeat_ = Repeat(reader.Attribute("number-columns-repeated"));
        const std::string* type = reader.Attribute("value-type");
        type_ = type ? *type : std::string();
        const std::string* value = reader.Attribute(
            type_ == "boolean" ? "boolean-value" : (type_ == "date" ? "date-value" : "value"));
        value_ = value ? *value : std::string();
        hasValue_ = value != nullptr;
        text_.clear();
        paragraphs_ = 0;
        pendingSpace_ = false;
        inParagraph_ = false;
        cellFrames_.clear();
    }

    void FinishCell() {
        inCell_ = false;
        Cell cell;
        if ((type_ == "float" || type_ == "percentage" || type_ == "currency") && hasValue_) {
            cell = Cell::Number(ParseDouble(value_));
        } else if (type_ == "boolean" && hasValue_) {
            cell = Cell::Boolean(value_ == "true");
        } else if (type_ == "date" && hasValue_) {
            cell = Cell::Text(IsoDateText(value_));
        } else if (!text_.empty()) {
            CheckTextLength(Utf16Length(text_));
            cell = Cell::Text(std::move(text_));
        }
        const std::size_t first = column_;
        column_ = std::min<std::size_t>(column_ + cellRepeat_, kMaxColumn + 1);
        // A cell's pictures are kept in its first place only.
        if (keepCells_ && first <= std::size_t(budget_.Scope().lastColumn) &&
            row_ <= std::size_t(budget_.Scope().lastRow))
            for (FramedPicture& frame : cellFrames_) {
                frame.sheet = book_.sheets.size() - 1;
                frame.row = int(row_);
                frame.column = int(first);
                frames.push_back(std::move(frame));
            }
        cellFrames_.clear();
        if (cell.kind == Cell::Kind::Empty || !keepCells_) return;
        // Repeated cells beyond the scope are never copied.
        const std::size_t end =
            std::min<std::size_t>(column_, std::size_t(budget_.Scope().lastColumn) + 1);
        if (end > first) budget_.AddWork(end - first);
        for (std::size_t c = first; c < end; ++c) rowCells_.emplace_back(int(c), cell);
    }

    void FinishRow() {
        const std::size_t first = row_;
        row_ = std::min<std::size_t>(row_ + rowRepeat_, std::size_t(kMaxRow) + 1);
        if (rowCells_.empty()) return;
        if (first > std::size_t(kMaxRow)) Damaged("a cell lies outside the sheet");
        const std::size_t end =
            std::min<std::size_t>(row_, std::size_t(budget_.Scope().lastRow) + 1);
        // Repeats may ask for more cells than a sheet holds: told as such.
        const std::size_t kept = end > first ? (end - first) * rowCells_.size() : 0;
        if (kept > kMaxCells) Fail("the workbook has too many cells");
        budget_.AddWork(kept);
        for (std::size_t r = first; r < end; ++r)
            for (const auto& [column, cell] : rowCells_)
                budget_.PutCell(*sheet_, int(r), column, cell);
        rowCells_.clear();
    }

    ReadBudget& budget_;
    bool inFrame_ = false, inTitle_ = false;
    std::string frameHref_, frameTitle_;
    std::vector<FramedPicture> cellFrames_;  // the current cell's
    Workbook book_;
    Styles styles_;
    std::string style_;
    Worksheet* sheet_ = nullptr;
    std::size_t row_ = 1, rowRepeat_ = 1;
    std::size_t column_ = 1, cellRepeat_ = 1, nextColumn_ = 1;
    std::vector<std::pair<int, Cell>> rowCells_;
    bool inCell_ = false;
    std::size_t skipDepth_ = 0;
    std::string type_, value_, text_;
    bool hasValue_ = false;
    int paragraphs_ = 0;
    bool pendingSpace_ = false, atParagraphStart_ = true, inParagraph_ = false;
    std::optional<std::string> activeSheet_;
    bool keepCells_ = true;
};

// The name of the sheet the document was saved on.
std::optional<std::string> ActiveTable(std::string_view settingsXml) {
    XmlReader reader(settingsXml);
    bool inActive = false;
    std::string value;
    for (Token t; (t = reader.Next()) != Token::End;) {
        if (t == Token::StartElement) {
            const std::string* name = reader.Attribute("name");
            inActive = reader.Name() == "config-item" && name && *name == "ActiveTable";
        } else if (t == Token::Text && inActive) {
            value += reader.Text();
            if (value.size() > 4 * kMaxCellUnits) return std::nullopt;
        } else if (t == Token::EndElement && inActive) {
            return value;
        }
    }
    return std::nullopt;
}

// An SVG is told by its root element near the start of the file.
bool LooksLikeSvg(const std::string& bytes) {
    const std::string_view head(bytes.data(), std::min<std::size_t>(bytes.size(), 4096));
    return head.find("<svg") != std::string_view::npos;
}

// The framed pictures' members, each as a picture of its cell; a member that
// is missing, outside the package or of another kind is left out and noted.
void ReadFramedPictures(const ZipArchive& zip, std::vector<FramedPicture>& frames, Workbook& book) {
    std::size_t dropped = 0, total = 0;
    for (FramedPicture& frame : frames) {
        std::string member = frame.href;
        if (member.starts_with("./")) member.erase(0, 2);
        std::optional<std::string> bytes;
        if (!member.empty() && member.front() != '/' && member.find("..") == std::string::npos &&
            member.find(':') == std::string::npos) {
            try {
                bytes = zip.Read(member, kMaxPartBytes);
            } catch (const WorkbookError&) {
                bytes.reset();
            }
        }
        const std::span<const std::uint8_t> data(
            bytes ? reinterpret_cast<const std::uint8_t*>(bytes->data()) : nullptr,
            bytes ? bytes->size() : 0);
        std::string format = RasterFormatOf(data);
        if (format.empty() && bytes && LooksLikeSvg(*bytes) && IsValidUtf8(*bytes)) format = "svg";
        total += data.size();
        if (format.empty() || total > kMaxFileBytes) {
            ++dropped;
            continue;
        }
        SheetPicture picture;
        picture.row = frame.row;
        picture.column = frame.column;
        picture.format = format;
        picture.name = frame.title;
        picture.data.assign(data.begin(), data.end());
        book.sheets.at(frame.sheet).pictures.push_back(std::move(picture));
    }
    if (dropped > 0)
        book.notes.push_back(std::to_string(dropped) +
                             " picture(s) are missing, damaged or neither PNG, JPEG nor SVG, and "
                             "were left out.");
}

}  // namespace

Workbook ReadOds(const ZipArchive& zip, const ReadScope& scope) {
    if (const auto type = zip.Read("mimetype", 256); type && !type->starts_with(kOdsMediaType))
        Fail("an OpenDocument file that is not a spreadsheet");
    const auto content = zip.Read("content.xml", kMaxPartBytes);
    if (!content) Damaged("no content part");
    // The sheet the document opens on: a damaged settings part loses only
    // that choice, and the first sheet is taken.
    std::optional<std::string> active;
    if (const auto settings = zip.Read("settings.xml", kMaxPartBytes)) {
        try {
            active = ActiveTable(*settings);
        } catch (const WorkbookError&) {
        }
    }
    ReadBudget budget(scope);
    ContentParser parser(budget, active);
    Workbook book = parser.Parse(*content);
    ReadFramedPictures(zip, parser.frames, book);
    for (std::size_t i = 0; active && i < book.sheets.size(); ++i)
        if (book.sheets[i].name == *active) {
            book.activeSheet = int(i);
            break;
        }
    return book;
}

}  // namespace scrivane::codec::detail
