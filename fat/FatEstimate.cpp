#include <algorithm>

#include "fat/FatScan.h"

namespace rekkon {

namespace {

// The last cluster whose data lies inside the source (the volume's last when its size is not
// known).
std::uint32_t lastClusterInSource(FatVolume& fat) {
    const FatGeometry& g = fat.geometry;
    std::uint32_t last = g.maxCluster();
    const auto bytes = fat.volume.reader.sourceBytes();
    if (!bytes || g.sectorsPerCluster == 0) return last;
    const std::uint64_t sectors = *bytes / kSectorSize;
    if (sectors < g.firstDataSector + g.sectorsPerCluster) return 0;
    const std::uint64_t held = (sectors - g.firstDataSector) / g.sectorsPerCluster;  // from 2 on
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(last, held + 1));
}

}  // namespace

int estimateFatStatus(FatVolume& fat, const DirEntry& entry) {
    const std::uint32_t first = entry.firstCluster(fat.volume.kind);
    FatTableWindow table(fat);
    if (table.entry(first) != 0) return -1;
    const std::uint64_t clusterBytes = fat.geometry.clusterBytes();
    const std::uint64_t n = clusterBytes == 0 ? 0 : entry.size / clusterBytes;
    if (n == 0) return 100;
    // The first cluster is free; of the n - 1 after it, those past the volume's last cluster,
    // past the end of the source or past a part of the table that cannot be read count as
    // taken.
    const std::uint32_t last = lastClusterInSource(fat);
    std::uint64_t free = first <= last ? 1 : 0;
    if (n > 1 && first < last) {
        const auto to = static_cast<std::uint32_t>(std::min<std::uint64_t>(first + n - 1, last));
        free += table.countFree(first + 1, to);
    }
    return static_cast<int>(free * 100 / n);
}

}  // namespace rekkon
