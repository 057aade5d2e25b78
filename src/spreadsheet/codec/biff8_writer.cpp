// BIFF8 writer: the workbook globals (fonts, formats, string table, sheet
// directory) followed by one worksheet substream per sheet, stored as the
// "Workbook" stream of an OLE2 compound file made by libgsf.
#include "spreadsheet/codec/biff8_writer.h"
#include "spreadsheet/codec/reader.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <unordered_map>

#include "spreadsheet/codec/biff8_layout.h"
#include "spreadsheet/codec/biff_records.h"
#include "spreadsheet/codec/lebytes.h"
#include "spreadsheet/codec/officeart.h"
#include "spreadsheet/codec/ole2.h"
#include "spreadsheet/codec/read_internal.h"
#include "spreadsheet/codec/source.h"

namespace scrivane::codec {

namespace {

constexpr std::size_t kMaxRecordData = 8224;  // BIFF8 limit of one record's data
constexpr int kMaxRows = 65536;
constexpr int kMaxColumns = 256;
constexpr std::size_t kMaxTextUnits = 32767;
constexpr std::size_t kMinStreamSize = 4096;  // keeps the stream out of the OLE2 mini stream
constexpr int kDefaultColumnWidth = 8;        // characters, as DEFCOLWIDTH says
constexpr int kRowBlock = 32;                 // rows per block, as Excel lays them out

constexpr std::uint16_t kDefaultXf = 15;
constexpr std::uint16_t kWrapXf = 16;

using namespace biff;

// Little-endian byte sink with record framing.
class Stream : public LittleEndianBytes {
public:
    std::size_t Size() const { return bytes.size(); }
    void F64(double v) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        U32(static_cast<std::uint32_t>(bits));
        U32(static_cast<std::uint32_t>(bits >> 32));
    }
    void Zeros(std::size_t n) { bytes.insert(bytes.end(), n, 0); }
    void PatchU32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }

    // Starts a record and returns where it starts; EndRecord fills its length.
    std::size_t BeginRecord(std::uint16_t type) {
        const std::size_t start = bytes.size();
        U16(type);
        U16(0);
        return start;
    }
    void EndRecord(std::size_t start) {
        const std::size_t length = bytes.size() - start - 4;
        if (length > kMaxRecordData) throw WorkbookError("Internal error: record too long.");
        bytes[start + 2] = static_cast<std::uint8_t>(length & 0xFF);
        bytes[start + 3] = static_cast<std::uint8_t>(length >> 8);
    }
    std::size_t RecordLength(std::size_t start) const { return bytes.size() - start - 4; }

    void Record16(std::uint16_t type, unsigned value) {
        const std::size_t r = BeginRecord(type);
        U16(value);
        EndRecord(r);
    }
    void EmptyRecord(std::uint16_t type) { EndRecord(BeginRecord(type)); }

    // A record whose data may be longer than one record holds: the rest
    // follows in CONTINUE records.
    void LongRecord(std::uint16_t type, std::span<const std::uint8_t> data) {
        std::size_t done = 0;
        do {
            const std::size_t n = std::min(kMaxRecordData, data.size() - done);
            const std::size_t r =
                BeginRecord(done == 0 ? type : static_cast<std::uint16_t>(kContinue));
            bytes.insert(bytes.end(), data.begin() + done, data.begin() + done + n);
            EndRecord(r);
            done += n;
        } while (done < data.size());
    }

    // UTF-16 characters, one byte each when `compressed`.
    void Chars(const char16_t* units, std::size_t count, bool compressed) {
        for (std::size_t i = 0; i < count; ++i) compressed ? U8(units[i]) : U16(units[i]);
    }
};

bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}

bool FitsCompressed(const std::u16string& s) {
    return std::all_of(s.begin(), s.end(), [](char16_t u) { return u < 0x100; });
}

void WriteBof(Stream& out, unsigned substreamType) {
    const std::size_t r = out.BeginRecord(kBof);
    out.U16(0x0600);  // BIFF8
    out.U16(substreamType);
    out.U16(0x0DBB);  // build
    out.U16(0x07CC);  // year
    out.U32(0);       // file history
    out.U32(0x0006);  // lowest version that can read all records
    out.EndRecord(r);
}

// A text cell's string and the width of its column, for the row height.
struct PreparedSheet {
    const Worksheet* sheet = nullptr;
    std::u16string name;
    // Cells in row order (the map's order), with the string index of texts.
    struct Item {
        int row;
        int column;
        const Cell* cell;
        std::uint32_t sst;
    };
    std::vector<Item> items;
};

struct Prepared {
    std::vector<PreparedSheet> sheets;
    std::vector<std::u16string> strings;  // unique texts in order of first use
    std::uint32_t textCells = 0;
};

