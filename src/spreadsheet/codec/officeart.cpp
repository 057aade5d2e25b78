#include "spreadsheet/codec/officeart.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "spreadsheet/codec/biff8_layout.h"
#include "spreadsheet/codec/lebytes.h"
#include "spreadsheet/codec/read_internal.h"

namespace scrivane::codec::detail {

namespace {

// OfficeArt record types.
enum : std::uint16_t {
    kDggContainer = 0xF000,
    kBStoreContainer = 0xF001,
    kDgContainer = 0xF002,
    kSpgrContainer = 0xF003,
    kSpContainer = 0xF004,
    kFdgg = 0xF006,
    kFbse = 0xF007,
    kFdg = 0xF008,
    kFspgr = 0xF009,
    kFsp = 0xF00A,
    kFopt = 0xF00B,
    kClientAnchor = 0xF010,
    kClientData = 0xF011,
    kBlipJpeg = 0xF01D,
    kBlipPng = 0xF01E,
    kSplitMenuColors = 0xF11E,
};

constexpr int kBlipTypeJpeg = 5;
constexpr int kBlipTypePng = 6;
constexpr int kShapesPerCluster = 1024;
constexpr int kPictureFrame = 75;     // the shape type of a picture
constexpr int kThumbnailPixels = 96;  // the tallest a picture is shown in its cell
constexpr int kGapPixels = 2;         // around and between pictures in a cell
constexpr int kTwipsPerPixel = 15;    // at 96 dots per inch

const std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

class Bytes : public LittleEndianBytes {
public:
    void Append(std::span<const std::uint8_t> more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
    }
    // An OfficeArt record header; its length is patched by End.
    std::size_t Begin(unsigned version, unsigned instance, std::uint16_t type) {
        U16((instance << 4) | version);
        U16(type);
        const std::size_t at = bytes.size();
        U32(0);
        return at;
    }
    void End(std::size_t at, std::size_t extra = 0) {
        const auto length = static_cast<std::uint32_t>(bytes.size() - at - 4 + extra);
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(length >> (8 * i));
    }
};

// The 16-byte identifier a BLIP and its store entry share.
void WriteUid(Bytes& b, std::span<const std::uint8_t> data) {
    for (std::uint32_t seed : {0u, 0x9E3779B9u, 0x85EBCA6Bu, 0xC2B2AE35u}) {
        uLong crc = crc32(0, nullptr, 0);
        const std::uint8_t salt[4] = {std::uint8_t(seed), std::uint8_t(seed >> 8),
                                      std::uint8_t(seed >> 16), std::uint8_t(seed >> 24)};
        crc = crc32(crc, salt, 4);
        crc = crc32_z(crc, data.data(), data.size());
        b.U32(static_cast<std::uint32_t>(crc));
    }
}

int ColumnPixels(double chars) {
    return std::max(8, static_cast<int>(std::lround(chars * 7 + 5)));
}

// Where a picture's pixels come to in its cell, in the anchor's units.
int Fraction(int pixels, int of, int units) {
    return std::clamp(of > 0 ? pixels * units / of : 0, 0, units - 1);
}

}  // namespace

std::string RasterFormatOf(std::span<const std::uint8_t> bytes) {
    if (bytes.size() >= 8 && std::memcmp(bytes.data(), kPngSignature, 8) == 0) return "png";
    if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF)
        return "jpeg";
    return {};
}

