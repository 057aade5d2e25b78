// BIFF5/7 and BIFF8 workbook streams inside an OLE2 compound file.
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <optional>
#include <set>

#include <iconv.h>

#include "spreadsheet/codec/biff_records.h"
#include "spreadsheet/codec/read_internal.h"

namespace scrivane::codec::detail {
namespace {

using namespace biff;

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
double LeDouble(const std::uint8_t* p) {
    const std::uint64_t bits = Le32(p) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
    return std::bit_cast<double>(bits);
}

double DecodeRk(std::uint32_t rk) {
    double value;
    if (rk & 2) {
        value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        value = std::bit_cast<double>(static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32);
    }
    return (rk & 1) ? value / 100 : value;
}

struct Record {
    std::uint16_t id = 0;
    std::span<const std::uint8_t> data;
};

// Walks the records of a stream; a record running past the end is damage.
class RecordStream {
public:
    explicit RecordStream(std::span<const std::uint8_t> stream) : s_(stream) {}
    bool AtEnd() const { return pos_ >= s_.size(); }
    std::size_t Pos() const { return pos_; }
    void Seek(std::size_t pos) { pos_ = pos; }
    Record Next() {
        if (s_.size() - pos_ < 4) Damaged("truncated record");
        Record r;
        r.id = Le16(&s_[pos_]);
        const std::size_t len = Le16(&s_[pos_ + 2]);
        if (s_.size() - pos_ - 4 < len) Damaged("truncated record");
        r.data = s_.subspan(pos_ + 4, len);
        pos_ += 4 + len;
        return r;
    }
    // The data of the CONTINUE records right after the current record.
    std::vector<std::span<const std::uint8_t>> Continues() {
        std::vector<std::span<const std::uint8_t>> parts;
        while (s_.size() - pos_ >= 4 && Le16(&s_[pos_]) == kContinue) parts.push_back(Next().data);
        return parts;
    }

private:
    std::span<const std::uint8_t> s_;
    std::size_t pos_ = 0;
};

// Reads a record's data together with its CONTINUE records. Numbers and
// skipped bytes run across the seams; the characters of a BIFF8 string carry
// a fresh option byte at each seam, which says whether they are 8 or 16 bit.
class PieceReader {
public:
    explicit PieceReader(std::vector<std::span<const std::uint8_t>> pieces)
        : pieces_(std::move(pieces)) {}
    explicit PieceReader(std::span<const std::uint8_t> data) : pieces_{data} {}

