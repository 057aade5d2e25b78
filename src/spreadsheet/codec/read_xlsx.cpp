// OOXML spreadsheet packages (.xlsx) in a zip archive.
#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <set>

#include "spreadsheet/codec/officeart.h"
#include "spreadsheet/codec/read_internal.h"
#include "spreadsheet/codec/read_xml.h"
#include "spreadsheet/codec/zip.h"

namespace scrivane::codec::detail {
namespace {

using Token = XmlReader::Token;

std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\n\r");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\n\r") - first + 1);
}

template <class T>
std::optional<T> ParseInteger(std::string_view s) {
    s = Trim(s);
    T value{};
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
    return value;
}

double ParseNumber(std::string_view s) {
    s = Trim(s);
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    double value = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ec != std::errc() || ptr != s.data() + s.size())
        Damaged("bad number in a cell");
    return value;
}

bool ParseFlag(const std::string* s) {
    return s && (*s == "1" || *s == "true");
}

// "AB12" -> (12, 28).
std::pair<int, int> ParseCellReference(std::string_view ref) {
    std::size_t i = 0;
    int column = 0;
    while (i < ref.size() && i < 4) {
        const char c = ref[i];
        if (c >= 'A' && c <= 'Z')
            column = column * 26 + (c - 'A' + 1);
        else if (c >= 'a' && c <= 'z')
            column = column * 26 + (c - 'a' + 1);
        else
            break;
        ++i;
    }
    const auto row = ParseInteger<int>(ref.substr(i));
    if (i == 0 || !row || ref[i] < '0' || ref[i] > '9') Damaged("bad cell reference");
    if (*row < 1 || *row > kMaxRow || column > kMaxColumn) Damaged("a cell lies outside the sheet");
    return {*row, column};
}

int ErrorCode(std::string_view text) {
    static const std::map<std::string_view, int> codes = {
        {"#NULL!", 0x00}, {"#DIV/0!", 0x07}, {"#VALUE!", 0x0F}, {"#REF!", 0x17},
        {"#NAME?", 0x1D}, {"#NUM!", 0x24},   {"#N/A", 0x2A},    {"#GETTING_DATA", 0x2B}};
    const auto it = codes.find(Trim(text));
    return it == codes.end() ? 0x2A : it->second;
}

// Part names are '/'-separated paths from the package root.
std::string ResolvePart(std::string_view baseDir, std::string_view target) {
    std::vector<std::string> parts;
    auto add = [&parts](std::string_view path) {
        std::size_t i = 0;
        while (i <= path.size()) {
            auto slash = path.find('/', i);
            if (slash == std::string_view::npos) slash = path.size();
            const std::string_view piece = path.substr(i, slash - i);
            if (piece == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!piece.empty() && piece != ".") {
                if (parts.size() >= 32) Damaged("part path too deep");
                parts.emplace_back(piece);
            }
            i = slash + 1;
        }
    };
    if (!target.starts_with('/')) add(baseDir);
    add(target);
    std::string out;
    for (const auto& p : parts) out += (out.empty() ? "" : "/") + p;
    return out;
}

std::string_view DirectoryOf(std::string_view part) {
    const auto slash = part.rfind('/');
    return slash == std::string_view::npos ? std::string_view{} : part.substr(0, slash);
}

std::string RelationshipsPartOf(std::string_view part) {
    const auto slash = part.rfind('/');
    const std::string_view dir = slash == std::string_view::npos ? "" : part.substr(0, slash + 1);
    const std::string_view file = slash == std::string_view::npos ? part : part.substr(slash + 1);
    return std::string(dir) + "_rels/" + std::string(file) + ".rels";
}

struct Relationship {
    std::string type;    // the last segment of the type URI, e.g. "worksheet"
    std::string target;  // resolved part name
};

class Package {
public:
    explicit Package(const ZipArchive& zip) : zip_(zip) {}

