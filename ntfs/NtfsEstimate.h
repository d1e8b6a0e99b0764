#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ntfs/ClusterBitmap.h"
#include "ntfs/MftFile.h"

namespace rekkon {

// Estimated recoverability of a stream: 0 "Poor", 255 "Good", 1..254 a percentage.
inline constexpr std::uint8_t kEstimatePoor = 0;
inline constexpr std::uint8_t kEstimateGood = 255;
// The highest estimate of data whose record claimed more than its runs hold: never "Good".
inline constexpr std::uint8_t kEstimateSizeBeyondRuns = 99;
// The cluster bitmap read for the estimates covers at most 2^35 clusters, whatever $Bitmap
// claims (and no more clusters than the source holds, when its size is known).
inline constexpr std::uint64_t kMaxClusterBitmapBytes = std::uint64_t{1} << 32;

// Recoverability of non-resident data from the volume's cluster bitmap (bit k of byte k / 8,
// least significant first, set when cluster k is in use): 255 when every examined cluster is
// free, 0 when none is, else the free share in percent. Sparse runs are skipped; a run reaching
// past the bitmap is examined up to the bitmap's end and ends the examination. An empty bitmap
// (none could be read) counts every cluster as in use.
std::uint8_t estimateFromBitmap(std::span<const std::uint8_t> bitmap,
                                std::span<const DataRun> runs);
// The same over a bitmap read on demand.
std::uint8_t estimateFromBitmap(ClusterUse& bitmap, std::span<const DataRun> runs);

// The estimate of one data attribute: 255 when it is resident, else estimateFromBitmap over its
// runs, at most kEstimateSizeBeyondRuns when its record claimed more data than the runs hold.
std::uint8_t estimateAttribute(const AttributeDescriptor& attribute, ClusterUse& clusterBitmap);

}  // namespace rekkon