    bool AtEnd() {
        SkipEmptyPieces();
        return piece_ >= pieces_.size();
    }
    std::uint8_t U8() {
        SkipEmptyPieces();
        if (piece_ >= pieces_.size()) Damaged("truncated text");
        return pieces_[piece_][pos_++];
    }
    std::uint16_t U16() {
        const std::uint16_t lo = U8();
        return static_cast<std::uint16_t>(lo | (U8() << 8));
    }
    std::uint32_t U32() {
        const std::uint32_t lo = U16();
        return lo | (static_cast<std::uint32_t>(U16()) << 16);
    }
    void Skip(std::size_t n) {
        while (n > 0) {
            SkipEmptyPieces();
            if (piece_ >= pieces_.size()) Damaged("truncated text");
            const std::size_t step = std::min(n, pieces_[piece_].size() - pos_);
            pos_ += step;
            n -= step;
        }
    }
    // count characters, starting 16 bit when wide.
    std::string Chars(std::size_t count, bool wide) {
        std::vector<char16_t> units;
        units.reserve(std::min<std::size_t>(count, 4096));
        while (units.size() < count) {
            if (piece_ < pieces_.size() && pos_ == pieces_[piece_].size()) {
                ++piece_;
                pos_ = 0;
                if (piece_ >= pieces_.size() || pieces_[piece_].empty()) Damaged("truncated text");
                wide = (pieces_[piece_][pos_++] & 1) != 0;
            }
            if (piece_ >= pieces_.size()) Damaged("truncated text");
            const auto& p = pieces_[piece_];
            if (wide) {
                if (p.size() - pos_ < 2) Damaged("split character");
                units.push_back(static_cast<char16_t>(Le16(&p[pos_])));
                pos_ += 2;
            } else {
                units.push_back(p[pos_++]);  // 8-bit characters are Latin-1
            }
        }
        return Utf16ToUtf8(units);
    }
    std::span<const std::uint8_t> Bytes(std::size_t n) {
        SkipEmptyPieces();
        if (piece_ >= pieces_.size() || pieces_[piece_].size() - pos_ < n)
            Damaged("truncated text");
        auto out = pieces_[piece_].subspan(pos_, n);
        pos_ += n;
        return out;
    }

private:
    void SkipEmptyPieces() {
        while (piece_ < pieces_.size() && pos_ == pieces_[piece_].size()) {
            ++piece_;
            pos_ = 0;
        }
    }
    std::vector<std::span<const std::uint8_t>> pieces_;
    std::size_t piece_ = 0;
    std::size_t pos_ = 0;
};

// A BIFF8 string: 8- or 16-bit length, option byte, optional rich-text run
// count and phonetic data size, characters, then the runs and phonetic data.
std::string ReadBiff8String(PieceReader& r, bool wideLength) {
    const std::size_t count = wideLength ? r.U16() : r.U8();
    const std::uint8_t options = r.U8();
    CheckTextLength(count);
    std::size_t runs = 0, extra = 0;
    if (options & 0x08) runs = r.U16();
    if (options & 0x04) extra = r.U32();
    std::string text = r.Chars(count, (options & 0x01) != 0);
    r.Skip(runs * 4);
    r.Skip(extra);
    return text;
}

class IconvHandle {
public:
    explicit IconvHandle(iconv_t cd) : cd_(cd) {}
    ~IconvHandle() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

// Decodes the byte strings of BIFF5/7 from the workbook's code page.
class CodepageDecoder {
public:
    explicit CodepageDecoder(int codepage) : cd_(Open(codepage)) {
        if (cd_.get() == reinterpret_cast<iconv_t>(-1))
            Fail("the workbook uses an unsupported code page (" + std::to_string(codepage) + ")");
    }
    std::string Decode(std::span<const std::uint8_t> bytes) {
        std::string out;
        iconv(cd_.get(), nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
        std::size_t inLeft = bytes.size();
        char buffer[1024];
        while (inLeft > 0) {
            char* o = buffer;
            std::size_t oLeft = sizeof buffer;
            const std::size_t rc = iconv(cd_.get(), &in, &inLeft, &o, &oLeft);
            out.append(buffer, static_cast<std::size_t>(o - buffer));
            if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
                // An invalid or cut-off sequence: mark it and go on.
                AppendUtf8(out, 0xFFFD);
                ++in;
                --inLeft;
                iconv(cd_.get(), nullptr, nullptr, nullptr, nullptr);
            }
        }
        char* o = buffer;
        std::size_t oLeft = sizeof buffer;
        iconv(cd_.get(), nullptr, nullptr, &o, &oLeft);
        out.append(buffer, static_cast<std::size_t>(o - buffer));
        if (!IsValidUtf8(out)) Damaged("undecodable text");
        return out;
    }

private:
    static iconv_t Open(int codepage) {
        std::string name;
        switch (codepage) {
            case 367:
                name = "ASCII";
                break;
            case 1200:
                name = "UTF-16LE";
                break;
            case 10000:
            case 32768:
                name = "MACINTOSH";
                break;
            case 32769:
                name = "CP1252";
                break;
            case 1361:
                name = "JOHAB";
                break;
            default:
                name = "CP" + std::to_string(codepage);
                break;
        }
        return iconv_open("UTF-8", name.c_str());
    }
    IconvHandle cd_;
};

struct SheetEntry {
    std::uint32_t offset = 0;
    std::uint8_t type = 0;              // 0 worksheet; charts and macro sheets come out empty
    std::vector<std::uint8_t> rawName;  // BIFF5: code-page bytes
    std::string name;                   // BIFF8: already decoded
};

struct SheetResult {
    Worksheet sheet;
    std::uint16_t window2Flags = 0;
};

class BiffReader {
public:
    BiffReader(std::span<const std::uint8_t> stream, bool bookStream)
        : stream_(stream), bookStream_(bookStream) {}