    // The member's text, or nothing when the package has no such member.
    std::optional<std::string> Read(const std::string& partName) {
        auto text = zip_.Read(partName, kMaxPartBytes);
        if (text) {
            total_ += text->size();
            if (total_ > kMaxPackageBytes) Fail("the workbook is too large");
        }
        return text;
    }

    std::map<std::string, Relationship> Relationships(const std::string& sourcePart) {
        std::map<std::string, Relationship> rels;
        const auto xml = Read(RelationshipsPartOf(sourcePart));
        if (!xml) return rels;
        XmlReader reader(*xml);
        for (Token t; (t = reader.Next()) != Token::End;) {
            if (t != Token::StartElement || reader.Name() != "Relationship") continue;
            const std::string* id = reader.Attribute("Id");
            const std::string* type = reader.Attribute("Type");
            const std::string* target = reader.Attribute("Target");
            const std::string* mode = reader.Attribute("TargetMode");
            if (!id || !type || !target || (mode && *mode == "External")) continue;
            const auto slash = type->rfind('/');
            rels[*id] = {type->substr(slash == std::string::npos ? 0 : slash + 1),
                         ResolvePart(DirectoryOf(sourcePart), *target)};
        }
        return rels;
    }

private:
    const ZipArchive& zip_;
    std::size_t total_ = 0;
};

// Collects the text of <t> elements inside <si> or <is>, leaving out the
// phonetic readings (<rPh>).
class RichTextCollector {
public:
    void Start(std::string_view name) {
        if (name == "rPh") ++phonetic_;
        if (name == "t" && phonetic_ == 0) inText_ = true;
    }
    void End(std::string_view name) {
        if (name == "rPh" && phonetic_ > 0) --phonetic_;
        if (name == "t") inText_ = false;
    }
    void Text(const std::string& text) {
        if (inText_) text_ += text;
    }
    // The cell that takes the text counts it.
    std::string Take() {
        std::string out = DecodeOoxmlEscapes(text_);
        CheckTextLength(Utf16Length(out));
        text_.clear();
        inText_ = false;
        phonetic_ = 0;
        return out;
    }

private:
    std::string text_;
    bool inText_ = false;
    int phonetic_ = 0;
};

// The texts of the shared strings at the wanted indices (sorted, unique),
// in that order; the others are passed over.
std::vector<std::string> ReadSharedStrings(const std::string& xml,
                                           const std::vector<std::size_t>& wanted,
                                           ReadBudget& budget) {
    std::vector<std::string> texts;
    if (wanted.empty()) return texts;
    XmlReader reader(xml);
    RichTextCollector rich;
    std::size_t index = 0;
    std::size_t itemDepth = 0;  // depth of the open <si>, 0 outside
    bool keep = false;
    for (Token t; texts.size() < wanted.size() && (t = reader.Next()) != Token::End;) {
        if (t == Token::StartElement) {
            if (itemDepth && keep) {
                rich.Start(reader.Name());
            } else if (!itemDepth && reader.Name() == "si") {
                itemDepth = reader.Depth();
                keep = index == wanted[texts.size()];
            }
        } else if (t == Token::EndElement) {
            if (itemDepth && reader.Depth() + 1 == itemDepth) {
                if (keep) {
                    texts.push_back(rich.Take());
                    budget.AddTableText(texts.back().size());
                }
                ++index;
                itemDepth = 0;
            } else if (itemDepth && keep) {
                rich.End(reader.Name());
            }
        } else if (t == Token::Text && itemDepth && keep) {
            rich.Text(reader.Text());
        }
    }
    if (texts.size() < wanted.size()) Damaged("text index outside the string table");
    return texts;
}

// What the cell formats (cellXfs) do, by style index: wrap their text, and
// show a number as a date or a time.
struct Styles {
    std::vector<bool> wrap;
    std::vector<DateFormat> dates;
};

