#pragma once

#include <cstdint>
#include <optional>

#include "ntfs/ClusterBitmap.h"
#include "volume/FreeSpaceMap.h"

namespace rekkon {

struct NtfsVolume;

// The free clusters of an NTFS volume: those whose bit in $Bitmap is clear. Clusters are numbered
// from 0 (the boot sector's) up to the volume's last inside the source. Clusters the bitmap does
// not cover (a $Bitmap cut short, or none that can be opened) and those in parts of it that cannot
// be read are not known to be free. The bitmap is read a page at a time and at most
// ClusterBitmap::kMaxPages pages are held.
class NtfsFreeSpace final : public FreeSpaceMap {
  public:
    explicit NtfsFreeSpace(NtfsVolume& volume);

    std::uint64_t clusterCount() const override { return clusters_; }
    std::uint64_t firstCluster() const override { return 0; }
    std::uint64_t clusterBytes() const override { return clusterBytes_; }
    std::uint64_t clusterOffset(std::uint64_t cluster) const override {
        return cluster * clusterBytes_;
    }

    // Whether there is a $Bitmap to read at all; without one no cluster is known to be free.
    bool hasBitmap() const { return bitmap_.clusters() != 0; }

  protected:
    std::optional<ClusterRun> findFreeRun(std::uint64_t from, std::uint64_t atMost) override;

  private:
    ClusterBitmap bitmap_;
    std::uint64_t clusterBytes_ = 0;
    std::uint64_t clusters_ = 0;
};

}  // namespace rekkon
