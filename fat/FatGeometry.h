#pragma once

#include <cstdint>
#include <string>

#include "volume/VolumeContext.h"

namespace rekkon {

// Where the parts of a mounted FAT volume lie, in 512-byte sectors whatever the volume's own
// sector size (volumes with 1024..4096-byte sectors are converted at mount).
struct FatGeometry {
    std::uint64_t totalSectors = 0;
    std::uint32_t sectorsPerCluster = 0;
    std::uint64_t sectorsPerFat = 0;
    std::uint64_t reservedSectors = 0;  // the first FAT copy starts here
    std::uint32_t rootCluster = 0;      // 1 names the fixed root area of FAT12/16
    std::uint64_t firstDataSector = 0;  // sector of cluster 2
    std::uint8_t fatCount = 0;
    std::uint32_t rootDirSectors = 0;  // fixed root area of FAT12/16; 0 on FAT32
    std::uint8_t fatBits = 0;          // 12, 16 or 32: how table entries are packed
    std::uint16_t bytesPerSector = 0;  // the volume's own sector size, as recorded
    std::uint32_t rootEntryCount = 0;
    std::string bootLabel;  // the boot sector's label field (UTF-8); empty when it names none

    std::uint64_t clusterBytes() const { return std::uint64_t{sectorsPerCluster} * kSectorSize; }
    // Number of data clusters (clusters 2 .. clusterCount + 1).
    std::uint32_t clusterCount() const;
    // The highest cluster number that exists on the volume and has a table entry.
    std::uint32_t maxCluster() const;
    std::uint64_t clusterSector(std::uint32_t cluster) const {
        return firstDataSector + std::uint64_t{cluster - 2} * sectorsPerCluster;
    }
};

// What every FAT operation works on: the open volume and its geometry.
struct FatVolume {
    VolumeContext& volume;
    FatGeometry geometry;
    int lastError = 0;  // POSIX code of the last path lookup (0, ENOENT, ENOMEM, EINVAL)
};

}  // namespace rekkon
