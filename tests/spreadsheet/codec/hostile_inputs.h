// Builders of OLE2 compound files and zip archives with full control over
// their structure, and the hostile workbooks made with them: large,
// legal-looking directories, shared parts, long runs of empty records. The
// reader tests and the hostile-input benchmark both use them; nothing here
// is stored as a file.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace scrivane::hostile {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void Put32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void Put64(Bytes& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void Set32(Bytes& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void Append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

// ---- OLE2 ----

inline constexpr std::uint32_t kNone = 0xFFFFFFFF;

struct OleEntry {
    std::u16string name;
    std::uint8_t type = 2;  // 1 storage, 2 stream
    std::uint32_t left = kNone, right = kNone, child = kNone;
    Bytes data;                      // padded to 4096 bytes, so that it lives in big sectors
    std::uint64_t declaredSize = 0;  // 0: the data's size
};

// A version 3 compound file with 512-byte sectors: the root entry (whose
// child is rootChild) followed by entries, their data in big sectors.
inline Bytes OleFile(std::vector<OleEntry> entries, std::uint32_t rootChild = 1) {
    constexpr std::size_t kSector = 512;
    for (OleEntry& e : entries)
        if (e.type == 2 && e.data.size() < 4096) e.data.resize(4096, 0);
    const std::size_t entryCount = entries.size() + 1;
    const std::size_t dirSectors = (entryCount * 128 + kSector - 1) / kSector;
    std::size_t dataSectors = 0;
    for (const OleEntry& e : entries) dataSectors += (e.data.size() + kSector - 1) / kSector;
    std::size_t fat = 1, difat = 0;
    for (;;) {
        const std::size_t total = dataSectors + dirSectors + fat + difat;
        const std::size_t needFat = (total + 127) / 128;
        const std::size_t needDifat = needFat > 109 ? (needFat - 109 + 126) / 127 : 0;
        if (needFat == fat && needDifat == difat) break;
        fat = needFat;
        difat = needDifat;
    }
    const std::size_t total = dataSectors + dirSectors + fat + difat;
    std::vector<std::uint32_t> table(fat * 128, kNone);
    std::size_t next = 0;
    for (std::size_t i = 0; i < fat; ++i) table[next++] = 0xFFFFFFFD;
    const std::size_t firstDifat = next;
    for (std::size_t i = 0; i < difat; ++i) table[next++] = 0xFFFFFFFC;
    auto chain = [&](std::size_t count) {
        const std::size_t start = next;
        for (std::size_t i = 0; i < count; ++i, ++next)
            table[next] = i + 1 < count ? static_cast<std::uint32_t>(next + 1) : 0xFFFFFFFE;
        return static_cast<std::uint32_t>(start);
    };
    const std::uint32_t firstDir = chain(dirSectors);
    std::vector<std::uint32_t> starts;
    for (const OleEntry& e : entries)
        starts.push_back(chain((e.data.size() + kSector - 1) / kSector));

    Bytes out = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    out.resize(24, 0);
    Put16(out, 0x3E);
    Put16(out, 3);
    Put16(out, 0xFFFE);
    Put16(out, 9);
    Put16(out, 6);
    out.resize(0x2C, 0);
    Put32(out, static_cast<std::uint32_t>(fat));
    Put32(out, firstDir);
    Put32(out, 0);
    Put32(out, 4096);
    Put32(out, 0xFFFFFFFE);  // no mini FAT
    Put32(out, 0);
    Put32(out, difat ? static_cast<std::uint32_t>(firstDifat) : 0xFFFFFFFE);
    Put32(out, static_cast<std::uint32_t>(difat));
    for (std::size_t i = 0; i < 109; ++i)
        Put32(out, i < fat ? static_cast<std::uint32_t>(i) : kNone);
    out.reserve(kSector * (total + 1));
    for (std::uint32_t v : table) Put32(out, v);
    for (std::size_t d = 0; d < difat; ++d) {
        for (std::size_t i = 0; i < 127; ++i) {
            const std::size_t k = 109 + d * 127 + i;
            Put32(out, k < fat ? static_cast<std::uint32_t>(k) : kNone);
        }
        Put32(out, d + 1 < difat ? static_cast<std::uint32_t>(firstDifat + d + 1) : 0xFFFFFFFE);
    }
    auto entry = [&](const std::u16string& name, std::uint8_t type, std::uint32_t left,
                     std::uint32_t right, std::uint32_t child, std::uint32_t start,
                     std::uint64_t size) {
        const std::size_t at = out.size();
        for (char16_t c : name.substr(0, 31)) Put16(out, c);
        out.resize(at + 64, 0);
        Put16(out, static_cast<unsigned>((std::min<std::size_t>(name.size(), 31) + 1) * 2));
        out.push_back(type);
        out.push_back(1);  // black
        Put32(out, left);
        Put32(out, right);
        Put32(out, child);
        out.resize(at + 0x74, 0);
        Put32(out, start);
        Put64(out, size);
    };
    entry(u"Root Entry", 5, kNone, kNone, rootChild, 0xFFFFFFFE, 0);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const OleEntry& e = entries[i];
        entry(e.name, e.type, e.left, e.right, e.child, e.type == 2 ? starts[i] : 0,
              e.type == 2 ? (e.declaredSize ? e.declaredSize : e.data.size()) : 0);
    }
    out.resize(kSector * (1 + fat + difat + dirSectors), 0);
    for (const OleEntry& e : entries) {
        Append(out, e.data);
        out.resize((out.size() + kSector - 1) / kSector * kSector, 0);
    }
    return out;
}