    Workbook Read() {
        ReadGlobals();
        if (sheets_.empty()) Damaged("no sheets");
        if (sheets_.size() > kMaxSheets) Fail("the workbook has too many sheets");
        std::optional<CodepageDecoder> decoder;
        if (!biff8_) decoder.emplace(codepage_);

        Workbook book;
        std::set<std::uint32_t> offsets;
        std::vector<std::uint16_t> windowFlags;
        for (const SheetEntry& entry : sheets_) {
            Worksheet sheet;
            std::uint16_t flags = 0;
            if (entry.type == 0) {
                if (!offsets.insert(entry.offset).second) Damaged("two sheets share one offset");
                SheetResult result = ReadSheet(entry.offset);
                sheet = std::move(result.sheet);
                flags = result.window2Flags;
            }
            sheet.name = biff8_ ? entry.name : decoder->Decode(entry.rawName);
            budget_.AddText(sheet.name.size());
            book.sheets.push_back(std::move(sheet));
            windowFlags.push_back(flags);
        }

        const int count = static_cast<int>(book.sheets.size());
        if (activeTab_ && *activeTab_ < count) {
            book.activeSheet = *activeTab_;
        } else {
            // Without a usable WINDOW1 take the sheet shown in the window,
            // else the first selected tab.
            book.activeSheet = 0;
            for (std::uint16_t mask : {std::uint16_t{0x0400}, std::uint16_t{0x0200}}) {
                auto it = std::find_if(windowFlags.begin(), windowFlags.end(),
                                       [mask](std::uint16_t f) { return (f & mask) != 0; });
                if (it != windowFlags.end()) {
                    book.activeSheet = static_cast<int>(it - windowFlags.begin());
                    break;
                }
            }
        }
        return book;
    }

private:
    void ReadGlobals() {
        RecordStream rs(stream_);
        const Record bof = rs.Next();
        if (bof.id == kBof2 || bof.id == kBof3 || bof.id == kBof4)
            Fail("the workbook uses an old Excel format that is not supported");
        if (bof.id != kBof || bof.data.size() < 4) Fail("not a workbook");
        const std::uint16_t version = Le16(&bof.data[0]);
        if (version == 0x0600)
            biff8_ = true;
        else if (version == 0x0500)
            biff8_ = false;
        else
            biff8_ = !bookStream_;
        if (Le16(&bof.data[2]) != 0x0005) Damaged("no workbook globals");

        for (;;) {
            if (rs.AtEnd()) Damaged("truncated workbook globals");
            const Record r = rs.Next();
            switch (r.id) {
                case kEof:
                    return;
                case kFilepass:
                    Fail("the workbook is encrypted");
                case kCodepage:
                    if (r.data.size() >= 2) codepage_ = Le16(&r.data[0]);
                    break;
                case kWindow1:
                    if (!activeTab_ && r.data.size() >= 12) activeTab_ = Le16(&r.data[10]);
                    break;
                case kBoundSheet:
                    ReadBoundsheet(r.data);
                    break;
                case kXf:
                    if (xfWrap_.size() < 65536)
                        xfWrap_.push_back(r.data.size() > 6 && (r.data[6] & 0x08));
                    break;
                case kSst:
                    if (biff8_) {
                        auto pieces = rs.Continues();
                        pieces.insert(pieces.begin(), r.data);
                        ReadSst(std::move(pieces));
                    }
                    break;
                default:
                    break;
            }
        }
    }