bool IsForbiddenNameChar(char16_t u) {
    return u == u'[' || u == u']' || u == u':' || u == u'*' || u == u'?' || u == u'/' || u == u'\\';
}

std::u16string FoldAscii(std::u16string s) {
    for (auto& u : s)
        if (u >= u'a' && u <= u'z') u = static_cast<char16_t>(u - u'a' + u'A');
    return s;
}

// Checks that the book fits BIFF8 and collects the shared strings.
Prepared Prepare(const Workbook& book) {
    if (book.sheets.empty()) throw WorkbookError("The workbook has no sheet.");
    if (book.sheets.size() > 0x7FFF) throw WorkbookError("The workbook has too many sheets.");
    if (book.activeSheet < 0 || static_cast<std::size_t>(book.activeSheet) >= book.sheets.size())
        throw WorkbookError("The active sheet does not exist.");

    Prepared p;
    std::unordered_map<std::u16string, std::uint32_t> index;
    std::vector<std::u16string> folded;
    for (const Worksheet& ws : book.sheets) {
        PreparedSheet ps;
        ps.sheet = &ws;
        ps.name = Utf8ToUtf16(ws.name);
        if (ps.name.empty() || ps.name.size() > 31 ||
            std::any_of(ps.name.begin(), ps.name.end(), IsForbiddenNameChar) ||
            ps.name.front() == u'\'' || ps.name.back() == u'\'')
            throw WorkbookError("Invalid sheet name: " + ws.name);
        std::u16string key = FoldAscii(ps.name);
        if (std::find(folded.begin(), folded.end(), key) != folded.end())
            throw WorkbookError("Two sheets are named " + ws.name);
        folded.push_back(std::move(key));

        for (const auto& [column, width] : ws.columnWidths) {
            if (column < 1 || column > kMaxColumns)
                throw WorkbookError("A column lies beyond column 256.");
            if (!std::isfinite(width) || width < 0 || width > 255)
                throw WorkbookError("A column width is not between 0 and 255.");
        }
        for (int column : ws.wrapColumns)
            if (column < 1 || column > kMaxColumns)
                throw WorkbookError("A column lies beyond column 256.");

        for (const auto& [pos, cell] : ws.cells) {
            const auto [row, column] = pos;
            if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
                throw WorkbookError("A cell lies outside 65536 rows and 256 columns.");
            std::uint32_t sst = 0;
            switch (cell.kind) {
                case Cell::Kind::Empty:
                    continue;
                case Cell::Kind::Number:
                    if (!std::isfinite(cell.number)) throw WorkbookError("A number is not finite.");
                    break;
                case Cell::Kind::Boolean:
                    break;
                case Cell::Kind::Error:
                    switch (cell.errorCode) {
                        case 0x00:
                        case 0x07:
                        case 0x0F:
                        case 0x17:
                        case 0x1D:
                        case 0x24:
                        case 0x2A:
                            break;
                        default:
                            throw WorkbookError("Unknown error code in a cell.");
                    }
                    break;
                case Cell::Kind::Text: {
                    std::u16string text = Utf8ToUtf16(cell.text);
                    if (text.size() > kMaxTextUnits)
                        throw WorkbookError("A text is longer than 32767 characters.");
                    auto [it, added] =
                        index.try_emplace(text, static_cast<std::uint32_t>(p.strings.size()));
                    if (added) p.strings.push_back(std::move(text));
                    sst = it->second;
                    ++p.textCells;
                    break;
                }
            }
            ps.items.push_back({row, column, &cell, sst});
        }
        p.sheets.push_back(std::move(ps));
    }
    return p;
}

void WriteFont(Stream& out) {
    const std::size_t r = out.BeginRecord(kFont);
    out.U16(200);     // 10 points, in twips
    out.U16(0);       // no italic, strike-out, ...
    out.U16(0x7FFF);  // automatic colour
    out.U16(400);     // normal weight
    out.U16(0);       // no super/subscript
    out.U8(0);        // no underline
    out.U8(2);        // swiss family
    out.U8(0);        // ANSI character set
    out.U8(0);
    static const char kName[] = "Arial";
    out.U8(sizeof kName - 1);
    out.U8(0);  // compressed characters
    for (const char* c = kName; *c; ++c) out.U8(static_cast<unsigned char>(*c));
    out.EndRecord(r);
}

void WriteXf(Stream& out, unsigned font, unsigned typeAndParent, unsigned alignment,
             unsigned usedAttributes) {
    const std::size_t r = out.BeginRecord(kXf);
    out.U16(font);
    out.U16(0);  // General number format
    out.U16(typeAndParent);
    out.U8(alignment);
    out.U8(0);  // no rotation
    out.U8(0);  // no indent
    out.U8(usedAttributes);
    out.U32(0);  // no borders
    out.U32(0);
    out.U16(0x20C0);  // pattern colours: automatic foreground and background
    out.EndRecord(r);
}