// ---- zip ----

struct ZipMember {
    std::string name;
    std::string data;
    bool deflate = true;
};

inline std::string Deflate(const std::string& data) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// A zip archive; with zip64 the end records say so whatever the count.
// Members may be produced one at a time by member(i), for large counts.
inline Bytes ZipFile(std::size_t count, const std::function<ZipMember(std::size_t)>& member,
                     bool zip64 = false) {
    Bytes out, directory;
    for (std::size_t i = 0; i < count; ++i) {
        const ZipMember m = member(i);
        const std::string stored = m.deflate ? Deflate(m.data) : m.data;
        const auto crc = static_cast<std::uint32_t>(crc32(
            0, reinterpret_cast<const Bytef*>(m.data.data()), static_cast<uInt>(m.data.size())));
        const auto offset = static_cast<std::uint32_t>(out.size());
        auto header = [&](Bytes& b, bool central) {
            Put32(b, central ? 0x02014b50 : 0x04034b50);
            if (central) Put16(b, 20);
            Put16(b, 20);
            Put16(b, 0);
            Put16(b, m.deflate ? 8 : 0);
            Put32(b, 0);  // time and date
            Put32(b, crc);
            Put32(b, static_cast<std::uint32_t>(stored.size()));
            Put32(b, static_cast<std::uint32_t>(m.data.size()));
            Put16(b, static_cast<unsigned>(m.name.size()));
            Put16(b, 0);
            if (central) {
                Put16(b, 0);
                Put16(b, 0);
                Put16(b, 0);
                Put32(b, 0);
                Put32(b, offset);
            }
            b.insert(b.end(), m.name.begin(), m.name.end());
        };
        header(out, false);
        out.insert(out.end(), stored.begin(), stored.end());
        header(directory, true);
    }
    const std::uint64_t directoryOffset = out.size();
    Append(out, directory);
    if (zip64) {
        const std::uint64_t at = out.size();
        Put32(out, 0x06064b50);
        Put64(out, 44);
        Put16(out, 45);
        Put16(out, 45);
        Put32(out, 0);
        Put32(out, 0);
        Put64(out, count);
        Put64(out, count);
        Put64(out, directory.size());
        Put64(out, directoryOffset);
        Put32(out, 0x07064b50);
        Put32(out, 0);
        Put64(out, at);
        Put32(out, 1);
    }
    Put32(out, 0x06054b50);
    Put32(out, 0);
    const unsigned shortCount = zip64 ? 0xFFFF : static_cast<unsigned>(count);
    Put16(out, shortCount);
    Put16(out, shortCount);
    Put32(out, zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(directory.size()));
    Put32(out, zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(directoryOffset));
    Put16(out, 0);
    return out;
}

inline Bytes ZipFile(const std::vector<ZipMember>& members, bool zip64 = false) {
    return ZipFile(
        members.size(), [&](std::size_t i) { return members[i]; }, zip64);
}

// ---- a small OOXML package ----

inline const std::string kXmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
inline const std::string kRelPrefix =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

