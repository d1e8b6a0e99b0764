#pragma once

#include <cstdint>
#include <optional>

#include "fat/FatGeometry.h"
#include "fat/FatTable.h"
#include "volume/FreeSpaceMap.h"

namespace rekkon {

// The free clusters of a FAT volume: those whose entry in the first table copy is 0. Clusters are
// numbered from 2 up to the volume's last cluster inside the source. An entry that cannot be read
// from either of the first two table copies is not known to be free. The table is read a window
// at a time (FatTableWindow), so a walk holds no more than one window of it.
class FatFreeSpace final : public FreeSpaceMap {
  public:
    explicit FatFreeSpace(FatVolume& fat);

    std::uint64_t clusterCount() const override { return lastCluster_ < 2 ? 0 : lastCluster_ - 1; }
    std::uint64_t firstCluster() const override { return 2; }
    std::uint64_t clusterBytes() const override { return fat_.geometry.clusterBytes(); }
    std::uint64_t clusterOffset(std::uint64_t cluster) const override;

    // Gives back the table window's memory until the next walk.
    void release() { table_.release(); }

  protected:
    std::optional<ClusterRun> findFreeRun(std::uint64_t from, std::uint64_t atMost) override;

  private:
    FatVolume& fat_;
    FatTableWindow table_;
    std::uint32_t lastCluster_ = 0;  // the last cluster inside the source
};

}  // namespace rekkon
