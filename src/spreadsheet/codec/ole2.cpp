#include "spreadsheet/codec/ole2.h"

#include <algorithm>
#include <cstring>

#include "spreadsheet/codec/read_internal.h"

namespace scrivane::codec::detail {
namespace {

constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;
constexpr std::size_t kEntrySize = 128;
// Real workbooks hold a handful of entries; a few thousand is already absurd.
constexpr std::size_t kMaxEntries = 4096;
// Writers build a balanced tree or a short chain of siblings.
constexpr std::size_t kMaxTreeDepth = 512;

bool SameName(const std::u16string& a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char16_t x = a[i];
        const auto y = static_cast<unsigned char>(b[i]);
        const auto lower = [](char16_t c) -> char16_t { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(x) != lower(y)) return false;
    }
    return true;
}

}  // namespace

CompoundFile::CompoundFile(const ByteSource& source) : source_(source) {
    if (source.Size() < 512) Damaged("truncated compound file");
    std::uint8_t h[512];
    source.Read(0, h);
    if (std::memcmp(h, kOle2Signature, 8) != 0) Damaged("not a compound file");
    const std::uint16_t major = Le16(h + 0x1A);
    const std::uint16_t shift = Le16(h + 0x1E);
    const std::uint16_t miniShift = Le16(h + 0x20);
    if ((major != 3 && major != 4) || (shift != 9 && shift != 12) || miniShift != 6)
        Damaged("unknown compound file version");
    sectorSize_ = 1u << shift;
    miniSectorSize_ = 1u << miniShift;
    miniCutoff_ = Le32(h + 0x38);
    if (miniCutoff_ != 4096) Damaged("unknown compound file version");
    const std::uint64_t size = source.Size();
    sectorCount_ = size <= sectorSize_ ? 0 : (size - sectorSize_ + sectorSize_ - 1) / sectorSize_;

    ReadFat();
    ReadDirectory();
    CheckTree();
}

void CompoundFile::ReadFat() {
    std::uint8_t h[512];
    source_.Read(0, h);
    const std::uint32_t perSector = sectorSize_ / 4;
    // Only the FAT sectors that describe sectors of this file matter.
    const std::uint64_t needed = (sectorCount_ + perSector - 1) / perSector;
    std::vector<std::uint32_t> fatSectors;
    auto add = [&](std::uint32_t id) {
        if (fatSectors.size() < needed && id != kFree && id != kEndOfChain) {
            if (id >= sectorCount_) Damaged("a sector table lies past the end of the file");
            fatSectors.push_back(id);
        }
    };
    for (int i = 0; i < 109; ++i) add(Le32(h + 0x4C + 4 * i));
    std::uint32_t difat = Le32(h + 0x44);
    std::vector<std::uint8_t> sector(sectorSize_);
    for (std::uint64_t steps = 0; fatSectors.size() < needed && difat < sectorCount_; ++steps) {
        if (steps > sectorCount_) Damaged("a sector chain loops");
        ReadSectorInto(difat, sector);
        for (std::uint32_t i = 0; i + 1 < perSector; ++i) add(Le32(&sector[4 * i]));
        difat = Le32(&sector[4 * (perSector - 1)]);
    }
    fat_.assign(sectorCount_, kFree);
    for (std::size_t k = 0; k < fatSectors.size(); ++k) {
        ReadSectorInto(fatSectors[k], sector);
        for (std::uint32_t i = 0; i < perSector; ++i) {
            const std::uint64_t index = std::uint64_t{k} * perSector + i;
            if (index < fat_.size()) fat_[index] = Le32(&sector[4 * i]);
        }
    }
}

void CompoundFile::ReadSectorInto(std::uint32_t id, std::span<std::uint8_t> out) const {
    // The last sector of a file may be cut short; its missing bytes read as zero.
    const std::uint64_t offset = (std::uint64_t{id} + 1) * sectorSize_;
    const std::uint64_t size = source_.Size();
    if (offset >= size) Damaged("a sector lies past the end of the file");
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size - offset));
    source_.Read(offset, out.first(n));
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(n), out.end(), 0);
}

