// Writes a Workbook as an Excel 2007+ workbook (.xlsx, through libxlsxwriter)
// or an OpenDocument spreadsheet (.ods, a zip of its XML members through
// libgsf): every sheet with its name, numbers, texts and booleans, its
// columns' widths and wrapped columns. Beside the readers of the same
// formats, so that a workbook written here reads back through them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "spreadsheet/codec/workbook.h"

namespace scrivane::codec {

// Each throws WorkbookError with a short reason when the book cannot be written.
std::vector<std::uint8_t> WriteXlsxBytes(const Workbook& book);
// The .ods package: its "mimetype" member first and stored, as the format asks.
std::vector<std::uint8_t> WriteOdsBytes(const Workbook& book);

// A zip of the members (name, data) in order, the first stored and the
// others deflated; a name may hold one folder ("META-INF/manifest.xml").
std::vector<std::uint8_t> WriteZipBytes(
    const std::vector<std::pair<std::string, std::string>>& members);

}  // namespace scrivane::codec
