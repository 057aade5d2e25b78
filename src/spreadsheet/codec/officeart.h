// The pictures of a BIFF8 workbook as its own drawing records: the drawing
// group of the workbook globals (MSODRAWINGGROUP, whose BLIP store holds
// each PNG and JPEG as its file's bytes) and each sheet's drawing
// (MSODRAWING, one picture shape per picture with its client anchor on its
// cell, each shape followed by its OBJ record). What BIFF8 cannot keep
// itself (an SVG's source, the exact name of every picture) goes in a
// stream of its own beside the "Workbook" stream, kPicturesStream, which
// ties each entry to its shape by the shape's id and the digest of the
// bytes the shape shows. Internal to the codec.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "spreadsheet/codec/workbook.h"

namespace scrivane::codec::detail {

inline constexpr const char* kPicturesStream = "ScrivanePictures";

// The width and height in pixels that a PNG's or JPEG's header gives.
std::optional<std::pair<int, int>> ImagePixelSize(std::span<const std::uint8_t> bytes);
// What the bytes of a file are by their signature: "png", "jpeg", or empty.
std::string RasterFormatOf(std::span<const std::uint8_t> bytes);
// The bytes a workbook shows for the picture: its own when it is a PNG or a
// JPEG, else its stand-in, or a plain grey frame when it has none.
const std::vector<std::uint8_t>& ShownBytes(const SheetPicture& picture);

// --- Writing ---

// One picture laid out on its sheet: the anchor's cells (0-based) and the
// offsets in them (1/1024 of the column's width, 1/256 of the row's height).
struct PlacedPicture {
    const SheetPicture* picture = nullptr;
    int x = 0, y = 0, width = 1, height = 1;  // pixels, from the cell's top left corner
    int column1 = 0, dx1 = 0, row1 = 0, dy1 = 0;
    int column2 = 0, dx2 = 0, row2 = 0, dy2 = 0;
};

// A sheet's pictures laid out under the text of their cells, each scaled to
// fit its column and a thumbnail's height (never enlarged), one under the
// other in a cell that holds several. rowTwips: the rows made taller to
// hold their pictures (1-based row to its height).
struct SheetLayout {
    std::vector<PlacedPicture> placed;
    std::map<int, int> rowTwips;
};
// textTwips(row): the height the row's text takes; columnChars(column):
// a column's width in characters.
SheetLayout LayOutPictures(const Worksheet& sheet, const std::function<int(int)>& textTwips,
                           const std::function<double(int)>& columnChars);

// The drawing records of one sheet: drawings[k] is the data of the
// MSODRAWING record that goes before objects[k], the OBJ of picture k.
struct SheetDrawing {
    std::vector<std::vector<std::uint8_t>> drawings;
    std::vector<std::vector<std::uint8_t>> objects;
};

struct DrawingPlan {
    std::vector<std::uint8_t> group;     // the drawing group's data; empty without pictures
    std::vector<SheetDrawing> sheets;    // one per sheet, empty for a sheet without pictures
    std::vector<std::uint8_t> pictures;  // kPicturesStream's content; empty without pictures
};
// layouts: one per sheet of the workbook, in order.
DrawingPlan PlanDrawings(const std::vector<SheetLayout>& layouts);

// --- Reading ---

// The BLIP store of a drawing group (the data of MSODRAWINGGROUP and its
// CONTINUE records): for each entry, 1-based, its format ("png", "jpeg", or
// empty for what is not read) and its file's bytes, within group.
struct StoredBlip {
    std::string format;
    std::span<const std::uint8_t> bytes;
};
// Damage throws WorkbookError.
std::vector<StoredBlip> ReadBlipStore(std::span<const std::uint8_t> group);

// A picture shape of a sheet's drawing (the data of its MSODRAWING records
// and their CONTINUE records, joined).
struct FoundShape {
    std::uint32_t spid = 0;
    std::uint32_t blip = 0;   // 1-based entry of the BLIP store
    int row = 0, column = 0;  // the anchor's cell, 0-based
};
// Damage throws WorkbookError; shapes that are no anchored picture are passed over.
std::vector<FoundShape> ReadSheetShapes(std::span<const std::uint8_t> drawing);

// One entry of kPicturesStream.
struct PictureEntry {
    std::uint32_t spid = 0;
    std::uint32_t shownDigest = 0;  // CRC-32 of the bytes the shape shows
    std::uint32_t shownSize = 0;
    std::string format;  // "png", "jpeg" or "svg"
    std::string name;
    std::vector<std::uint8_t> source;  // an SVG's own bytes; empty for PNG and JPEG
};
// Damage throws WorkbookError.
std::vector<PictureEntry> ReadPictureEntries(std::span<const std::uint8_t> stream);
std::uint32_t Digest(std::span<const std::uint8_t> bytes);

}  // namespace scrivane::codec::detail