Styles ReadStyles(const std::string& xml) {
    Styles styles;
    std::map<int, DateFormat> custom;
    std::vector<int> formatIds;
    XmlReader reader(xml);
    bool inCellXfs = false;
    for (Token t; (t = reader.Next()) != Token::End;) {
        if (t == Token::StartElement) {
            if (reader.Name() == "cellXfs") {
                inCellXfs = true;
            } else if (reader.Name() == "numFmt") {
                const std::string* id = reader.Attribute("numFmtId");
                const std::string* code = reader.Attribute("formatCode");
                const auto number = id ? ParseInteger<int>(*id) : std::nullopt;
                if (number && code && custom.size() < 65536)
                    custom[*number] = ClassifyNumberFormat(*code);
            } else if (inCellXfs && reader.Name() == "xf") {
                if (formatIds.size() >= 65536) Damaged("too many cell formats");
                const std::string* id = reader.Attribute("numFmtId");
                formatIds.push_back(id ? ParseInteger<int>(*id).value_or(0) : 0);
                styles.wrap.push_back(false);
            } else if (inCellXfs && reader.Name() == "alignment" && !styles.wrap.empty()) {
                styles.wrap.back() = ParseFlag(reader.Attribute("wrapText"));
            }
        } else if (t == Token::EndElement && reader.Name() == "cellXfs") {
            inCellXfs = false;
        }
    }
    for (int id : formatIds) {
        const auto it = custom.find(id);
        styles.dates.push_back(it != custom.end() ? it->second : BuiltInNumberFormat(id));
    }
    return styles;
}

// A cell that shows a shared string, filled once the string table is read.
struct SharedTextCell {
    Worksheet* sheet;
    int row, column;
    std::size_t index;
};

class SheetParser {
public:
    SheetParser(const Styles& styles, bool date1904, std::vector<SharedTextCell>& sharedCells,
                ReadBudget& budget)
        : styles_(styles), date1904_(date1904), sharedCells_(sharedCells), budget_(budget) {}

    void Parse(const std::string& xml, Worksheet& sheet) {
        XmlReader reader(xml);
        // Rows stand in ascending order: past the scope's last row nothing
        // more is kept, and the rest is not parsed.
        for (Token t; !pastScope_ && (t = reader.Next()) != Token::End;) {
            if (t == Token::StartElement)
                Start(reader, sheet);
            else if (t == Token::EndElement)
                End(reader.Name(), sheet);
            else if (t == Token::Text)
                Text(reader.Text());
        }
    }

private:
    void Start(const XmlReader& reader, Worksheet& sheet) {
        const std::string_view name = reader.Name();
        if (inCell_) {
            if (inInline_) {
                rich_.Start(name);
            } else if (name == "v") {
                inValue_ = true;
                hasValue_ = true;
            } else if (name == "is") {
                inInline_ = true;
                hasInline_ = true;
            }
        } else if (name == "row") {
            const std::string* r = reader.Attribute("r");
            row_ = r ? ParseInteger<int>(*r).value_or(0) : row_ + 1;
            if (row_ < 1 || row_ > kMaxRow) Damaged("a row lies outside the sheet");
            pastScope_ = row_ > budget_.Scope().lastRow;
            column_ = 0;
        } else if (name == "c") {
            if (const std::string* r = reader.Attribute("r")) {
                std::tie(cellRow_, column_) = ParseCellReference(*r);
            } else {
                // Cells without a reference follow the one before them.
                cellRow_ = row_ < 1 ? 1 : row_;
                if (++column_ > kMaxColumn) Damaged("a cell lies outside the sheet");
            }
            const std::string* type = reader.Attribute("t");
            type_ = type ? *type : "n";
            const std::string* style = reader.Attribute("s");
            style_ = style ? ParseInteger<std::size_t>(*style).value_or(0) : 0;
            inCell_ = true;
            hasValue_ = hasInline_ = false;
            value_.clear();
        } else if (name == "col") {
            ReadColumn(reader, sheet);
        }
    }

    void End(std::string_view name, Worksheet& sheet) {
        if (!inCell_) return;
        if (inInline_) {
            if (name == "is")
                inInline_ = false;
            else
                rich_.End(name);
        } else if (name == "v") {
            inValue_ = false;
        } else if (name == "c") {
            inCell_ = false;
            FinishCell(sheet);
        }
    }

