#include "fat/FatFreeSpace.h"

#include <algorithm>

namespace rekkon {

namespace {

// The last cluster whose data lies inside the source (the volume's last when its size is not
// known); below 2 when there is none.
std::uint32_t lastClusterInSource(FatVolume& fat) {
    const FatGeometry& g = fat.geometry;
    const std::uint32_t last = g.maxCluster();
    const auto bytes = fat.volume.reader.sourceBytes();
    if (!bytes || g.sectorsPerCluster == 0) return last;
    const std::uint64_t sectors = *bytes / kSectorSize;
    if (sectors < g.firstDataSector + g.sectorsPerCluster) return 0;
    const std::uint64_t held = (sectors - g.firstDataSector) / g.sectorsPerCluster;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(last, held + 1));
}

}  // namespace

FatFreeSpace::FatFreeSpace(FatVolume& fat)
    : fat_(fat), table_(fat), lastCluster_(lastClusterInSource(fat)) {}

std::uint64_t FatFreeSpace::clusterOffset(std::uint64_t cluster) const {
    return fat_.geometry.clusterSector(static_cast<std::uint32_t>(cluster)) * kSectorSize;
}

std::optional<ClusterRun> FatFreeSpace::findFreeRun(std::uint64_t from, std::uint64_t atMost) {
    const std::uint64_t last = lastCluster_;
    std::uint64_t c = from;
    for (; c <= last; ++c) {
        const std::uint32_t value = table_.entry(static_cast<std::uint32_t>(c));
        if (table_.unreadable())
            noteUnknown(c, c + 1);
        else if (value == 0)
            break;
    }
    if (c > last) return std::nullopt;
    // An unreadable entry ends the run; the next walk from there passes over (and counts) it.
    ClusterRun run{c, 1};
    while (run.count < atMost && run.end() <= last &&
           table_.entry(static_cast<std::uint32_t>(run.end())) == 0 && !table_.unreadable())
        ++run.count;
    return run;
}

}  // namespace rekkon
