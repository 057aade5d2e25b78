// BIFF5/7 and BIFF8 workbook streams inside an OLE2 compound file.
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include <iconv.h>

#include "spreadsheet/codec/biff_records.h"
#include "spreadsheet/codec/officeart.h"
#include "spreadsheet/codec/read_internal.h"

namespace scrivane::codec::detail {
namespace {

using namespace biff;

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
    bool NextIs(std::uint16_t id) const { return s_.size() - pos_ >= 4 && Le16(&s_[pos_]) == id; }

private:
    std::span<const std::uint8_t> s_;
    std::size_t pos_ = 0;
};

// Reads a record's data together with the CONTINUE records after it, taken
// from the record stream one at a time as the reading reaches them. Numbers
// and skipped bytes run across the seams; the characters of a BIFF8 string
// carry a fresh option byte at each seam, which says whether they are 8 or
// 16 bit.
class PieceReader {
public:
    explicit PieceReader(std::span<const std::uint8_t> data, RecordStream* more = nullptr)
        : piece_(data), more_(more) {}

    bool AtEnd() { return !SkipEmptyPieces(); }
    std::uint8_t U8() {
        if (!SkipEmptyPieces()) Damaged("truncated text");
        return piece_[pos_++];
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
            if (!SkipEmptyPieces()) Damaged("truncated text");
            const std::size_t step = std::min(n, piece_.size() - pos_);
            pos_ += step;
            n -= step;
        }
    }
    // count characters, starting 16 bit when wide; kept only when keep.
    std::string Chars(std::size_t count, bool wide, bool keep = true) {
        std::vector<char16_t> units;
        if (keep) units.reserve(std::min<std::size_t>(count, 4096));
        for (std::size_t done = 0; done < count;) {
            if (pos_ == piece_.size()) {
                if (!NextPiece() || piece_.empty()) Damaged("truncated text");
                wide = (piece_[pos_++] & 1) != 0;
            }
            const std::size_t width = wide ? 2 : 1;
            const std::size_t n = std::min(count - done, (piece_.size() - pos_) / width);
            if (n == 0) Damaged("split character");
            if (keep) {
                for (std::size_t k = 0; k < n; ++k)
                    units.push_back(wide ? static_cast<char16_t>(Le16(&piece_[pos_ + 2 * k]))
                                         : piece_[pos_ + k]);  // 8-bit characters are Latin-1
            }
            pos_ += n * width;
            done += n;
        }
        return keep ? Utf16ToUtf8(units) : std::string();
    }
    std::span<const std::uint8_t> Bytes(std::size_t n) {
        SkipEmptyPieces();
        if (piece_.size() - pos_ < n) Damaged("truncated text");
        auto out = piece_.subspan(pos_, n);
        pos_ += n;
        return out;
    }

private:
    bool NextPiece() {
        if (!more_ || !more_->NextIs(kContinue)) return false;
        piece_ = more_->Next().data;
        pos_ = 0;
        return true;
    }
    // False when nothing is left.
    bool SkipEmptyPieces() {
        while (pos_ == piece_.size())
            if (!NextPiece()) return false;
        return true;
    }
    std::span<const std::uint8_t> piece_;
    std::size_t pos_ = 0;
    RecordStream* more_;
};

