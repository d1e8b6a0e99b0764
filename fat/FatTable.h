#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "fat/FatGeometry.h"

namespace rekkon {

// Normalised table values: 0 free, 2..maxCluster the next cluster, >= kFatEndOfChain the end of
// a chain, a bad or reserved cluster, or a lookup that failed.
inline constexpr std::uint32_t kFatEndOfChain = 0xFFFFFFF0;
inline constexpr std::uint32_t kFatLastCluster = 0xFFFFFFFF;
inline constexpr std::uint32_t kFatBadCluster = 0xFFFFFFF7;

inline bool isEndOfChain(std::uint32_t value) {
    return value >= kFatEndOfChain;
}

// Looks up the first FAT copy's entry for `cluster` (12-, 16- or 32-bit entries).
std::uint32_t fatEntry(FatVolume& fat, std::uint32_t cluster);

// Reads dest.size() bytes at `offset` of the live chain that starts at `startCluster` (cluster 1
// on FAT12/16 is the fixed root area, and reads of it end at the area's end). Returns the bytes
// delivered; fewer than asked when the chain (or area) ends or a read fails.
std::size_t readClusterChain(FatVolume& fat, std::uint32_t startCluster, std::uint64_t offset,
                             std::span<std::uint8_t> dest);

// Table entries read a block at a time, for walks that look at many neighbouring entries.
class FatTableWindow {
  public:
    explicit FatTableWindow(FatVolume& fat) : fat_(fat), window_(4096) {}
    // The same value fatEntry gives.
    std::uint32_t entry(std::uint32_t cluster);

  private:
    FatVolume& fat_;
    std::vector<std::uint8_t> window_;
    std::uint64_t start_ = 0;  // table byte offset of window_[0]
    std::size_t valid_ = 0;    // bytes of window_ that hold table bytes
};

// The cluster sequence a deleted item is taken to occupy: its start cluster, then each free
// cluster above the one before. Keeps its place, so reading an item piece after piece with
// growing offsets steps forward through the table instead of starting over each time.
class FreeClusterWalk {
  public:
    FreeClusterWalk(FatVolume& fat, std::uint32_t startCluster);

    // Reads dest.size() bytes at byte `offset` of the item; returns the bytes delivered, fewer
    // when the volume's last cluster is passed or a read fails.
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> dest);

  private:
    // Moves to sequence member `index`; false when the sequence ends before it.
    bool seekMember(std::uint64_t index);
    // The next free cluster above `cluster`, or 0 when none is left on the volume.
    std::uint32_t nextFree(std::uint32_t cluster);

    FatVolume& fat_;
    FatTableWindow table_;
    std::uint32_t start_;
    std::uint64_t memberIndex_ = 0;
    std::uint32_t member_;  // 0: the sequence has ended
};

// Reads dest.size() bytes at `offset` of the deleted item that starts at `startCluster`.
std::size_t readFreeClusters(FatVolume& fat, std::uint32_t startCluster, std::uint64_t offset,
                             std::span<std::uint8_t> dest);

}  // namespace rekkon
