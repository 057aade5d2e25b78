// Hand-built workbooks: the record forms and XML shapes real files use but
// the fixtures do not show, and damaged or hostile inputs that must give a
// WorkbookError. The OLE2 and zip containers are written with libgsf.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gsf/gsf.h>

#include "hostile_inputs.h"
#include "ordinary_user.h"
#include "spreadsheet/codec/reader.h"

namespace scrivane::codec {
namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- little-endian pieces and BIFF records ----

Bytes U16(unsigned v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
}
Bytes U32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}
Bytes F64(double d) {
    const auto bits = std::bit_cast<std::uint64_t>(d);
    Bytes out = U32(static_cast<std::uint32_t>(bits));
    const Bytes hi = U32(static_cast<std::uint32_t>(bits >> 32));
    out.insert(out.end(), hi.begin(), hi.end());
    return out;
}
Bytes Str(std::string_view s) {
    return Bytes(s.begin(), s.end());
}
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes Rec(unsigned id, const Bytes& data) {
    return Cat({U16(id), U16(static_cast<unsigned>(data.size())), data});
}
Bytes Cell6(unsigned row, unsigned col, unsigned xf = 15) {
    return Cat({U16(row), U16(col), U16(xf)});
}
// BIFF8 string with a 16-bit length, 8-bit characters.
Bytes Latin(std::string_view s) {
    return Cat({U16(static_cast<unsigned>(s.size())), {0}, Str(s)});
}
Bytes Utf16(std::u16string_view s) {
    Bytes out;
    for (char16_t c : s) {
        const Bytes b = U16(c);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

enum : unsigned {
    kBof = 0x0809,
    kEof = 0x000A,
    kBoundsheet = 0x0085,
    kSst = 0x00FC,
    kContinue = 0x003C,
    kLabelsst = 0x00FD,
    kLabel = 0x0204,
    kRstring = 0x00D6,
    kNumber = 0x0203,
    kRk = 0x027E,
    kMulrk = 0x00BD,
    kBoolerr = 0x0205,
    kFormula = 0x0006,
    kString = 0x0207,
    kColinfo = 0x007D,
    kXf = 0x00E0,
    kWindow1 = 0x003D,
    kWindow2 = 0x023E,
    kCodepage = 0x0042,
    kFilepass = 0x002F,
};

struct Sheet {
    std::string name;  // bytes as stored: ASCII for BIFF8 (8-bit chars), code page bytes for BIFF5
    Bytes records;     // between the sheet's BOF and EOF
};

// A workbook stream: globals (BOF, records, BOUNDSHEETs, EOF) then the sheets.
Bytes BiffStream(const Bytes& globals, const std::vector<Sheet>& sheets, bool biff5 = false) {
    const unsigned version = biff5 ? 0x0500 : 0x0600;
    const Bytes bof = Rec(kBof, Cat({U16(version), U16(0x0005), Bytes(biff5 ? 4 : 12, 0)}));
    auto boundsheet = [&](std::uint32_t offset, const std::string& name) {
        const Bytes nameBytes = biff5
                                    ? Cat({{static_cast<std::uint8_t>(name.size())}, Str(name)})
                                    : Cat({{static_cast<std::uint8_t>(name.size()), 0}, Str(name)});
        return Rec(kBoundsheet, Cat({U32(offset), {0, 0}, nameBytes}));
    };
    std::size_t size = bof.size() + globals.size() + 4;
    for (const Sheet& s : sheets) size += boundsheet(0, s.name).size();
    Bytes out = Cat({bof, globals});
    std::vector<Bytes> bodies;
    std::size_t offset = size;
    for (const Sheet& s : sheets) {
        Bytes body = Cat({Rec(kBof, Cat({U16(version), U16(0x0010), Bytes(biff5 ? 4 : 12, 0)})),
                          s.records, Rec(kEof, {})});
        const Bytes b = boundsheet(static_cast<std::uint32_t>(offset), s.name);
        out.insert(out.end(), b.begin(), b.end());
        offset += body.size();
        bodies.push_back(std::move(body));
    }
    const Bytes eof = Rec(kEof, {});
    out.insert(out.end(), eof.begin(), eof.end());
    for (const Bytes& b : bodies) out.insert(out.end(), b.begin(), b.end());
    return out;
}

// ---- containers written through libgsf ----

struct Unref {
    void operator()(void* p) const { g_object_unref(p); }
};

Bytes Finish(GsfOutput* memory) {
    const auto* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memory));
    return Bytes(data, data + gsf_output_size(memory));
}

Bytes Ole(const std::vector<std::pair<std::string, Bytes>>& streams) {
    std::unique_ptr<GsfOutput, Unref> memory(gsf_output_memory_new());
    std::unique_ptr<GsfOutfile, Unref> ole(gsf_outfile_msole_new(memory.get()));
    for (const auto& [name, data] : streams) {
        std::unique_ptr<GsfOutput, Unref> child(
            gsf_outfile_new_child(ole.get(), name.c_str(), FALSE));
        gsf_output_write(child.get(), data.size(), data.data());
        gsf_output_close(child.get());
    }
    gsf_output_close(GSF_OUTPUT(ole.get()));
    return Finish(memory.get());
}

