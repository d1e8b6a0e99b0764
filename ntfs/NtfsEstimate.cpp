#include "ntfs/NtfsEstimate.h"

#include <algorithm>

namespace rekkon {

std::uint8_t estimateFromBitmap(ClusterUse& bitmap, std::span<const DataRun> runs) {
    std::uint64_t freeCount = 0;
    std::uint64_t usedCount = 0;
    const std::uint64_t covered = bitmap.clusters();
    for (const DataRun& run : runs) {
        if (run.isSparse()) continue;  // nothing on the volume to examine
        const auto first = static_cast<std::uint64_t>(run.lcn);
        if (first >= covered) break;
        const std::uint64_t examined = std::min(run.length, covered - first);
        const std::uint64_t used = bitmap.countUsed(first, examined);
        usedCount += used;
        freeCount += examined - used;
        if (examined < run.length) break;
    }
    if (freeCount == 0) return kEstimatePoor;
    if (usedCount == 0) return kEstimateGood;
    return static_cast<std::uint8_t>(freeCount * 100 / (freeCount + usedCount));
}

std::uint8_t estimateFromBitmap(std::span<const std::uint8_t> bitmap,
                                std::span<const DataRun> runs) {
    BitmapInMemory inMemory(bitmap);
    return estimateFromBitmap(inMemory, runs);
}

std::uint8_t estimateAttribute(const AttributeDescriptor& attribute, ClusterUse& clusterBitmap) {
    if (attribute.isResident) return kEstimateGood;
    const std::uint8_t estimate = estimateFromBitmap(clusterBitmap, attribute.runs);
    if (attribute.sizeBeyondRuns) return std::min(estimate, kEstimateSizeBeyondRuns);
    return estimate;
}

}  // namespace rekkon