std::vector<std::uint32_t> CompoundFile::Chain(std::uint32_t start,
                                               const std::vector<std::uint32_t>& table,
                                               std::size_t limit) const {
    std::vector<std::uint32_t> chain;
    for (std::uint32_t s = start; s != kEndOfChain && chain.size() < limit; s = table[s]) {
        if (s >= table.size()) Damaged("a sector chain leaves the file");
        if (chain.size() >= table.size()) Damaged("a sector chain loops");
        chain.push_back(s);
    }
    return chain;
}

void CompoundFile::ReadDirectory() {
    std::uint8_t h[512];
    source_.Read(0, h);
    const std::size_t perSector = sectorSize_ / kEntrySize;
    const std::size_t maxSectors = (kMaxEntries + perSector - 1) / perSector;
    const std::vector<std::uint32_t> chain = Chain(Le32(h + 0x30), fat_, maxSectors + 1);
    if (chain.size() > maxSectors) Damaged("too many directory entries");
    if (chain.empty()) Damaged("no directory");
    std::vector<std::uint8_t> sector(sectorSize_);
    for (std::uint32_t id : chain) {
        ReadSectorInto(id, sector);
        for (std::size_t i = 0; i < perSector; ++i) {
            const std::uint8_t* e = &sector[i * kEntrySize];
            Entry entry;
            entry.type = e[0x42];
            const std::size_t nameBytes = std::min<std::size_t>(Le16(e + 0x40), 64);
            for (std::size_t k = 0; k + 1 < nameBytes && k < 62; k += 2) {
                const char16_t c = Le16(e + k);
                if (c == 0) break;
                entry.name.push_back(c);
            }
            entry.left = Le32(e + 0x44);
            entry.right = Le32(e + 0x48);
            entry.child = Le32(e + 0x4C);
            entry.start = Le32(e + 0x74);
            entry.size = sectorSize_ == 512
                             ? Le32(e + 0x78)
                             : Le32(e + 0x78) | (std::uint64_t{Le32(e + 0x7C)} << 32);
            entries_.push_back(std::move(entry));
        }
    }
}

void CompoundFile::CheckTree() {
    if (entries_.empty() || entries_[0].type != 5) Damaged("no root entry");
    struct Visit {
        std::uint32_t id;
        std::size_t depth;
        bool inRoot;
    };
    std::vector<bool> seen(entries_.size(), false);
    std::vector<Visit> stack;
    seen[0] = true;
    if (entries_[0].child != kNoEntry) stack.push_back({entries_[0].child, 1, true});
    while (!stack.empty()) {
        const Visit v = stack.back();
        stack.pop_back();
        if (v.id >= entries_.size()) Damaged("a directory entry points outside the directory");
        if (seen[v.id]) Damaged("the directory loops");
        if (v.depth > kMaxTreeDepth) Damaged("the directory is nested too deeply");
        seen[v.id] = true;
        const Entry& e = entries_[v.id];
        if (e.type == 0) continue;  // an unused slot ends the branch
        if (e.type == 5) Damaged("a second root entry");
        if (v.inRoot) rootChildren_.push_back(v.id);
        if (e.left != kNoEntry) stack.push_back({e.left, v.depth + 1, v.inRoot});
        if (e.right != kNoEntry) stack.push_back({e.right, v.depth + 1, v.inRoot});
        if (e.type == 1 && e.child != kNoEntry) stack.push_back({e.child, v.depth + 1, false});
    }
}

const CompoundFile::Entry* CompoundFile::Find(std::string_view name) const {
    for (std::uint32_t id : rootChildren_)
        if (entries_[id].type == 2 && SameName(entries_[id].name, name)) return &entries_[id];
    return nullptr;
}

