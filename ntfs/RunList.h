#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "ntfs/MftFile.h"

namespace rekkon {

struct NtfsVolume;

// Limits on what one attribute's mapping pairs may build, whatever the volume claims.
inline constexpr std::size_t kMaxRunsPerAttribute = std::size_t{1} << 22;
inline constexpr std::size_t kMaxPendingFragments = 1024;
// Clusters an attribute may describe: 2^42 clusters of at most 2 MiB keep every byte position
// below 2^63.
inline constexpr std::uint64_t kMaxAttributeClusters = std::uint64_t{1} << 42;

// One mapping pair: a header byte (low nibble: bytes of the length field, high nibble: bytes of
// the offset field), the run length in clusters (unsigned) and the signed distance of the run's
// first cluster from the previous run's; no offset field means a sparse run.
struct DecodedRun {
    std::uint64_t length = 0;
    bool sparse = false;
};

// Decodes the mapping pair at `offset` of `pairs`, moving `offset` past it and `lcn` (the running
// first cluster) by its offset field. Fails (-1, nothing moved) on a length field of 0 or more
// than 8 bytes, an offset field of more than 8 bytes, a pair that does not fit in `pairs`, a run
// of no clusters, or a first cluster outside 0 .. 2^63 - 1.
int decodeRun(std::span<const std::uint8_t> pairs, std::size_t& offset, std::int64_t& lcn,
              DecodedRun& run);

// Appends one run; false when the attribute already holds kMaxRunsPerAttribute runs.
bool insertRun(std::vector<DataRun>& runs, std::int64_t lcn, std::uint64_t length);

// Decodes the mapping pairs of one non-resident attribute header (the whole attribute record in
// `attribute`) up to its last VCN and joins them to the descriptor's runs. A fragment must begin
// where the runs so far end; one that begins further on waits until the fragments in between
// have arrived. Returns 0, or -1 when the fragment overlaps the runs, a pair cannot be decoded
// (the pairs before it are kept) or a limit is reached.
int decodeRunList(const NtfsVolume& volume, AttributeDescriptor& descriptor,
                  std::span<const std::uint8_t> attribute);

}  // namespace rekkon
