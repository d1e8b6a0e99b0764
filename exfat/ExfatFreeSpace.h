#pragma once

#include "exfat/ExfatVolume.h"
#include "volume/FreeSpaceMap.h"

namespace rekkon {

// The free clusters of an exFAT volume as its allocation bitmap records them. A cluster whose
// bitmap bit cannot be read is taken to be in use.
class ExfatFreeSpace final : public FreeSpaceMap {
  public:
    explicit ExfatFreeSpace(ExfatVolume& volume) : volume_(volume) {}
    std::uint64_t clusterCount() const override { return volume_.geometry.clusterCount; }
    std::uint64_t firstCluster() const override { return 2; }
    std::uint64_t clusterBytes() const override { return volume_.geometry.bytesPerCluster; }
    std::uint64_t clusterOffset(std::uint64_t cluster) const override {
        return volume_.geometry.clusterOffset(cluster);
    }

  protected:
    std::optional<ClusterRun> findFreeRun(std::uint64_t from, std::uint64_t atMost) override;

  private:
    ExfatVolume& volume_;
};

}  // namespace rekkon
