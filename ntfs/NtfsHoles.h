#pragma once

#include <cstdint>

#include "ntfs/MftFile.h"

namespace rekkon {

// Where an attribute's data has holes: stretches held nowhere on the volume that read as zeros.
// They are found as readAttributeData reads: sparse runs of an uncompressed attribute, compression
// units that start with a sparse cluster (the rest of such a unit is never read), and the bytes
// from the initialized size to the data size. Resident data has none.

// How many bytes from `position` on are a hole; 0 when data is stored there or no run covers it.
// Never reaches past the data size. The walk ends with the runs.
std::uint64_t attributeHoleBytes(const AttributeDescriptor& d, std::uint64_t bytesPerCluster,
                                 std::uint64_t position);

// How many bytes from `position` on come before the next hole starts, looked for no further than
// `limit` bytes: `limit` when no hole starts before it. Each step passes a run or a compression
// unit, so the walk is bounded by `limit` and the runs.
std::uint64_t bytesBeforeHole(const AttributeDescriptor& d, std::uint64_t bytesPerCluster,
                              std::uint64_t position, std::uint64_t limit);

}  // namespace rekkon
