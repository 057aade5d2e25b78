// Reads spreadsheet workbooks into the in-memory Workbook: Excel 97-2003
// (BIFF8) and Excel 5.0/95 (BIFF5/7) files in an OLE2 compound file, and
// OOXML .xlsx packages. The format is told by the content, never by the name.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "spreadsheet/codec/workbook.h"

namespace scrivane::codec {

// Which cells a read keeps. Cells beyond lastRow or lastColumn are checked
// and skipped while parsing, never stored; with activeSheetOnly the other
// sheets come back empty (their names kept) and their parts are not read.
struct ReadScope {
    bool activeSheetOnly = false;
    int lastRow = 1048576;
    int lastColumn = 16384;
};

// The most text one read keeps, in bytes of UTF-8: the names of the sheets
// and the texts of the cells read (a shared text once for each cell that
// shows it). Far beyond any question sheet, and small enough that the texts
// and their copies stay well within memory. Whatever is written as a paper
// is held to the same count (TextBytes), so that every file written reads
// back.
inline constexpr std::size_t kMaxTextBytes = std::size_t{8} << 20;

// The text of a workbook as a read of all its cells counts it.
std::size_t TextBytes(const Workbook& book);

// Both throw WorkbookError for anything that is not a readable workbook,
// with a short reason for people: not a workbook, an OpenDocument
// spreadsheet, protected with a password, damaged ("the workbook is damaged
// (...)"), or beyond the size limits (64 MiB of file, 2 million cells, 8 MiB
// of text, 32767 characters in one cell). A file that cannot be opened gives
// the system's reason.
Workbook ReadWorkbookFile(const std::filesystem::path& path, const ReadScope& scope = {});
Workbook ReadWorkbookBytes(std::span<const std::uint8_t> bytes, const ReadScope& scope = {});

// The identity stream of an .xls compound file (see WritePaperIdentity), as
// written; empty when the file has none or is no compound file. Never throws.
std::string ReadPaperIdentity(const std::filesystem::path& path);

}  // namespace scrivane::codec
