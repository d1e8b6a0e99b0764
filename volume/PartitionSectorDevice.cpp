#include "volume/PartitionSectorDevice.h"

#include <algorithm>

namespace rekkon {

PartitionSectorDevice::PartitionSectorDevice(std::unique_ptr<SectorDevice> disk,
                                             std::uint64_t offset, std::uint64_t length)
    : disk_(std::move(disk)), offset_(offset), length_(length / kSectorSize * kSectorSize) {}

std::size_t PartitionSectorDevice::readSectors(std::span<std::uint8_t> buffer) {
    const std::uint64_t sectors = length_ / kSectorSize;
    if (sector_ >= sectors) return 0;
    const std::uint64_t wanted = buffer.size() / kSectorSize;
    const std::uint64_t inside = std::min(wanted, sectors - sector_);
    disk_->seekSector(offset_ / kSectorSize + sector_);
    const std::size_t done =
        disk_->readSectors(buffer.first(static_cast<std::size_t>(inside) * kSectorSize));
    sector_ += done / kSectorSize;
    return done;
}

void PartitionSectorDevice::willNeed(std::uint64_t firstSector, std::uint64_t sectors) {
    const std::uint64_t inside = length_ / kSectorSize;
    if (firstSector >= inside) return;
    disk_->willNeed(offset_ / kSectorSize + firstSector, std::min(sectors, inside - firstSector));
}

}  // namespace rekkon