    void ReadBoundsheet(std::span<const std::uint8_t> data) {
        if (data.size() < 7) Damaged("short sheet entry");
        if (sheets_.size() >= kMaxSheets) Fail("the workbook has too many sheets");
        SheetEntry entry;
        entry.offset = Le32(&data[0]);
        entry.type = data[5];
        PieceReader r(data.subspan(6));
        if (biff8_) {
            entry.name = ReadBiff8String(r, false);
        } else {
            const std::size_t len = r.U8();
            const auto bytes = r.Bytes(len);
            entry.rawName.assign(bytes.begin(), bytes.end());
        }
        sheets_.push_back(std::move(entry));
    }

    void ReadSst(std::vector<std::span<const std::uint8_t>> pieces) {
        PieceReader r(std::move(pieces));
        r.U32();  // total references, not needed
        const std::uint32_t unique = r.U32();
        for (std::uint32_t i = 0; i < unique && !r.AtEnd(); ++i) {
            if (sst_.size() >= kMaxStrings) Fail("the workbook has too many texts");
            sst_.push_back(ReadBiff8String(r, true));
            budget_.AddText(sst_.back().size());
        }
    }

    std::string ReadCellString(std::span<const std::uint8_t> data) {
        PieceReader r(data);
        return ReadByteOrUnicodeString(r);
    }

    // The text of LABEL, RSTRING and STRING records in this BIFF version.
    std::string ReadByteOrUnicodeString(PieceReader& r) {
        if (biff8_) return ReadBiff8String(r, true);
        const std::size_t len = r.U16();
        std::string text = Decoder().Decode(r.Bytes(len));
        CheckTextLength(Utf16Length(text));
        return text;
    }

    CodepageDecoder& Decoder() {
        if (!decoder_) decoder_.emplace(codepage_);
        return *decoder_;
    }

    void Put(Worksheet& sheet, std::span<const std::uint8_t> data, Cell cell) {
        budget_.PutCell(sheet, Le16(&data[0]) + 1, Le16(&data[2]) + 1, std::move(cell));
    }

