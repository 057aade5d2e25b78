// The BIFF8 writer: files read back by xlrd (an independent reader) and a
// strict walk over the records, the string table's CONTINUE splitting above
// all, plus the row height estimate and the refusal of books BIFF8 cannot hold.
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "spreadsheet/codec/biff8_layout.h"
#include "spreadsheet/codec/biff8_writer.h"
#include "spreadsheet/codec/reader.h"

namespace scrivane::codec {
namespace {

namespace fs = std::filesystem;

const fs::path kScript = SCRIVANE_XLRD_CHECK;

// ---------------------------------------------------------------------------
// Strict reading of what the writer produced.

struct GObjectUnref {
    void operator()(void* p) const {
        if (p) g_object_unref(p);
    }
};

std::vector<std::uint8_t> WorkbookStream(const std::vector<std::uint8_t>& file) {
    std::unique_ptr<GsfInput, GObjectUnref> input(
        gsf_input_memory_new(file.data(), file.size(), FALSE));
    GError* error = nullptr;
    std::unique_ptr<GsfInfile, GObjectUnref> ole(gsf_infile_msole_new(input.get(), &error));
    if (error) g_error_free(error);
    if (!ole) return {};
    std::unique_ptr<GsfInput, GObjectUnref> stream(gsf_infile_child_by_name(ole.get(), "Workbook"));
    if (!stream) return {};
    const auto size = static_cast<std::size_t>(gsf_input_size(stream.get()));
    std::vector<std::uint8_t> bytes(size);
    if (size && !gsf_input_read(stream.get(), size, bytes.data())) return {};
    return bytes;
}

unsigned U16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b.at(at) | (b.at(at + 1) << 8);
}
std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return U16(b, at) | (U16(b, at + 2) << 16);
}

struct Record {
    unsigned type;
    std::size_t start;  // of the header
    std::size_t length;
};

struct Structure {
    std::vector<std::u16string> strings;  // the string table, decoded
    int fonts = 0;
    std::vector<std::vector<std::uint8_t>> xfs;
    std::vector<std::uint32_t> sheetOffsets;
    std::size_t streamSize = 0;
};