Bytes Zip(const std::vector<std::pair<std::string, std::string>>& parts) {
    std::unique_ptr<GsfOutput, Unref> memory(gsf_output_memory_new());
    std::unique_ptr<GsfOutfile, Unref> zip(gsf_outfile_zip_new(memory.get(), nullptr));
    std::map<std::string, std::unique_ptr<GsfOutfile, Unref>> dirs;
    std::vector<std::string> order;
    for (const auto& [path, text] : parts) {
        GsfOutfile* dir = zip.get();
        std::size_t start = 0;
        for (std::size_t slash; (slash = path.find('/', start)) != std::string::npos;
             start = slash + 1) {
            const std::string prefix = path.substr(0, slash);
            if (!dirs.count(prefix)) {
                dirs[prefix].reset(GSF_OUTFILE(
                    gsf_outfile_new_child(dir, path.substr(start, slash - start).c_str(), TRUE)));
                order.push_back(prefix);
            }
            dir = dirs[prefix].get();
        }
        std::unique_ptr<GsfOutput, Unref> child(
            gsf_outfile_new_child(dir, path.substr(start).c_str(), FALSE));
        gsf_output_write(child.get(), text.size(), reinterpret_cast<const guint8*>(text.data()));
        gsf_output_close(child.get());
    }
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        gsf_output_close(GSF_OUTPUT(dirs[*it].get()));
    gsf_output_close(GSF_OUTPUT(zip.get()));
    return Finish(memory.get());
}

const std::string kXmlHead = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
                             "\n";
const std::string kMainNs = R"(xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main")";
const std::string kRelNs =
    R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")";
const std::string kRelType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

std::string Rels(const std::vector<std::tuple<std::string, std::string, std::string>>& rels) {
    std::string out =
        kXmlHead +
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
    for (const auto& [id, type, target] : rels)
        out += R"(<Relationship Id=")" + id + R"(" Type=")" + kRelType + type + R"(" Target=")" +
               target + R"("/>)";
    return out + "</Relationships>";
}

// A package with one worksheet per given sheetData body and optional extras.
Bytes Xlsx(const std::vector<std::string>& sheetBodies, const std::string& sharedStrings = "",
           const std::string& workbookExtra = "", const std::string& styles = "") {
    std::vector<std::pair<std::string, std::string>> parts;
    parts.emplace_back("_rels/.rels", Rels({{"rId1", "officeDocument", "xl/workbook.xml"}}));
    std::string sheets;
    std::vector<std::tuple<std::string, std::string, std::string>> rels;
    for (std::size_t i = 0; i < sheetBodies.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        sheets += R"(<sheet name="S)" + n + R"(" sheetId=")" + n + R"(" r:id="rId)" + n + R"("/>)";
        // An absolute target for the first sheet, relative ones for the rest.
        rels.emplace_back("rId" + n, "worksheet",
                          (i == 0 ? "/xl/" : "") + std::string("worksheets/sheet") + n + ".xml");
        parts.emplace_back(
            "xl/worksheets/sheet" + n + ".xml",
            kXmlHead + "<worksheet " + kMainNs + ">" + sheetBodies[i] + "</worksheet>");
    }
    if (!sharedStrings.empty()) {
        rels.emplace_back("rIdS", "sharedStrings", "sharedStrings.xml");
        parts.emplace_back("xl/sharedStrings.xml",
                           kXmlHead + "<sst " + kMainNs + ">" + sharedStrings + "</sst>");
    }
    if (!styles.empty()) {
        rels.emplace_back("rIdT", "styles", "styles.xml");
        parts.emplace_back("xl/styles.xml",
                           kXmlHead + "<styleSheet " + kMainNs + ">" + styles + "</styleSheet>");
    }
    parts.emplace_back("xl/_rels/workbook.xml.rels", Rels(rels));
    parts.emplace_back("xl/workbook.xml", kXmlHead + "<workbook " + kMainNs + " " + kRelNs + ">" +
                                              workbookExtra + "<sheets>" + sheets +
                                              "</sheets></workbook>");
    return Zip(parts);
}