// The string table, split into CONTINUE records. A string's header is
// never split; its characters may run on into the next record, which then
// starts with a fresh option byte; a UTF-16 unit is never split. Returns the
// (stream position, offset in record) of every dsst-th string, for EXTSST.
std::vector<std::pair<std::uint32_t, std::uint16_t>> WriteSst(Stream& out, const Prepared& p,
                                                              std::size_t dsst) {
    std::vector<std::pair<std::uint32_t, std::uint16_t>> buckets;
    std::size_t record = out.BeginRecord(kSst);
    out.U32(p.textCells);
    out.U32(static_cast<std::uint32_t>(p.strings.size()));
    auto startContinue = [&] {
        out.EndRecord(record);
        record = out.BeginRecord(kContinue);
    };
    for (std::size_t i = 0; i < p.strings.size(); ++i) {
        const std::u16string& s = p.strings[i];
        const bool compressed = FitsCompressed(s);
        const std::size_t unit = compressed ? 1 : 2;
        // The header and the first character (both halves of a surrogate
        // pair) go together.
        const std::size_t first = s.empty() ? 0 : IsHighSurrogate(s[0]) && s.size() > 1 ? 2 : 1;
        if (kMaxRecordData - out.RecordLength(record) < 3 + first * unit) startContinue();
        if (i % dsst == 0)
            buckets.emplace_back(static_cast<std::uint32_t>(out.Size()),
                                 static_cast<std::uint16_t>(out.Size() - record));
        out.U16(static_cast<unsigned>(s.size()));
        out.U8(compressed ? 0x00 : 0x01);
        std::size_t done = 0;
        while (done < s.size()) {
            const std::size_t room = (kMaxRecordData - out.RecordLength(record)) / unit;
            std::size_t n = std::min(room, s.size() - done);
            // Readers that decode each piece on its own need whole pairs.
            if (n > 0 && done + n < s.size() && IsHighSurrogate(s[done + n - 1])) --n;
            if (n == 0) {
                startContinue();
                out.U8(compressed ? 0x00 : 0x01);
                continue;
            }
            out.Chars(s.data() + done, n, compressed);
            done += n;
        }
    }
    out.EndRecord(record);
    return buckets;
}

void WriteExtSst(Stream& out, std::size_t dsst,
                 const std::vector<std::pair<std::uint32_t, std::uint16_t>>& buckets) {
    const std::size_t r = out.BeginRecord(kExtSst);
    out.U16(static_cast<unsigned>(dsst));
    for (const auto& [position, offset] : buckets) {
        out.U32(position);
        out.U16(offset);
        out.U16(0);
    }
    out.EndRecord(r);
}

// Workbook globals; returns where each BOUNDSHEET keeps its sheet's offset.
std::vector<std::size_t> WriteGlobals(Stream& out, const Workbook& book, const Prepared& p,
                                      const detail::DrawingPlan& drawings) {
    WriteBof(out, 0x0005);
    out.Record16(kInterfaceHdr, 1200);
    out.Record16(kMms, 0);
    out.EmptyRecord(kInterfaceEnd);
    {
        const std::size_t r = out.BeginRecord(kWriteAccess);
        static const char kUser[] = "Scrivane";
        out.U16(sizeof kUser - 1);
        out.U8(0);
        for (const char* c = kUser; *c; ++c) out.U8(static_cast<unsigned char>(*c));
        while (out.RecordLength(r) < 112) out.U8(' ');
        out.EndRecord(r);
    }
    out.Record16(kCodepage, 1200);  // UTF-16
    out.Record16(kDsf, 0);
    out.Record16(kWindowProtect, 0);
    out.Record16(kProtect, 0);
    out.Record16(kPassword, 0);
    out.Record16(kBackup, 0);
    out.Record16(kHideObj, 0);
    {
        const std::size_t r = out.BeginRecord(kWindow1);
        out.U16(0);  // window position
        out.U16(0);
        out.U16(0x4000);  // window size, twips
        out.U16(0x2000);
        out.U16(0x0038);  // scroll bars and sheet tabs shown
        out.U16(static_cast<unsigned>(book.activeSheet));
        out.U16(0);    // first tab shown
        out.U16(1);    // one sheet selected
        out.U16(600);  // tab bar width ratio, per mille
        out.EndRecord(r);
    }
    out.Record16(kDateMode, 0);
    out.Record16(kPrecision, 1);
    out.Record16(kRefreshAll, 0);
    out.Record16(kBookBool, 0);
    // Font index 4 is never used by readers, so five records give 0-3 and 5.
    for (int i = 0; i < 5; ++i) WriteFont(out);
    // Style XFs 0 (Normal) to 14, then cell XFs: 15 default, 16 wrapped at the top.
    WriteXf(out, 0, 0xFFF5, 0x20, 0x00);
    for (int i = 1; i < 15; ++i) WriteXf(out, i <= 2 ? 1 : i <= 4 ? 2 : 0, 0xFFF5, 0x20, 0xF4);
    WriteXf(out, 0, 0x0001, 0x20, 0x00);
    WriteXf(out, 0, 0x0001, 0x08,
            0x10);  // wrap text, vertical top; the alignment differs from Normal
    {
        const std::size_t r = out.BeginRecord(kStyle);
        out.U16(0x8000);  // built-in style on XF 0
        out.U8(0);        // Normal
        out.U8(0xFF);
        out.EndRecord(r);
    }
    std::vector<std::size_t> offsets;
    for (const PreparedSheet& ps : p.sheets) {
        const std::size_t r = out.BeginRecord(kBoundSheet);
        offsets.push_back(out.Size());
        out.U32(0);  // patched once the sheet is laid out
        out.U8(0);   // visible
        out.U8(0);   // worksheet
        const bool compressed = FitsCompressed(ps.name);
        out.U8(static_cast<unsigned>(ps.name.size()));
        out.U8(compressed ? 0x00 : 0x01);
        out.Chars(ps.name.data(), ps.name.size(), compressed);
        out.EndRecord(r);
    }
    {
        const std::size_t r = out.BeginRecord(kCountry);
        out.U16(1);
        out.U16(1);
        out.EndRecord(r);
    }
    if (!drawings.group.empty()) out.LongRecord(kMsoDrawingGroup, drawings.group);
    // At most 128 buckets in EXTSST, at least 8 strings each.
    const std::size_t dsst = std::max<std::size_t>(8, (p.strings.size() + 127) / 128);
    const auto buckets = WriteSst(out, p, dsst);
    WriteExtSst(out, dsst, buckets);
    out.EmptyRecord(kEof);
    return offsets;
}