    void Text(const std::string& text) {
        if (inInline_) {
            rich_.Text(text);
        } else if (inValue_) {
            if (value_.size() + text.size() > 4 * kMaxCellUnits)
                Fail("a cell holds more than 32767 characters");
            value_ += text;
        }
    }

    void FinishCell(Worksheet& sheet) {
        // Cells outside the scope are dropped unread.
        if (!budget_.InScope(cellRow_, column_)) return;
        if (type_ == "inlineStr") {
            if (hasInline_) {
                budget_.PutCell(sheet, cellRow_, column_, Cell::Text(rich_.Take()));
                return;
            }
            type_ = "str";
        }
        if (!hasValue_) return;  // a formatted but empty cell
        if (type_ == "s") {
            const auto index = ParseInteger<std::size_t>(value_);
            if (!index) Damaged("text index outside the string table");
            if (sharedCells_.size() >= kMaxCells) Fail("the workbook has too many cells");
            sharedCells_.push_back({&sheet, cellRow_, column_, *index});
            budget_.PutCell(sheet, cellRow_, column_, Cell::Text(""));
        } else if (type_ == "str" || type_ == "d") {
            std::string text = DecodeOoxmlEscapes(value_);
            CheckTextLength(Utf16Length(text));
            budget_.PutCell(sheet, cellRow_, column_, Cell::Text(std::move(text)));
        } else if (type_ == "b") {
            const std::string_view v = Trim(value_);
            budget_.PutCell(sheet, cellRow_, column_, Cell::Boolean(v == "1" || v == "true"));
        } else if (type_ == "e") {
            budget_.PutCell(sheet, cellRow_, column_, Cell::Error(ErrorCode(value_)));
        } else if (type_ == "n") {
            Cell cell = Cell::Number(ParseNumber(value_));
            if (style_ < styles_.dates.size())
                cell.text = DateText(cell.number, styles_.dates[style_], date1904_);
            budget_.PutCell(sheet, cellRow_, column_, std::move(cell));
        } else {
            Damaged("unknown cell type");
        }
    }

    void ReadColumn(const XmlReader& reader, Worksheet& sheet) {
        const std::string* minText = reader.Attribute("min");
        const std::string* maxText = reader.Attribute("max");
        if (!minText || !maxText) return;
        const auto first = ParseInteger<int>(*minText);
        auto last = ParseInteger<int>(*maxText);
        if (!first || !last || *first < 1 || *first > kMaxColumn || *last < *first) return;
        *last = std::min({*last, kMaxColumn, budget_.Scope().lastColumn});
        if (*last < *first) return;
        std::optional<double> width;
        if (const std::string* w = reader.Attribute("width")) width = ParseNumber(*w);
        bool wrap = false;
        if (const std::string* s = reader.Attribute("style")) {
            const auto style = ParseInteger<std::size_t>(*s);
            wrap = style && *style < styles_.wrap.size() && styles_.wrap[*style];
        }
        budget_.AddWork(static_cast<std::size_t>(*last - *first + 1));
        for (int c = *first; c <= *last; ++c) {
            if (width) sheet.columnWidths[c] = *width;
            if (wrap) sheet.wrapColumns.insert(c);
        }
    }

    const Styles& styles_;
    bool date1904_;
    std::vector<SharedTextCell>& sharedCells_;
    ReadBudget& budget_;
    std::size_t style_ = 0;
    bool pastScope_ = false;
    RichTextCollector rich_;
    int row_ = 0;
    int column_ = 0;
    int cellRow_ = 0;
    bool inCell_ = false;
    bool inValue_ = false;
    bool inInline_ = false;
    bool hasValue_ = false;
    bool hasInline_ = false;
    std::string type_;
    std::string value_;
};

}  // namespace

// The pictures of a worksheet's drawing: each picture anchored to a cell
// (a one- or two-cell anchor's "from" cell) with its image part and the
// name its description gives.
struct AnchoredPicture {
    int row = 0, column = 0;  // 0-based
    std::string embed, name;
};

