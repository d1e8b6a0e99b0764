#include "fat/FatGeometry.h"

#include <algorithm>

namespace rekkon {

std::uint32_t FatGeometry::clusterCount() const {
    if (sectorsPerCluster == 0 || totalSectors <= firstDataSector) return 0;
    const std::uint64_t count = (totalSectors - firstDataSector) / sectorsPerCluster;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(count, 0x0FFFFFF5));
}

std::uint32_t FatGeometry::maxCluster() const {
    const std::uint64_t lastData = std::uint64_t{clusterCount()} + 1;
    // The table itself may be too short to describe every cluster of the data area.
    std::uint64_t entries = 0;
    if (fatBits != 0) entries = sectorsPerFat * kSectorSize * 8 / fatBits;
    const std::uint64_t lastInTable = entries == 0 ? 0 : entries - 1;
    return static_cast<std::uint32_t>(std::min(lastData, lastInTable));
}

}  // namespace rekkon