double ColumnWidthChars(const Worksheet& ws, int column) {
    auto it = ws.columnWidths.find(column);
    return it == ws.columnWidths.end() ? kDefaultColumnWidth : it->second;
}

// The height each row's text takes: taller than one line when a wrapped
// cell's text needs more.
std::map<int, int> TextHeights(const PreparedSheet& ps, const Prepared& p) {
    const Worksheet& ws = *ps.sheet;
    std::map<int, int> heights;
    for (const auto& item : ps.items) {
        int& height = heights.try_emplace(item.row, kLineTwips).first->second;
        if (!ws.wrapColumns.count(item.column)) continue;
        int lines = 1;
        if (item.cell->kind == Cell::Kind::Text)
            lines = WrappedLineCount(p.strings[item.sst], ColumnWidthChars(ws, item.column));
        height = std::max(height, RowHeightTwips(lines));
    }
    return heights;
}

detail::SheetLayout LayOutSheet(const PreparedSheet& ps, const Prepared& p) {
    const Worksheet& ws = *ps.sheet;
    if (ws.pictures.empty()) return {};
    const std::map<int, int> heights = TextHeights(ps, p);
    return detail::LayOutPictures(
        ws,
        [&heights](int row) {
            const auto it = heights.find(row);
            return it == heights.end() ? kLineTwips : it->second;
        },
        [&ws](int column) { return ColumnWidthChars(ws, column); });
}