std::optional<std::pair<int, int>> ImagePixelSize(std::span<const std::uint8_t> b) {
    const std::string format = RasterFormatOf(b);
    if (format == "png") {
        if (b.size() < 24) return std::nullopt;
        const auto be32 = [&b](std::size_t at) {
            return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
                   (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
        };
        const std::uint32_t w = be32(16), h = be32(20);
        if (w == 0 || h == 0 || w > 1'000'000 || h > 1'000'000) return std::nullopt;
        return std::pair(int(w), int(h));
    }
    if (format == "jpeg") {
        // The markers up to the first start of frame.
        std::size_t at = 2;
        while (at + 4 <= b.size()) {
            if (b[at] != 0xFF) return std::nullopt;
            const std::uint8_t marker = b[at + 1];
            if (marker == 0xFF) {
                ++at;
                continue;
            }
            const std::size_t length = (std::size_t{b[at + 2]} << 8) | b[at + 3];
            const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 &&
                               marker != 0xC8 && marker != 0xCC;
            if (frame) {
                if (at + 9 > b.size()) return std::nullopt;
                const int h = (b[at + 5] << 8) | b[at + 6];
                const int w = (b[at + 7] << 8) | b[at + 8];
                if (w == 0 || h == 0) return std::nullopt;
                return std::pair(w, h);
            }
            if (length < 2) return std::nullopt;
            at += 2 + length;
        }
    }
    return std::nullopt;
}

namespace {

void BigEndian32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(v >> shift));
}

void PngChunk(std::vector<std::uint8_t>& out, const char* type,
              std::span<const std::uint8_t> data) {
    BigEndian32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    BigEndian32(out, Digest(std::span(out).subspan(start)));
}

// A plain grey frame, 64 pixels square, made without any drawing library.
std::vector<std::uint8_t> FramePng() {
    constexpr int kSide = 64;
    std::vector<std::uint8_t> rows;
    for (int y = 0; y < kSide; ++y) {
        rows.push_back(0);  // no filter
        for (int x = 0; x < kSide; ++x) {
            const bool edge = x == 0 || y == 0 || x == kSide - 1 || y == kSide - 1;
            rows.insert(rows.end(), 3, edge ? 0x80 : 0xE0);
        }
    }
    uLongf size = compressBound(uLong(rows.size()));
    std::vector<std::uint8_t> packed(size);
    compress(packed.data(), &size, rows.data(), uLong(rows.size()));
    packed.resize(size);
    std::vector<std::uint8_t> png(std::begin(kPngSignature), std::end(kPngSignature));
    std::vector<std::uint8_t> header;
    BigEndian32(header, kSide);
    BigEndian32(header, kSide);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    PngChunk(png, "IHDR", header);
    PngChunk(png, "IDAT", packed);
    PngChunk(png, "IEND", {});
    return png;
}

}  // namespace

const std::vector<std::uint8_t>& ShownBytes(const SheetPicture& picture) {
    if (picture.format == "png" || picture.format == "jpeg") return picture.data;
    static const std::vector<std::uint8_t> frame = FramePng();
    return picture.standIn.empty() ? frame : picture.standIn;
}

std::uint32_t Digest(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint32_t>(crc32_z(crc32(0, nullptr, 0), bytes.data(), bytes.size()));
}

SheetLayout LayOutPictures(const Worksheet& sheet, const std::function<int(int)>& textTwips,
                           const std::function<double(int)>& columnChars) {
    SheetLayout layout;
    struct Box {
        int top = 0;                  // pixels below the row's top where the next picture goes
        std::vector<std::size_t> at;  // its pictures in layout.placed
        std::vector<std::pair<int, int>> size;
    };
    std::map<std::pair<int, int>, Box> boxes;
    for (const SheetPicture& picture : sheet.pictures) {
        const int width = ColumnPixels(columnChars(picture.column));
        const auto natural = ImagePixelSize(ShownBytes(picture)).value_or(std::pair(64, 64));
        const double scale = std::min({1.0, double(width - 2 * kGapPixels) / natural.first,
                                       double(kThumbnailPixels) / natural.second});
        const int w = std::max(1, int(std::lround(natural.first * scale)));
        const int h = std::max(1, int(std::lround(natural.second * scale)));
        Box& box = boxes[{picture.row, picture.column}];
        if (box.at.empty()) box.top = textTwips(picture.row) / kTwipsPerPixel + kGapPixels;
        box.at.push_back(layout.placed.size());
        box.size.emplace_back(w, h);
        PlacedPicture placed;
        placed.picture = &picture;
        placed.row1 = box.top;  // pixels for now, turned into the anchor below
        layout.placed.push_back(placed);
        box.top += h + kGapPixels;
    }
    // Each row as tall as its text and its tallest stack of pictures.
    std::map<int, int> rowPixels;
    for (const auto& [cell, box] : boxes) {
        const int text = textTwips(cell.first);
        const int twips = std::min(kMaxRowTwips, std::max(text, box.top * kTwipsPerPixel));
        int& row = layout.rowTwips[cell.first];
        row = std::max(row, twips);
    }
    for (const auto& [row, twips] : layout.rowTwips) rowPixels[row] = twips / kTwipsPerPixel;
    for (const auto& [cell, box] : boxes) {
        const int height = rowPixels[cell.first];
        const int width = ColumnPixels(columnChars(cell.second));
        for (std::size_t k = 0; k < box.at.size(); ++k) {
            PlacedPicture& placed = layout.placed[box.at[k]];
            const int top = placed.row1;
            const auto [w, h] = box.size[k];
            placed.x = kGapPixels;
            placed.y = top;
            placed.width = w;
            placed.height = h;
            placed.row1 = placed.row2 = cell.first - 1;
            placed.column1 = placed.column2 = cell.second - 1;
            placed.dx1 = Fraction(kGapPixels, width, 1024);
            placed.dx2 = Fraction(kGapPixels + w, width, 1024);
            placed.dy1 = Fraction(top, height, 256);
            placed.dy2 = Fraction(top + h, height, 256);
        }
    }
    return layout;
}

