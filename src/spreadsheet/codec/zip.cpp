#include "spreadsheet/codec/zip.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "spreadsheet/codec/read_internal.h"

namespace scrivane::codec::detail {
namespace {

// Real workbooks hold a few dozen members.
constexpr std::uint64_t kMaxEntries = 4096;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kMaxComment = 0xFFFF;

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

class ZStream {
public:
    ZStream() {
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK) Fail("not enough memory to read the workbook");
    }
    ~ZStream() { inflateEnd(&z); }
    ZStream(const ZStream&) = delete;
    ZStream& operator=(const ZStream&) = delete;
    z_stream z{};
};

}  // namespace

ZipArchive::ZipArchive(const ByteSource& source) : source_(source) {
    const std::uint64_t size = source.Size();
    if (size < kEndRecordSize) Damaged("truncated zip archive");

    // The end record sits in the last 64 KiB and 22 bytes; the last
    // signature whose comment reaches the end of the file is the one.
    const std::size_t tailSize =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, kEndRecordSize + kMaxComment));
    const std::uint64_t tailStart = size - tailSize;
    const std::vector<std::uint8_t> tail = source.ReadVector(tailStart, tailSize);
    std::optional<std::size_t> end;
    for (std::size_t i = tailSize - kEndRecordSize + 1; i-- > 0;) {
        if (Le32(&tail[i]) != 0x06054b50) continue;
        if (!end) end = i;  // a writer may pad after its comment
        if (i + kEndRecordSize + Le16(&tail[i + 20]) == tailSize) {
            end = i;
            break;
        }
    }
    if (!end) Damaged("no zip end record");
    const std::uint8_t* e = &tail[*end];
    const std::uint64_t endOffset = tailStart + *end;
    std::uint64_t count = Le16(e + 10);
    std::uint64_t directorySize = Le32(e + 12);
    std::uint64_t directoryOffset = Le32(e + 16);
    if (Le16(e + 4) != 0 || Le16(e + 6) != 0 || Le16(e + 8) != Le16(e + 10))
        Damaged("a zip archive split over several disks");
    std::uint64_t directoryEnd = endOffset;

    if (count == 0xFFFF || directorySize == 0xFFFFFFFF || directoryOffset == 0xFFFFFFFF) {
        // zip64: a locator right before the end record names the zip64 end record.
        if (endOffset < 20) Damaged("no zip64 end record");
        std::uint8_t locator[20];
        source.Read(endOffset - 20, locator);
        if (Le32(locator) != 0x07064b50) Damaged("no zip64 end record");
        if (Le32(locator + 4) != 0 || Le32(locator + 16) > 1)
            Damaged("a zip archive split over several disks");
        const std::uint64_t at = Le64(locator + 8);
        if (at > endOffset - 20 || endOffset - 20 - at < 56) Damaged("no zip64 end record");
        std::uint8_t r[56];
        source.Read(at, r);
        if (Le32(r) != 0x06064b50) Damaged("no zip64 end record");
        if (Le32(r + 16) != 0 || Le32(r + 20) != 0 || Le64(r + 24) != Le64(r + 32))
            Damaged("a zip archive split over several disks");
        count = Le64(r + 32);
        directorySize = Le64(r + 40);
        directoryOffset = Le64(r + 48);
        directoryEnd = at;
    }
    if (count > kMaxEntries) Damaged("too many zip entries");
    if (directoryOffset > directoryEnd || directoryEnd - directoryOffset < directorySize)
        Damaged("the zip directory lies outside the file");
    if (directorySize < count * 46) Damaged("the zip directory is too short");
    // Each entry is a name of a few dozen bytes and some extra fields.
    if (directorySize > kMaxEntries * 4096) Damaged("the zip directory is too large");

    const std::vector<std::uint8_t> dir =
        source.ReadVector(directoryOffset, static_cast<std::size_t>(directorySize));
    std::size_t pos = 0;
    for (std::uint64_t k = 0; k < count; ++k) {
        if (dir.size() - pos < 46 || Le32(&dir[pos]) != 0x02014b50)
            Damaged("a bad zip directory entry");
        const std::uint8_t* c = &dir[pos];
        const std::size_t nameLength = Le16(c + 28), extraLength = Le16(c + 30),
                          commentLength = Le16(c + 32);
        if (dir.size() - pos - 46 < nameLength + extraLength + commentLength)
            Damaged("a bad zip directory entry");
        Member m;
        m.flags = Le16(c + 8);
        m.method = Le16(c + 10);
        m.crc = Le32(c + 16);
        m.compressedSize = Le32(c + 20);
        m.size = Le32(c + 24);
        m.offset = Le32(c + 42);
        // zip64 sizes and offset follow in the extra field, those marked only.
        const std::uint8_t* extra = c + 46 + nameLength;
        for (std::size_t x = 0; x + 4 <= extraLength;) {
            const std::uint16_t id = Le16(extra + x), length = Le16(extra + x + 2);
            if (x + 4 + length > extraLength) break;
            if (id == 0x0001) {
                std::size_t f = x + 4;
                auto take = [&](std::uint64_t& field, std::uint64_t marker) {
                    if (field != marker) return;
                    if (f + 8 > x + 4 + length) Damaged("a bad zip64 field");
                    field = Le64(extra + f);
                    f += 8;
                };
                take(m.size, 0xFFFFFFFF);
                take(m.compressedSize, 0xFFFFFFFF);
                take(m.offset, 0xFFFFFFFF);
            }
            x += 4 + length;
        }
        if (m.offset > directoryOffset || directoryOffset - m.offset < 30 ||
            m.compressedSize > directoryOffset - m.offset - 30)
            Damaged("a zip member lies outside the file");
        std::string name(reinterpret_cast<const char*>(c + 46), nameLength);
        if (!name.empty() && name.back() != '/') members_.emplace(Lower(name), m);
        pos += 46 + nameLength + extraLength + commentLength;
    }
}