void WriteSheet(Stream& out, const PreparedSheet& ps, const Prepared& p, bool active,
                const detail::SheetLayout& layout, const detail::SheetDrawing& drawing) {
    const Worksheet& ws = *ps.sheet;
    WriteBof(out, 0x0010);
    out.Record16(kCalcMode, 1);
    out.Record16(kCalcCount, 100);
    out.Record16(kRefMode, 1);
    out.Record16(kIteration, 0);
    {
        const std::size_t r = out.BeginRecord(kDelta);
        out.F64(0.001);
        out.EndRecord(r);
    }
    out.Record16(kSaveRecalc, 1);
    out.Record16(kPrintHeaders, 0);
    out.Record16(kPrintGridlines, 0);
    out.Record16(kGridSet, 1);
    {
        const std::size_t r = out.BeginRecord(kGuts);
        out.Zeros(8);
        out.EndRecord(r);
    }
    {
        const std::size_t r = out.BeginRecord(kDefaultRowHeight);
        out.U16(0);
        out.U16(kLineTwips);
        out.EndRecord(r);
    }
    out.Record16(kWsBool, 0x04C1);
    out.Record16(kDefColWidth, kDefaultColumnWidth);

    std::set<int> columns(ws.wrapColumns);
    for (const auto& entry : ws.columnWidths) columns.insert(entry.first);
    for (int column : columns) {
        const auto width = ws.columnWidths.find(column);
        const std::size_t r = out.BeginRecord(kColInfo);
        out.U16(column - 1);
        out.U16(column - 1);
        out.U16(static_cast<unsigned>(std::lround(ColumnWidthChars(ws, column) * 256)));
        out.U16(ws.wrapColumns.count(column) ? kWrapXf : kDefaultXf);
        out.U16(width != ws.columnWidths.end() ? 0x0002 : 0x0000);  // width set by the user
        out.U16(0);
        out.EndRecord(r);
    }

    int firstRow = kMaxRows, lastRow = -1, firstColumn = kMaxColumns, lastColumn = -1;
    for (const auto& item : ps.items) {
        firstRow = std::min(firstRow, item.row - 1);
        lastRow = std::max(lastRow, item.row - 1);
        firstColumn = std::min(firstColumn, item.column - 1);
        lastColumn = std::max(lastColumn, item.column - 1);
    }
    {
        const std::size_t r = out.BeginRecord(kDimensions);
        const bool empty = ps.items.empty();
        out.U32(empty ? 0 : firstRow);
        out.U32(empty ? 0 : lastRow + 1);
        out.U16(empty ? 0 : firstColumn);
        out.U16(empty ? 0 : lastColumn + 1);
        out.U16(0);
        out.EndRecord(r);
    }

    // Rows in blocks of 32: the ROW records of a block, then its cells.
    std::size_t next = 0;
    while (next < ps.items.size()) {
        const int blockEnd =
            (ps.items[next].row - 1) / kRowBlock * kRowBlock + kRowBlock;  // 0-based, exclusive
        std::size_t end = next;
        while (end < ps.items.size() && ps.items[end].row - 1 < blockEnd) ++end;

        for (std::size_t i = next; i < end;) {
            const int row = ps.items[i].row;
            int lines = 1;
            bool wrapped = false;
            const std::size_t rowStart = i;
            for (; i < end && ps.items[i].row == row; ++i) {
                const auto& item = ps.items[i];
                if (!ws.wrapColumns.count(item.column)) continue;
                wrapped = true;
                if (item.cell->kind == Cell::Kind::Text)
                    lines = std::max(lines, WrappedLineCount(p.strings[item.sst],
                                                             ColumnWidthChars(ws, item.column)));
            }
            int height = wrapped ? RowHeightTwips(lines) : kLineTwips;
            if (const auto taller = layout.rowTwips.find(row); taller != layout.rowTwips.end())
                height = std::max(height, taller->second);
            const std::size_t r = out.BeginRecord(kRow);
            out.U16(row - 1);
            out.U16(ps.items[rowStart].column - 1);
            out.U16(ps.items[i - 1].column);  // last column + 1
            out.U16(height);
            out.U16(0);
            out.U16(0);
            // Reserved bit 8 set, XF 15; bit 6 marks a height that differs from the font's.
            out.U32((kDefaultXf << 16) | 0x0100 | (height != kLineTwips ? 0x0040 : 0));
            out.EndRecord(r);
        }

        for (std::size_t i = next; i < end; ++i) {
            const auto& item = ps.items[i];
            const unsigned xf = ws.wrapColumns.count(item.column) ? kWrapXf : kDefaultXf;
            const Cell& cell = *item.cell;
            std::size_t r = 0;
            switch (cell.kind) {
                case Cell::Kind::Text:
                    r = out.BeginRecord(kLabelSst);
                    out.U16(item.row - 1);
                    out.U16(item.column - 1);
                    out.U16(xf);
                    out.U32(item.sst);
                    break;
                case Cell::Kind::Number:
                    r = out.BeginRecord(kNumber);
                    out.U16(item.row - 1);
                    out.U16(item.column - 1);
                    out.U16(xf);
                    out.F64(cell.number);
                    break;
                case Cell::Kind::Boolean:
                case Cell::Kind::Error:
                    r = out.BeginRecord(kBoolErr);
                    out.U16(item.row - 1);
                    out.U16(item.column - 1);
                    out.U16(xf);
                    out.U8(cell.kind == Cell::Kind::Boolean ? (cell.boolean ? 1 : 0)
                                                            : cell.errorCode);
                    out.U8(cell.kind == Cell::Kind::Error ? 1 : 0);
                    break;
                case Cell::Kind::Empty:
                    continue;
            }
            out.EndRecord(r);
        }
        next = end;
    }

    // The pictures' shapes, each followed by its object.
    for (std::size_t k = 0; k < drawing.drawings.size(); ++k) {
        out.LongRecord(kMsoDrawing, drawing.drawings[k]);
        out.LongRecord(kObj, drawing.objects[k]);
    }

    {
        const std::size_t r = out.BeginRecord(kWindow2);
        // Grid, headers, zeros, automatic grid colour, outline symbols; the
        // active sheet is also selected and shown.
        out.U16(0x00B6 | (active ? 0x0600 : 0));
        out.U16(0);     // top row
        out.U16(0);     // left column
        out.U16(0x40);  // grid colour: automatic
        out.U16(0);
        out.U16(0);  // zoom: default
        out.U16(0);
        out.U32(0);
        out.EndRecord(r);
    }
    out.EmptyRecord(kEof);
}

