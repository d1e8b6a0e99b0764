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
};

// A block device or disk-image file, opened read-only; reads with pread.
class FileSectorDevice final : public SectorDevice {
  public:
    // Opens `path` with O_RDONLY | O_CLOEXEC. Returns null and sets `error` to errno on failure.
    static std::unique_ptr<FileSectorDevice> open(const std::string& path, int& error);
    ~FileSectorDevice() override;
    FileSectorDevice(const FileSectorDevice&) = delete;
    FileSectorDevice& operator=(const FileSectorDevice&) = delete;

    void seekSector(std::uint64_t sector) override { sector_ = sector; }
    std::size_t readSectors(std::span<std::uint8_t> buffer) override;
    std::optional<std::uint64_t> sizeBytes() const override { return size_; }

  private:
    FileSectorDevice(int fd, std::optional<std::uint64_t> size) : fd_(fd), size_(size) {}
    int fd_;
    std::optional<std::uint64_t> size_;
    std::uint64_t sector_ = 0;
};

}  // namespace rekkon
