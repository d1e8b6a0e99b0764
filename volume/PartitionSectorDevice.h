#pragma once

#include <cstdint>
#include <memory>

#include "volume/SectorDevice.h"

namespace rekkon {

// One partition (or a volume at a known offset) of a disk source: sector 0 is the sector at
// `offset` bytes into the disk, and nothing at or past `offset + length` is ever read from it,
// whatever the volume inside claims of its own size.
class PartitionSectorDevice final : public SectorDevice {
  public:
    // `offset` must be a multiple of 512; `length` is cut to whole 512-byte sectors.
    PartitionSectorDevice(std::unique_ptr<SectorDevice> disk, std::uint64_t offset,
                          std::uint64_t length);

    void seekSector(std::uint64_t sector) override { sector_ = sector; }
    // Reads the sectors that lie inside the partition; a read reaching past its end delivers
    // only the whole sectors before the end.
    std::size_t readSectors(std::span<std::uint8_t> buffer) override;
    void willNeed(std::uint64_t firstSector, std::uint64_t sectors) override;
    std::optional<std::uint64_t> sizeBytes() const override { return length_; }
    // The disk's descriptor is not offered: its offsets are not this source's.
    std::optional<int> descriptor() const override { return std::nullopt; }
    std::optional<std::uint32_t> logicalSectorSize() const override {
        return disk_->logicalSectorSize();
    }

    std::uint64_t offset() const { return offset_; }

  private:
    std::unique_ptr<SectorDevice> disk_;
    std::uint64_t offset_;
    std::uint64_t length_;
    std::uint64_t sector_ = 0;
};

}  // namespace rekkon