// libgsf, opened on the first save: a program that only reads workbooks
// never loads it, nor GObject and GIO behind it.
class Gsf {
public:
    static const Gsf& Get() {
        static const Gsf gsf;
        if (!gsf.loaded_) throw WorkbookError("Cannot create the compound file: " + gsf.error_);
        return gsf;
    }

    GsfOutput* (*output_memory_new)();
    GsfOutfile* (*outfile_msole_new)(GsfOutput*);
    GsfOutput* (*outfile_new_child)(GsfOutfile*, const char*, gboolean);
    gboolean (*output_write)(GsfOutput*, std::size_t, const guint8*);
    gboolean (*output_close)(GsfOutput*);
    const guint8* (*output_memory_get_bytes)(GsfOutputMemory*);
    gsf_off_t (*output_size)(GsfOutput*);
    void (*object_unref)(gpointer);
    guint (*log_set_handler)(const gchar*, GLogLevelFlags, GLogFunc, gpointer);
    GPrintFunc (*set_print_handler)(GPrintFunc);
    GPrintFunc (*set_printerr_handler)(GPrintFunc);

private:
    Gsf() {
        // Kept open for the life of the program, as a linked library would be.
        void* library = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            error_ = dlerror();
            return;
        }
        loaded_ = Find(library, output_memory_new, "gsf_output_memory_new") &&
                  Find(library, outfile_msole_new, "gsf_outfile_msole_new") &&
                  Find(library, outfile_new_child, "gsf_outfile_new_child") &&
                  Find(library, output_write, "gsf_output_write") &&
                  Find(library, output_close, "gsf_output_close") &&
                  Find(library, output_memory_get_bytes, "gsf_output_memory_get_bytes") &&
                  Find(library, output_size, "gsf_output_size") &&
                  Find(library, object_unref, "g_object_unref") &&
                  Find(library, log_set_handler, "g_log_set_handler") &&
                  Find(library, set_print_handler, "g_set_print_handler") &&
                  Find(library, set_printerr_handler, "g_set_printerr_handler");
    }

    template <typename Function>
    bool Find(void* library, Function& function, const char* name) {
        function = reinterpret_cast<Function>(dlsym(library, name));
        if (!function) error_ = std::string(name) + " is missing from " + kLibrary;
        return function != nullptr;
    }

    static constexpr const char* kLibrary = SCRIVANE_GSF_SONAME;
    bool loaded_ = false;
    std::string error_;
};

struct GObjectUnref {
    void operator()(void* object) const {
        if (object) Gsf::Get().object_unref(object);
    }
};

void Discard(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}
void DiscardPrint(const gchar*) {}

