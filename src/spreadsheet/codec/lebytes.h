// The little-endian byte sink that the workbook's binary records are written
// into: BIFF8 records and the OfficeArt drawing records alike.
#pragma once

#include <cstdint>
#include <vector>

namespace scrivane::codec {

struct LittleEndianBytes {
    std::vector<std::uint8_t> bytes;

    void U8(unsigned v) { bytes.push_back(static_cast<std::uint8_t>(v)); }
    void U16(unsigned v) {
        U8(v & 0xFF);
        U8((v >> 8) & 0xFF);
    }
    void U32(std::uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
};

}  // namespace scrivane::codec