namespace {

void WritePictureProperties(Bytes& b, std::uint32_t blip) {
    // Sorted by property id: the picture, no fill, no line.
    const std::size_t r = b.Begin(3, 3, kFopt);
    b.U16(0x4104);  // pib, a BLIP store entry
    b.U32(blip);
    b.U16(0x01BF);  // fill booleans: not filled
    b.U32(0x00100000);
    b.U16(0x01FF);  // line booleans: no line
    b.U32(0x00080000);
    b.End(r);
}

void WriteObj(Bytes& b, unsigned id) {
    b.U16(0x0015);  // common object data
    b.U16(0x0012);
    b.U16(0x0008);  // a picture
    b.U16(id);
    b.U16(0x6011);  // locked, printed, automatic fill and line
    for (int i = 0; i < 12; ++i) b.U8(0);
    b.U16(0x0007);  // clipboard format: none
    b.U16(0x0002);
    b.U16(0xFFFF);
    b.U16(0x0008);  // picture options: drawn from the BLIP
    b.U16(0x0002);
    b.U16(0x0001);
    b.U32(0);  // end
}

}  // namespace

DrawingPlan PlanDrawings(const std::vector<SheetLayout>& layouts) {
    DrawingPlan plan;
    plan.sheets.resize(layouts.size());
    std::size_t total = 0;
    for (const SheetLayout& layout : layouts) total += layout.placed.size();
    if (total == 0) return plan;

    Bytes entries;  // kPicturesStream
    entries.Append(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>("SPIC"), 4));
    entries.U16(1);
    entries.U32(static_cast<std::uint32_t>(total));

    // Shape ids come in clusters of 1024, each drawing starting a fresh one;
    // cluster 0 is never used.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> clusters;  // drawing, ids used
    std::uint32_t blip = 0;
    std::uint32_t drawingId = 0;
    std::uint32_t lastSpid = 0;
    for (std::size_t s = 0; s < layouts.size(); ++s) {
        const SheetLayout& layout = layouts[s];
        if (layout.placed.empty()) continue;
        ++drawingId;
        const auto firstSpid =
            static_cast<std::uint32_t>((clusters.size() + 1) * kShapesPerCluster);
        const std::size_t shapes = layout.placed.size() + 1;  // and the group shape
        for (std::size_t used = 0; used < shapes; used += kShapesPerCluster)
            clusters.emplace_back(drawingId,
                                  static_cast<std::uint32_t>(
                                      std::min<std::size_t>(shapes - used, kShapesPerCluster) + 1));
        lastSpid = firstSpid + static_cast<std::uint32_t>(shapes - 1);

        // Each picture's shape container, with its length known up front so
        // that the drawing's containers can give theirs.
        std::vector<std::vector<std::uint8_t>> shapeBytes;
        SheetDrawing& drawing = plan.sheets[s];
        for (std::size_t k = 0; k < layout.placed.size(); ++k) {
            const PlacedPicture& placed = layout.placed[k];
            const auto spid = firstSpid + static_cast<std::uint32_t>(k + 1);
            Bytes b;
            const std::size_t sp = b.Begin(0xF, 0, kSpContainer);
            const std::size_t fsp = b.Begin(2, kPictureFrame, kFsp);
            b.U32(spid);
            b.U32(0x0A00);  // has an anchor and a shape type
            b.End(fsp);
            WritePictureProperties(b, ++blip);
            const std::size_t anchor = b.Begin(0, 0, kClientAnchor);
            b.U16(0x0002);  // moves with its cells, keeps its size
            for (const int v : {placed.column1, placed.dx1, placed.row1, placed.dy1, placed.column2,
                                placed.dx2, placed.row2, placed.dy2})
                b.U16(static_cast<unsigned>(v));
            b.End(anchor);
            b.End(b.Begin(0, 0, kClientData));
            b.End(sp);
            shapeBytes.push_back(std::move(b.bytes));

            Bytes obj;
            WriteObj(obj, static_cast<unsigned>(k + 1));
            drawing.objects.push_back(std::move(obj.bytes));

            const SheetPicture& picture = *placed.picture;
            const std::vector<std::uint8_t>& shown = ShownBytes(picture);
            entries.U32(spid);
            entries.U32(Digest(shown));
            entries.U32(static_cast<std::uint32_t>(shown.size()));
            entries.U8(picture.format == "png" ? 1 : picture.format == "jpeg" ? 2 : 3);
            entries.U32(static_cast<std::uint32_t>(picture.name.size()));
            entries.Append(std::span(reinterpret_cast<const std::uint8_t*>(picture.name.data()),
                                     picture.name.size()));
            const bool svg = picture.format == "svg";
            entries.U32(svg ? static_cast<std::uint32_t>(picture.data.size()) : 0);
            if (svg) entries.Append(picture.data);
        }
        std::size_t shapesLength = 0;
        for (const auto& shape : shapeBytes) shapesLength += shape.size();

        Bytes head;
        const std::size_t dg = head.Begin(0xF, 0, kDgContainer);
        const std::size_t fdg = head.Begin(0, drawingId, kFdg);
        head.U32(static_cast<std::uint32_t>(shapes));
        head.U32(lastSpid);
        head.End(fdg);
        const std::size_t spgr = head.Begin(0xF, 0, kSpgrContainer);
        const std::size_t group = head.Begin(0xF, 0, kSpContainer);
        const std::size_t fspgr = head.Begin(1, 0, kFspgr);
        for (int i = 0; i < 4; ++i) head.U32(0);
        head.End(fspgr);
        const std::size_t fsp = head.Begin(2, 0, kFsp);
        head.U32(firstSpid);
        head.U32(0x0005);  // the group that holds the sheet's shapes
        head.End(fsp);
        head.End(group);
        head.End(spgr, shapesLength);
        head.End(dg, shapesLength);
        head.Append(shapeBytes.front());
        drawing.drawings.push_back(std::move(head.bytes));
        for (std::size_t k = 1; k < shapeBytes.size(); ++k)
            drawing.drawings.push_back(std::move(shapeBytes[k]));
    }

    Bytes g;
    const std::size_t dgg = g.Begin(0xF, 0, kDggContainer);
    const std::size_t fdgg = g.Begin(0, 0, kFdgg);
    g.U32(lastSpid + 1);
    g.U32(static_cast<std::uint32_t>(clusters.size() + 1));
    g.U32(static_cast<std::uint32_t>(total + drawingId));
    g.U32(drawingId);
    for (const auto& [drawing, used] : clusters) {
        g.U32(drawing);
        g.U32(used);
    }
    g.End(fdgg);
    const std::size_t store = g.Begin(0xF, static_cast<unsigned>(total), kBStoreContainer);
    for (const SheetLayout& layout : layouts) {
        for (const PlacedPicture& placed : layout.placed) {
            const std::vector<std::uint8_t>& shown = ShownBytes(*placed.picture);
            const bool jpeg = RasterFormatOf(shown) == "jpeg";
            const unsigned type = jpeg ? kBlipTypeJpeg : kBlipTypePng;
            const std::size_t blipLength = 8 + 17 + shown.size();
            const std::size_t fbse = g.Begin(2, type, kFbse);
            g.U8(type);
            g.U8(type);
            WriteUid(g, shown);
            g.U16(0x00FF);
            g.U32(static_cast<std::uint32_t>(blipLength));
            g.U32(1);  // used once
            g.U32(0);  // held here, not in a delay stream
            g.U32(0);  // no name
            const std::size_t record =
                g.Begin(0, jpeg ? 0x46A : 0x6E0, jpeg ? kBlipJpeg : kBlipPng);
            WriteUid(g, shown);
            g.U8(0xFF);
            g.Append(shown);
            g.End(record);
            g.End(fbse);
        }
    }
    g.End(store);
    // The defaults Excel writes for new shapes, and its menu colours.
    const std::size_t opt = g.Begin(3, 3, kFopt);
    g.U16(0x00BF);
    g.U32(0x00080008);
    g.U16(0x0181);
    g.U32(0x08000041);
    g.U16(0x01C0);
    g.U32(0x08000040);
    g.End(opt);
    const std::size_t menu = g.Begin(0, 4, kSplitMenuColors);
    for (std::uint32_t colour : {0x0800000Du, 0x0800000Cu, 0x08000017u, 0x100000F7u}) g.U32(colour);
    g.End(menu);
    g.End(dgg);
    plan.group = std::move(g.bytes);
    plan.pictures = std::move(entries.bytes);
    return plan;
}