Bytes ReadFixture(const char* name) {
    std::ifstream in(std::filesystem::path(SCRIVANE_FIXTURES) / name, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

std::string ErrorOf(const Bytes& bytes) {
    try {
        ReadWorkbookBytes(bytes);
    } catch (const WorkbookError& e) {
        return e.what();
    }
    return "(no error)";
}

// ---- BIFF8 ----

TEST(ReaderBiff8, SharedStringsAcrossContinueRecords) {
    // String 0 starts 8-bit in the SST and goes on 16-bit in the CONTINUE;
    // string 1 is rich text whose runs spill into the next CONTINUE; string 2
    // carries phonetic data; string 3 lies wholly in the last CONTINUE.
    const Bytes sst = Rec(kSst, Cat({U32(4), U32(4), U16(5), {0}, Str("abc")}));
    const Bytes c1 =
        Rec(kContinue, Cat({{1}, Utf16(u"中文"), U16(2), {0x08}, U16(2), Str("xy"), U32(0)}));
    const Bytes c2 = Rec(
        kContinue, Cat({U32(0), U16(2), {0x04}, U32(3), Str("pq"), {1, 2, 3}, Latin("  last  ")}));
    Bytes cells;
    for (unsigned i = 0; i < 4; ++i)
        cells = Cat({cells, Rec(kLabelsst, Cat({Cell6(i, 0), U32(i)}))});
    const Workbook book =
        ReadWorkbookBytes(Ole({{"Workbook", BiffStream(Cat({sst, c1, c2}), {{"Data", cells}})}}));
    ASSERT_EQ(book.sheets.size(), 1u);
    const Worksheet& s = book.sheets[0];
    EXPECT_EQ(s.name, "Data");
    EXPECT_EQ(s.At(1, 1), Cell::Text("abc中文"));
    EXPECT_EQ(s.At(2, 1), Cell::Text("xy"));
    EXPECT_EQ(s.At(3, 1), Cell::Text("pq"));
    EXPECT_EQ(s.At(4, 1), Cell::Text("  last  "));
}

TEST(ReaderBiff8, EveryCellRecordForm) {
    const Bytes cells = Cat({
        Rec(kNumber, Cat({Cell6(0, 0), F64(-2.75)})),
        Rec(kRk, Cat({Cell6(0, 1), U32((250u << 2) | 2)})),   // integer 250
        Rec(kRk, Cat({Cell6(0, 2), U32((1205u << 2) | 3)})),  // 12.05 as integer / 100
        Rec(kRk, Cat({Cell6(0, 3), U32(0x3FF80000u)})),       // 1.5, top bits of a double
        Rec(kRk, Cat({Cell6(0, 4), U32(static_cast<std::uint32_t>(-7 * 4) | 2)})),  // -7
        Rec(kMulrk, Cat({U16(1), U16(2), U16(15), U32((1u << 2) | 2), U16(15), U32((2u << 2) | 2),
                         U16(3)})),
        Rec(kBoolerr, Cat({Cell6(2, 0), {1, 0}})),
        Rec(kBoolerr, Cat({Cell6(2, 1), {0x07, 1}})),
        Rec(kFormula, Cat({Cell6(3, 0), F64(42), U16(0), U32(0), U16(0)})),
        Rec(kFormula, Cat({Cell6(3, 1), {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}, U16(0), U32(0), U16(0)})),
        Rec(kString, Latin(" formula text ")),
        Rec(kFormula, Cat({Cell6(3, 2), {1, 0, 1, 0, 0, 0, 0xFF, 0xFF}, U16(0), U32(0), U16(0)})),
        Rec(kFormula,
            Cat({Cell6(3, 3), {2, 0, 0x2A, 0, 0, 0, 0xFF, 0xFF}, U16(0), U32(0), U16(0)})),
        Rec(kFormula, Cat({Cell6(3, 4), {3, 0, 0, 0, 0, 0, 0xFF, 0xFF}, U16(0), U32(0), U16(0)})),
        Rec(kLabel, Cat({Cell6(4, 0), U16(2), {1}, Utf16(u"é字")})),
        Rec(kRstring, Cat({Cell6(4, 1), Latin("rich"), U16(0)})),
        Rec(kColinfo, Cat({U16(3), U16(4), U16(20 * 256), U16(16), U16(0), U16(0)})),
    });
    // XF 16 wraps its text; XFs 0..15 do not.
    Bytes xfs;
    for (int i = 0; i < 17; ++i)
        xfs = Cat({xfs, Rec(kXf, Cat({U16(0),
                                      U16(0),
                                      U16(0),
                                      {i == 16 ? std::uint8_t{0x08} : std::uint8_t{0}},
                                      Bytes(13, 0)}))});
    const Workbook book = ReadWorkbookBytes(Ole({{"Workbook", BiffStream(xfs, {{"S", cells}})}}));
    const Worksheet& s = book.sheets.at(0);
    EXPECT_EQ(s.At(1, 1), Cell::Number(-2.75));
    EXPECT_EQ(s.At(1, 2), Cell::Number(250));
    EXPECT_EQ(s.At(1, 3), Cell::Number(12.05));
    EXPECT_EQ(s.At(1, 4), Cell::Number(1.5));
    EXPECT_EQ(s.At(1, 5), Cell::Number(-7));
    EXPECT_EQ(s.At(2, 3), Cell::Number(1));
    EXPECT_EQ(s.At(2, 4), Cell::Number(2));
    EXPECT_EQ(s.At(3, 1), Cell::Boolean(true));
    EXPECT_EQ(s.At(3, 2), Cell::Error(0x07));
    EXPECT_EQ(s.At(4, 1), Cell::Number(42));
    EXPECT_EQ(s.At(4, 2), Cell::Text(" formula text "));
    EXPECT_EQ(s.At(4, 3), Cell::Boolean(true));
    EXPECT_EQ(s.At(4, 4), Cell::Error(0x2A));
    EXPECT_EQ(s.At(4, 5), Cell::Text(""));
    EXPECT_EQ(s.At(5, 1), Cell::Text("é字"));
    EXPECT_EQ(s.At(5, 2), Cell::Text("rich"));
    EXPECT_EQ(s.columnWidths, (std::map<int, double>{{4, 20.0}, {5, 20.0}}));
    EXPECT_EQ(s.wrapColumns, (std::set<int>{4, 5}));
}

TEST(ReaderBiff8, ActiveSheetFromWindowRecords) {
    const Bytes window1 = Rec(kWindow1, Cat({Bytes(10, 0), U16(2), U16(0), U16(1), U16(600)}));
    const Bytes shown = Rec(kWindow2, Cat({U16(0x06B6), Bytes(16, 0)}));
    const Bytes hidden = Rec(kWindow2, Cat({U16(0x00B6), Bytes(16, 0)}));
    const std::vector<Sheet> sheets = {{"A", hidden}, {"B", shown}, {"C", hidden}};
    EXPECT_EQ(ReadWorkbookBytes(Ole({{"Workbook", BiffStream(window1, sheets)}})).activeSheet, 2);
    // Without WINDOW1 the sheet shown in the window is the active one.
    EXPECT_EQ(ReadWorkbookBytes(Ole({{"Workbook", BiffStream({}, sheets)}})).activeSheet, 1);
    // A tab index past the sheets falls back the same way.
    const Bytes window1Bad = Rec(kWindow1, Cat({Bytes(10, 0), U16(9), U16(0), U16(1), U16(600)}));
    EXPECT_EQ(ReadWorkbookBytes(Ole({{"Workbook", BiffStream(window1Bad, sheets)}})).activeSheet,
              1);
}

TEST(ReaderBiff8, WorkbookStreamPreferredOverBook) {
    const Bytes biff8 =
        BiffStream({}, {{"new", Rec(kLabel, Cat({Cell6(0, 0), Latin("from Workbook")}))}});
    const Bytes biff5 =
        BiffStream({}, {{"old", Rec(kLabel, Cat({Cell6(0, 0), U16(9), Str("from Book")}))}}, true);
    const Workbook both = ReadWorkbookBytes(Ole({{"Book", biff5}, {"Workbook", biff8}}));
    EXPECT_EQ(both.sheets.at(0).At(1, 1), Cell::Text("from Workbook"));
    const Workbook bookOnly = ReadWorkbookBytes(Ole({{"Book", biff5}}));
    EXPECT_EQ(bookOnly.sheets.at(0).At(1, 1), Cell::Text("from Book"));
}

// ---- BIFF5/7 ----

TEST(ReaderBiff5, TextsDecodedFromTheCodePage) {
    // Without a CODEPAGE record the bytes are Windows-1252.
    const Bytes cafe = Rec(kLabel, Cat({Cell6(0, 0), U16(5), Str("Caf\xE9\x80")}));
    const Workbook western =
        ReadWorkbookBytes(Ole({{"Book", BiffStream({}, {{"Feuil\xE9", cafe}}, true)}}));
    EXPECT_EQ(western.sheets.at(0).name, "Feuilé");
    EXPECT_EQ(western.sheets.at(0).At(1, 1), Cell::Text("Café€"));

    // Code page 936 (GBK): 中文 is D6 D0 CE C4; also through STRING after FORMULA.
    const Bytes chinese = Cat({
        Rec(kLabel, Cat({Cell6(0, 0), U16(4), Str("\xD6\xD0\xCE\xC4")})),
        Rec(kFormula, Cat({Cell6(1, 0), {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}, U16(0), U32(0), U16(0)})),
        Rec(kString, Cat({U16(3), Str(" \xCE\xC4")})),
        Rec(kNumber, Cat({Cell6(2, 0), F64(7.5)})),
    });
    const Workbook gbk = ReadWorkbookBytes(
        Ole({{"Book", BiffStream(Rec(kCodepage, U16(936)), {{"\xD6\xD0", chinese}}, true)}}));
    EXPECT_EQ(gbk.sheets.at(0).name, "中");
    EXPECT_EQ(gbk.sheets.at(0).At(1, 1), Cell::Text("中文"));
    EXPECT_EQ(gbk.sheets.at(0).At(2, 1), Cell::Text(" 文"));
    EXPECT_EQ(gbk.sheets.at(0).At(3, 1), Cell::Number(7.5));
}

// ---- xlsx ----

TEST(ReaderXlsx, CellsStringsAndEscapes) {
    const std::string shared =
        R"(<si><t xml:space="preserve">  lead and trail  </t></si>)"
        R"(<si><r><rPr><b/></rPr><t>bold</t></r><r><t xml:space="preserve"> plain</t></r>)"
        R"(<rPh sb="0" eb="1"><t>ふりがな</t></rPh><phoneticPr fontId="1"/></si>)"
        R"(<si><t>a &amp; b &lt;c&gt; &#x4E2D;&#25991; line_x000D_end</t></si>)";
    const std::string sheet =
        R"(<sheetData>)"
        R"(<row r="1"><c r="A1" t="s"><v>0</v></c><c r="C1" t="s"><v>1</v></c><c t="s"><v>2</v></c></row>)"
        R"(<row><c t="inlineStr"><is><r><t>in</t></r><r><t xml:space="preserve">line </t></r></is></c>)"
        R"(<c t="str"><f>A1</f><v>formula</v></c><c t="b"><v>1</v></c><c t="e"><v>#DIV/0!</v></c>)"
        R"(<c><v>1.5E2</v></c><c t="n"><v> -3 </v></c><c s="1"/></row>)"
        R"(<row r="5"><c r="AB5"><v>12</v></c></row>)"
        R"(</sheetData>)";
    const Workbook book = ReadWorkbookBytes(Xlsx({sheet}, shared));
    const Worksheet& s = book.sheets.at(0);
    EXPECT_EQ(s.name, "S1");
    EXPECT_EQ(s.At(1, 1), Cell::Text("  lead and trail  "));
    EXPECT_EQ(s.At(1, 3), Cell::Text("bold plain"));
    EXPECT_EQ(s.At(1, 4), Cell::Text("a & b <c> 中文 line\rend"));
    EXPECT_EQ(s.At(2, 1), Cell::Text("inline "));
    EXPECT_EQ(s.At(2, 2), Cell::Text("formula"));
    EXPECT_EQ(s.At(2, 3), Cell::Boolean(true));
    EXPECT_EQ(s.At(2, 4), Cell::Error(0x07));
    EXPECT_EQ(s.At(2, 5), Cell::Number(150));
    EXPECT_EQ(s.At(2, 6), Cell::Number(-3));
    EXPECT_EQ(s.At(2, 7).kind, Cell::Kind::Empty);
    EXPECT_EQ(s.At(5, 28), Cell::Number(12));
    EXPECT_EQ(s.cells.size(), 10u);
}

TEST(ReaderXlsx, ActiveTabWidthsAndWrap) {
    const std::string cols =
        R"(<cols><col min="2" max="3" width="30.5" style="1" customWidth="1"/></cols>)";
    const std::string styles =
        R"(<cellStyleXfs count="1"><xf><alignment wrapText="1"/></xf></cellStyleXfs>)"
        R"(<cellXfs count="2"><xf/><xf applyAlignment="1"><alignment wrapText="1"/></xf></cellXfs>)";
    const Workbook book =
        ReadWorkbookBytes(Xlsx({"<sheetData/>", cols + "<sheetData/>"}, "",
                               R"(<bookViews><workbookView activeTab="1"/></bookViews>)", styles));
    ASSERT_EQ(book.sheets.size(), 2u);
    EXPECT_EQ(book.activeSheet, 1);
    EXPECT_EQ(book.sheets[1].columnWidths, (std::map<int, double>{{2, 30.5}, {3, 30.5}}));
    EXPECT_EQ(book.sheets[1].wrapColumns, (std::set<int>{2, 3}));
}

// ---- damaged and hostile inputs ----

Bytes Truncated(Bytes b, std::size_t size) {
    b.resize(size);
    return b;
}

Bytes WithFlag(const std::string& body) {
    return Xlsx({"<sheetData>" + body + "</sheetData>"});
}

// What is written to stderr while body runs.
std::string StderrOf(const std::function<void()>& body) {
    std::fflush(stderr);
    FILE* capture = std::tmpfile();
    const int saved = dup(2);
    dup2(fileno(capture), 2);
    body();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string out;
    std::rewind(capture);
    for (int c; (c = std::fgetc(capture)) != EOF;) out.push_back(static_cast<char>(c));
    std::fclose(capture);
    return out;
}

TEST(ReaderDamaged, EveryCaseIsAWorkbookError) {
    const Bytes xls = ReadFixture("plain-3q.lo.xls");
    const Bytes xlsx = ReadFixture("gap-row.libxlsxwriter.xlsx");
    std::mt19937 random(7);
    Bytes noise(4096);
    for (auto& b : noise) b = static_cast<std::uint8_t>(random());
    Bytes oleNoise = Cat({{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1}, noise});
    const Bytes goodSheet = Rec(kNumber, Cat({Cell6(0, 0), F64(1)}));
    const Bytes biff = BiffStream({}, {{"S", goodSheet}});
    Bytes badOffset = biff;
    badOffset[4 + 16 + 4] = 0xFF;  // BOUNDSHEET offset far past the stream
    badOffset[4 + 16 + 7] = 0x7F;
    const std::string bomb =
        R"(<?xml version="1.0"?><!DOCTYPE lolz [<!ENTITY lol "lol"><!ENTITY lol2 "&lol;&lol;">]>)"
        R"(<worksheet><sheetData><row><c t="inlineStr"><is><t>&lol2;</t></is></c></row></sheetData></worksheet>)";

    const std::vector<std::pair<std::string, Bytes>> cases = {
        {"empty input", {}},
        {"plain text", Str("Question NO,Mark,Answer\n1,2,A\n")},
        {"random bytes", noise},
        {"OLE2 signature then noise", oleNoise},
        {"xls cut to its header", Truncated(xls, 512)},
        {"xls cut in half", Truncated(xls, xls.size() / 2)},
        {"xlsx cut in half", Truncated(xlsx, xlsx.size() / 2)},
        {"xlsx cut short of its end record", Truncated(xlsx, xlsx.size() - 10)},
        {"zip that is not a workbook", Zip({{"readme.txt", "hello"}, {"docs/a.xml", "<a/>"}})},
        {"OLE2 without a workbook stream", Ole({{"WordDocument", Bytes(600, 0)}})},
        {"encrypted workbook",
         Ole({{"Workbook",
               BiffStream(Rec(kFilepass, Cat({U16(1), Bytes(52, 0)})), {{"S", goodSheet}})}})},
        {"Excel 4 stream", Ole({{"Book", Rec(0x0409, Cat({U16(0), U16(0x10)}))}})},
        {"BIFF record running past the stream",
         Ole({{"Workbook", Truncated(biff, biff.size() - 3)}})},
        {"sheet without its EOF", Ole({{"Workbook", Truncated(biff, biff.size() - 4)}})},
        {"sheet offset past the stream", Ole({{"Workbook", badOffset}})},
        {"no sheets", Ole({{"Workbook", Cat({Rec(kBof, Cat({U16(0x0600), U16(5), Bytes(12, 0)})),
                                             Rec(kEof, {})})}})},
        {"string table index out of range",
         Ole({{"Workbook", BiffStream(Rec(kSst, Cat({U32(1), U32(1), Latin("x")})),
                                      {{"S", Rec(kLabelsst, Cat({Cell6(0, 0), U32(1)}))}})}})},
        {"string table cut inside a string",
         Ole({{"Workbook", BiffStream(Rec(kSst, Cat({U32(1), U32(1), U16(10), {0}, Str("abc")})),
                                      {{"S", Rec(kLabelsst, Cat({Cell6(0, 0), U32(0)}))}})}})},
        {"text longer than a cell holds",
         Ole({{"Workbook",
               BiffStream(
                   {},
                   {{"S", Rec(kLabel, Cat({Cell6(0, 0), U16(40000), {0}, Bytes(8000, 'a')}))}})}})},
        {"cell beyond the last column",
         Ole({{"Workbook",
               BiffStream({}, {{"S", Rec(kNumber, Cat({Cell6(0, 20000), F64(1)}))}})}})},
        {"short cell record",
         Ole({{"Workbook", BiffStream({}, {{"S", Rec(kNumber, Cat({Cell6(0, 0), U16(1)}))}})}})},
        {"unknown code page",
         Ole({{"Book", BiffStream(Rec(kCodepage, U16(12345)), {{"S", goodSheet}}, true)}})},
        {"DOCTYPE with entities",
         Zip({{"_rels/.rels", Rels({{"rId1", "officeDocument", "xl/workbook.xml"}})},
              {"xl/workbook.xml",
               kXmlHead + "<workbook " + kRelNs +
                   R"(><sheets><sheet name="a" r:id="r1"/></sheets></workbook>)"},
              {"xl/_rels/workbook.xml.rels", Rels({{"r1", "worksheet", "s.xml"}})},
              {"xl/s.xml", bomb}})},
        {"unclosed XML", Xlsx({"<sheetData><row>"})},
        {"mismatched XML tags", Xlsx({"<sheetData></row>"})},
        {"unknown XML entity",
         WithFlag(R"(<row><c t="inlineStr"><is><t>&nbsp;</t></is></c></row>)")},
        {"shared string index out of range",
         WithFlag(R"(<row><c r="A1" t="s"><v>3</v></c></row>)")},
        {"row 0", WithFlag(R"(<row r="1"><c r="A0"><v>1</v></c></row>)")},
        {"column past XFD", WithFlag(R"(<row r="1"><c r="XFE1"><v>1</v></c></row>)")},
        {"row past the last", WithFlag(R"(<row r="1048577"><c><v>1</v></c></row>)")},
        {"number that is not one", WithFlag(R"(<row><c><v>12abc</v></c></row>)")},
        {"invalid UTF-8", WithFlag("<row><c t=\"inlineStr\"><is><t>\xC3\x28</t></is></c></row>")},
        {"sheet part missing",
         Zip({{"_rels/.rels", Rels({{"rId1", "officeDocument", "xl/workbook.xml"}})},
              {"xl/workbook.xml",
               kXmlHead + "<workbook " + kRelNs +
                   R"(><sheets><sheet name="a" r:id="r1"/></sheets></workbook>)"},
              {"xl/_rels/workbook.xml.rels", Rels({{"r1", "worksheet", "gone.xml"}})}})},
        {"workbook without sheets", Xlsx({})},
    };
    // Nothing reaches the terminal on the way: the reason is the report.
    const std::string printed = StderrOf([&] {
        for (const auto& [name, bytes] : cases) {
            SCOPED_TRACE(name);
            EXPECT_THROW(ReadWorkbookBytes(bytes), WorkbookError);
        }
    });
    EXPECT_EQ(printed, "");
    EXPECT_EQ(ErrorOf(cases[0].second), "not a workbook");
    EXPECT_EQ(ErrorOf(cases[10].second), "the workbook is protected with a password");
}

TEST(ReaderDamaged, OneLongStringInManyCellsHitsTheTextLimit) {
    // 10000 cells each showing a 32767-character shared string would be
    // 320 MB of text from a file of a few hundred kilobytes.
    Bytes sst = Cat({U32(1), U32(1), U16(32767), {0}, Bytes(8224 - 11, 'x')});
    Bytes globals = Rec(kSst, sst);
    std::size_t left = 32767 - (8224 - 11);
    while (left > 0) {
        const std::size_t n = std::min<std::size_t>(left, 8223);
        globals = Cat({globals, Rec(kContinue, Cat({{0}, Bytes(n, 'x')}))});
        left -= n;
    }
    Bytes cells;
    cells.reserve(10000 * 14);
    for (unsigned i = 0; i < 10000; ++i) {
        const Bytes r = Rec(kLabelsst, Cat({Cell6(i % 60000, i / 60000), U32(0)}));
        cells.insert(cells.end(), r.begin(), r.end());
    }
    EXPECT_EQ(ErrorOf(Ole({{"Workbook", BiffStream(globals, {{"S", cells}})}})),
              "the workbook holds too much text");
}

TEST(ReaderDamaged, OversizedInputIsRefusedUnread) {
    const Bytes huge(std::size_t{64} * 1024 * 1024 + 1, 0);
    EXPECT_EQ(ErrorOf(huge), "the workbook is too large");
}

// Only plain files are read: a pipe would block the open, a folder holds no
// workbook.
TEST(ReaderDamaged, OnlyPlainFilesAreOpened) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("scrivane-reader-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto pipe = folder / "pipe.xls";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    auto message = [](const std::filesystem::path& path) {
        try {
            ReadWorkbookFile(path);
        } catch (const WorkbookError& e) {
            return std::string(e.what());
        }
        return std::string("read");
    };
    EXPECT_EQ(message(pipe), "not a file");
    EXPECT_EQ(message(folder), "not a file");
    EXPECT_EQ(message(folder / "missing.xls"), "the file does not exist");
    // A file that cannot be opened says why, in the system's words.
    const auto locked = folder / "locked.xls";
    std::ofstream(locked) << "x";
    ::chmod(locked.c_str(), 0);
    ::chmod(folder.c_str(), 0755);
    testing::AsOrdinaryUser(
        folder, [&] { EXPECT_EQ(message(locked), "cannot open the file (Permission denied)"); });
    std::filesystem::remove_all(folder);
}

// ---- hostile structures, reasons and what the import sees ----

// The scope of a question-sheet import.
const ReadScope kImport{true, 102, 10};

// Large, legal-looking structures: each is refused with a reason or read
// for what the import needs, never crashing or running away.
TEST(ReaderHostile, LargeStructuresAreRefusedOrReadInPart) {
    for (const hostile::HostileInput& input : hostile::HostileInputs()) {
        SCOPED_TRACE(input.name);
        const Bytes bytes = input.make();
        if (input.name.starts_with("ole2-directory")) {
            EXPECT_EQ(ErrorOf(bytes), "the workbook is damaged (too many directory entries)");
        } else if (input.name.starts_with("zip")) {
            EXPECT_EQ(ErrorOf(bytes), "the workbook is damaged (too many zip entries)");
        } else if (input.name.starts_with("xlsx-4096-sheets")) {
            EXPECT_EQ(ErrorOf(bytes), "the workbook is damaged (two sheets share one part)");
            const Workbook book = ReadWorkbookBytes(bytes, kImport);
            EXPECT_EQ(book.sheets.size(), 4096u);
            EXPECT_EQ(book.sheets[0].At(2, 2), Cell::Number(2.5));
            EXPECT_EQ(book.sheets[1].cells.size(), 0u) << "only the active sheet is read";
        } else if (input.name.starts_with("xls-63MB")) {
            EXPECT_EQ(ReadWorkbookBytes(bytes, kImport).sheets.at(0).At(1, 1), Cell::Text("x"));
        } else if (input.name.starts_with("xlsx-62MiB-shared")) {
            const Workbook book = ReadWorkbookBytes(bytes, kImport);
            EXPECT_EQ(book.sheets.at(0).At(3, 4), Cell::Text(std::string(32767, 'x')));
        } else if (input.name.starts_with("xlsx-1M-cells")) {
            const Workbook book = ReadWorkbookBytes(bytes, kImport);
            EXPECT_EQ(book.sheets.at(0).cells.size(), 1014u)
                << "cells beyond the scope are dropped";
        } else {
            ADD_FAILURE() << "no expectation";
        }
    }
}

std::vector<hostile::OleEntry> WorkbookEntries(const Bytes& stream) {
    hostile::OleEntry book;
    book.name = u"Workbook";
    book.data = stream;
    return {book};
}

TEST(ReaderHostile, DirectoryAndSectorDamage) {
    const Bytes biff = BiffStream({}, {{"S", Rec(kNumber, Cat({Cell6(0, 0), F64(1)}))}});
    auto entries = [&] { return WorkbookEntries(biff); };
    EXPECT_EQ(ReadWorkbookBytes(hostile::OleFile(entries())).sheets.at(0).At(1, 1),
              Cell::Number(1));

    auto loop = entries();
    loop[0].right = 1;  // the entry is its own sibling
    auto deep = entries();
    for (std::size_t i = 0; i < 600; ++i) {
        hostile::OleEntry e;
        e.name = u"x";
        e.type = 1;
        e.right = static_cast<std::uint32_t>(deep.size() + 2);
        deep.push_back(e);
    }
    deep.back().right = hostile::kNone;
    deep[0].right = 2;
    auto oversized = entries();
    oversized[0].declaredSize = 1u << 30;
    auto cutShort = entries();
    cutShort[0].declaredSize = 4096 + 1024;  // two sectors more than its chain
    Bytes cutFile = hostile::OleFile(entries());
    cutFile.resize(cutFile.size() - 700);

    const std::vector<std::pair<Bytes, std::string>> cases = {
        {hostile::OleFile(loop), "the workbook is damaged (the directory loops)"},
        {hostile::OleFile(deep), "the workbook is damaged (the directory is nested too deeply)"},
        {hostile::OleFile(oversized), "the workbook is damaged (a stream is larger than the file)"},
        {hostile::OleFile(cutShort), "the workbook is damaged (a stream ends early)"},
        {cutFile, "the workbook is damaged (a sector chain leaves the file)"},
    };
    for (const auto& [bytes, reason] : cases) EXPECT_EQ(ErrorOf(bytes), reason);
}

TEST(ReaderHostile, ReasonsSayWhatTheFileIs) {
    hostile::OleEntry info, package;
    info.name = u"EncryptionInfo";
    package.name = u"EncryptedPackage";
    info.right = 2;
    const Bytes goodSheet = Rec(kNumber, Cat({Cell6(0, 0), F64(1)}));
    const Bytes filepass =
        BiffStream(Rec(kFilepass, Cat({U16(1), Bytes(52, 0)})), {{"S", goodSheet}});
    const std::vector<std::pair<Bytes, std::string>> cases = {
        {hostile::OleFile({info, package}), "the workbook is protected with a password"},
        {Ole({{"Workbook", filepass}}), "the workbook is protected with a password"},
        {hostile::ZipFile({{"readme.txt", "hello", true}}),
         "not a workbook (a zip archive without a spreadsheet)"},
    };
    for (const auto& [bytes, reason] : cases) EXPECT_EQ(ErrorOf(bytes), reason);
}

TEST(ReaderHostile, ZipChecksumsAndSizes) {
    auto members =
        hostile::XlsxMembers(hostile::SheetXml(hostile::QuestionRows("2.5")), 1, "", "", false);
    const Bytes good = hostile::ZipFile(members);
    EXPECT_EQ(ReadWorkbookBytes(good).sheets.at(0).At(2, 2), Cell::Number(2.5));

    // The stored mark changed from 2.5 to 9.5, the checksum left as it was.
    Bytes changed = good;
    const std::string mark = "<v>2.5</v>";
    auto at = std::search(changed.begin(), changed.end(), mark.begin(), mark.end());
    ASSERT_NE(at, changed.end());
    at[3] = '9';
    EXPECT_EQ(ErrorOf(changed), "the workbook is damaged (a checksum does not match)");

    // A member that inflates to more than its directory entry says.
    Bytes longer = hostile::ZipFile(hostile::XlsxMembers(hostile::SheetXml("")));
    const std::string sheetName = "xl/worksheets/sheet1.xml";
    std::size_t patched = 0;
    for (std::size_t i = 0; i + 4 < longer.size(); ++i) {
        if (std::equal(sheetName.begin(), sheetName.end(), longer.begin() + i) && i >= 46 &&
            hostile::Bytes(longer.begin() + i - 46, longer.begin() + i - 42) ==
                hostile::Bytes{0x50, 0x4B, 0x01, 0x02}) {
            hostile::Set32(longer, i - 46 + 24, 10);  // uncompressed size
            ++patched;
        }
    }
    ASSERT_EQ(patched, 1u);
    EXPECT_EQ(ErrorOf(longer), "the workbook is damaged (a zip member is longer than it says)");

    // A member that declares more than a part may hold is refused uninflated.
    Bytes huge = good;
    for (std::size_t i = 0; i + 4 < huge.size(); ++i)
        if (hostile::Bytes(huge.begin() + i, huge.begin() + i + 4) ==
            hostile::Bytes{0x50, 0x4B, 0x01, 0x02})
            hostile::Set32(huge, i + 24, 0xF0000000);
    EXPECT_EQ(ErrorOf(huge), "the workbook is too large");
}

// Texts keep a leading U+FEFF; date-formatted numbers carry the date they show.
TEST(ReaderXlsx, ByteOrderMarkAndDates) {
    const std::string styles =
        R"(<numFmts count="2"><numFmt numFmtId="164" formatCode="dd/mm/yyyy\ hh:mm"/>)"
        R"(<numFmt numFmtId="165" formatCode="[h]:mm"/></numFmts>)"
        R"(<cellXfs count="5"><xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="164"/>)"
        R"(<xf numFmtId="165"/><xf numFmtId="20"/></cellXfs>)";
    const std::string sheet =
        "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>\xEF\xBB\xBF"
        "BOM first</t></is></c>"
        "<c r=\"B1\" t=\"s\"><v>0</v></c></row>"
        "<row r=\"2\"><c r=\"A2\" s=\"1\"><v>45296</v></c><c r=\"B2\" "
        "s=\"2\"><v>45296.3541666667</v></c>"
        "<c r=\"C2\" s=\"3\"><v>1.5</v></c><c r=\"D2\" s=\"4\"><v>0.75</v></c>"
        "<c r=\"E2\" s=\"0\"><v>45296</v></c></row>";
    const Workbook book = ReadWorkbookBytes(
        hostile::ZipFile(hostile::XlsxMembers(hostile::SheetXml(sheet), 1,
                                              "<sst><si><t>\xEF\xBB\xBF"
                                              "shared</t></si></sst>",
                                              "<styleSheet>" + styles + "</styleSheet>")));
    const Worksheet& s = book.sheets.at(0);
    EXPECT_EQ(s.At(1, 1).text,
              "\xEF\xBB\xBF"
              "BOM first");
    EXPECT_EQ(s.At(1, 2).text,
              "\xEF\xBB\xBF"
              "shared");
    const std::vector<std::pair<Cell, std::string>> dates = {
        {s.At(2, 1), "2024-01-05"}, {s.At(2, 2), "2024-01-05 08:30"},
        {s.At(2, 3), ""},  // a duration is no date
        {s.At(2, 4), "18:00"},      {s.At(2, 5), ""},
    };
    for (const auto& [cell, text] : dates) {
        EXPECT_EQ(cell.kind, Cell::Kind::Number);
        EXPECT_EQ(cell.text, text) << cell.number;
    }
    EXPECT_EQ(s.At(2, 2).number, 45296.3541666667) << "the number itself is kept";
}

TEST(ReaderBiff, DatesFromFormatRecordsAndThe1904System) {
    // XF 0 plain, XF 1 built-in 14 (a date), XF 2 custom format 164 with time.
    auto xf = [](unsigned format) { return Rec(kXf, Cat({U16(0), U16(format), Bytes(16, 0)})); };
    const Bytes format164 = Rec(0x041E, Cat({U16(164), Latin("yyyy-mm-dd h:mm:ss")}));
    const Bytes cells = Cat({
        Rec(kNumber, Cat({Cell6(0, 0, 1), F64(45296)})),
        Rec(kRk, Cat({Cell6(0, 1, 2), U32((45296u << 2) | 2)})),
        Rec(kMulrk,
            Cat({U16(0), U16(2), U16(0), U32((7u << 2) | 2), U16(1), U32((61u << 2) | 2), U16(3)})),
        Rec(kFormula, Cat({Cell6(0, 4, 1), F64(60), U16(0), U32(0), U16(0)})),
    });
    const Bytes globals = Cat({format164, xf(0), xf(14), xf(164)});
    const Workbook book =
        ReadWorkbookBytes(Ole({{"Workbook", BiffStream(globals, {{"S", cells}})}}));
    const Worksheet& s = book.sheets.at(0);
    EXPECT_EQ(s.At(1, 1).text, "2024-01-05");
    EXPECT_EQ(s.At(1, 2).text, "2024-01-05 00:00:00");
    EXPECT_EQ(s.At(1, 3), Cell::Number(7));
    EXPECT_EQ(s.At(1, 4).text, "1900-03-01");
    EXPECT_EQ(s.At(1, 5).text, "1900-02-29") << "the 1900 system's day that never was";

    const Bytes mode1904 = Rec(0x0022, U16(1));
    const Workbook mac = ReadWorkbookBytes(
        Ole({{"Workbook", BiffStream(Cat({mode1904, globals}), {{"S", cells}})}}));
    EXPECT_EQ(mac.sheets.at(0).At(1, 1).text, "2028-01-06");
}

TEST(ReaderBiff5, UnicodeCodePageWithEightBitStrings) {
    // CODEPAGE says UTF-16, yet BIFF5 strings are 8-bit: the fonts' character
    // set names the code page (none: Windows-1252).
    const Bytes cafe = Rec(kLabel, Cat({Cell6(0, 0), U16(4), Str("Caf\xE9")}));
    const Workbook western = ReadWorkbookBytes(
        Ole({{"Book", BiffStream(Rec(kCodepage, U16(1200)), {{"S", cafe}}, true)}}));
    EXPECT_EQ(western.sheets.at(0).At(1, 1), Cell::Text("Café"));
    // The same writer stores texts it cannot put in 8 bits as UTF-16 bytes.
    const Bytes wide = Rec(kLabel, Cat({Cell6(0, 0), U16(6), Utf16(u"Où!")}));
    const Workbook utf16 = ReadWorkbookBytes(
        Ole({{"Book", BiffStream(Rec(kCodepage, U16(1200)), {{"S", wide}}, true)}}));
    EXPECT_EQ(utf16.sheets.at(0).At(1, 1), Cell::Text("Où!"));
    // A font of the Central European set (238): 0xE8 is č there.
    const Bytes font = Rec(
        0x0031,
        Cat({U16(200), U16(0), U16(0x7FFF), U16(400), U16(0), {0, 0, 238, 0}, {5}, Str("Arial")}));
    const Bytes czech = Rec(kLabel, Cat({Cell6(0, 0), U16(1), Str("\xE8")}));
    const Workbook central = ReadWorkbookBytes(
        Ole({{"Book", BiffStream(Cat({Rec(kCodepage, U16(1200)), font}), {{"S", czech}}, true)}}));
    EXPECT_EQ(central.sheets.at(0).At(1, 1), Cell::Text("č"));
}

}  // namespace
}  // namespace scrivane::codec