    SheetResult ReadSheet(std::uint32_t offset) {
        if (offset >= stream_.size()) Damaged("sheet offset outside the stream");
        RecordStream rs(stream_);
        rs.Seek(offset);
        const Record bof = rs.Next();
        if (bof.id != kBof) Damaged("sheet offset does not point at a sheet");

        SheetResult result;
        Worksheet& sheet = result.sheet;
        int depth = 1;                          // embedded charts nest their own BOF..EOF
        int pendingRow = 0, pendingColumn = 0;  // a FORMULA waiting for its STRING; 0 when none
        while (depth > 0) {
            if (rs.AtEnd()) Damaged("truncated sheet");
            const std::size_t start = rs.Pos();
            const Record r = rs.Next();
            // Sheets that overlap each other would make us scan the stream again and again.
            scanned_ += rs.Pos() - start;
            if (scanned_ > stream_.size()) Damaged("overlapping sheets");
            if (r.id == kBof) {
                ++depth;
                continue;
            }
            if (r.id == kEof) {
                --depth;
                continue;
            }
            if (depth > 1) continue;
            const auto& d = r.data;
            switch (r.id) {
                case kLabelSst: {
                    if (d.size() < 10) Damaged("short cell record");
                    const std::uint32_t index = Le32(&d[6]);
                    if (index >= sst_.size()) Damaged("text index outside the string table");
                    Put(sheet, d, Cell::Text(sst_[index]));
                    break;
                }
                case kLabel:
                case kRString:
                    if (d.size() < 8) Damaged("short cell record");
                    Put(sheet, d, Cell::Text(ReadCellString(d.subspan(6))));
                    break;
                case kNumber:
                    if (d.size() < 14) Damaged("short cell record");
                    Put(sheet, d, Cell::Number(LeDouble(&d[6])));
                    break;
                case kRk:
                    if (d.size() < 10) Damaged("short cell record");
                    Put(sheet, d, Cell::Number(DecodeRk(Le32(&d[6]))));
                    break;
                case kMulRk: {
                    if (d.size() < 12 || (d.size() - 6) % 6 != 0) Damaged("bad MULRK record");
                    const int row = Le16(&d[0]) + 1;
                    const int first = Le16(&d[2]) + 1;
                    const std::size_t n = (d.size() - 6) / 6;
                    for (std::size_t i = 0; i < n; ++i)
                        budget_.PutCell(sheet, row, first + static_cast<int>(i),
                                        Cell::Number(DecodeRk(Le32(&d[4 + 6 * i + 2]))));
                    break;
                }
                case kBoolErr:
                    if (d.size() < 8) Damaged("short cell record");
                    Put(sheet, d, d[7] ? Cell::Error(d[6]) : Cell::Boolean(d[6] != 0));
                    break;
                case kFormula: {
                    if (d.size() < 14) Damaged("short cell record");
                    pendingRow = 0;
                    if (d[12] != 0xFF || d[13] != 0xFF) {
                        Put(sheet, d, Cell::Number(LeDouble(&d[6])));
                    } else if (d[6] == 0) {
                        pendingRow = Le16(&d[0]) + 1;
                        pendingColumn = Le16(&d[2]) + 1;
                    } else if (d[6] == 1) {
                        Put(sheet, d, Cell::Boolean(d[8] != 0));
                    } else if (d[6] == 2) {
                        Put(sheet, d, Cell::Error(d[8]));
                    } else if (d[6] == 3) {
                        Put(sheet, d, Cell::Text(""));
                    }
                    break;
                }
                case kString: {
                    auto pieces = rs.Continues();
                    if (pendingRow == 0) break;
                    pieces.insert(pieces.begin(), d);
                    PieceReader pr(std::move(pieces));
                    budget_.PutCell(sheet, pendingRow, pendingColumn,
                                    Cell::Text(ReadByteOrUnicodeString(pr)));
                    pendingRow = 0;
                    break;
                }
                case kColInfo: {
                    if (d.size() < 10) Damaged("short column record");
                    const int first = Le16(&d[0]) + 1;
                    const int last = std::min<int>(Le16(&d[2]) + 1, kMaxColumn);
                    const double width = Le16(&d[4]) / 256.0;
                    const std::size_t xf = Le16(&d[6]);
                    const bool wrap = xf < xfWrap_.size() && xfWrap_[xf];
                    if (first > last) break;
                    budget_.AddWork(static_cast<std::size_t>(last - first + 1));
                    for (int c = first; c <= last; ++c) {
                        sheet.columnWidths[c] = width;
                        if (wrap) sheet.wrapColumns.insert(c);
                    }
                    break;
                }
                case kWindow2:
                    if (d.size() >= 2) result.window2Flags = Le16(&d[0]);
                    break;
                default:
                    break;
            }
        }
        return result;
    }

    std::span<const std::uint8_t> stream_;
    bool bookStream_;
    bool biff8_ = true;
    int codepage_ = 1252;
    std::optional<int> activeTab_;
    std::vector<SheetEntry> sheets_;
    std::vector<std::string> sst_;
    std::vector<bool> xfWrap_;
    std::optional<CodepageDecoder> decoder_;
    std::size_t scanned_ = 0;
    ReadBudget budget_;
};

}  // namespace

Workbook ReadOle2(GsfInfile* ole) {
    // Excel 97 and later name the stream "Workbook", Excel 5/95 "Book"; a
    // file carrying both is read through the newer one.
    bool bookStream = false;
    GPtr<GsfInput> stream = ChildByName(ole, "Workbook");
    if (!stream) {
        stream = ChildByName(ole, "Book");
        bookStream = true;
    }
    if (!stream) Fail("not a workbook (no workbook stream)");
    const std::vector<std::uint8_t> data = ReadInput(stream.get(), kMaxPartBytes);
    return BiffReader(data, bookStream).Read();
}

}  // namespace scrivane::codec::detail
