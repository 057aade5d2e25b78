// Shared pieces of the workbook readers: limits, the per-read budget, GObject
// ownership and small text helpers. Internal to the codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <glib-object.h>
#include <gsf/gsf.h>

#include "spreadsheet/codec/workbook.h"

namespace scrivane::codec::detail {

// Everything a file can make us allocate or loop over is capped by these.
inline constexpr std::size_t kMaxFileBytes = std::size_t{64} << 20;
inline constexpr std::size_t kMaxPartBytes = std::size_t{64} << 20;      // one stream or zip member
inline constexpr std::size_t kMaxPackageBytes = std::size_t{256} << 20;  // all zip members read
inline constexpr std::size_t kMaxCells = 2'000'000;
inline constexpr std::size_t kMaxStrings = 2'000'000;                 // shared string table entries
inline constexpr std::size_t kMaxTextBytes = std::size_t{256} << 20;  // all texts of a workbook
inline constexpr std::size_t kMaxWork = 4'000'000;  // column-width entries and similar loops
inline constexpr std::size_t kMaxSheets = 4096;
inline constexpr std::size_t kMaxCellUnits = 32767;  // UTF-16 units in one text
inline constexpr int kMaxRow = 1048576;
inline constexpr int kMaxColumn = 16384;

[[noreturn]] inline void Fail(const std::string& reason) {
    throw WorkbookError(reason);
}
[[noreturn]] inline void Damaged(const char* detail) {
    throw WorkbookError(std::string("the workbook is damaged (") + detail + ")");
}

// Counts what one read has produced so that a small hostile file cannot make
// us build a huge workbook (for instance one long shared string in many cells).
class ReadBudget {
public:
    void PutCell(Worksheet& sheet, int row, int column, Cell cell);
    void AddText(std::size_t bytes);
    void AddWork(std::size_t units);

private:
    std::size_t cells_ = 0;
    std::size_t textBytes_ = 0;
    std::size_t work_ = 0;
};

// UTF-8 helpers. Texts in the model are UTF-8; lengths are checked in UTF-16
// units as spreadsheet programs count them.
void AppendUtf8(std::string& out, char32_t codePoint);
std::string Utf16ToUtf8(std::span<const char16_t> units);  // unpaired surrogates -> U+FFFD
std::size_t Utf16Length(std::string_view utf8);            // input must be valid UTF-8
bool IsValidUtf8(std::string_view text);
void CheckTextLength(std::size_t utf16Units);  // fails above kMaxCellUnits

// Ownership of GObjects and GErrors.
struct GObjectUnref {
    void operator()(void* object) const {
        if (object) g_object_unref(object);
    }
};
template <class T>
using GPtr = std::unique_ptr<T, GObjectUnref>;
struct GErrorFree {
    void operator()(GError* error) const {
        if (error) g_error_free(error);
    }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

// The whole content of a stream or member, read in bounded chunks.
std::vector<std::uint8_t> ReadInput(GsfInput* input, std::size_t limit);

// The child of a container whose name matches case-insensitively (OLE2 and
// OOXML part names are case-insensitive), or null.
GPtr<GsfInput> ChildByName(GsfInfile* parent, std::string_view name);

// Entry points of the two formats; bytes/zip stay alive during the call.
Workbook ReadOle2(GsfInfile* ole);
Workbook ReadXlsx(GsfInfile* zip);

}  // namespace scrivane::codec::detail