std::vector<std::string> CompoundFile::StreamNames() const {
    std::vector<std::string> names;
    for (std::uint32_t id : rootChildren_) {
        if (entries_[id].type != 2) continue;
        std::string name;
        for (char16_t c : entries_[id].name) {
            // Names are short and within the Basic Multilingual Plane.
            if (c < 0x80) {
                name += char(c);
            } else if (c < 0x800) {
                name += char(0xC0 | (c >> 6));
                name += char(0x80 | (c & 0x3F));
            } else {
                name += char(0xE0 | (c >> 12));
                name += char(0x80 | ((c >> 6) & 0x3F));
                name += char(0x80 | (c & 0x3F));
            }
        }
        names.push_back(std::move(name));
    }
    return names;
}

bool CompoundFile::HasStream(std::string_view name) const {
    return Find(name) != nullptr;
}

std::vector<std::uint8_t> CompoundFile::ReadStream(std::string_view name, std::size_t limit) const {
    const Entry* entry = Find(name);
    if (!entry) Damaged("a stream is missing");
    if (entry->size > source_.Size()) Damaged("a stream is larger than the file");
    if (entry->size > limit) Fail("the workbook is too large");
    const auto size = static_cast<std::size_t>(entry->size);
    std::vector<std::uint8_t> out(size);

    if (size < miniCutoff_) {
        // Small streams live in the mini stream, itself a chain of sectors
        // named by the root entry, in 64-byte pieces listed by the mini FAT.
        std::uint8_t h[512];
        source_.Read(0, h);
        const Entry& root = entries_[0];
        if (root.size > source_.Size()) Damaged("a stream is larger than the file");
        // Only the mini FAT sectors that describe the mini stream are read.
        const std::size_t miniSectors = static_cast<std::size_t>(root.size / miniSectorSize_);
        const std::size_t perSector = sectorSize_ / 4;
        const std::vector<std::uint32_t> miniFatChain =
            Chain(Le32(h + 0x3C), fat_, (miniSectors + perSector - 1) / perSector);
        std::vector<std::uint32_t> miniFat;
        std::vector<std::uint8_t> sector(sectorSize_);
        for (std::uint32_t id : miniFatChain) {
            ReadSectorInto(id, sector);
            for (std::size_t i = 0; i < perSector && miniFat.size() < miniSectors; ++i)
                miniFat.push_back(Le32(&sector[4 * i]));
        }
        const std::size_t need = (size + miniSectorSize_ - 1) / miniSectorSize_;
        const std::vector<std::uint32_t> chain = Chain(entry->start, miniFat, need);
        if (chain.size() < need) Damaged("a stream ends early");
        // The mini stream's big sectors, read only as far as needed.
        const std::vector<std::uint32_t> bigChain =
            Chain(root.start, fat_, (root.size + sectorSize_ - 1) / sectorSize_);
        std::size_t done = 0;
        for (std::uint32_t mini : chain) {
            const std::uint64_t at = std::uint64_t{mini} * miniSectorSize_;
            const std::size_t big = static_cast<std::size_t>(at / sectorSize_);
            if (big >= bigChain.size()) Damaged("a stream ends early");
            const std::size_t n = std::min<std::size_t>(miniSectorSize_, size - done);
            ReadSectorInto(bigChain[big], sector);
            std::memcpy(out.data() + done, &sector[at % sectorSize_], n);
            done += n;
        }
        return out;
    }

    const std::size_t need = (size + sectorSize_ - 1) / sectorSize_;
    const std::vector<std::uint32_t> chain = Chain(entry->start, fat_, need);
    if (chain.size() < need) Damaged("a stream ends early");
    // Runs of consecutive sectors are read at once.
    std::size_t done = 0;
    for (std::size_t i = 0; i < chain.size();) {
        std::size_t run = 1;
        while (i + run < chain.size() && chain[i + run] == chain[i] + run) ++run;
        const std::size_t n = std::min<std::size_t>(run * sectorSize_, size - done);
        const std::uint64_t offset = (std::uint64_t{chain[i]} + 1) * sectorSize_;
        const std::uint64_t inFile =
            offset >= source_.Size() ? 0 : std::min<std::uint64_t>(n, source_.Size() - offset);
        source_.Read(offset, std::span<std::uint8_t>(out).subspan(done, inFile));
        done += n;  // a cut-short last sector leaves zeros
        i += run;
    }
    return out;
}

}  // namespace scrivane::codec::detail