std::vector<AnchoredPicture> ReadDrawing(const std::string& xml) {
    std::vector<AnchoredPicture> found;
    XmlReader reader(xml);
    std::optional<AnchoredPicture> current;
    bool inFrom = false;
    std::string field;  // "col" or "row" while its text comes
    for (Token t; (t = reader.Next()) != Token::End;) {
        const std::string_view name = reader.Name();
        if (t == Token::StartElement) {
            if (name == "oneCellAnchor" || name == "twoCellAnchor") {
                current = AnchoredPicture{};
            } else if (!current) {
                continue;
            } else if (name == "from") {
                inFrom = true;
            } else if (inFrom && (name == "col" || name == "row")) {
                field = name;
            } else if (name == "cNvPr") {
                if (const std::string* descr = reader.Attribute("descr")) current->name = *descr;
            } else if (name == "blip") {
                if (const std::string* embed = reader.Attribute("embed")) current->embed = *embed;
            }
        } else if (t == Token::EndElement) {
            if (name == "from") inFrom = false;
            if (name == "col" || name == "row") field.clear();
            if ((name == "oneCellAnchor" || name == "twoCellAnchor") && current) {
                if (!current->embed.empty()) found.push_back(std::move(*current));
                if (found.size() > kMaxCells) Fail("the workbook has too many pictures");
                current.reset();
            }
        } else if (t == Token::Text && current && !field.empty()) {
            const auto value = ParseInteger<int>(Trim(reader.Text()));
            if (!value || *value < 0 || *value >= kMaxRow)
                Damaged("a picture lies outside the sheet");
            (field == "col" ? current->column : current->row) = *value;
        }
    }
    return found;
}

// The pictures of a worksheet part within the scope. Damage in its drawing
// loses the pictures alone, with a note.
void ReadPictures(Package& package, const std::string& sheetPart, const ReadScope& scope,
                  Workbook& book, Worksheet& sheet) {
    std::size_t dropped = 0;
    try {
        for (const auto& [id, rel] : package.Relationships(sheetPart)) {
            if (rel.type != "drawing") continue;
            const auto xml = package.Read(rel.target);
            if (!xml) Damaged("a drawing part is missing");
            const auto images = package.Relationships(rel.target);
            for (const AnchoredPicture& anchored : ReadDrawing(*xml)) {
                if (anchored.row + 1 > scope.lastRow || anchored.column + 1 > scope.lastColumn)
                    continue;
                const auto image = images.find(anchored.embed);
                const auto bytes =
                    image == images.end() ? std::nullopt : package.Read(image->second.target);
                const std::span<const std::uint8_t> data(
                    bytes ? reinterpret_cast<const std::uint8_t*>(bytes->data()) : nullptr,
                    bytes ? bytes->size() : 0);
                const std::string format = RasterFormatOf(data);
                if (format.empty()) {
                    ++dropped;
                    continue;
                }
                SheetPicture picture;
                picture.row = anchored.row + 1;
                picture.column = anchored.column + 1;
                picture.format = format;
                picture.name = DecodeOoxmlEscapes(anchored.name);
                picture.data.assign(data.begin(), data.end());
                sheet.pictures.push_back(std::move(picture));
            }
        }
    } catch (const WorkbookError& e) {
        sheet.pictures.clear();
        book.notes.push_back("The pictures of sheet \"" + sheet.name +
                             "\" are damaged and were left out (" + e.what() + ").");
        return;
    }
    if (dropped > 0)
        book.notes.push_back(std::to_string(dropped) + " picture(s) of sheet \"" + sheet.name +
                             "\" are neither PNG nor JPEG, or missing, and were left out.");
}