// --- Reading ---

namespace {

struct Header {
    unsigned version = 0, instance = 0;
    std::uint16_t type = 0;
    std::size_t length = 0;
};

// The OfficeArt records of a span, one after the other; a record that runs
// past its container is damage.
class RecordWalk {
public:
    explicit RecordWalk(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool AtEnd() const { return pos_ >= bytes_.size(); }
    std::pair<Header, std::span<const std::uint8_t>> Next() {
        if (bytes_.size() - pos_ < 8) Damaged("a drawing record is cut short");
        Header h;
        const std::uint16_t vi = Le16(&bytes_[pos_]);
        h.version = vi & 0xF;
        h.instance = vi >> 4;
        h.type = Le16(&bytes_[pos_ + 2]);
        h.length = Le32(&bytes_[pos_ + 4]);
        if (bytes_.size() - pos_ - 8 < h.length) Damaged("a drawing record is cut short");
        const auto body = bytes_.subspan(pos_ + 8, h.length);
        pos_ += 8 + h.length;
        return {h, body};
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};

void ReadShape(std::span<const std::uint8_t> container, std::vector<FoundShape>& shapes) {
    FoundShape shape;
    bool picture = false, anchored = false;
    RecordWalk walk(container);
    while (!walk.AtEnd()) {
        const auto [h, body] = walk.Next();
        switch (h.type) {
            case kFsp:
                if (body.size() < 8) Damaged("a shape record is cut short");
                shape.spid = Le32(&body[0]);
                break;
            case kFopt: {
                // Fixed parts first, each 6 bytes; complex data after them.
                const std::size_t count = std::min<std::size_t>(h.instance, body.size() / 6);
                for (std::size_t i = 0; i < count; ++i) {
                    const std::uint16_t id = Le16(&body[6 * i]) & 0x3FFF;
                    if (id == 0x0104) {
                        shape.blip = Le32(&body[6 * i + 2]);
                        picture = shape.blip != 0;
                    }
                }
                break;
            }
            case kClientAnchor:
                if (body.size() < 18) Damaged("a shape's anchor is cut short");
                shape.column = Le16(&body[2]);
                shape.row = Le16(&body[6]);
                anchored = true;
                break;
            default:
                break;
        }
    }
    if (picture && anchored) shapes.push_back(shape);
}

void ReadShapes(std::span<const std::uint8_t> bytes, int depth, std::vector<FoundShape>& shapes) {
    RecordWalk walk(bytes);
    while (!walk.AtEnd()) {
        const auto [h, body] = walk.Next();
        if (h.type == kSpContainer) {
            ReadShape(body, shapes);
        } else if (h.type == kSpgrContainer || h.type == kDgContainer) {
            // The shapes of a group inside the sheet's own group are placed
            // relative to their group, not to a cell: they are not read.
            if (depth < 2) ReadShapes(body, depth + 1, shapes);
        }
        if (shapes.size() > kMaxCells) Fail("the workbook has too many pictures");
    }
}

}  // namespace

std::vector<StoredBlip> ReadBlipStore(std::span<const std::uint8_t> group) {
    std::vector<StoredBlip> blips;
    RecordWalk outer(group);
    while (!outer.AtEnd()) {
        const auto [dgg, dggBody] = outer.Next();
        if (dgg.type != kDggContainer) continue;
        RecordWalk inner(dggBody);
        while (!inner.AtEnd()) {
            const auto [store, storeBody] = inner.Next();
            if (store.type != kBStoreContainer) continue;
            RecordWalk entries(storeBody);
            while (!entries.AtEnd()) {
                const auto [fbse, body] = entries.Next();
                if (fbse.type != kFbse) continue;
                StoredBlip blip;
                // An entry whose picture is held elsewhere, or not as PNG or
                // JPEG, keeps its place in the numbering and is not read.
                if (body.size() > 36) {
                    RecordWalk held(body.subspan(36));
                    const auto [h, data] = held.Next();
                    // The identifiers before the file: one or two, by instance.
                    std::size_t skip = 0;
                    if (h.type == kBlipPng) skip = (h.instance == 0x6E1) ? 33 : 17;
                    if (h.type == kBlipJpeg)
                        skip = (h.instance == 0x46B || h.instance == 0x6E3) ? 33 : 17;
                    if (skip != 0 && data.size() > skip) {
                        blip.bytes = data.subspan(skip);
                        blip.format = RasterFormatOf(blip.bytes);
                    }
                }
                blips.push_back(blip);
                if (blips.size() > kMaxCells) Fail("the workbook has too many pictures");
            }
        }
    }
    return blips;
}

std::vector<FoundShape> ReadSheetShapes(std::span<const std::uint8_t> drawing) {
    std::vector<FoundShape> shapes;
    ReadShapes(drawing, 0, shapes);
    return shapes;
}

std::vector<PictureEntry> ReadPictureEntries(std::span<const std::uint8_t> s) {
    std::size_t at = 0;
    const auto need = [&](std::size_t n) {
        if (s.size() - at < n) Damaged("the pictures' list is cut short");
    };
    const auto u32 = [&] {
        need(4);
        const std::uint32_t v = Le32(&s[at]);
        at += 4;
        return v;
    };
    const auto bytes = [&](std::uint32_t n) {
        need(n);
        const auto span = s.subspan(at, n);
        at += n;
        return span;
    };
    need(6);
    if (std::memcmp(s.data(), "SPIC", 4) != 0 || Le16(&s[4]) != 1)
        Damaged("the pictures' list is of an unknown kind");
    at = 6;
    const std::uint32_t count = u32();
    if (count > s.size() / 21) Damaged("the pictures' list is cut short");
    std::vector<PictureEntry> entries;
    entries.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        PictureEntry e;
        e.spid = u32();
        e.shownDigest = u32();
        e.shownSize = u32();
        need(1);
        const std::uint8_t kind = s[at++];
        if (kind < 1 || kind > 3) Damaged("a picture of an unknown kind");
        e.format = kind == 1 ? "png" : kind == 2 ? "jpeg" : "svg";
        const auto name = bytes(u32());
        e.name.assign(name.begin(), name.end());
        if (!IsValidUtf8(e.name)) Damaged("a picture's name is not text");
        const auto source = bytes(u32());
        e.source.assign(source.begin(), source.end());
        entries.push_back(std::move(e));
    }
    return entries;
}

}  // namespace scrivane::codec::detail
