#pragma once

#include <cstdint>
#include <span>

namespace rekkon {

struct ClusterRun {
    std::int64_t firstCluster;  // -1: a sparse run
    std::uint64_t lengthClusters;
};

// Recoverability of non-resident data from the volume's cluster bitmap (bit k of byte k / 8,
// least significant first, set when cluster k is in use): 255 when every examined cluster is
// free, 0 when none is, else the free share in percent. Sparse runs are skipped; a run reaching
// past the bitmap ends the examination.
std::uint8_t estimateFromBitmap(std::span<const std::uint8_t> bitmap,
                                std::span<const ClusterRun> runs);

}  // namespace rekkon
