#include "recovery/BitmapEstimate.h"

namespace rekkon {

std::uint8_t estimateFromBitmap(std::span<const std::uint8_t> bitmap,
                                std::span<const ClusterRun> runs) {
    std::uint64_t freeCount = 0;
    std::uint64_t usedCount = 0;
    const std::uint64_t coveredClusters = std::uint64_t{bitmap.size()} * 8;
    for (const ClusterRun& run : runs) {
        if (run.firstCluster < 0) continue;  // sparse: nothing on the volume to examine
        const auto first = static_cast<std::uint64_t>(run.firstCluster);
        bool pastEnd = false;
        for (std::uint64_t k = first; k - first < run.lengthClusters; ++k) {
            if (k >= coveredClusters) {
                pastEnd = true;
                break;
            }
            if ((bitmap[k / 8] >> (k % 8)) & 1)
                ++usedCount;
            else
                ++freeCount;
        }
        if (pastEnd) break;
    }
    if (freeCount == 0) return 0;
    if (usedCount == 0) return 255;
    return static_cast<std::uint8_t>(freeCount * 100 / (freeCount + usedCount));
}

}  // namespace rekkon
