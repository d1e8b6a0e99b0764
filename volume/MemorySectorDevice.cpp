#include "volume/MemorySectorDevice.h"

#include <algorithm>

namespace rekkon {

std::size_t MemorySectorDevice::readSectors(std::span<std::uint8_t> buffer) {
    const std::uint64_t wholeSectors = view_.size() / kSectorSize;
    if (sector_ >= wholeSectors) return 0;
    const std::uint64_t available = (wholeSectors - sector_) * kSectorSize;
    const std::size_t n = static_cast<std::size_t>(
        std::min<std::uint64_t>(buffer.size() / kSectorSize * kSectorSize, available));
    std::copy_n(view_.begin() + static_cast<std::ptrdiff_t>(sector_ * kSectorSize), n,
                buffer.begin());
    sector_ += n / kSectorSize;
    return n;
}

}  // namespace rekkon
