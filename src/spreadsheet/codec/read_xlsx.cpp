// OOXML spreadsheet packages (.xlsx) in a zip archive.
#include <charconv>
#include <map>
#include <optional>

#include "spreadsheet/codec/read_internal.h"
#include "spreadsheet/codec/read_xml.h"

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
    explicit Package(GsfInfile* zip) : zip_(zip) {}

    // The member's text, or nothing when the package has no such member.
    std::optional<std::string> Read(const std::string& partName) {
        GPtr<GsfInput> current;
        GsfInfile* dir = zip_;
        std::size_t i = 0;
        while (true) {
            auto slash = partName.find('/', i);
            const bool last = slash == std::string::npos;
            if (last) slash = partName.size();
            if (!dir) return std::nullopt;
            GPtr<GsfInput> child =
                ChildByName(dir, std::string_view(partName).substr(i, slash - i));
            if (!child) return std::nullopt;
            current = std::move(child);
            if (last) break;
            dir = GSF_IS_INFILE(current.get()) ? GSF_INFILE(current.get()) : nullptr;
            i = slash + 1;
        }
        if (GSF_IS_INFILE(current.get()) && gsf_infile_num_children(GSF_INFILE(current.get())) > 0)
            return std::nullopt;  // a folder, not a part
        const std::vector<std::uint8_t> bytes = ReadInput(current.get(), kMaxPartBytes);
        total_ += bytes.size();
        if (total_ > kMaxPackageBytes) Fail("the workbook is too large");
        return std::string(bytes.begin(), bytes.end());
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
    GsfInfile* zip_;
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
    std::string Take(ReadBudget& budget) {
        std::string out = DecodeOoxmlEscapes(text_);
        CheckTextLength(Utf16Length(out));
        budget.AddText(out.size());
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

std::vector<std::string> ReadSharedStrings(const std::string& xml, ReadBudget& budget) {
    std::vector<std::string> strings;
    XmlReader reader(xml);
    RichTextCollector rich;
    std::size_t itemDepth = 0;  // depth of the open <si>, 0 outside
    for (Token t; (t = reader.Next()) != Token::End;) {
        if (t == Token::StartElement) {
            if (itemDepth)
                rich.Start(reader.Name());
            else if (reader.Name() == "si")
                itemDepth = reader.Depth();
        } else if (t == Token::EndElement) {
            if (itemDepth && reader.Depth() + 1 == itemDepth) {
                if (strings.size() >= kMaxStrings) Fail("the workbook has too many texts");
                strings.push_back(rich.Take(budget));
                itemDepth = 0;
            } else if (itemDepth) {
                rich.End(reader.Name());
            }
        } else if (t == Token::Text && itemDepth) {
            rich.Text(reader.Text());
        }
    }
    return strings;
}

// Wrap flags of the cell formats (cellXfs), by style index.
std::vector<bool> ReadWrapStyles(const std::string& xml) {
    std::vector<bool> wrap;
    XmlReader reader(xml);
    bool inCellXfs = false;
    for (Token t; (t = reader.Next()) != Token::End;) {
        if (t == Token::StartElement) {
            if (reader.Name() == "cellXfs") {
                inCellXfs = true;
            } else if (inCellXfs && reader.Name() == "xf") {
                if (wrap.size() >= 65536) Damaged("too many cell formats");
                wrap.push_back(false);
            } else if (inCellXfs && reader.Name() == "alignment" && !wrap.empty()) {
                wrap.back() = ParseFlag(reader.Attribute("wrapText"));
            }
        } else if (t == Token::EndElement && reader.Name() == "cellXfs") {
            inCellXfs = false;
        }
    }
    return wrap;
}

class SheetParser {
public:
    SheetParser(const std::vector<std::string>& strings, const std::vector<bool>& wrapStyles,
                ReadBudget& budget)
        : strings_(strings), wrapStyles_(wrapStyles), budget_(budget) {}

    void Parse(const std::string& xml, Worksheet& sheet) {
        XmlReader reader(xml);
        for (Token t; (t = reader.Next()) != Token::End;) {
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
        if (type_ == "inlineStr") {
            if (hasInline_) {
                budget_.PutCell(sheet, cellRow_, column_, Cell::Text(rich_.Take(budget_)));
                return;
            }
            type_ = "str";
        }
        if (!hasValue_) return;  // a formatted but empty cell
        if (type_ == "s") {
            const auto index = ParseInteger<std::size_t>(value_);
            if (!index || *index >= strings_.size()) Damaged("text index outside the string table");
            budget_.PutCell(sheet, cellRow_, column_, Cell::Text(strings_[*index]));
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
            budget_.PutCell(sheet, cellRow_, column_, Cell::Number(ParseNumber(value_)));
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
        *last = std::min(*last, kMaxColumn);
        std::optional<double> width;
        if (const std::string* w = reader.Attribute("width")) width = ParseNumber(*w);
        bool wrap = false;
        if (const std::string* s = reader.Attribute("style")) {
            const auto style = ParseInteger<std::size_t>(*s);
            wrap = style && *style < wrapStyles_.size() && wrapStyles_[*style];
        }
        budget_.AddWork(static_cast<std::size_t>(*last - *first + 1));
        for (int c = *first; c <= *last; ++c) {
            if (width) sheet.columnWidths[c] = *width;
            if (wrap) sheet.wrapColumns.insert(c);
        }
    }

    const std::vector<std::string>& strings_;
    const std::vector<bool>& wrapStyles_;
    ReadBudget& budget_;
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

Workbook ReadXlsx(GsfInfile* zip) {
    Package package(zip);
    ReadBudget budget;

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
            }
        }
    }
    if (refs.empty()) Damaged("no sheets");

    const auto rels = package.Relationships(workbookPart);
    std::vector<std::string> strings;
    std::vector<bool> wrapStyles;
    for (const auto& [id, rel] : rels) {
        if (rel.type == "sharedStrings") {
            if (const auto xml = package.Read(rel.target))
                strings = ReadSharedStrings(*xml, budget);
        } else if (rel.type == "styles") {
            if (const auto xml = package.Read(rel.target)) wrapStyles = ReadWrapStyles(*xml);
        }
    }

    Workbook book;
    for (const SheetRef& ref : refs) {
        Worksheet sheet;
        sheet.name = ref.name;
        const auto rel = rels.find(ref.relId);
        // Chart and dialog sheets have no cells; they stay empty.
        if (rel != rels.end() && rel->second.type == "worksheet") {
            const auto xml = package.Read(rel->second.target);
            if (!xml) Damaged("missing sheet part");
            SheetParser(strings, wrapStyles, budget).Parse(*xml, sheet);
        } else if (rel == rels.end()) {
            Damaged("sheet without a part");
        }
        book.sheets.push_back(std::move(sheet));
    }
    if (activeTab && *activeTab >= 0 && *activeTab < static_cast<long>(book.sheets.size()))
        book.activeSheet = static_cast<int>(*activeTab);
    return book;
}

}  // namespace scrivane::codec::detail
