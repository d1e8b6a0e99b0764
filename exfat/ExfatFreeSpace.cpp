#include "exfat/ExfatFreeSpace.h"

namespace rekkon {

std::optional<ClusterRun> ExfatFreeSpace::findFreeRun(std::uint64_t from, std::uint64_t atMost) {
    const std::uint64_t last = volume_.geometry.lastCluster();
    std::uint64_t c = from;
    while (c <= last && !volume_.bitmap.isFree(static_cast<std::uint32_t>(c)))
        ++c;
    if (c > last) return std::nullopt;
    ClusterRun run{c, 1};
    while (run.count < atMost && run.end() <= last &&
           volume_.bitmap.isFree(static_cast<std::uint32_t>(run.end())))
        ++run.count;
    return run;
}

}  // namespace rekkon
