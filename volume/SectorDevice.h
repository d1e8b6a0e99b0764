#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace rekkon {

inline constexpr std::size_t kSectorSize = 512;

// The low-level pair every volume read ends in: move to a 512-byte sector, read whole sectors.
// One implementation per kind of source (image file or block device now); tests add doubles.
class SectorDevice {
  public:
    virtual ~SectorDevice() = default;
    // Makes `sector` (in 512-byte units from the start of the source) the current sector.
    virtual void seekSector(std::uint64_t sector) = 0;
    // Reads buffer.size() / 512 whole sectors from the current sector on and advances past them.
    // Returns the bytes delivered, a multiple of 512; a sector that cannot be read whole ends the
    // read. A partial sector at the very end of an image counts as unreadable.
    virtual std::size_t readSectors(std::span<std::uint8_t> buffer) = 0;
    // The source's length in bytes, when it is known (an image's size, a block device's
    // capacity); nullopt when it cannot be told.
    virtual std::optional<std::uint64_t> sizeBytes() const { return std::nullopt; }
    // The open file descriptor behind the source, for libraries that read through one
    // (libblkid); nullopt when the source is not a plain file or device (an evidence file set).
    virtual std::optional<int> descriptor() const { return std::nullopt; }
    // The source's own logical sector size: a block device's, an evidence file's media sector
    // size; nullopt for a plain image file, whose sector size must be guessed.
    virtual std::optional<std::uint32_t> logicalSectorSize() const { return std::nullopt; }
    // A hint that `sectors` sectors from `firstSector` on will be read soon: a source read
    // through the page cache starts fetching them in the background, so that the reading
    // overlaps with whatever the caller does meanwhile. Reads are the same with or without it.
    virtual void willNeed(std::uint64_t /*firstSector*/, std::uint64_t /*sectors*/) {}
};

// A block device or disk-image file, opened read-only; reads with pread.
class FileSectorDevice final : public SectorDevice {
  public:
    // Opens `path` with O_RDONLY | O_CLOEXEC. Returns null and sets `error` to errno on failure
    // (EISDIR for a folder).
    static std::unique_ptr<FileSectorDevice> open(const std::string& path, int& error);
    // Takes over `fd`, an open read-only descriptor (one handed over by a privileged service);
    // it is closed with the device. Returns null with `error` set (EBADF, or EACCES when the
    // descriptor is open for writing) and closes `fd` when it cannot be used.
    static std::unique_ptr<FileSectorDevice> fromDescriptor(int fd, int& error);
    ~FileSectorDevice() override;
    FileSectorDevice(const FileSectorDevice&) = delete;
    FileSectorDevice& operator=(const FileSectorDevice&) = delete;

    void seekSector(std::uint64_t sector) override { sector_ = sector; }
    std::size_t readSectors(std::span<std::uint8_t> buffer) override;
    std::optional<std::uint64_t> sizeBytes() const override { return size_; }
    std::optional<int> descriptor() const override { return fd_; }
    std::optional<std::uint32_t> logicalSectorSize() const override { return logicalSector_; }
    void willNeed(std::uint64_t firstSector, std::uint64_t sectors) override;

  private:
    FileSectorDevice(int fd);
    int fd_;
    std::optional<std::uint64_t> size_;
    std::optional<std::uint32_t> logicalSector_;
    std::uint64_t sector_ = 0;
};

}  // namespace rekkon