// Keeps libgsf off the terminal while it runs: its log domains and the
// default one are silenced for good, its direct prints for the duration.
class QuietGsf {
public:
    explicit QuietGsf(const Gsf& gsf) : gsf_(gsf) {
        static const bool once = [&gsf] {
            for (const char* domain : {"libgsf", "libgsf:msole", "libgsf:zip", "libgsf:utils",
                                       static_cast<const char*>(nullptr)})
                gsf.log_set_handler(domain,
                                    GLogLevelFlags((G_LOG_LEVEL_MASK & ~G_LOG_LEVEL_ERROR) |
                                                   G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
                                    Discard, nullptr);
            return true;
        }();
        (void)once;
        print_ = gsf_.set_print_handler(DiscardPrint);
        printErr_ = gsf_.set_printerr_handler(DiscardPrint);
    }
    ~QuietGsf() {
        gsf_.set_print_handler(print_);
        gsf_.set_printerr_handler(printErr_);
    }
    QuietGsf(const QuietGsf&) = delete;
    QuietGsf& operator=(const QuietGsf&) = delete;

private:
    const Gsf& gsf_;
    GPrintFunc print_;
    GPrintFunc printErr_;
};

// Streams, each with its name, in an OLE2 compound file.
std::vector<std::uint8_t> CompoundFileOf(
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& streams) {
    const Gsf& gsf = Gsf::Get();
    const QuietGsf quiet(gsf);
    std::unique_ptr<GsfOutput, GObjectUnref> sink(gsf.output_memory_new());
    if (!sink) throw WorkbookError("Out of memory.");
    std::unique_ptr<GsfOutfile, GObjectUnref> ole(gsf.outfile_msole_new(sink.get()));
    if (!ole) throw WorkbookError("Cannot create the compound file.");
    for (const auto& [name, stream] : streams) {
        std::unique_ptr<GsfOutput, GObjectUnref> child(
            gsf.outfile_new_child(ole.get(), name.c_str(), FALSE));
        if (!child) throw WorkbookError("Cannot create the compound file.");
        const bool written =
            stream.empty() || gsf.output_write(child.get(), stream.size(), stream.data());
        const bool childClosed = gsf.output_close(child.get());
        if (!written || !childClosed) throw WorkbookError("Cannot create the compound file.");
    }
    // An outfile is an output, as GSF_OUTPUT would check at run time.
    const bool oleClosed = gsf.output_close(reinterpret_cast<GsfOutput*>(ole.get()));
    if (!oleClosed) throw WorkbookError("Cannot create the compound file.");
    const guint8* data =
        gsf.output_memory_get_bytes(reinterpret_cast<GsfOutputMemory*>(sink.get()));
    const gsf_off_t size = gsf.output_size(sink.get());
    if (!data || size <= 0) throw WorkbookError("Cannot create the compound file.");
    return {data, data + size};
}

constexpr const char* kNoIdentityHere = "only a paper file (.tpf or .xls) keeps an identity";

// Compound file names compare without regard to case.
bool SameStreamName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string SystemReason(int error) {
    return std::generic_category().message(error);
}

// The file a save replaces: a symbolic link is followed to the file it
// names (which may not exist yet), so that the link stays a link.
std::filesystem::path ResolveLinks(std::filesystem::path path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::vector<char> buffer(static_cast<std::size_t>(std::max<off_t>(st.st_size, 255)) + 1);
        const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size() - 1);
        if (n < 0) throw WorkbookError(SystemReason(errno));
        const std::filesystem::path next(std::string(buffer.data(), static_cast<std::size_t>(n)));
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    throw WorkbookError(SystemReason(ELOOP));
}

// Why an existing target must not be replaced, or nothing when it may.
std::optional<std::string> RefusalOf(const std::filesystem::path& target, struct stat& st) {
    if (stat(target.c_str(), &st) != 0) {
        if (errno == ENOENT) return std::nullopt;
        return SystemReason(errno);
    }
    if (S_ISDIR(st.st_mode)) return "it is a folder, not a file";
    if (S_ISFIFO(st.st_mode)) return "it is a pipe, not a file";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "it is a device, not a file";
    if (!S_ISREG(st.st_mode)) return "it is not a regular file";
    // Write bits are looked at as well as access(), which lets root write anywhere.
    if ((st.st_mode & 0222) == 0 || access(target.c_str(), W_OK) != 0)
        return "the file is read-only";
    return std::nullopt;
}

// The temporary file of an atomic write: closed and removed unless committed.
class TempFile {
public:
    explicit TempFile(const std::filesystem::path& target) {
        const std::string pattern = detail::TemporaryPattern(target).string();
        path_.assign(pattern.begin(), pattern.end());
        path_.push_back('\0');
        fd_ = mkostemp(path_.data(), O_CLOEXEC);
        if (fd_ < 0) throw WorkbookError(SystemReason(errno));
    }
    ~TempFile() {
        if (fd_ >= 0) close(fd_);
        if (!committed_) unlink(path_.data());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int Fd() const { return fd_; }
    const char* Path() const { return path_.data(); }
    void Close() {
        const int fd = fd_;
        fd_ = -1;
        if (close(fd) != 0) throw WorkbookError(SystemReason(errno));
    }
    void Commit() { committed_ = true; }

private:
    std::vector<char> path_;
    int fd_ = -1;
    bool committed_ = false;
};

constexpr const char* kTooLargeWithPictures =
    "the pictures would make the file larger than the 64 MiB a workbook may have";

// Pictures a workbook can show: PNG and JPEG as they are, an SVG through
// its PNG stand-in; all of them together within what a read takes.
void CheckPictures(const Workbook& book) {
    std::size_t bytes = 0;
    for (const Worksheet& ws : book.sheets) {
        for (const SheetPicture& picture : ws.pictures) {
            if (picture.row < 1 || picture.row > kMaxRows || picture.column < 1 ||
                picture.column > kMaxColumns)
                throw WorkbookError("A picture lies outside 65536 rows and 256 columns.");
            const bool raster = picture.format == "png" || picture.format == "jpeg";
            if (!raster && picture.format != "svg")
                throw WorkbookError("A picture is neither PNG, JPEG nor SVG.");
            if (detail::RasterFormatOf(detail::ShownBytes(picture)).empty())
                throw WorkbookError(raster ? "A picture's bytes are not those of its format."
                                           : "An SVG picture's stand-in is not a PNG.");
            if (!detail::IsValidUtf8(picture.name))
                throw WorkbookError("A picture's name is not text.");
            bytes += picture.data.size() + picture.standIn.size() + picture.name.size();
        }
    }
    if (bytes > detail::kMaxFileBytes) throw WorkbookError(kTooLargeWithPictures);
}

}  // namespace