// Walks the stream and fails the current test on anything a strict reader
// would reject: records too long or running past the end, substreams that
// do not start with BOF and end with EOF, sheet offsets that miss their BOF,
// a string header cut by a record boundary, a UTF-16 unit cut in two, an
// EXTSST entry that does not point at its string.
Structure CheckStructure(const std::vector<std::uint8_t>& file) {
    Structure s;
    EXPECT_GE(file.size(), 8u);
    EXPECT_EQ(0, std::memcmp(file.data(), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
        << "not an OLE2 file";
    const std::vector<std::uint8_t> b = WorkbookStream(file);
    s.streamSize = b.size();
    EXPECT_GE(b.size(), 4096u) << "stream would live in the mini stream";

    auto readSubstream = [&](std::size_t pos, unsigned type) {
        std::vector<Record> records;
        while (true) {
            if (pos + 4 > b.size()) {
                ADD_FAILURE() << "substream runs past the end";
                break;
            }
            const Record r{U16(b, pos), pos, U16(b, pos + 2)};
            EXPECT_LE(r.length, 8224u) << "record " << std::hex << r.type;
            if (pos + 4 + r.length > b.size()) {
                ADD_FAILURE() << "record runs past the end";
                break;
            }
            records.push_back(r);
            pos += 4 + r.length;
            if (r.type == 0x000A) break;
        }
        EXPECT_FALSE(records.empty());
        if (!records.empty()) {
            EXPECT_EQ(0x0809u, records.front().type);
            EXPECT_EQ(0x0600u, U16(b, records.front().start + 4));
            EXPECT_EQ(type, U16(b, records.front().start + 6));
        }
        return records;
    };

    const std::vector<Record> globals = readSubstream(0, 0x0005);
    std::size_t sstIndex = globals.size();
    for (std::size_t i = 0; i < globals.size(); ++i) {
        const Record& r = globals[i];
        if (r.type == 0x0031) ++s.fonts;
        if (r.type == 0x00E0)
            s.xfs.emplace_back(b.begin() + r.start + 4, b.begin() + r.start + 4 + r.length);
        if (r.type == 0x0085) s.sheetOffsets.push_back(U32(b, r.start + 4));
        if (r.type == 0x00FC) sstIndex = i;
    }
    if (sstIndex == globals.size()) {
        ADD_FAILURE() << "no SST";
        return s;
    }

    // The string table: SST then its CONTINUE records, read strictly.
    std::vector<std::size_t> stringStarts;
    std::size_t rec = sstIndex;
    std::size_t pos = globals[rec].start + 4 + 8;
    auto recordEnd = [&] { return globals[rec].start + 4 + globals[rec].length; };
    auto nextContinue = [&] {
        ++rec;
        if (rec >= globals.size() || globals[rec].type != 0x003C) {
            ADD_FAILURE() << "string table cut short";
            return false;
        }
        pos = globals[rec].start + 4;
        return true;
    };
    const std::uint32_t unique = U32(b, globals[sstIndex].start + 8);
    for (std::uint32_t k = 0; k < unique; ++k) {
        if (pos == recordEnd() && !nextContinue()) return s;
        if (recordEnd() - pos < 3) {
            ADD_FAILURE() << "string " << k << ": header cut by a record boundary";
            return s;
        }
        stringStarts.push_back(pos);
        const unsigned count = U16(b, pos);
        unsigned flags = b[pos + 2];
        EXPECT_EQ(0u, flags & ~1u) << "string " << k << ": rich or phonetic flags";
        pos += 3;
        std::u16string text;
        while (text.size() < count) {
            if (pos == recordEnd()) {
                if (!nextContinue()) return s;
                flags = b[pos++];
            }
            const std::size_t unit = (flags & 1) ? 2 : 1;
            const std::size_t n =
                std::min<std::size_t>(count - text.size(), (recordEnd() - pos) / unit);
            for (std::size_t i = 0; i < n; ++i, pos += unit)
                text.push_back(unit == 2 ? U16(b, pos) : b[pos]);
            if (text.size() < count && pos != recordEnd()) {
                ADD_FAILURE() << "string " << k << ": a UTF-16 unit cut by a record boundary";
                return s;
            }
        }
        s.strings.push_back(std::move(text));
    }
    EXPECT_EQ(pos, recordEnd()) << "bytes left after the last string";
    EXPECT_EQ(0x00FFu, globals.at(rec + 1).type) << "EXTSST should follow the string table";
    if (globals.at(rec + 1).type == 0x00FF) {
        const Record& ext = globals[rec + 1];
        const unsigned dsst = U16(b, ext.start + 4);
        EXPECT_GE(dsst, 8u);
        const std::size_t buckets = (ext.length - 2) / 8;
        EXPECT_EQ(buckets, dsst ? (unique + dsst - 1) / dsst : 0);
        for (std::size_t i = 0; i < buckets && i * dsst < stringStarts.size(); ++i) {
            const std::size_t at = ext.start + 6 + 8 * i;
            const std::uint32_t ib = U32(b, at);
            EXPECT_EQ(stringStarts[i * dsst], ib) << "EXTSST bucket " << i;
            // The offset counts from the header of the record holding the string.
            const std::size_t offset = U16(b, at + 4);
            EXPECT_LE(offset, ib);
            if (offset <= ib) {
                const std::size_t header = ib - offset;
                EXPECT_TRUE(U16(b, header) == 0x00FC || U16(b, header) == 0x003C)
                    << "EXTSST bucket " << i;
            }
        }
    }

    for (std::uint32_t offset : s.sheetOffsets) readSubstream(offset, 0x0010);
    return s;
}

// ---------------------------------------------------------------------------
// xlrd round trip.

bool XlrdAvailable() {
    return std::system("/usr/bin/python3 -c 'import xlrd' >/dev/null 2>&1") == 0;
}

std::string Json(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Json(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

// What xlrd should report for a sheet: every cell with its wrap flag and
// vertical alignment (top in wrapped columns, else the default bottom), the
// columns' widths and wrap flags, and the given row heights.
std::string ExpectedSheet(const Worksheet& ws, bool active,
                          const std::map<int, std::pair<int, bool>>& rows) {
    std::ostringstream out;
    out << "{\"name\":" << Json(ws.name) << ",\"selected\":" << (active ? "true" : "false")
        << ",\"shown\":" << (active ? "true" : "false") << ",\"cells\":{";
    bool first = true;
    for (const auto& [pos, cell] : ws.cells) {
        if (cell.kind == Cell::Kind::Empty) continue;
        out << (first ? "" : ",") << "\"" << pos.first << "," << pos.second << "\":[";
        first = false;
        switch (cell.kind) {
            case Cell::Kind::Text:
                out << "\"text\"," << Json(cell.text);
                break;
            case Cell::Kind::Number:
                out << "\"number\"," << Json(cell.number);
                break;
            case Cell::Kind::Boolean:
                out << "\"boolean\"," << (cell.boolean ? "true" : "false");
                break;
            case Cell::Kind::Error:
                out << "\"error\"," << cell.errorCode;
                break;
            case Cell::Kind::Empty:
                break;
        }
        const bool wrap = ws.wrapColumns.count(pos.second) > 0;
        out << "," << (wrap ? "true,0" : "false,2") << "]";
    }
    out << "},\"columns\":{";
    first = true;
    std::set<int> columns(ws.wrapColumns);
    for (const auto& entry : ws.columnWidths) columns.insert(entry.first);
    for (int c : columns) {
        const auto w = ws.columnWidths.find(c);
        out << (first ? "" : ",") << "\"" << c << "\":["
            << Json(w == ws.columnWidths.end() ? 8.0 : w->second) << ","
            << (ws.wrapColumns.count(c) ? "true" : "false") << "]";
        first = false;
    }
    out << "},\"rows\":{";
    first = true;
    for (const auto& [row, height] : rows) {
        out << (first ? "" : ",") << "\"" << row << "\":[" << height.first << ","
            << (height.second ? "true" : "false") << "]";
        first = false;
    }
    out << "}}";
    return out.str();
}

using RowHeights = std::map<int, std::pair<int, bool>>;  // row -> (twips, custom flag)

class WriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/scrivane-writer-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        dir_ = pattern;
        xlrd_ = XlrdAvailable();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Writes the book, checks its structure, and has xlrd compare it with
    // what was written (one RowHeights per sheet).
    Structure RoundTrip(const Workbook& book, const std::vector<RowHeights>& rows = {}) {
        const std::vector<std::uint8_t> bytes = WriteBiff8Bytes(book);
        Structure s = CheckStructure(bytes);
        EXPECT_EQ(book.sheets.size(), s.sheetOffsets.size());
        if (!xlrd_) return s;
        const fs::path xls = dir_ / "book.xls";
        const fs::path expected = dir_ / "expected.json";
        {
            std::ofstream(xls, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            std::ofstream json(expected, std::ios::binary);
            json << "{\"active_sheet\":" << book.activeSheet << ",\"sheets\":[";
            for (std::size_t i = 0; i < book.sheets.size(); ++i)
                json << (i ? "," : "")
                     << ExpectedSheet(book.sheets[i], static_cast<int>(i) == book.activeSheet,
                                      i < rows.size() ? rows[i] : RowHeights{});
            json << "]}";
        }
        const fs::path err = dir_ / "stderr.txt";
        const std::string command = "/usr/bin/python3 '" + kScript.string() + "' '" + xls.string() +
                                    "' '" + expected.string() + "' >/dev/null 2>'" + err.string() +
                                    "'";
        const int status = std::system(command.c_str());
        std::ifstream in(err);
        const std::string problems((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
        EXPECT_EQ(0, status) << problems;
        return s;
    }

    fs::path dir_;
    bool xlrd_ = false;
};

// The structure is checked without xlrd too; the test then says it skipped
// the round trip.
#define SKIP_IF_NO_XLRD() \
    if (!xlrd_)           \
    GTEST_SKIP() << "python3-xlrd is not installed for /usr/bin/python3: round trip not checked"

Worksheet QuestionSheet() {
    Worksheet ws;
    ws.name = "Sheet1";
    const char* headers[] = {"Question NO", "Mark",     "Answer",   "Question Title", "Option A",
                             "Option B",    "Option C", "Option D", "Option E",       "Option F"};
    for (int c = 1; c <= 10; ++c) {
        ws.Set(1, c, Cell::Text(headers[c - 1]));
        ws.columnWidths[c] = c <= 3 ? 6 : c == 4 ? 30 : 13;
        ws.wrapColumns.insert(c);
    }
    return ws;
}

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

TEST_F(WriterTest, QuestionSheetRoundTrips) {
    Workbook book;
    Worksheet ws = QuestionSheet();
    const double marks[] = {12.5, 0.1, 250, 0};
    const char* titles[] = {"  blanks kept  ", "",
                            "Smile \xF0\x9F\x98\x80 and thumbs \xF0\x9F\x91\x8D",
                            "\xE4\xB8\xAD\xE6\x96\x87\xE9\xA2\x98\xE7\x9B\xAE"};
    for (int k = 0; k < 4; ++k) {
        ws.Set(k + 2, 1, Cell::Number(k + 1));
        ws.Set(k + 2, 2, Cell::Number(marks[k]));
        ws.Set(k + 2, 3, Cell::Text(k == 1 ? "Uncertain" : "AC"));
        ws.Set(k + 2, 4, Cell::Text(titles[k]));
        for (int c = 5; c <= 10; ++c)
            ws.Set(k + 2, c, Cell::Text(c == 10 ? "" : "option " + std::to_string(c)));
    }
    // Lines per row: the longest wrapped cell decides. Row 1: "Question NO"
    // in 6 characters takes 2 lines ("Questi", "on NO").
    // Row 3: "Uncertain" in 6 takes 2. Row 6: 40 wide characters in 30 take 3.
    ws.Set(6, 4, Cell::Text(Repeat("\xE4\xB8\xAD", 40)));
    ws.Set(6, 1, Cell::Number(5));
    ws.Set(6, 2, Cell::Number(1));
    book.sheets.push_back(ws);
    const RowHeights rows = {
        {1, {510, true}}, {2, {255, false}}, {3, {510, true}}, {6, {765, true}}};
    const Structure s = RoundTrip(book, {rows});
    EXPECT_GE(s.fonts, 5);
    ASSERT_GE(s.xfs.size(), 17u);
    EXPECT_EQ(0x08, s.xfs[16][6]) << "XF 16 wraps and aligns to the top";
    EXPECT_EQ(0x20, s.xfs[15][6]) << "XF 15 is the plain default";
    SKIP_IF_NO_XLRD();
}

TEST_F(WriterTest, HundredRowsOfLongChineseTitles) {
    Workbook book;
    Worksheet ws = QuestionSheet();
    // 3000 wide characters each: every title spans CONTINUE records, which
    // fall at ever-different places in the strings.
    for (int k = 1; k <= 100; ++k) {
        std::u16string title;
        std::string utf8;
        for (int i = 0; i < 3000; ++i) {
            const char32_t c = 0x4E00 + (k * 37 + i) % 0x5000;
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
        ws.Set(k + 1, 1, Cell::Number(k));
        ws.Set(k + 1, 2, Cell::Number(k * 2.5));
        ws.Set(k + 1, 3, Cell::Text("B"));
        ws.Set(k + 1, 4, Cell::Text(utf8));
        for (int c = 5; c <= 10; ++c)
            ws.Set(k + 1, c, Cell::Text("Option " + std::to_string(c - 4)));
    }
    book.sheets.push_back(ws);
    // 3000 wide characters in 30 need 200 lines: capped at 409 points.
    const RowHeights rows = {{2, {8180, true}}, {101, {8180, true}}};
    const Structure s = RoundTrip(book, {rows});
    EXPECT_EQ(117u, s.strings.size());  // 10 headers, 100 titles, "B", "Option 1" to "Option 6"
    SKIP_IF_NO_XLRD();
}

// Strings laid out so that the boundary of the SST record (8224 bytes of
// data, 8 of them the counts) falls at each awkward place. A string of n
// Latin characters takes 3 + n bytes.
TEST_F(WriterTest, StringTableSplitsAtEveryBoundaryCase) {
    const std::string wide = "\xE4\xB8\xAD";       // one UTF-16 unit, two bytes
    const std::string emoji = "\xF0\x9F\x98\x80";  // a surrogate pair
    struct Case {
        const char* what;
        std::vector<std::string> strings;
    };
    const std::vector<Case> cases = {
        {"next string starts exactly at the boundary", {std::string(8213, 'a'), "next"}},
        {"two bytes left: the next header would straddle", {std::string(8211, 'a'), "next"}},
        {"one byte left", {std::string(8212, 'a'), "next"}},
        {"header fits, its first character would not", {std::string(8210, 'a'), "next"}},
        {"an empty string fits the last three bytes", {std::string(8210, 'a'), "", "after"}},
        {"wide characters meet the boundary on an odd byte", {Repeat(wide, 5000), "x"}},
        {"wide string continues in a second and third CONTINUE", {Repeat(wide, 12000), "tail"}},
        {"header fits, first wide unit needs two bytes",
         {std::string(8209, 'a'), Repeat(wide, 10)}},
        {"surrogate pairs across the boundary", {std::string(8205, 'a'), Repeat(emoji, 10)}},
        {"surrogate pair straddling on an odd start", {std::string(8204, 'a'), Repeat(emoji, 10)}},
        {"Latin string continues then the next starts at a CONTINUE boundary",
         {std::string(8213 + 8223, 'a'), "next"}},
        {"the longest text", {std::string(32767, 'z'), Repeat(wide, 32767)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Workbook book;
        Worksheet ws;
        for (std::size_t i = 0; i < c.strings.size(); ++i)
            ws.Set(static_cast<int>(i) + 1, 1, Cell::Text(c.strings[i]));
        book.sheets.push_back(ws);
        const Structure s = RoundTrip(book);
        ASSERT_EQ(c.strings.size(), s.strings.size());
        for (std::size_t i = 0; i < c.strings.size(); ++i)
            EXPECT_EQ(Utf8ToUtf16(c.strings[i]), s.strings[i]);
    }
    SKIP_IF_NO_XLRD();
}

TEST_F(WriterTest, ManySheetsActiveSheetAndOtherCellKinds) {
    Workbook book;
    for (int i = 0; i < 3; ++i) {
        Worksheet ws;
        ws.name = i == 1 ? "\xE8\xAF\x95\xE5\x8D\xB7 Paper" : "Sheet" + std::to_string(i + 1);
        ws.Set(1, 1, Cell::Boolean(true));
        ws.Set(1, 2, Cell::Boolean(false));
        ws.Set(2, 1, Cell::Error(0x07));
        ws.Set(2, 2, Cell::Error(0x2A));
        ws.Set(3, 256, Cell::Number(-1.5e300));
        ws.Set(65536, 3, Cell::Text("last row"));
        ws.Set(4, 4, Cell{});  // an empty cell writes nothing
        ws.columnWidths[2] = 12.5;
        ws.wrapColumns.insert(3);  // wrapped without a width: the default 8
        book.sheets.push_back(ws);
    }
    book.activeSheet = 1;
    RoundTrip(book);

    // Strings come once into the table however many cells use them.
    Workbook shared;
    Worksheet ws;
    for (int r = 1; r <= 50; ++r) ws.Set(r, 1, Cell::Text(r % 2 ? "odd" : "even"));
    shared.sheets.push_back(ws);
    EXPECT_EQ(2u, RoundTrip(shared).strings.size());
    SKIP_IF_NO_XLRD();
}

TEST_F(WriterTest, EmptySheetAndTinyBookAreStillWholeFiles) {
    Workbook book;
    book.sheets.emplace_back();
    const Structure s = RoundTrip(book);
    EXPECT_TRUE(s.strings.empty());
    EXPECT_GE(s.streamSize, 4096u);
    SKIP_IF_NO_XLRD();
}

TEST(WrappedLineCount, EstimatesLinesLikeASpreadsheet) {
    struct Case {
        const char* text;
        double width;
        int lines;
    };
    const Case cases[] = {
        {"", 10, 1},
        {"short", 10, 1},
        {"exactly10!", 10, 1},
        {"exactly10!x", 10, 2},
        {"two words", 5, 2},       // the second word moves down whole
        {"aaaa bbbb cccc", 9, 2},  // "aaaa bbbb" fits 9; a blank at a line end is swallowed
        {"abcdefghijklmnopqrstuvwxy", 10, 3},  // a word longer than a line is broken
        {"a\nb\nc", 30, 3},                    // line feeds start lines
        {"a\r\nb", 30, 2},                     // CR LF counts once
        {"text\n", 30, 2},                     // a trailing line feed leaves an empty line
        {"\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD", 6, 1},  // three wide characters fill six
        {"\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD", 5, 2},  // and break between characters
        {"ab\xE4\xB8\xAD", 3, 2},  // a wide character does not split over a line end
        {"\xF0\x9F\x98\x80\xF0\x9F\x98\x80", 3, 2},  // emoji count two
        {"x", 0, 1},                                 // a zero width still gives a line
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.lines, WrappedLineCount(Utf8ToUtf16(c.text), c.width))
            << c.text << " in " << c.width;

    EXPECT_EQ(255, RowHeightTwips(1));
    EXPECT_EQ(8160, RowHeightTwips(32));
    EXPECT_EQ(8180, RowHeightTwips(33));
    EXPECT_EQ(8180, RowHeightTwips(1000000));
}

TEST(Utf8ToUtf16, ConvertsAndRejectsMalformedText) {
    EXPECT_EQ(u"A\u00e9\u4e2d\U0001F600", Utf8ToUtf16("A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"));
    for (const char* bad :
         {"\x80", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF", "a\xE4\xB8"})
        EXPECT_THROW(Utf8ToUtf16(bad), WorkbookError) << bad;
}

TEST(WriteBiff8Bytes, RefusesWhatBiff8CannotHold) {
    auto one = [](auto change) {
        Workbook book;
        Worksheet ws;
        ws.Set(1, 1, Cell::Text("ok"));
        book.sheets.push_back(ws);
        change(book);
        return book;
    };
    const std::vector<std::pair<const char*, Workbook>> cases = {
        {"no sheet", one([](Workbook& b) { b.sheets.clear(); })},
        {"active sheet missing", one([](Workbook& b) { b.activeSheet = 1; })},
        {"negative active sheet", one([](Workbook& b) { b.activeSheet = -1; })},
        {"empty name", one([](Workbook& b) { b.sheets[0].name = ""; })},
        {"32-character name", one([](Workbook& b) { b.sheets[0].name = std::string(32, 'n'); })},
        {"slash in name", one([](Workbook& b) { b.sheets[0].name = "a/b"; })},
        {"duplicate name", one([](Workbook& b) {
             b.sheets.push_back(b.sheets[0]);
             b.sheets[1].name = "SHEET1";
         })},
        {"row 65537", one([](Workbook& b) { b.sheets[0].Set(65537, 1, Cell::Number(1)); })},
        {"row 0", one([](Workbook& b) { b.sheets[0].Set(0, 1, Cell::Number(1)); })},
        {"column 257", one([](Workbook& b) { b.sheets[0].Set(1, 257, Cell::Number(1)); })},
        {"not a number",
         one([](Workbook& b) { b.sheets[0].Set(1, 1, Cell::Number(std::nan(""))); })},
        {"infinity", one([](Workbook& b) { b.sheets[0].Set(1, 1, Cell::Number(INFINITY)); })},
        {"bad UTF-8", one([](Workbook& b) { b.sheets[0].Set(1, 1, Cell::Text("\xC3")); })},
        {"text too long",
         one([](Workbook& b) { b.sheets[0].Set(1, 1, Cell::Text(std::string(32768, 'a'))); })},
        {"emoji push a text past 32767 units", one([](Workbook& b) {
             b.sheets[0].Set(1, 1, Cell::Text(Repeat("\xF0\x9F\x98\x80", 16384)));
         })},
        {"unknown error code", one([](Workbook& b) { b.sheets[0].Set(1, 1, Cell::Error(3)); })},
        {"width too large", one([](Workbook& b) { b.sheets[0].columnWidths[1] = 256; })},
        {"negative width", one([](Workbook& b) { b.sheets[0].columnWidths[1] = -1; })},
        {"wrapped column 0", one([](Workbook& b) { b.sheets[0].wrapColumns.insert(0); })},
    };
    for (const auto& [what, book] : cases)
        EXPECT_THROW(WriteBiff8Bytes(book), WorkbookError) << what;
}

// The writer keeps to the text a read keeps, counted the same way: a shared
// text once for every cell that shows it, and the sheet's name.
TEST(WriteBiff8Bytes, WritesTheTextAReadKeepsAndNoMore) {
    Workbook book;
    book.sheets.emplace_back();
    std::size_t left = kMaxTextBytes - book.sheets[0].name.size();
    for (int row = 1; left > 0; ++row) {
        const std::size_t n = std::min<std::size_t>(left, 32767);
        book.sheets[0].Set(row, 1, Cell::Text(std::string(n, 'x')));
        left -= n;
    }
    ASSERT_EQ(kMaxTextBytes, TextBytes(book));
    const std::vector<std::uint8_t> bytes = WriteBiff8Bytes(book);
    EXPECT_EQ(kMaxTextBytes, TextBytes(ReadWorkbookBytes(bytes)));

    book.sheets[0].name += 'x';
    try {
        WriteBiff8Bytes(book);
        ADD_FAILURE() << "one byte more was written";
    } catch (const WorkbookError& e) {
        EXPECT_STREQ("the workbook holds too much text", e.what());
    }
}

}  // namespace
}  // namespace scrivane::codec

namespace scrivane::codec {
namespace {

// A workbook without pictures is written byte for byte as the writer wrote
// it before pictures were kept (the fixture was written by that writer).
TEST(WriterBytes, WorkbookWithoutPicturesKeepsItsBytes) {
    Workbook book;
    Worksheet& s = book.sheets.emplace_back();
    const char* headers[] = {"Question NO", "Mark",     "Answer",   "Question Title", "Option A",
                             "Option B",    "Option C", "Option D", "Option E",       "Option F"};
    const double widths[] = {6, 6, 6, 30, 13, 13, 13, 13, 13, 13};
    for (int c = 1; c <= 10; ++c) {
        s.Set(1, c, Cell::Text(headers[c - 1]));
        s.columnWidths[c] = widths[c - 1];
        s.wrapColumns.insert(c);
    }
    for (int r = 2; r <= 4; ++r) {
        s.Set(r, 1, Cell::Number(r - 1));
        s.Set(r, 2, Cell::Number(2.5));
        s.Set(r, 3, Cell::Text("A"));
        s.Set(r, 4, Cell::Text("Which graph shows y = kx? \xe5\x9b\xbe"));
        for (int c = 5; c <= 8; ++c)
            s.Set(r, c, Cell::Text(std::string("option ") + char('A' + c - 5)));
    }
    std::ifstream in(std::filesystem::path(SCRIVANE_FIXTURES) / "three-questions.scrivane.tpf",
                     std::ios::binary);
    const std::vector<std::uint8_t> expected((std::istreambuf_iterator<char>(in)),
                                             std::istreambuf_iterator<char>());
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(WriteBiff8Bytes(book), expected);
}

}  // namespace
}  // namespace scrivane::codec