Workbook ReadXlsx(const ZipArchive& zip, const ReadScope& scope) {
    Package package(zip);
    ReadBudget budget(scope);

    // The package relationships name the workbook part; xl/workbook.xml is
    // where every writer puts it.
    std::string workbookPart = "xl/workbook.xml";
    for (const auto& [id, rel] : package.Relationships(""))
        if (rel.type == "officeDocument") workbookPart = rel.target;
    const auto workbookXml = package.Read(workbookPart);
    if (!workbookXml) Fail("not a workbook (a zip archive without a spreadsheet)");

    struct SheetRef {
        std::string name, relId;
    };
    std::vector<SheetRef> refs;
    std::optional<long> activeTab;
    bool date1904 = false;
    {
        XmlReader reader(*workbookXml);
        for (Token t; (t = reader.Next()) != Token::End;) {
            if (t != Token::StartElement) continue;
            if (reader.Name() == "sheet") {
                if (refs.size() >= kMaxSheets) Fail("the workbook has too many sheets");
                const std::string* name = reader.Attribute("name");
                const std::string* id = reader.Attribute("id");
                refs.push_back(
                    {name ? DecodeOoxmlEscapes(*name) : std::string(), id ? *id : std::string()});
                budget.AddText(refs.back().name.size());
            } else if (reader.Name() == "workbookView" && !activeTab) {
                const std::string* tab = reader.Attribute("activeTab");
                activeTab = tab ? ParseInteger<long>(*tab).value_or(0) : 0;
            } else if (reader.Name() == "workbookPr") {
                date1904 = ParseFlag(reader.Attribute("date1904"));
            }
        }
    }
    if (refs.empty()) Damaged("no sheets");

    Workbook book;
    for (const SheetRef& ref : refs) {
        book.sheets.emplace_back();
        book.sheets.back().name = ref.name;
    }
    if (activeTab && *activeTab >= 0 && *activeTab < static_cast<long>(book.sheets.size()))
        book.activeSheet = static_cast<int>(*activeTab);

    // Each part is read once: the styles, the sheets in scope, then the
    // shared strings that their cells show.
    const auto rels = package.Relationships(workbookPart);
    Styles styles;
    for (const auto& [id, rel] : rels)
        if (rel.type == "styles")
            if (const auto xml = package.Read(rel.target)) styles = ReadStyles(*xml);

    // The worksheet part of each sheet read; chart and dialog sheets have no
    // cells and stay empty.
    std::vector<std::pair<std::size_t, std::string>> parts;
    std::set<std::string> targets;
    for (std::size_t i = 0; i < refs.size(); ++i) {
        if (scope.activeSheetOnly && static_cast<int>(i) != book.activeSheet) continue;
        const auto rel = rels.find(refs[i].relId);
        if (rel == rels.end()) Damaged("sheet without a part");
        if (rel->second.type != "worksheet") continue;
        if (!targets.insert(rel->second.target).second) Damaged("two sheets share one part");
        parts.emplace_back(i, rel->second.target);
    }
    std::vector<SharedTextCell> sharedCells;
    for (const auto& [i, target] : parts) {
        const auto xml = package.Read(target);
        if (!xml) Damaged("missing sheet part");
        SheetParser(styles, date1904, sharedCells, budget).Parse(*xml, book.sheets[i]);
        ReadPictures(package, target, scope, book, book.sheets[i]);
    }

    if (!sharedCells.empty()) {
        std::vector<std::size_t> wanted;
        for (const SharedTextCell& c : sharedCells) wanted.push_back(c.index);
        std::sort(wanted.begin(), wanted.end());
        wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
        std::optional<std::string> xml;
        for (const auto& [id, rel] : rels)
            if (rel.type == "sharedStrings" && !xml) xml = package.Read(rel.target);
        if (!xml) Damaged("text index outside the string table");
        const std::vector<std::string> texts = ReadSharedStrings(*xml, wanted, budget);
        xml.reset();
        for (const SharedTextCell& c : sharedCells) {
            const auto k = std::lower_bound(wanted.begin(), wanted.end(), c.index) - wanted.begin();
            const std::string& text = texts[static_cast<std::size_t>(k)];
            budget.AddText(text.size());
            c.sheet->cells[{c.row, c.column}] = Cell::Text(text);
        }
    }
    return book;
}

}  // namespace scrivane::codec::detail
