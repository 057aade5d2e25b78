#include "spreadsheet/codec/reader.h"

#include <algorithm>
#include <cstring>

#include "spreadsheet/codec/biff8_writer.h"
#include "spreadsheet/codec/officeart.h"
#include "spreadsheet/codec/ole2.h"
#include "spreadsheet/codec/read_internal.h"
#include "spreadsheet/codec/read_ods.h"
#include "spreadsheet/codec/source.h"
#include "spreadsheet/codec/utf16.h"
#include "spreadsheet/codec/zip.h"

namespace scrivane::codec {

namespace detail {

bool ReadBudget::InScope(int row, int column) const {
    if (row < 1 || row > kMaxRow || column < 1 || column > kMaxColumn)
        Damaged("a cell lies outside the sheet");
    return row <= scope_.lastRow && column <= scope_.lastColumn;
}

void ReadBudget::PutCell(Worksheet& sheet, int row, int column, Cell cell) {
    if (!InScope(row, column)) return;
    AddText(cell.text.size());
    auto [it, inserted] = sheet.cells.insert_or_assign({row, column}, std::move(cell));
    if (inserted && ++cells_ > kMaxCells) Fail("the workbook has too many cells");
}

void ReadBudget::AddText(std::size_t bytes) {
    textBytes_ += bytes;
    if (textBytes_ > kMaxTextBytes) Fail("the workbook holds too much text");
}

void ReadBudget::AddTableText(std::size_t bytes) {
    tableBytes_ += bytes;
    if (tableBytes_ > kMaxTextBytes) Fail("the workbook holds too much text");
}

void ReadBudget::AddWork(std::size_t units) {
    work_ += units;
    if (work_ > kMaxWork) Damaged("too many records");
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string Utf16ToUtf8(std::span<const char16_t> units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        AppendUtf8(out, NextCodePoint(units, i));  // a lone surrogate becomes U+FFFD there
    }
    return out;
}

std::size_t Utf16Length(std::string_view utf8) {
    std::size_t n = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) != 0x80) ++n;  // one unit per code point ...
        if (c >= 0xF0) ++n;           // ... two beyond the basic plane
    }
    return n;
}

bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        // Runs of ASCII are passed eight bytes at a time.
        while (i + 8 <= s.size()) {
            std::uint64_t word;
            std::memcpy(&word, s.data() + i, 8);
            if (word & 0x8080808080808080ull) break;
            i += 8;
        }
        if (i >= s.size()) break;
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len;
        char32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

void CheckTextLength(std::size_t utf16Units) {
    if (utf16Units > kMaxCellUnits) Fail("a cell holds more than 32767 characters");
}

}  // namespace detail

namespace {

bool StartsWith(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> magic) {
    return bytes.size() >= magic.size() &&
           std::memcmp(bytes.data(), magic.data(), magic.size()) == 0;
}

Workbook ReadCompound(const detail::CompoundFile& ole, const ReadScope& scope) {
    // An encrypted OOXML package is a compound file with these two streams.
    if (ole.HasStream("EncryptionInfo") || ole.HasStream("EncryptedPackage"))
        detail::Fail(detail::kPasswordProtected);
    // Excel 97 and later name the stream "Workbook", Excel 5/95 "Book"; a
    // file carrying both is read through the newer one.
    // A paper file's pictures: their names and SVG sources beside the
    // workbook stream. Damage there loses only those: the pictures are read
    // as their workbook shows them.
    std::vector<detail::PictureEntry> pictures;
    std::string damage;
    if (ole.HasStream(detail::kPicturesStream)) {
        try {
            pictures = detail::ReadPictureEntries(
                ole.ReadStream(detail::kPicturesStream, detail::kMaxPartBytes));
        } catch (const WorkbookError& e) {
            damage = std::string("The pictures' names and SVG sources are damaged (") + e.what() +
                     "): the pictures are read as the workbook shows them.";
        }
    }
    for (const bool bookStream : {false, true}) {
        const char* name = bookStream ? "Book" : "Workbook";
        if (!ole.HasStream(name)) continue;
        Workbook book = detail::ReadBiff(ole.ReadStream(name, detail::kMaxPartBytes), bookStream,
                                         scope, pictures);
        if (!damage.empty()) book.notes.insert(book.notes.begin(), damage);
        return book;
    }
    detail::Fail("not a workbook (no workbook stream)");
}

bool IsOpenDocument(const detail::ZipArchive& zip) {
    if (const auto type = zip.Read("mimetype", 256))
        return type->starts_with("application/vnd.oasis.opendocument");
    return zip.Has("content.xml") && zip.Has("META-INF/manifest.xml");
}

// The one place that tells the package in a zip archive.
Workbook ReadZipPackage(const detail::ZipArchive& zip, const ReadScope& scope) {
    if (IsOpenDocument(zip)) return detail::ReadOds(zip, scope);
    return detail::ReadXlsx(zip, scope);
}

Workbook Read(const detail::ByteSource& source, const ReadScope& scope) {
    if (source.Size() > detail::kMaxFileBytes) detail::Fail("the workbook is too large");
    std::uint8_t head[8] = {};
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(source.Size(), 8));
    source.Read(0, std::span(head, n));
    const std::span<const std::uint8_t> start(head, n);
    if (StartsWith(start, detail::kOle2Signature))
        return ReadCompound(detail::CompoundFile(source), scope);
    if (StartsWith(start, detail::kZipSignature))
        return ReadZipPackage(detail::ZipArchive(source), scope);
    detail::Fail("not a workbook");
}

}  // namespace

std::size_t TextBytes(const Workbook& book) {
    std::size_t bytes = 0;
    for (const Worksheet& sheet : book.sheets) {
        bytes += sheet.name.size();
        for (const auto& [at, cell] : sheet.cells)
            if (cell.kind == Cell::Kind::Text) bytes += cell.text.size();
    }
    return bytes;
}

Workbook ReadWorkbookBytes(std::span<const std::uint8_t> bytes, const ReadScope& scope) {
    return Read(detail::MemorySource(bytes), scope);
}

Workbook ReadWorkbookFile(const std::filesystem::path& path, const ReadScope& scope) {
    // Read by position: the file is never held whole in memory.
    return Read(detail::FileSource(path), scope);
}

std::string ReadPaperIdentity(const std::filesystem::path& path) {
    try {
        const detail::FileSource source(path);
        if (source.Size() < 8 || source.Size() > detail::kMaxFileBytes) return {};
        std::uint8_t head[8] = {};
        source.Read(0, std::span(head, 8));
        if (!StartsWith(std::span<const std::uint8_t>(head, 8), detail::kOle2Signature)) return {};
        const detail::CompoundFile ole(source);
        if (!ole.HasStream(kPaperIdentityStream)) return {};
        const std::vector<std::uint8_t> bytes =
            ole.ReadStream(kPaperIdentityStream, kMaxPaperIdentityBytes);
        return {bytes.begin(), bytes.end()};
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace scrivane::codec
