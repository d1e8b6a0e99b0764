#include "fat/FatScan.h"

namespace rekkon {

int estimateFatStatus(FatVolume& fat, const DirEntry& entry) {
    const std::uint32_t first = entry.firstCluster(fat.volume.kind);
    if (fatEntry(fat, first) != 0) return -1;
    const std::uint64_t clusterBytes = fat.geometry.clusterBytes();
    const std::uint64_t n = clusterBytes == 0 ? 0 : entry.size / clusterBytes;
    if (n == 0) return 100;
    std::int64_t score = 10'000;
    const auto step = static_cast<std::int64_t>(10'000 / n);
    const std::uint64_t last = fat.geometry.maxCluster();
    FatTableWindow table(fat);
    for (std::uint64_t i = 1; i < n; ++i) {
        const std::uint64_t cluster = first + i;
        if (cluster > last) {  // the rest lies past the volume: all of it counts as taken
            score -= step * static_cast<std::int64_t>(n - i);
            break;
        }
        if (fatEntry(fat, static_cast<std::uint32_t>(cluster)) != 0) score -= step;
    }
    if (score < 0) score = 0;
    return static_cast<int>(score / 100);
}

}  // namespace rekkon
