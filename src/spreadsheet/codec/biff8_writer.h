// Writes a Workbook as an Excel 97-2003 (.xls) file: BIFF8 records in the
// "Workbook" stream of an OLE2 compound file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "spreadsheet/codec/workbook.h"

namespace scrivane::codec {

// The whole .xls file. Throws WorkbookError when the book cannot be held in
// BIFF8: no sheet, a bad sheet name, a cell beyond 65536 rows or 256 columns,
// a text longer than 32767 UTF-16 units or not valid UTF-8, more text than a
// read keeps (kMaxTextBytes), a number that is not finite, an unknown error
// code.
//
// Rows that hold a cell of a wrapped column get a height estimated from
// their texts, as spreadsheet programs do not re-fit rows when they open a
// file (see RowHeightTwips in biff8_layout.h).
std::vector<std::uint8_t> WriteBiff8Bytes(const Workbook& book);

// Writes the file atomically: a temporary file beside the target is written,
// flushed to disk and renamed over the target, so an existing file is either
// replaced whole or left as it was. A symbolic link is written through: the
// file it names is replaced (or created, for a dangling link) and the link
// stays. A target that is not a regular file (a folder, a pipe, a device) or
// is read-only is refused and left as it is. Throws WorkbookError whose
// what() is the reason (the system's, or "the file is read-only", "it is a
// folder, not a file", ...); no temporary file is left behind.
void WriteBiff8File(const Workbook& book, const std::filesystem::path& target);

// The same safe write for any file's bytes (the other formats a paper is
// written in).
void WriteFileSafely(std::span<const std::uint8_t> bytes, const std::filesystem::path& target);

// A paper file's identity (what its printed answer sheets carry to tell the
// paper from any other) is kept in a stream of its own beside the
// "Workbook" stream, so that the sheet's cells, and what other spreadsheet
// programs read, stay as they are.
inline constexpr const char* kPaperIdentityStream = "ScrivanePaperId";
inline constexpr std::size_t kMaxPaperIdentityBytes = 64;

// Adds (or replaces) the identity stream of an .xls compound file, keeping
// every other stream byte for byte, by the same safe write. Throws
// WorkbookError with the reason: not a compound file ("only a paper file
// (.tpf or .xls) keeps an identity"), damaged, or not writable.
void WritePaperIdentity(const std::filesystem::path& path, const std::string& identity);

namespace detail {
// The mkstemp pattern of a save's temporary file beside target: the file
// name cut to 64 bytes at a character boundary, hidden, six X to fill.
std::filesystem::path TemporaryPattern(const std::filesystem::path& target);
}  // namespace detail

}  // namespace scrivane::codec
