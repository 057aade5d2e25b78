// Reads spreadsheet workbooks into the in-memory Workbook: Excel 97-2003
// (BIFF8) and Excel 5.0/95 (BIFF5/7) files in an OLE2 compound file, and
// OOXML .xlsx packages. The format is told by the content, never by the name.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

#include "spreadsheet/codec/workbook.h"

namespace scrivane::codec {

// Both throw WorkbookError for anything that is not a readable workbook:
// unknown content, encrypted, damaged, truncated or beyond the size limits
// (64 MiB of file, 2 million cells, 32767 characters in one cell).
Workbook ReadWorkbookFile(const std::filesystem::path& path);
Workbook ReadWorkbookBytes(std::span<const std::uint8_t> bytes);

}  // namespace scrivane::codec
