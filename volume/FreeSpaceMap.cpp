#include "volume/FreeSpaceMap.h"

#include <algorithm>

namespace rekkon {

std::optional<ClusterRun> FreeSpaceMap::nextFreeRun(std::uint64_t from, std::uint64_t atMost) {
    const std::uint64_t first = firstCluster();
    const std::uint64_t count = clusterCount();
    from = std::max(from, first);
    if (from - first >= count) return std::nullopt;
    return findFreeRun(from, std::max<std::uint64_t>(atMost, 1));
}

void FreeSpaceMap::noteUnknown(std::uint64_t first, std::uint64_t end) {
    if (end <= countedTo_) return;
    first = std::max(first, countedTo_);
    if (first < end) unknown_ += end - first;
    countedTo_ = end;
}

}  // namespace rekkon
