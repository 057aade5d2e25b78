#include "spreadsheet/codec/source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "spreadsheet/codec/read_internal.h"

namespace scrivane::codec::detail {

std::vector<std::uint8_t> ByteSource::ReadVector(std::uint64_t offset, std::size_t size) const {
    std::vector<std::uint8_t> out(size);
    Read(offset, out);
    return out;
}

void MemorySource::Read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (offset > bytes_.size() || bytes_.size() - offset < out.size())
        Damaged("a part lies past the end of the file");
    if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
}

namespace {

std::string SystemReason(int error) {
    return std::generic_category().message(error);
}

}  // namespace

FileSource::FileSource(const std::filesystem::path& path) {
    // A pipe or a device would block the open or never end; a folder is no
    // workbook either. O_NONBLOCK keeps a FIFO put in the file's place
    // between the check and the open from blocking us.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0) {
        const int error = errno;
        if (error == ENOENT) Fail("the file does not exist");
        Fail("cannot open the file (" + SystemReason(error) + ")");
    }
    struct stat st {};
    if (fstat(fd_, &st) != 0) {
        const int error = errno;
        ::close(fd_);
        Fail("cannot open the file (" + SystemReason(error) + ")");
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd_);
        Fail("not a file");
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
}

FileSource::~FileSource() {
    if (fd_ >= 0) ::close(fd_);
}

void FileSource::Read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (offset > size_ || size_ - offset < out.size())
        Damaged("a part lies past the end of the file");
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n =
            ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail("cannot read the file (" + SystemReason(errno) + ")");
        if (n == 0) Damaged("the file became shorter while it was read");
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace scrivane::codec::detail
