// OpenDocument spreadsheets (.ods): the sheets of content.xml, and the sheet
// the document opens on from settings.xml. Internal to the codec.
#pragma once

#include <string_view>

#include "spreadsheet/codec/reader.h"
#include "spreadsheet/codec/workbook.h"

namespace scrivane::codec::detail {

// The media type an OpenDocument spreadsheet names in its "mimetype" member.
inline constexpr std::string_view kOdsMediaType = "application/vnd.oasis.opendocument.spreadsheet";

class ZipArchive;

// Throws WorkbookError for another kind of OpenDocument file, malformed XML,
// a document without sheets, or content beyond the reader's limits.
Workbook ReadOds(const ZipArchive& zip, const ReadScope& scope);

}  // namespace scrivane::codec::detail
