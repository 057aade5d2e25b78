// Reads the workbooks written by real spreadsheet programs and checks the raw
// cells against the expected import results that lie beside them.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "spreadsheet/codec/reader.h"

namespace scrivane::codec {
namespace {

const std::filesystem::path kFixtures = SCRIVANE_FIXTURES;

// Just enough JSON for the expected files: objects, arrays, strings, numbers, booleans.
struct Json {
    std::variant<std::nullptr_t, bool, double, std::string, std::vector<Json>,
                 std::map<std::string, Json>>
        v;
    const Json& operator[](const std::string& key) const {
        return std::get<std::map<std::string, Json>>(v).at(key);
    }
    const std::vector<Json>& Array() const { return std::get<std::vector<Json>>(v); }
    const std::string& Str() const { return std::get<std::string>(v); }
    double Num() const { return std::get<double>(v); }
    bool Bool() const { return std::get<bool>(v); }
};

class JsonParser {
public:
    explicit JsonParser(std::string text) : s_(std::move(text)) {}
    Json Parse() {
        Space();
        Json j;
        const char c = s_.at(i_);
        if (c == '{') {
            std::map<std::string, Json> m;
            ++i_;
            Space();
            while (s_.at(i_) != '}') {
                Space();
                std::string key = String();
                Space();
                Expect(':');
                m[key] = Parse();
                Space();
                if (s_.at(i_) == ',') ++i_;
                Space();
            }
            ++i_;
            j.v = std::move(m);
        } else if (c == '[') {
            std::vector<Json> a;
            ++i_;
            Space();
            while (s_.at(i_) != ']') {
                a.push_back(Parse());
                Space();
                if (s_.at(i_) == ',') ++i_;
                Space();
            }
            ++i_;
            j.v = std::move(a);
        } else if (c == '"') {
            j.v = String();
        } else if (s_.compare(i_, 4, "true") == 0) {
            i_ += 4;
            j.v = true;
        } else if (s_.compare(i_, 5, "false") == 0) {
            i_ += 5;
            j.v = false;
        } else {
            std::size_t used = 0;
            j.v = std::stod(s_.substr(i_), &used);
            i_ += used;
        }
        return j;
    }

private:
    void Space() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
    }
    void Expect(char c) {
        if (s_.at(i_++) != c) throw std::runtime_error("bad JSON");
    }
    static void Utf8(std::string& out, char32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    std::string String() {
        Expect('"');
        std::string out;
        for (;;) {
            const char c = s_.at(i_++);
            if (c == '"') return out;
            if (c != '\\') {
                out += c;
                continue;
            }
            const char e = s_.at(i_++);
            switch (e) {
                case 'n':
                    out += '\n';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'u': {
                    char32_t cp = std::stoul(s_.substr(i_, 4), nullptr, 16);
                    i_ += 4;
                    if (cp >= 0xD800 && cp <= 0xDBFF && s_.compare(i_, 2, "\\u") == 0) {
                        const char32_t lo = std::stoul(s_.substr(i_ + 2, 4), nullptr, 16);
                        i_ += 6;
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                    }
                    Utf8(out, cp);
                    break;
                }
                default:
                    out += e;
                    break;
            }
        }
    }
    std::string s_;
    std::size_t i_ = 0;
};

Json LoadExpected(const std::string& file) {
    std::ifstream in(kFixtures / (file + ".expected.json"));
    std::stringstream ss;
    ss << in.rdbuf();
    return JsonParser(ss.str()).Parse();
}

const Worksheet& Active(const Workbook& book) {
    EXPECT_GE(book.activeSheet, 0);
    EXPECT_LT(book.activeSheet, static_cast<int>(book.sheets.size()));
    return book.sheets.at(book.activeSheet);
}

const char* const kAllFixtures[] = {
    "plain-3q.lo.xls",
    "marks.xlwt.xls",
    "answers-normalised.gnumeric.xls",
    "texts-blanks-chinese-long.lo.xls",
    "texts-blanks-chinese-long.lo.xlsx",
    "header-mark-blanks.openpyxl.xlsx",
    "header-mark-lowercase.libxlsxwriter.xlsx",
    "header-j1-empty.xlwt.xls",
    "header-stops-at-option-e.gnumeric-biff5.xls",
    "rows-100.lo.xls",
    "header-only.openpyxl.xlsx",
    "gap-row.libxlsxwriter.xlsx",
    "numbers-renumbered.gnumeric.xls",
    "mark-250.5.xlwt.xls",
    "active-second-sheet.lo.xls",
    "latin-codepage-1200.gnumeric-biff5.xls",
    "dates-bom.openpyxl.xlsx",
};

class FixtureTest : public ::testing::TestWithParam<const char*> {};

// Every fixture reads, and for the valid ones the title and option cells of
// each data row hold exactly the expected texts (empty cells give "") and a
// numeric mark cell holds the expected mark.
TEST_P(FixtureTest, ActiveSheetCellsMatchExpectedTexts) {
    const std::string file = GetParam();
    const Workbook book = ReadWorkbookFile(kFixtures / file);
    const Worksheet& sheet = Active(book);
    EXPECT_EQ(sheet.At(1, 1), Cell::Text("Question NO"));
    const Json expected = LoadExpected(file);
    if (!expected["valid"].Bool()) return;
    const auto& questions = expected["questions"].Array();
    static const char* const kItems[] = {"Title", "ItemA", "ItemB", "ItemC",
                                         "ItemD", "ItemE", "ItemF"};
    for (std::size_t k = 0; k < questions.size(); ++k) {
        const int row = static_cast<int>(k) + 2;
        SCOPED_TRACE("row " + std::to_string(row));
        EXPECT_NE(sheet.At(row, 1).kind, Cell::Kind::Empty);
        for (int i = 0; i < 7; ++i) {
            const Cell& cell = sheet.At(row, 4 + i);
            // A plain number's text is the spreadsheet layer's to write; a
            // date-formatted one carries the date it shows.
            if (cell.kind == Cell::Kind::Number && cell.text.empty()) continue;
            EXPECT_NE(cell.kind, Cell::Kind::Boolean);
            EXPECT_EQ(cell.text, questions[k][kItems[i]].Str()) << kItems[i];
        }
        const Cell& mark = sheet.At(row, 2);
        if (mark.kind == Cell::Kind::Number) {
            EXPECT_EQ(mark.number, questions[k]["Score"].Num());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureTest, ::testing::ValuesIn(kAllFixtures),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(ReaderFixtures, ActiveSheetIsTheSecondSheet) {
    const Workbook book = ReadWorkbookFile(kFixtures / "active-second-sheet.lo.xls");
    ASSERT_EQ(book.sheets.size(), 2u);
    EXPECT_EQ(book.activeSheet, 1);
    EXPECT_EQ(book.sheets[0].name, "Old paper");
    EXPECT_EQ(book.sheets[1].name, "New paper");
    EXPECT_EQ(book.sheets[0].At(2, 4).text, "Question of the first sheet (not active)");
    EXPECT_EQ(book.sheets[1].At(4, 3), Cell::Text("BE"));
}

TEST(ReaderFixtures, Biff5FromGnumeric) {
    const Workbook book =
        ReadWorkbookFile(kFixtures / "header-stops-at-option-e.gnumeric-biff5.xls");
    const Worksheet& sheet = Active(book);
    EXPECT_EQ(sheet.At(1, 9), Cell::Text("Option E"));
    EXPECT_EQ(sheet.At(1, 10).kind, Cell::Kind::Empty);
    EXPECT_EQ(sheet.At(3, 2), Cell::Number(7.5));
    EXPECT_EQ(sheet.At(3, 3), Cell::Text("AB"));
    for (const auto& [pos, cell] : sheet.cells) EXPECT_LE(pos.second, 9);
}

TEST(ReaderFixtures, RawCellsBeforeTheImportRules) {
    const Workbook marks = ReadWorkbookFile(kFixtures / "marks.xlwt.xls");
    EXPECT_EQ(Active(marks).At(2, 2), Cell::Number(12.5));
    EXPECT_EQ(Active(marks).At(5, 2), Cell::Text("12abc"));
    EXPECT_EQ(Active(marks).At(6, 2), Cell::Text("abc"));

    const Workbook answers = ReadWorkbookFile(kFixtures / "answers-normalised.gnumeric.xls");
    EXPECT_EQ(Active(answers).At(2, 3), Cell::Text("ca"));
    EXPECT_EQ(Active(answers).At(5, 3).kind, Cell::Kind::Empty);
    EXPECT_EQ(Active(answers).At(7, 3), Cell::Text("A B"));

    const Workbook blanks = ReadWorkbookFile(kFixtures / "header-mark-blanks.openpyxl.xlsx");
    EXPECT_EQ(Active(blanks).At(1, 2), Cell::Text(" Mark "));
    const Workbook lower = ReadWorkbookFile(kFixtures / "header-mark-lowercase.libxlsxwriter.xlsx");
    EXPECT_EQ(Active(lower).At(1, 2), Cell::Text("mark"));

    const Workbook renumbered = ReadWorkbookFile(kFixtures / "numbers-renumbered.gnumeric.xls");
    EXPECT_EQ(Active(renumbered).At(3, 1), Cell::Number(7));

    const Workbook high = ReadWorkbookFile(kFixtures / "mark-250.5.xlwt.xls");
    EXPECT_EQ(Active(high).At(3, 2), Cell::Number(250.5));
}

TEST(ReaderFixtures, HundredRowsThroughContinuedStringTable) {
    const Workbook book = ReadWorkbookFile(kFixtures / "rows-100.lo.xls");
    const Worksheet& sheet = Active(book);
    EXPECT_EQ(sheet.At(101, 1), Cell::Number(100));
    EXPECT_EQ(sheet.At(102, 1).kind, Cell::Kind::Empty);
    // The last strings of the table lie in its CONTINUE records.
    EXPECT_EQ(sheet.At(101, 4).text,
              LoadExpected("rows-100.lo.xls")["questions"].Array()[99]["Title"].Str());
}

TEST(ReaderFixtures, LongAndChineseTexts) {
    for (const char* file :
         {"texts-blanks-chinese-long.lo.xls", "texts-blanks-chinese-long.lo.xlsx"}) {
        SCOPED_TRACE(file);
        const Workbook book = ReadWorkbookFile(kFixtures / file);
        const Worksheet& sheet = Active(book);
        EXPECT_EQ(sheet.At(2, 4), Cell::Text("  Two leading and two trailing blanks  "));
        EXPECT_EQ(sheet.At(2, 9), Cell::Text("   "));
        EXPECT_EQ(sheet.At(3, 5), Cell::Text("上海"));
        EXPECT_EQ(sheet.At(3, 9), Cell::Text(" 南京 "));
        EXPECT_GE(sheet.At(4, 4).text.size(), 3000u);
    }
}

TEST(ReaderFixtures, SharedAndInlineStringsOfXlsx) {
    // libxlsxwriter keeps a shared-string table, openpyxl inline strings.
    const Workbook sharedBook = ReadWorkbookFile(kFixtures / "gap-row.libxlsxwriter.xlsx");
    const Worksheet& shared = Active(sharedBook);
    EXPECT_EQ(shared.At(2, 4), Cell::Text("First question before the gap"));
    EXPECT_EQ(shared.At(4, 1).kind, Cell::Kind::Empty);
    EXPECT_EQ(shared.At(5, 1), Cell::Number(3));
    const Workbook inlinedBook = ReadWorkbookFile(kFixtures / "header-only.openpyxl.xlsx");
    const Worksheet& inlined = Active(inlinedBook);
    EXPECT_EQ(inlined.cells.size(), 10u);
    EXPECT_EQ(inlined.At(1, 10), Cell::Text("Option F"));
}

TEST(ReaderFixtures, FileAndBytesAgree) {
    const auto path = kFixtures / "plain-3q.lo.xls";
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    const Workbook a = ReadWorkbookFile(path);
    const Workbook b = ReadWorkbookBytes(bytes);
    ASSERT_EQ(a.sheets.size(), b.sheets.size());
    EXPECT_EQ(a.sheets[0].cells, b.sheets[0].cells);
    EXPECT_EQ(a.sheets[0].columnWidths, b.sheets[0].columnWidths);
}

TEST(ReaderFixtures, MissingFileIsAWorkbookError) {
    EXPECT_THROW(ReadWorkbookFile(kFixtures / "no-such-file.xls"), WorkbookError);
}

}  // namespace
}  // namespace scrivane::codec