std::filesystem::path detail::TemporaryPattern(const std::filesystem::path& target) {
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    // A shortened name keeps the temporary within the file name limit; it
    // is cut between characters, never inside a UTF-8 sequence.
    std::string name = target.filename().string();
    if (name.size() > 64) {
        std::size_t cut = 64;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    return folder / ("." + name + ".XXXXXX");
}

std::vector<std::uint8_t> WriteBiff8Bytes(const Workbook& book) {
    // What a read would refuse is not written.
    if (TextBytes(book) > kMaxTextBytes) throw WorkbookError("the workbook holds too much text");
    const Prepared p = Prepare(book);
    CheckPictures(book);
    std::vector<detail::SheetLayout> layouts;
    for (const PreparedSheet& ps : p.sheets) layouts.push_back(LayOutSheet(ps, p));
    detail::DrawingPlan drawings = detail::PlanDrawings(layouts);
    Stream out;
    const std::vector<std::size_t> offsets = WriteGlobals(out, book, p, drawings);
    for (std::size_t i = 0; i < p.sheets.size(); ++i) {
        if (out.Size() > 0xFFFFFFFFu) throw WorkbookError("The workbook is too large.");
        out.PatchU32(offsets[i], static_cast<std::uint32_t>(out.Size()));
        WriteSheet(out, p.sheets[i], p, static_cast<int>(i) == book.activeSheet, layouts[i],
                   drawings.sheets[i]);
    }
    if (out.Size() < kMinStreamSize) out.Zeros(kMinStreamSize - out.Size());
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> streams;
    streams.emplace_back("Workbook", std::move(out.bytes));
    // The pictures' names and the sources of SVG pictures, which the
    // drawing records cannot keep, in a stream of their own.
    if (!drawings.pictures.empty())
        streams.emplace_back(detail::kPicturesStream, std::move(drawings.pictures));
    std::vector<std::uint8_t> file = CompoundFileOf(streams);
    if (file.size() > detail::kMaxFileBytes) throw WorkbookError(kTooLargeWithPictures);
    return file;
}

void WriteBiff8File(const Workbook& book, const std::filesystem::path& path) {
    WriteFileSafely(WriteBiff8Bytes(book), path);
}

void WriteFileSafely(std::span<const std::uint8_t> bytes, const std::filesystem::path& path) {
    const std::filesystem::path target = ResolveLinks(path);
    struct stat existing {};
    if (const auto refusal = RefusalOf(target, existing)) throw WorkbookError(*refusal);
    const bool replacing = S_ISREG(existing.st_mode);
    TempFile temp(target);

    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(temp.Fd(), bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw WorkbookError(SystemReason(errno));
        }
        done += static_cast<std::size_t>(n);
    }
    // mkstemp makes the file private; give it the target's permissions, or
    // those of a newly created file.
    mode_t mode = 0;
    if (replacing) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    if (fchmod(temp.Fd(), mode) != 0) throw WorkbookError(SystemReason(errno));
    if (fsync(temp.Fd()) != 0) throw WorkbookError(SystemReason(errno));
    temp.Close();
    if (rename(temp.Path(), target.c_str()) != 0) throw WorkbookError(SystemReason(errno));
    temp.Commit();

    // Make the rename itself durable; the file is already in place, so a
    // failure here is not reported.
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
}

void WritePaperIdentity(const std::filesystem::path& path, const std::string& identity) {
    if (identity.empty() || identity.size() > kMaxPaperIdentityBytes)
        throw WorkbookError("the paper's identity is not valid");
    const detail::FileSource source(path);
    if (source.Size() > detail::kMaxFileBytes) throw WorkbookError("the workbook is too large");
    std::uint8_t head[8] = {};
    if (source.Size() < 8) throw WorkbookError(kNoIdentityHere);
    source.Read(0, std::span(head, 8));
    if (std::memcmp(head, detail::kOle2Signature, 8) != 0) throw WorkbookError(kNoIdentityHere);
    const detail::CompoundFile ole(source);
    // Every stream stays byte for byte, the workbook's among them; only the
    // identity's is added or replaced.
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> streams;
    for (const std::string& name : ole.StreamNames()) {
        if (SameStreamName(name, kPaperIdentityStream)) continue;
        streams.emplace_back(name, ole.ReadStream(name, detail::kMaxFileBytes));
    }
    streams.emplace_back(kPaperIdentityStream,
                         std::vector<std::uint8_t>(identity.begin(), identity.end()));
    WriteFileSafely(CompoundFileOf(streams), path);
}

}  // namespace scrivane::codec
