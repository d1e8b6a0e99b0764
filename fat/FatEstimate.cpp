#include <algorithm>

#include "fat/FatScan.h"

namespace rekkon {

int estimateFatStatus(FatVolume& fat, const DirEntry& entry) {
    const std::uint32_t first = entry.firstCluster(fat.volume.kind);
    FatTableWindow table(fat);
    if (table.entry(first) != 0) return -1;
    const std::uint64_t clusterBytes = fat.geometry.clusterBytes();
    const std::uint64_t n = clusterBytes == 0 ? 0 : entry.size / clusterBytes;
    if (n == 0) return 100;
    // The first cluster is free; of the n - 1 after it, those past the volume's last cluster
    // or past a part of the table that cannot be read count as taken.
    std::uint64_t free = 1;
    const std::uint32_t last = fat.geometry.maxCluster();
    if (n > 1 && first < last) {
        const auto to = static_cast<std::uint32_t>(std::min<std::uint64_t>(first + n - 1, last));
        free += table.countFree(first + 1, to);
    }
    return static_cast<int>(free * 100 / n);
}

}  // namespace rekkon
