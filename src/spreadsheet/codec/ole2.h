// A reader of OLE2 compound files (the container of .xls workbooks and of
// password-protected OOXML packages). The header, the sector tables and the
// directory are checked before any stream is read: sectors inside the file,
// chains without loops, a directory of a bounded number of entries whose
// sibling tree neither loops nor shares an entry. Internal to the codec.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "spreadsheet/codec/source.h"

namespace scrivane::codec::detail {

inline constexpr std::uint8_t kOle2Signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

class CompoundFile {
public:
    // Throws WorkbookError ("the workbook is damaged (...)") on a bad structure.
    explicit CompoundFile(const ByteSource& source);

    // A stream of the root storage, by case-insensitive name.
    bool HasStream(std::string_view name) const;
    // Its content; throws when it is larger than limit or damaged.
    std::vector<std::uint8_t> ReadStream(std::string_view name, std::size_t limit) const;
    // The names of the root storage's streams, in UTF-8, in directory order.
    std::vector<std::string> StreamNames() const;

private:
    struct Entry {
        std::u16string name;
        std::uint8_t type = 0;  // 1 storage, 2 stream, 5 root
        std::uint32_t left = 0, right = 0, child = 0, start = 0;
        std::uint64_t size = 0;
    };
    void ReadSectorInto(std::uint32_t id, std::span<std::uint8_t> out) const;
    std::vector<std::uint32_t> Chain(std::uint32_t start, const std::vector<std::uint32_t>& table,
                                     std::size_t limit) const;
    void ReadFat();
    void ReadDirectory();
    void CheckTree();
    const Entry* Find(std::string_view name) const;

    const ByteSource& source_;
    std::uint32_t sectorSize_ = 512;
    std::uint32_t miniSectorSize_ = 64;
    std::uint32_t miniCutoff_ = 4096;
    std::uint64_t sectorCount_ = 0;  // whole or partial sectors after the header
    std::vector<std::uint32_t> fat_;
    std::vector<Entry> entries_;
    std::vector<std::uint32_t> rootChildren_;  // entries directly in the root storage
};

}  // namespace scrivane::codec::detail
