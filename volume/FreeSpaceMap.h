#pragma once

#include <cstdint>
#include <limits>
#include <optional>

#include "volume/ClusterRun.h"

namespace rekkon {

// The clusters a mounted volume holds free, as its own table or bitmap records them, walked as
// runs: a pass over free space (a lost-folder search, carving) reads them through this without
// knowing the file system. Clusters are numbered as the file system numbers them, from
// firstCluster() to firstCluster() + clusterCount() - 1; clusters of the volume that lie past the
// end of a cut-short source are not among them.
//
// A cluster whose table entry or bitmap bit cannot be read (a damaged sector, a bitmap shorter
// than the volume) is not known to be free: no run holds it. A walk passes over it as over a used
// cluster and counts it in unknownClusters(), so the caller can tell how much it could not look
// at. Each cluster is counted once, at the first walk that passes it; the count is exact for a
// walk that moves forward, as passes over free space do (a walk that jumps back does not count
// again what lies below the farthest cluster passed).
class FreeSpaceMap {
  public:
    // No limit on a run's length.
    static constexpr std::uint64_t kWholeRun = std::numeric_limits<std::uint64_t>::max();

    virtual ~FreeSpaceMap() = default;

    // The first run of free clusters that starts at or after `from`, as long as it goes but no
    // longer than `atMost` clusters (at least 1); nullopt when no cluster from `from` to the last
    // is known to be free. A cap keeps each call's table reading near what the caller reads next:
    // the following run starts where a capped one ended.
    std::optional<ClusterRun> nextFreeRun(std::uint64_t from, std::uint64_t atMost = kWholeRun);

    // How many clusters the volume has inside the source, and the number of the first.
    virtual std::uint64_t clusterCount() const = 0;
    virtual std::uint64_t firstCluster() const = 0;
    virtual std::uint64_t clusterBytes() const = 0;
    // The byte offset from the start of the volume of `cluster`, one of the volume's clusters.
    virtual std::uint64_t clusterOffset(std::uint64_t cluster) const = 0;

    // Clusters passed over because their state could not be read.
    std::uint64_t unknownClusters() const { return unknown_; }
    // Whether a walk met a part of the table or bitmap that could not be read.
    bool unreadable() const { return unknown_ != 0; }

  protected:
    // nextFreeRun with `from` at or past the first cluster and `atMost` at least 1.
    virtual std::optional<ClusterRun> findFreeRun(std::uint64_t from, std::uint64_t atMost) = 0;
    // Counts clusters [first, end) passed over as not known to be free.
    void noteUnknown(std::uint64_t first, std::uint64_t end);

  private:
    std::uint64_t unknown_ = 0;
    std::uint64_t countedTo_ = 0;  // unknown clusters below this are counted already
};

}  // namespace rekkon
