// Where the bytes of a workbook come from: memory that the caller keeps
// alive, or an open file read by position, so that a large file is never
// held whole. Internal to the codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace scrivane::codec::detail {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Copies out.size() bytes from offset; a range past the end is damage.
    virtual void Read(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;

    std::vector<std::uint8_t> ReadVector(std::uint64_t offset, std::size_t size) const;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    void Read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

private:
    std::span<const std::uint8_t> bytes_;
};

// Opens a plain file for reading; throws WorkbookError with the reason
// (not a file, missing, the system's reason) when it cannot.
class FileSource : public ByteSource {
public:
    explicit FileSource(const std::filesystem::path& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    std::uint64_t Size() const override { return size_; }
    void Read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace scrivane::codec::detail
