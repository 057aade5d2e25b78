// Shared pieces of the workbook readers: limits, the per-read budget, number
// formats and small text helpers. Internal to the codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "spreadsheet/codec/reader.h"
#include "spreadsheet/codec/workbook.h"

namespace scrivane::codec::detail {

// Everything a file can make us allocate or loop over is capped by these.
inline constexpr std::size_t kMaxFileBytes = std::size_t{64} << 20;
inline constexpr std::size_t kMaxPartBytes = std::size_t{64} << 20;      // one stream or zip member
inline constexpr std::size_t kMaxPackageBytes = std::size_t{256} << 20;  // all zip members read
inline constexpr std::size_t kMaxCells = 2'000'000;
inline constexpr std::size_t kMaxStrings = 2'000'000;  // shared string table entries
inline constexpr std::size_t kMaxWork = 4'000'000;     // column-width entries and similar loops
inline constexpr std::size_t kMaxSheets = 4096;
inline constexpr std::size_t kMaxCellUnits = 32767;  // UTF-16 units in one text
inline constexpr int kMaxRow = 1048576;
inline constexpr int kMaxColumn = 16384;

inline constexpr const char* kPasswordProtected = "the workbook is protected with a password";

[[noreturn]] inline void Fail(const std::string& reason) {
    throw WorkbookError(reason);
}
[[noreturn]] inline void Damaged(const char* detail) {
    throw WorkbookError(std::string("the workbook is damaged (") + detail + ")");
}

// Counts what one read has produced so that a small hostile file cannot make
// us build a huge workbook (for instance one long shared string in many cells).
// Cells outside the scope are checked and dropped, never stored.
class ReadBudget {
public:
    explicit ReadBudget(const ReadScope& scope = {}) : scope_(scope) {}
    const ReadScope& Scope() const { return scope_; }
    // Fails on a cell outside the sheet; false when it lies outside the scope.
    bool InScope(int row, int column) const;
    void PutCell(Worksheet& sheet, int row, int column, Cell cell);
    // Sheet names and the texts of kept cells, each once (see TextBytes).
    void AddText(std::size_t bytes);
    // The string table's texts that kept cells show, bounded on their own:
    // they are counted again for each cell that shows them.
    void AddTableText(std::size_t bytes);
    void AddWork(std::size_t units);

private:
    ReadScope scope_;
    std::size_t cells_ = 0;
    std::size_t textBytes_ = 0;
    std::size_t tableBytes_ = 0;
    std::size_t work_ = 0;
};

// Little-endian numbers, as every container and record stores them.
inline std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t Le64(const std::uint8_t* p) {
    return Le32(p) | (std::uint64_t{Le32(p + 4)} << 32);
}

// UTF-8 helpers. Texts in the model are UTF-8; lengths are checked in UTF-16
// units as spreadsheet programs count them.
void AppendUtf8(std::string& out, char32_t codePoint);
std::string Utf16ToUtf8(std::span<const char16_t> units);  // unpaired surrogates -> U+FFFD
std::size_t Utf16Length(std::string_view utf8);            // input must be valid UTF-8
bool IsValidUtf8(std::string_view text);
void CheckTextLength(std::size_t utf16Units);  // fails above kMaxCellUnits

// What a number format shows: a date, a time of day, or both; nothing for
// plain numbers and durations.
struct DateFormat {
    bool date = false;
    bool time = false;
    bool seconds = false;
    bool monthOrMinute = false;
};
DateFormat ClassifyNumberFormat(std::string_view code);
DateFormat BuiltInNumberFormat(int id);
// The ISO text of a date serial ("2024-01-05", "2024-01-05 08:30", "08:30");
// empty when the format shows no date or the serial is none.
std::string DateText(double serial, const DateFormat& format, bool date1904);

class CompoundFile;
class ZipArchive;
struct PictureEntry;

// The readers of each format, given their container. pictures: what the
// paper file keeps of its pictures beside the workbook stream.
Workbook ReadBiff(std::vector<std::uint8_t> stream, bool bookStream, const ReadScope& scope,
                  std::span<const PictureEntry> pictures = {});
Workbook ReadXlsx(const ZipArchive& zip, const ReadScope& scope);

}  // namespace scrivane::codec::detail
