// A reader of zip archives (the container of OOXML and OpenDocument files),
// zip64 included. The end records and the central directory are checked
// before any member is read: one disk, a bounded number of entries, every
// entry and size inside the file. Members are inflated with zlib and their
// CRC-32 checked. Internal to the codec.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "spreadsheet/codec/source.h"

namespace scrivane::codec::detail {

inline constexpr std::uint8_t kZipSignature[4] = {'P', 'K', 3, 4};

class ZipArchive {
public:
    // Throws WorkbookError ("the workbook is damaged (...)") on a bad structure.
    explicit ZipArchive(const ByteSource& source);

    // A member by name, compared case-insensitively as OOXML part names are.
    bool Has(std::string_view name) const;
    // The member's content; nothing when there is no such member (or only a
    // folder of that name). Throws when it is larger than limit, damaged, or
    // its checksum does not match.
    std::optional<std::string> Read(std::string_view name, std::size_t limit) const;

private:
    struct Member {
        std::uint16_t flags = 0, method = 0;
        std::uint32_t crc = 0;
        std::uint64_t compressedSize = 0, size = 0, offset = 0;
    };
    std::string Inflate(const Member& member, std::uint64_t dataOffset) const;

    const ByteSource& source_;
    std::unordered_map<std::string, Member> members_;  // by lower-case name
};

}  // namespace scrivane::codec::detail