bool ZipArchive::Has(std::string_view name) const {
    return members_.count(Lower(name)) != 0;
}

std::optional<std::string> ZipArchive::Read(std::string_view name, std::size_t limit) const {
    const auto it = members_.find(Lower(name));
    if (it == members_.end()) return std::nullopt;
    const Member& m = it->second;
    if (m.flags & 0x0001) Fail("the workbook is protected with a password");
    if (m.size > limit) Fail("the workbook is too large");
    std::uint8_t local[30];
    source_.Read(m.offset, local);
    if (Le32(local) != 0x04034b50) Damaged("a bad zip member header");
    const std::uint64_t dataOffset = m.offset + 30 + Le16(local + 26) + Le16(local + 28);
    if (dataOffset > source_.Size() || source_.Size() - dataOffset < m.compressedSize)
        Damaged("a zip member lies outside the file");
    std::string data;
    if (m.method == 0) {
        if (m.compressedSize != m.size) Damaged("a zip member has two sizes");
        data.resize(static_cast<std::size_t>(m.size));
        source_.Read(dataOffset,
                     std::span(reinterpret_cast<std::uint8_t*>(data.data()), data.size()));
    } else if (m.method == 8) {
        data = Inflate(m, dataOffset);
    } else {
        Damaged("a zip member uses an unknown compression");
    }
    const uLong crc =
        crc32_z(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(data.data()), data.size());
    if (crc != m.crc) Damaged("a checksum does not match");
    return data;
}

std::string ZipArchive::Inflate(const Member& m, std::uint64_t dataOffset) const {
    std::string out(static_cast<std::size_t>(m.size), '\0');
    ZStream zs;
    std::size_t produced = 0;
    std::uint64_t read = 0;
    std::vector<std::uint8_t> chunk(64 * 1024);
    for (;;) {
        if (zs.z.avail_in == 0 && read < m.compressedSize) {
            const std::size_t n = static_cast<std::size_t>(
                std::min<std::uint64_t>(chunk.size(), m.compressedSize - read));
            source_.Read(dataOffset + read, std::span(chunk).first(n));
            read += n;
            zs.z.next_in = chunk.data();
            zs.z.avail_in = static_cast<uInt>(n);
        }
        // Past the declared size one spare byte shows a member longer than it says.
        const std::size_t room = out.size() - produced;
        Bytef spare[1];
        zs.z.next_out = room ? reinterpret_cast<Bytef*>(out.data() + produced) : spare;
        zs.z.avail_out = room ? static_cast<uInt>(std::min<std::size_t>(room, 1u << 30)) : 1;
        const uInt before = zs.z.avail_out;
        const int rc = inflate(&zs.z, Z_NO_FLUSH);
        const std::size_t made = before - zs.z.avail_out;
        if (!room && made) Damaged("a zip member is longer than it says");
        produced += made;
        if (rc == Z_STREAM_END) break;
        if (rc == Z_BUF_ERROR) {
            if (zs.z.avail_in != 0 || read == m.compressedSize)
                Damaged("a zip member is cut short");
        } else if (rc != Z_OK) {
            Damaged("a zip member does not inflate");
        }
    }
    if (produced != out.size()) Damaged("a zip member is shorter than it says");
    return out;
}

}  // namespace scrivane::codec::detail
