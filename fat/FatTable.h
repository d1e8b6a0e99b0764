#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "fat/FatGeometry.h"

namespace rekkon {

// Normalised table values: 0 free, 2..maxCluster the next cluster, >= kFatEndOfChain the end of
// a chain, a bad or reserved cluster, a value past the last cluster, or a lookup that failed.
inline constexpr std::uint32_t kFatEndOfChain = 0xFFFFFFF0;
inline constexpr std::uint32_t kFatLastCluster = 0xFFFFFFFF;
inline constexpr std::uint32_t kFatBadCluster = 0xFFFFFFF7;

inline bool isEndOfChain(std::uint32_t value) {
    return value >= kFatEndOfChain;
}

// Table entries read a window at a time, for walks that look at many neighbouring entries.
class FatTableWindow {
  public:
    // Bytes of table held at once.
    static constexpr std::size_t kWindowBytes = 4096;

    explicit FatTableWindow(FatVolume& fat)
        : fat_(fat), window_(kWindowBytes), maxCluster_(fat.geometry.maxCluster()) {}
    // The first FAT copy's entry for `cluster` (12-, 16- or 32-bit entries), normalised.
    std::uint32_t entry(std::uint32_t cluster);
    // Whether the last entry() could not read the table (it then gave kFatEndOfChain).
    bool unreadable() const { return unreadable_; }
    // The first free cluster of from..to, or 0 when there is none before the table becomes
    // unreadable: what lies past an unreadable part of the table is not known to be free.
    std::uint32_t nextFree(std::uint32_t from, std::uint32_t to);
    // How many of from..to are free, counting up to the first unreadable part of the table.
    std::uint64_t countFree(std::uint32_t from, std::uint32_t to);
    // Gives back the window's memory until the next lookup (a walk set aside for a while).
    void release() {
        std::vector<std::uint8_t>().swap(window_);
        valid_ = 0;
    }

  private:
    bool load(std::uint64_t byte, std::size_t width);

    FatVolume& fat_;
    std::vector<std::uint8_t> window_;
    // The volume's last cluster, asked at every entry: worked out once (it divides).
    std::uint32_t maxCluster_;
    std::uint64_t start_ = 0;  // table byte offset of window_[0]
    std::size_t valid_ = 0;    // bytes of window_ that hold table bytes
    bool unreadable_ = false;
};

// A live cluster chain followed one link at a time. Each cluster is visited at most once, so a
// chain that leads back into itself ends where it would repeat.
class ClusterChain {
  public:
    ClusterChain(FatVolume& fat, std::uint32_t startCluster);

    // The cluster of the current member; 0 once the chain has ended.
    std::uint32_t current() const { return current_; }
    // Moves to member `index` (counting from 0); a step back starts over from the first
    // cluster. False when the chain ends before it.
    bool seek(std::uint64_t index);
    // Gives back the table window's memory until the next step.
    void release() { table_.release(); }
    // After the chain ended because the table calls its last member free (which a member of a
    // live chain cannot be: the table is damaged), that member and its index; 0 otherwise.
    std::uint32_t freeEnd() const { return freeEnd_; }
    std::uint64_t freeEndIndex() const { return freeEndIndex_; }

  private:
    void restart();
    // Marks `cluster` visited; false when it already was.
    bool visit(std::uint32_t cluster);

    // Visited clusters, a bitmap page per 4 Ki clusters, made only for pages a chain touches
    // (small, since a folder walk keeps one chain open for every level it is deep).
    static constexpr std::uint32_t kPageClusters = 4096;
    using Page = std::array<std::uint64_t, kPageClusters / 64>;

    FatVolume& fat_;
    FatTableWindow table_;
    std::uint32_t start_;
    std::uint32_t current_ = 0;
    std::uint64_t index_ = 0;
    std::uint32_t freeEnd_ = 0;
    std::uint64_t freeEndIndex_ = 0;
    std::unordered_map<std::uint32_t, std::unique_ptr<Page>> visited_;
};

// Reads a live chain (or the FAT12/16 fixed root area, cluster 1) as a byte stream. Keeps its
// place, so reading on from where the last read ended follows one more link, not the whole
// chain again.
class ChainReader {
  public:
    ChainReader(FatVolume& fat, std::uint32_t startCluster)
        : fat_(fat), start_(startCluster), chain_(fat, startCluster) {}

    // Reads dest.size() bytes at `offset` of the chain (reads of the root area end at the
    // area's end). Returns the bytes delivered; fewer when the chain ends or a read fails.
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> dest);
    // Gives back the table window's memory until the next read.
    void release() { chain_.release(); }
    // The chain's member that the table calls free, where the chain ended on one
    // (ClusterChain::freeEnd), and its index in the chain.
    std::uint32_t freeEnd() const { return chain_.freeEnd(); }
    std::uint64_t freeEndIndex() const { return chain_.freeEndIndex(); }

  private:
    FatVolume& fat_;
    std::uint32_t start_;
    ClusterChain chain_;
};

// The cluster sequence a deleted item is taken to occupy: its start cluster, then each free
// cluster above the one before. Keeps its place, so reading an item piece after piece with
// growing offsets steps forward through the table instead of starting over each time. The
// sequence ends at the volume's last cluster and where the table cannot be read.
class FreeClusterWalk {
  public:
    FreeClusterWalk(FatVolume& fat, std::uint32_t startCluster);

    // Reads dest.size() bytes at byte `offset` of the item; returns the bytes delivered, fewer
    // when the sequence ends or a read fails.
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> dest);
    // The member cluster that holds byte `offset` of the item; nullopt past the sequence's end.
    std::optional<std::uint32_t> clusterAt(std::uint64_t offset);
    // Gives back the table window's memory until the next read.
    void release() { table_.release(); }

  private:
    // Moves to sequence member `index`; false when the sequence ends before it.
    bool seekMember(std::uint64_t index);

    FatVolume& fat_;
    FatTableWindow table_;
    std::uint32_t start_;
    std::uint64_t memberIndex_ = 0;
    std::uint32_t member_;  // 0: the sequence has ended
};

}  // namespace rekkon
