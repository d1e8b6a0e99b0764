#pragma once

#include <cstddef>
#include <cstdint>

#include "ntfs/MftFile.h"
#include "volume/VolumeContext.h"

namespace rekkon {

// A compressed attribute's data is divided into compression units of 16 clusters, aligned on
// VCNs that are multiples of 16. A unit is stored as 16 real clusters (not compressed), as fewer
// real clusters followed by sparse ones (an LZNT1 stream), or as sparse clusters only (zeros).
inline constexpr std::uint64_t kCompressionUnitClusters = 16;
// Compression exists only on volumes with clusters of at most 4 KiB; beyond 64 KiB a unit is not
// even buffered.
inline constexpr std::uint64_t kMaxCompressedClusterBytes = 64 * 1024;

// Reads request.count bytes of a compressed attribute at byte `position` (the caller has kept the
// request below the initialized size). Returns 0, or -1 when a cluster transfer fails or the
// cluster size is beyond compression; request.count is set to the bytes delivered. Runs that end
// inside a unit give zeros for its missing clusters; no run at the position ends the read.
int readCompressedData(MftFile& file, const AttributeDescriptor& descriptor, std::uint64_t position,
                       TransferRequest& request);

}  // namespace rekkon
