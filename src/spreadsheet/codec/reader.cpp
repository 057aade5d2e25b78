#include "spreadsheet/codec/reader.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <mutex>

#include "spreadsheet/codec/read_internal.h"

namespace scrivane::codec {

namespace detail {

void ReadBudget::PutCell(Worksheet& sheet, int row, int column, Cell cell) {
    if (row < 1 || row > kMaxRow || column < 1 || column > kMaxColumn)
        Damaged("a cell lies outside the sheet");
    AddText(cell.text.size());
    auto [it, inserted] = sheet.cells.insert_or_assign({row, column}, std::move(cell));
    if (inserted && ++cells_ > kMaxCells) Fail("the workbook has too many cells");
}

void ReadBudget::AddText(std::size_t bytes) {
    textBytes_ += bytes;
    if (textBytes_ > kMaxTextBytes) Fail("the workbook holds too much text");
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
        char32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        }
        AppendUtf8(out, u);  // a lone surrogate becomes U+FFFD there
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

std::vector<std::uint8_t> ReadInput(GsfInput* input, std::size_t limit) {
    const gsf_off_t size = gsf_input_size(input);
    if (size < 0) Damaged("unreadable stream");
    if (static_cast<std::uint64_t>(size) > limit) Fail("the workbook is too large");
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    constexpr std::size_t kChunk = 64 * 1024;
    for (std::size_t done = 0; done < data.size();) {
        const std::size_t n = std::min(kChunk, data.size() - done);
        if (!gsf_input_read(input, n, data.data() + done)) Damaged("unreadable stream");
        done += n;
    }
    return data;
}

GPtr<GsfInput> ChildByName(GsfInfile* parent, std::string_view name) {
    const int count = gsf_infile_num_children(parent);
    for (int i = 0; i < count; ++i) {
        const char* childName = gsf_infile_name_by_index(parent, i);
        if (!childName) continue;
        const std::string_view candidate(childName);
        if (candidate.size() != name.size()) continue;
        if (std::equal(candidate.begin(), candidate.end(), name.begin(),
                       [](char a, char b) { return g_ascii_tolower(a) == g_ascii_tolower(b); }))
            return GPtr<GsfInput>(gsf_infile_child_by_index(parent, i));
    }
    return nullptr;
}

}  // namespace detail

namespace {

using detail::GErrorPtr;
using detail::GPtr;

constexpr std::uint8_t kOle2Magic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint8_t kZipMagic[4] = {'P', 'K', 3, 4};

void InitGsf() {
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        // A damaged container makes libgsf complain on the terminal; the
        // reader reports the damage itself.
        for (const char* domain : {"libgsf", "libgsf:msole", "libgsf:zip"})
            g_log_set_handler(
                domain, GLogLevelFlags(G_LOG_LEVEL_MASK & ~G_LOG_LEVEL_ERROR),
                [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    });
}

bool StartsWith(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> magic) {
    return bytes.size() >= magic.size() &&
           std::memcmp(bytes.data(), magic.data(), magic.size()) == 0;
}

}  // namespace

Workbook ReadWorkbookBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > detail::kMaxFileBytes) detail::Fail("the workbook is too large");
    const bool ole = StartsWith(bytes, kOle2Magic);
    if (!ole && !StartsWith(bytes, kZipMagic)) detail::Fail("not a workbook");
    InitGsf();

    // The memory input borrows the bytes, which outlive it.
    GPtr<GsfInput> input(
        gsf_input_memory_new(bytes.data(), static_cast<gsf_off_t>(bytes.size()), FALSE));
    if (!input) detail::Fail("not a workbook");
    GError* rawError = nullptr;
    GPtr<GsfInfile> container(ole ? gsf_infile_msole_new(input.get(), &rawError)
                                  : gsf_infile_zip_new(input.get(), &rawError));
    GErrorPtr error(rawError);
    if (!container) detail::Damaged(ole ? "unreadable compound file" : "unreadable zip archive");
    return ole ? detail::ReadOle2(container.get()) : detail::ReadXlsx(container.get());
}

Workbook ReadWorkbookFile(const std::filesystem::path& path) {
    // A pipe or a device would block the open or never end; a folder is no
    // workbook either.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        detail::Fail(std::filesystem::exists(path, ec) ? "not a file" : "the file does not exist");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) detail::Fail("cannot open the file");
    // Read at most one byte past the limit rather than trusting the size the
    // file system reports (devices and pipes report none).
    std::vector<std::uint8_t> bytes;
    constexpr std::size_t kChunk = 1 << 20;
    while (in) {
        const std::size_t old = bytes.size();
        bytes.resize(old + kChunk);
        in.read(reinterpret_cast<char*>(bytes.data() + old), kChunk);
        bytes.resize(old + static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > detail::kMaxFileBytes) detail::Fail("the workbook is too large");
    }
    if (in.bad()) detail::Fail("cannot read the file");
    return ReadWorkbookBytes(bytes);
}

}  // namespace scrivane::codec