inline std::string RelsXml(const std::vector<std::pair<std::string, std::string>>& typeTargets) {
    std::string out = kXmlHead +
                      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                      "relationships\">";
    for (std::size_t i = 0; i < typeTargets.size(); ++i)
        out += "<Relationship Id=\"rId" + std::to_string(i + 1) + "\" Type=\"" + kRelPrefix +
               typeTargets[i].first + "\" Target=\"" + typeTargets[i].second + "\"/>";
    return out + "</Relationships>";
}

// The members of an .xlsx whose sheets all show worksheet part sheetPart
// (rId1), with an optional shared-string table and styles.
inline std::vector<ZipMember> XlsxMembers(const std::string& sheetXml, std::size_t sheets = 1,
                                          const std::string& sharedStrings = "",
                                          const std::string& styles = "", bool deflate = true) {
    std::vector<std::pair<std::string, std::string>> rels = {
        {"worksheet", "worksheets/sheet1.xml"}};
    if (!sharedStrings.empty()) rels.emplace_back("sharedStrings", "sharedStrings.xml");
    if (!styles.empty()) rels.emplace_back("styles", "styles.xml");
    std::string workbook = kXmlHead +
                           "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/"
                           "2006/main\" xmlns:r=\"" +
                           kRelPrefix.substr(0, kRelPrefix.size() - 1) + "\"><sheets>";
    for (std::size_t i = 0; i < sheets; ++i)
        workbook += "<sheet name=\"S" + std::to_string(i + 1) + "\" sheetId=\"" +
                    std::to_string(i + 1) + "\" r:id=\"rId1\"/>";
    workbook += "</sheets></workbook>";
    std::vector<ZipMember> members = {
        {"[Content_Types].xml", kXmlHead + "<Types/>", deflate},
        {"_rels/.rels", RelsXml({{"officeDocument", "xl/workbook.xml"}}), deflate},
        {"xl/workbook.xml", workbook, deflate},
        {"xl/_rels/workbook.xml.rels", RelsXml(rels), deflate},
        {"xl/worksheets/sheet1.xml", sheetXml, deflate},
    };
    if (!sharedStrings.empty()) members.push_back({"xl/sharedStrings.xml", sharedStrings, deflate});
    if (!styles.empty()) members.push_back({"xl/styles.xml", styles, deflate});
    return members;
}

inline std::string SheetXml(const std::string& sheetData) {
    return kXmlHead +
           "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
           "<sheetData>" +
           sheetData + "</sheetData></worksheet>";
}

// A valid question sheet of one question, as sheetData rows.
inline std::string QuestionRows(const std::string& mark = "2.5") {
    std::string out = "<row r=\"1\">";
    const char* headers[] = {"Question NO", "Mark",     "Answer",   "Question Title", "Option A",
                             "Option B",    "Option C", "Option D", "Option E",       "Option F"};
    for (int c = 0; c < 10; ++c)
        out += std::string("<c r=\"") + char('A' + c) + "1\" t=\"inlineStr\"><is><t>" + headers[c] +
               "</t></is></c>";
    out += "</row><row r=\"2\"><c r=\"A2\"><v>1</v></c><c r=\"B2\"><v>" + mark +
           "</v></c><c r=\"C2\" t=\"inlineStr\"><is><t>A</t></is></c>"
           "<c r=\"D2\" t=\"inlineStr\"><is><t>Title</t></is></c></row>";
    return out;
}

// ---- the hostile inputs ----

struct HostileInput {
    std::string name;
    std::function<Bytes()> make;
};

// BIFF8 record.
inline Bytes Record(unsigned id, const Bytes& data) {
    Bytes out;
    Put16(out, id);
    Put16(out, static_cast<unsigned>(data.size()));
    Append(out, data);
    return out;
}

