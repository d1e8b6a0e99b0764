#include "ntfs/NtfsFreeSpace.h"

#include <algorithm>

#include "ntfs/NtfsVolume.h"

namespace rekkon {

namespace {

// The volume's clusters as its boot sector counts them (as the bitmap covers them when it
// counts none), no more than the source holds when its size is known.
std::uint64_t volumeClusters(const NtfsVolume& volume, const ClusterBitmap& bitmap) {
    if (volume.bytesPerCluster == 0) return 0;
    std::uint64_t clusters =
        volume.sectorsPerCluster != 0 ? volume.totalSectors / volume.sectorsPerCluster : 0;
    if (clusters == 0) clusters = bitmap.clusters();
    if (volume.context != nullptr) {
        if (const auto source = volume.context->reader.sourceBytes())
            clusters = std::min(clusters, *source / volume.bytesPerCluster);
    }
    return clusters;
}

}  // namespace

NtfsFreeSpace::NtfsFreeSpace(NtfsVolume& volume)
    : bitmap_(volume),
      clusterBytes_(volume.bytesPerCluster),
      clusters_(volumeClusters(volume, bitmap_)) {}

std::optional<ClusterRun> NtfsFreeSpace::findFreeRun(std::uint64_t from, std::uint64_t atMost) {
    const std::uint64_t covered = std::min(bitmap_.clusters(), clusters_);
    if (from < covered) {
        const auto run = bitmap_.nextClearRun(
            from, covered, atMost,
            [this](std::uint64_t first, std::uint64_t end) { noteUnknown(first, end); });
        if (run) return run;
    }
    // What the bitmap does not cover is not known to be free.
    noteUnknown(std::max(from, covered), clusters_);
    return std::nullopt;
}

}  // namespace rekkon
