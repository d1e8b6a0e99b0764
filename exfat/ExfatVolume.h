#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "exfat/ExfatBoot.h"
#include "exfat/ExfatUpcase.h"
#include "volume/VolumeContext.h"

namespace rekkon {

// A run of clusters: `count` clusters from `first` on.
struct ExfatRun {
    std::uint32_t first = 0;
    std::uint64_t count = 0;
};

// The allocation bitmap (one bit per cluster from cluster 2 on, set when in use), read a page at
// a time as clusters are asked about; at most kMaxPages pages are held. Without a readable
// bitmap every cluster counts as in use.
class ExfatBitmap {
  public:
    static constexpr std::size_t kPageBytes = 4096;
    static constexpr std::size_t kMaxPages = 4096;  // 16 MiB

    ExfatBitmap(VolumeContext& volume, const ExfatGeometry& geometry, std::vector<ExfatRun> runs,
                std::uint64_t bytes);
    ExfatBitmap() = default;

    bool available() const { return bytes_ != 0; }
    // Whether `cluster` is free; false where the bitmap says in use or cannot be read.
    bool isFree(std::uint32_t cluster);
    // Of `count` clusters from `first` on, how many are free.
    std::uint64_t countFree(std::uint32_t first, std::uint64_t count);

  private:
    const std::vector<std::uint8_t>* page(std::uint64_t index);

    VolumeContext* volume_ = nullptr;
    ExfatGeometry geometry_;
    std::vector<ExfatRun> runs_;  // where the bitmap's bytes lie
    std::uint64_t bytes_ = 0;
    std::unordered_map<std::uint64_t, std::vector<std::uint8_t>> pages_;
};

// A mounted exFAT volume: its geometry and what its root folder names.
struct ExfatVolume {
    VolumeContext& volume;
    ExfatGeometry geometry;
    std::string label;  // UTF-8; empty when none
    std::uint32_t bitmapCluster = 0;
    std::uint64_t bitmapBytes = 0;
    std::uint32_t upcaseCluster = 0;
    std::uint64_t upcaseBytes = 0;
    std::uint32_t upcaseChecksum = 0;
    bool bitmapUnavailable = false;
    bool usedDefaultUpcase = false;
    ExfatBitmap bitmap;
    ExfatUpcase upcase;  // the volume's, else the built-in one (usedDefaultUpcase)

    explicit ExfatVolume(VolumeContext& v) : volume(v) {}

    // The FAT's entry for `cluster` (first FAT); nullopt when it cannot be read.
    std::optional<std::uint32_t> fatEntry(std::uint32_t cluster);
    // The chain from `first` as the FAT holds it, `maxClusters` clusters at most, as runs;
    // nullopt when it leaves the clusters, loops, or cannot be read before it ends.
    std::optional<std::vector<ExfatRun>> chain(std::uint32_t first, std::uint64_t maxClusters);
};

// Mounts the exFAT volume whose source is attached to `volume`: the main boot region, else the
// backup one (from sector 12), then the root folder's bitmap, up-case table and label entries.
std::unique_ptr<ExfatVolume> mountExfat(VolumeContext& volume);

}  // namespace rekkon
