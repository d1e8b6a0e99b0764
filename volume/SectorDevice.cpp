#include "volume/SectorDevice.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>

#include <limits>

namespace rekkon {

namespace {

// An image's size, or a block device's capacity; nullopt for anything else.
std::optional<std::uint64_t> sourceSize(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    if (S_ISREG(st.st_mode)) return static_cast<std::uint64_t>(st.st_size);
    std::uint64_t bytes = 0;
    if (S_ISBLK(st.st_mode) && ::ioctl(fd, BLKGETSIZE64, &bytes) == 0) return bytes;
    return std::nullopt;
}

// A block device's logical sector size; nullopt for anything else.
std::optional<std::uint32_t> blockSectorSize(int fd) {
    struct stat st {};
    int bytes = 0;
    if (::fstat(fd, &st) != 0 || !S_ISBLK(st.st_mode)) return std::nullopt;
    if (::ioctl(fd, BLKSSZGET, &bytes) != 0 || bytes < 512) return std::nullopt;
    return static_cast<std::uint32_t>(bytes);
}

}  // namespace

FileSectorDevice::FileSectorDevice(int fd)
    : fd_(fd), size_(sourceSize(fd)), logicalSector_(blockSectorSize(fd)) {}

std::unique_ptr<FileSectorDevice> FileSectorDevice::open(const std::string& path, int& error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    // A folder opens, but every read of it fails: it is refused here, where the reason is known.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        error = EISDIR;
        return nullptr;
    }
    error = 0;
    return std::unique_ptr<FileSectorDevice>(new FileSectorDevice(fd));
}

std::unique_ptr<FileSectorDevice> FileSectorDevice::fromDescriptor(int fd, int& error) {
    const int flags = fd < 0 ? -1 : ::fcntl(fd, F_GETFL);
    if (flags < 0) {
        error = EBADF;
        return nullptr;
    }
    // The source is only ever read: a descriptor that could write to it is refused.
    if ((flags & O_ACCMODE) != O_RDONLY) {
        ::close(fd);
        error = EACCES;
        return nullptr;
    }
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    error = 0;
    return std::unique_ptr<FileSectorDevice>(new FileSectorDevice(fd));
}

FileSectorDevice::~FileSectorDevice() {
    ::close(fd_);
}

void FileSectorDevice::willNeed(std::uint64_t firstSector, std::uint64_t sectors) {
    constexpr std::uint64_t kMaxSector = std::numeric_limits<off_t>::max() / kSectorSize;
    if (sectors == 0 || firstSector >= kMaxSector) return;
    sectors = std::min(sectors, kMaxSector - firstSector);
    // Advice only: a source that cannot take it (a pipe) reads the same without.
    (void)::posix_fadvise(fd_, static_cast<off_t>(firstSector * kSectorSize),
                          static_cast<off_t>(sectors * kSectorSize), POSIX_FADV_WILLNEED);
}

std::size_t FileSectorDevice::readSectors(std::span<std::uint8_t> buffer) {
    const std::size_t wanted = buffer.size() / kSectorSize * kSectorSize;
    std::size_t done = 0;
    constexpr std::uint64_t kMaxSector = std::numeric_limits<std::int64_t>::max() / kSectorSize;
    if (sector_ > kMaxSector) return 0;
    while (done < wanted) {
        const auto position = static_cast<off_t>(sector_ * kSectorSize + done);
        ssize_t n = ::pread(fd_, buffer.data() + done, wanted - done, position);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    // Only whole sectors count; a short tail at the end of an image is an unreadable sector.
    const std::size_t whole = done / kSectorSize * kSectorSize;
    sector_ += whole / kSectorSize;
    return whole;
}

}  // namespace rekkon