// A BIFF8 string: 8- or 16-bit length, option byte, optional rich-text run
// count and phonetic data size, characters, then the runs and phonetic data.
// Unless keep, the string is only passed over.
std::string ReadBiff8String(PieceReader& r, bool wideLength, bool keep = true) {
    const std::size_t count = wideLength ? r.U16() : r.U8();
    const std::uint8_t options = r.U8();
    CheckTextLength(count);
    std::size_t runs = 0, extra = 0;
    if (options & 0x08) runs = r.U16();
    if (options & 0x04) extra = r.U32();
    std::string text = r.Chars(count, (options & 0x01) != 0, keep);
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

// The code page of a font's character set, for BIFF5 files whose CODEPAGE
// record cannot describe their 8-bit strings.
int CharsetCodepage(int charset) {
    switch (charset) {
        case 128:
            return 932;
        case 129:
            return 949;
        case 134:
            return 936;
        case 136:
            return 950;
        case 161:
            return 1253;
        case 162:
            return 1254;
        case 163:
            return 1258;
        case 177:
            return 1255;
        case 178:
            return 1256;
        case 186:
            return 1257;
        case 204:
            return 1251;
        case 222:
            return 874;
        case 238:
            return 1250;
        default:
            return 1252;
    }
}

struct SheetEntry {
    std::uint32_t offset = 0;
    std::uint8_t type = 0;              // 0 worksheet; charts and macro sheets come out empty
    std::vector<std::uint8_t> rawName;  // BIFF5: code-page bytes
    std::string name;                   // BIFF8: already decoded
};

// A cell that shows a shared string, filled once the string table is read.
struct SharedTextCell {
    std::size_t sheet;
    int row, column;
    std::uint32_t index;
};

class BiffReader {
public:
    BiffReader(std::span<const std::uint8_t> stream, bool bookStream, const ReadScope& scope,
               std::span<const PictureEntry> entries)
        : stream_(stream), bookStream_(bookStream), budget_(scope), entries_(entries) {}

    Workbook Read() {
        ReadGlobals();
        if (sheets_.empty()) Damaged("no sheets");
        if (sheets_.size() > kMaxSheets) Fail("the workbook has too many sheets");
        if (!biff8_ && codepage_ == 1200) {
            // UTF-16 cannot describe the 8-bit strings of BIFF5; a writer
            // that converts BIFF8 files to Excel 95 keeps it all the same,
            // writes plain texts as 8-bit strings and others as UTF-16 bytes.
            // The fonts name the code page of the 8-bit ones.
            claimsUtf16_ = true;
            codepage_ = CharsetCodepage(fontCharset_);
        }

        Workbook book;
        for (const SheetEntry& entry : sheets_) {
            Worksheet sheet;
            sheet.name = biff8_ ? entry.name : DecodeBytes(entry.rawName);
            budget_.AddText(sheet.name.size());
            book.sheets.push_back(std::move(sheet));
        }
        const int count = static_cast<int>(book.sheets.size());
        const bool tabKnown = activeTab_ && *activeTab_ < count;
        if (tabKnown) book.activeSheet = *activeTab_;

        // Every worksheet is read, or with an active-sheet scope the active
        // one alone (after a look at each sheet's window when WINDOW1 does
        // not say which it is).
        std::vector<std::uint16_t> windowFlags(sheets_.size(), 0);
        const bool all = !budget_.Scope().activeSheetOnly;
        if (all || !tabKnown) {
            CheckOffsets();
            scanned_ = 0;
            for (std::size_t i = 0; i < sheets_.size(); ++i)
                if (sheets_[i].type == 0)
                    windowFlags[i] = ReadSheet(i, all ? &book.sheets[i] : nullptr);
        }
        if (!tabKnown) {
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
        if (!all) {
            const auto active = static_cast<std::size_t>(book.activeSheet);
            scanned_ = 0;
            if (sheets_[active].type == 0) ReadSheet(active, &book.sheets[active]);
        }
        FillSharedTexts(book);
        for (std::size_t i = 0; i < drawings_.size(); ++i)
            ReadPictures(book, book.sheets[drawings_[i].first], drawings_[i].second);
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
            const std::size_t at = rs.Pos();
            const Record r = rs.Next();
            switch (r.id) {
                case kEof:
                    return;
                case kFilepass:
                    Fail(kPasswordProtected);
                case kCodepage:
                    if (r.data.size() >= 2) codepage_ = Le16(&r.data[0]);
                    break;
                case kDateMode:
                    if (r.data.size() >= 2) date1904_ = Le16(&r.data[0]) != 0;
                    break;
                case kFont:
                    if (r.data.size() >= 13 && fontCharset_ == 0 && r.data[12] > 1)
                        fontCharset_ = r.data[12];
                    break;
                case kWindow1:
                    if (!activeTab_ && r.data.size() >= 12) activeTab_ = Le16(&r.data[10]);
                    break;
                case kBoundSheet:
                    ReadBoundsheet(r.data);
                    break;
                case kFormat:
                    ReadFormat(r.data);
                    break;
                case kXf:
                    if (xfs_.size() < 65536) {
                        xfWrap_.push_back(r.data.size() > 6 && (r.data[6] & 0x08));
                        xfs_.push_back(r.data.size() >= 4 ? Le16(&r.data[2]) : 0);
                    }
                    break;
                case kSst:
                    if (biff8_ && !sstAt_) sstAt_ = at;  // read once the cells say what they need
                    break;
                case kMsoDrawingGroup:
                    if (biff8_) Join(drawingGroup_, r.data, rs);
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

    void ReadFormat(std::span<const std::uint8_t> data) {
        if (data.size() < 3 || formats_.size() >= 65536) return;
        PieceReader r(data.subspan(2));
        std::string code;
        if (biff8_) {
            code = ReadBiff8String(r, true);
        } else {
            // Only the letters matter here; the code page does not.
            const auto bytes = r.Bytes(r.U8());
            code.assign(bytes.begin(), bytes.end());
        }
        formats_[Le16(&data[0])] = ClassifyNumberFormat(code);
    }

    // What the cell format xf shows of a number.
    DateFormat FormatOf(std::size_t xf) const {
        if (xf >= xfs_.size()) return {};
        const std::uint16_t id = xfs_[xf];
        const auto it = formats_.find(id);
        return it != formats_.end() ? it->second : BuiltInNumberFormat(id);
    }

    Cell NumberCell(double value, std::size_t xf) const {
        Cell cell = Cell::Number(value);
        cell.text = DateText(value, FormatOf(xf), date1904_);
        return cell;
    }

    // Reads the shared strings that cells in scope show, and only those.
    void FillSharedTexts(Workbook& book) {
        if (sharedCells_.empty()) return;
        if (!sstAt_) Damaged("text index outside the string table");
        std::vector<std::uint32_t> wanted;
        for (const SharedTextCell& c : sharedCells_) wanted.push_back(c.index);
        std::sort(wanted.begin(), wanted.end());
        wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());

        RecordStream rs(stream_);
        rs.Seek(*sstAt_);
        PieceReader r(rs.Next().data, &rs);
        r.U32();  // total references, not needed
        const std::uint32_t unique = r.U32();
        if (wanted.back() >= unique) Damaged("text index outside the string table");
        std::vector<std::string> texts(wanted.size());
        auto next = wanted.begin();
        for (std::uint32_t i = 0; i <= wanted.back(); ++i) {
            if (r.AtEnd()) Damaged("text index outside the string table");
            const bool keep = i == *next;
            std::string text = ReadBiff8String(r, true, keep);
            if (keep) texts[static_cast<std::size_t>(next++ - wanted.begin())] = std::move(text);
        }
        for (const SharedTextCell& c : sharedCells_) {
            const auto k = std::lower_bound(wanted.begin(), wanted.end(), c.index) - wanted.begin();
            const std::string& text = texts[static_cast<std::size_t>(k)];
            budget_.AddText(text.size());
            book.sheets[c.sheet].cells[{c.row, c.column}] = Cell::Text(text);
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
        std::string text = DecodeBytes(r.Bytes(len));
        CheckTextLength(Utf16Length(text));
        return text;
    }

    // A BIFF5 byte string. Where the workbook claims UTF-16, an even number
    // of bytes holding a NUL is UTF-16LE (8-bit texts hold no NUL).
    std::string DecodeBytes(std::span<const std::uint8_t> bytes) {
        if (claimsUtf16_ && bytes.size() % 2 == 0 &&
            std::find(bytes.begin(), bytes.end(), 0) != bytes.end()) {
            std::vector<char16_t> units;
            for (std::size_t i = 0; i < bytes.size(); i += 2) units.push_back(Le16(&bytes[i]));
            return Utf16ToUtf8(units);
        }
        return Decoder().Decode(bytes);
    }

    CodepageDecoder& Decoder() {
        if (!decoder_) decoder_.emplace(codepage_);
        return *decoder_;
    }

    static int RowOf(std::span<const std::uint8_t> d) { return Le16(&d[0]) + 1; }
    static int ColumnOf(std::span<const std::uint8_t> d) { return Le16(&d[2]) + 1; }

    void CheckOffsets() const {
        std::set<std::uint32_t> offsets;
        for (const SheetEntry& entry : sheets_)
            if (entry.type == 0 && !offsets.insert(entry.offset).second)
                Damaged("two sheets share one offset");
    }

    // Walks the sheet at index; its cells go into target when given. Returns
    // the flags of its WINDOW2 record.
    std::uint16_t ReadSheet(std::size_t index, Worksheet* target) {
        const std::uint32_t offset = sheets_[index].offset;
        if (offset >= stream_.size()) Damaged("sheet offset outside the stream");
        RecordStream rs(stream_);
        rs.Seek(offset);
        const Record bof = rs.Next();
        if (bof.id != kBof) Damaged("sheet offset does not point at a sheet");

        Worksheet scratch;
        Worksheet& sheet = target ? *target : scratch;
        std::vector<std::uint8_t> drawing;  // the sheet's drawing records, joined
        // Cells are only looked at when they are kept.
        auto keep = [&](int row, int column) { return target && budget_.InScope(row, column); };
        std::uint16_t window2Flags = 0;
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
                    if (!keep(RowOf(d), ColumnOf(d))) break;
                    if (sharedCells_.size() >= kMaxCells) Fail("the workbook has too many cells");
                    sharedCells_.push_back({index, RowOf(d), ColumnOf(d), Le32(&d[6])});
                    budget_.PutCell(sheet, RowOf(d), ColumnOf(d), Cell::Text(""));
                    break;
                }
                case kLabel:
                case kRString:
                    if (d.size() < 8) Damaged("short cell record");
                    if (keep(RowOf(d), ColumnOf(d)))
                        budget_.PutCell(sheet, RowOf(d), ColumnOf(d),
                                        Cell::Text(ReadCellString(d.subspan(6))));
                    break;
                case kNumber:
                    if (d.size() < 14) Damaged("short cell record");
                    if (keep(RowOf(d), ColumnOf(d)))
                        budget_.PutCell(sheet, RowOf(d), ColumnOf(d),
                                        NumberCell(LeDouble(&d[6]), Le16(&d[4])));
                    break;
                case kRk:
                    if (d.size() < 10) Damaged("short cell record");
                    if (keep(RowOf(d), ColumnOf(d)))
                        budget_.PutCell(sheet, RowOf(d), ColumnOf(d),
                                        NumberCell(DecodeRk(Le32(&d[6])), Le16(&d[4])));
                    break;
                case kMulRk: {
                    if (d.size() < 12 || (d.size() - 6) % 6 != 0) Damaged("bad MULRK record");
                    const std::size_t n = (d.size() - 6) / 6;
                    for (std::size_t i = 0; i < n; ++i) {
                        const int column = ColumnOf(d) + static_cast<int>(i);
                        if (!keep(RowOf(d), column)) continue;
                        const std::uint8_t* p = &d[4 + 6 * i];
                        budget_.PutCell(sheet, RowOf(d), column,
                                        NumberCell(DecodeRk(Le32(p + 2)), Le16(p)));
                    }
                    break;
                }
                case kBoolErr:
                    if (d.size() < 8) Damaged("short cell record");
                    if (keep(RowOf(d), ColumnOf(d)))
                        budget_.PutCell(sheet, RowOf(d), ColumnOf(d),
                                        d[7] ? Cell::Error(d[6]) : Cell::Boolean(d[6] != 0));
                    break;
                case kFormula: {
                    if (d.size() < 14) Damaged("short cell record");
                    pendingRow = 0;
                    if (!keep(RowOf(d), ColumnOf(d))) break;
                    if (d[12] != 0xFF || d[13] != 0xFF) {
                        budget_.PutCell(sheet, RowOf(d), ColumnOf(d),
                                        NumberCell(LeDouble(&d[6]), Le16(&d[4])));
                    } else if (d[6] == 0) {
                        pendingRow = RowOf(d);
                        pendingColumn = ColumnOf(d);
                    } else if (d[6] == 1) {
                        budget_.PutCell(sheet, RowOf(d), ColumnOf(d), Cell::Boolean(d[8] != 0));
                    } else if (d[6] == 2) {
                        budget_.PutCell(sheet, RowOf(d), ColumnOf(d), Cell::Error(d[8]));
                    } else if (d[6] == 3) {
                        budget_.PutCell(sheet, RowOf(d), ColumnOf(d), Cell::Text(""));
                    }
                    break;
                }
                case kString: {
                    if (pendingRow == 0) break;
                    PieceReader pr(d, &rs);
                    budget_.PutCell(sheet, pendingRow, pendingColumn,
                                    Cell::Text(ReadByteOrUnicodeString(pr)));
                    pendingRow = 0;
                    break;
                }
                case kColInfo: {
                    if (!target) break;
                    if (d.size() < 10) Damaged("short column record");
                    const int first = Le16(&d[0]) + 1;
                    const int last =
                        std::min({Le16(&d[2]) + 1, kMaxColumn, budget_.Scope().lastColumn});
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
                    if (d.size() >= 2) window2Flags = Le16(&d[0]);
                    break;
                case kMsoDrawing:
                    if (target && biff8_) Join(drawing, d, rs);
                    break;
                default:
                    break;
            }
        }
        if (!drawing.empty()) drawings_.emplace_back(index, std::move(drawing));
        return window2Flags;
    }

    // A drawing record's data and that of the CONTINUE records after it,
    // appended to joined.
    static void Join(std::vector<std::uint8_t>& joined, std::span<const std::uint8_t> data,
                     RecordStream& rs) {
        joined.insert(joined.end(), data.begin(), data.end());
        while (rs.NextIs(kContinue)) {
            const Record more = rs.Next();
            joined.insert(joined.end(), more.data.begin(), more.data.end());
        }
    }

    // The pictures of a sheet's drawing that are anchored within the scope.
    // Damaged drawing records lose their pictures, never the sheet: what is
    // left out is noted.
    void ReadPictures(Workbook& book, Worksheet& sheet, std::span<const std::uint8_t> drawing) {
        std::vector<FoundShape> shapes;
        try {
            if (!blips_) blips_ = ReadBlipStore(drawingGroup_);
            shapes = ReadSheetShapes(drawing);
        } catch (const WorkbookError& e) {
            book.notes.push_back("The pictures of sheet \"" + sheet.name +
                                 "\" are damaged and were left out (" + e.what() + ").");
            return;
        }
        std::size_t dropped = 0;
        for (const FoundShape& shape : shapes) {
            const int row = shape.row + 1, column = shape.column + 1;
            if (row > budget_.Scope().lastRow || column > budget_.Scope().lastColumn) continue;
            if (shape.blip == 0 || shape.blip > blips_->size() ||
                (*blips_)[shape.blip - 1].format.empty()) {
                ++dropped;
                continue;
            }
            const StoredBlip& blip = (*blips_)[shape.blip - 1];
            // A picture shown many times is copied each time: the copies
            // are held to what a file may hold.
            pictureBytes_ += blip.bytes.size();
            if (pictureBytes_ > kMaxFileBytes) {
                ++dropped;
                continue;
            }
            SheetPicture picture;
            picture.row = row;
            picture.column = column;
            picture.format = blip.format;
            picture.data.assign(blip.bytes.begin(), blip.bytes.end());
            const std::uint32_t digest = Digest(blip.bytes);
            for (const PictureEntry& entry : entries_) {
                if (entry.spid != shape.spid || entry.shownDigest != digest ||
                    entry.shownSize != blip.bytes.size())
                    continue;
                picture.name = entry.name;
                if (entry.format == "svg") {
                    picture.format = "svg";
                    picture.data = entry.source;
                }
                break;
            }
            sheet.pictures.push_back(std::move(picture));
        }
        if (dropped == 1)
            book.notes.push_back("1 picture of sheet \"" + sheet.name +
                                 "\" could not be read and was left out.");
        else if (dropped > 1)
            book.notes.push_back(std::to_string(dropped) + " pictures of sheet \"" + sheet.name +
                                 "\" could not be read and were left out.");
    }

    std::span<const std::uint8_t> stream_;
    bool bookStream_;
    bool biff8_ = true;
    int codepage_ = 1252;
    int fontCharset_ = 0;
    bool claimsUtf16_ = false;
    bool date1904_ = false;
    std::optional<int> activeTab_;
    std::optional<std::size_t> sstAt_;
    std::vector<SheetEntry> sheets_;
    std::vector<SharedTextCell> sharedCells_;
    std::vector<bool> xfWrap_;
    std::vector<std::uint16_t> xfs_;  // number format of each cell format
    std::map<std::uint16_t, DateFormat> formats_;
    std::optional<CodepageDecoder> decoder_;
    std::size_t scanned_ = 0;
    ReadBudget budget_;
    std::span<const PictureEntry> entries_;
    std::vector<std::uint8_t> drawingGroup_;
    std::optional<std::vector<StoredBlip>> blips_;  // read at the first drawing
    std::vector<std::pair<std::size_t, std::vector<std::uint8_t>>> drawings_;  // sheet, drawing
    std::size_t pictureBytes_ = 0;
};

}  // namespace

Workbook ReadBiff(std::vector<std::uint8_t> stream, bool bookStream, const ReadScope& scope,
                  std::span<const PictureEntry> pictures) {
    return BiffReader(stream, bookStream, scope, pictures).Read();
}

}  // namespace scrivane::codec::detail