// A BIFF8 workbook stream of one sheet whose cell A1 shows shared string 0;
// the string table's first string is reached only after emptyContinues
// empty CONTINUE records.
inline Bytes EmptyContinueStream(std::size_t emptyContinues) {
    Bytes bof;
    Put16(bof, 0x0600);
    Put16(bof, 0x0005);
    bof.resize(16, 0);
    Bytes sheetBof = bof;
    sheetBof[2] = 0x10;
    Bytes out = Record(0x0809, bof);
    Bytes sst;
    Put32(sst, 1);
    Put32(sst, 1);
    Append(out, Record(0x00FC, sst));
    out.reserve(out.size() + 4 * emptyContinues + 200);
    const std::uint8_t emptyContinue[4] = {0x3C, 0, 0, 0};
    for (std::size_t i = 0; i < emptyContinues; ++i)
        out.insert(out.end(), emptyContinue, emptyContinue + 4);
    Append(out, Record(0x003C, {1, 0, 0, 'x'}));  // one 8-bit character
    const std::size_t boundsheetAt = out.size();
    Append(out, Record(0x0085, {0, 0, 0, 0, 0, 0, 1, 0, 'S'}));
    Append(out, Record(0x000A, {}));
    Set32(out, boundsheetAt + 4, static_cast<std::uint32_t>(out.size()));
    Append(out, Record(0x0809, sheetBof));
    Bytes label = {0, 0, 0, 0, 15, 0};
    Put32(label, 0);
    Append(out, Record(0x00FD, label));
    Append(out, Record(0x000A, {}));
    return out;
}

inline std::vector<HostileInput> HostileInputs() {
    std::vector<HostileInput> inputs;
    // A directory whose entries form one chain of right siblings.
    inputs.push_back({"ole2-directory-chain-35000", [] {
                          std::vector<OleEntry> entries(35000);
                          for (std::size_t i = 0; i < entries.size(); ++i) {
                              entries[i].name = u"s" + std::u16string(1, char16_t(u'0' + i % 10));
                              entries[i].type = 1;  // empty storages carry no data
                              if (i + 1 < entries.size())
                                  entries[i].right = static_cast<std::uint32_t>(i + 2);
                          }
                          return OleFile(entries);
                      }});
    inputs.push_back({"zip-65000-folders", [] {
                          return ZipFile(65000, [](std::size_t i) {
                              return ZipMember{"f" + std::to_string(i) + "/", "", false};
                          });
                      }});
    inputs.push_back({"zip64-200000-entries", [] {
                          return ZipFile(
                              200000,
                              [](std::size_t i) {
                                  return ZipMember{"e" + std::to_string(i), "", false};
                              },
                              true);
                      }});
    // 4096 sheets, every one showing the same 63 MiB worksheet part.
    inputs.push_back({"xlsx-4096-sheets-one-63MiB-part", [] {
                          std::string rows = QuestionRows();
                          std::string filler = "<row>";
                          for (int c = 0; c < 60; ++c) filler += "<c><v>1</v></c>";
                          filler += "</row>";
                          const std::size_t target = (std::size_t{63} << 20) - 200 - rows.size();
                          rows.reserve(target + filler.size());
                          while (rows.size() < target) rows += filler;
                          return ZipFile(XlsxMembers(SheetXml(rows), 4096));
                      }});
    inputs.push_back({"xls-63MB-empty-continues", [] {
                          OleEntry book;
                          book.name = u"Workbook";
                          book.data = EmptyContinueStream(16'400'000);
                          return OleFile({book});
                      }});
    // 1,900 shared strings of 32,767 characters (62 MiB), one of them shown.
    inputs.push_back({"xlsx-62MiB-shared-strings", [] {
                          const std::string item =
                              "<si><t>" + std::string(32767, 'x') + "</t></si>";
                          std::string table = kXmlHead + "<sst>";
                          table.reserve(1900 * item.size() + 100);
                          for (int i = 0; i < 1900; ++i) table += item;
                          table += "</sst>";
                          return ZipFile(XlsxMembers(
                              SheetXml(QuestionRows() +
                                       "<row r=\"3\"><c r=\"D3\" t=\"s\"><v>1899</v></c></row>"),
                              1, table));
                      }});
    // A million cells, all beyond the question sheet's columns.
    inputs.push_back({"xlsx-1M-cells", [] {
                          std::string rows = QuestionRows();
                          for (int r = 3; r < 1003; ++r) {
                              rows += "<row r=\"" + std::to_string(r) + "\">";
                              for (int c = 0; c < 1000; ++c) rows += "<c t=\"b\"><v>1</v></c>";
                              rows += "</row>";
                          }
                          return ZipFile(XlsxMembers(SheetXml(rows)));
                      }});
    return inputs;
}

}  // namespace scrivane::hostile
