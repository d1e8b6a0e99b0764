#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <unordered_set>
#include <vector>

#include "exfat/ExfatEntries.h"
#include "exfat/ExfatVolume.h"

namespace rekkon {

// The most bytes a folder holds (the format's limit: 2^23 entries).
inline constexpr std::uint64_t kExfatMaxFolderBytes = std::uint64_t{256} << 20;

// Whether the 32-byte entry's type is one a folder holds, in use or deleted (or its end).
bool isExfatFolderEntryType(std::uint8_t type);
// Whether a cluster's bytes read as folder content: every entry of a known type, and not all of
// them zero.
bool readsAsExfatFolder(std::span<const std::uint8_t> cluster);

// Where a folder's entries lie.
struct ExfatFolderPlace {
    std::uint32_t firstCluster = 0;
    std::uint64_t bytes = 0;  // as its stream entry says; 0 for the root (unknown)
    bool noFatChain = false;  // one contiguous run
    bool deleted = false;     // its entry is gone: the FAT no longer holds its chain
};

// Reads a folder's entries in order, a cluster at a time. A live folder follows its FAT chain
// (or its run when it has no chain); a deleted one its run when it had no chain, else its chain
// where the FAT still holds it, else the clusters from its first one on as long as each reads as
// folder content. Never more than kExfatMaxFolderBytes, nor outside the cluster heap.
class ExfatFolderReader {
  public:
    ExfatFolderReader(ExfatVolume& volume, const ExfatFolderPlace& place);

    // The next entry, or nullopt at the folder's end (or where it cannot be read further).
    const std::uint8_t* next();
    // The index of the entry next() gave last.
    std::uint64_t index() const { return index_ - 1; }
    // Whether a cluster of the folder could not be read.
    bool unreadable() const { return unreadable_; }
    // Adds each cluster read from now on to `clusters`.
    void recordClustersIn(std::unordered_set<std::uint32_t>* clusters) { record_ = clusters; }

  private:
    bool loadNext();
    std::optional<std::uint32_t> nextCluster();

    ExfatVolume& volume_;
    ExfatFolderPlace place_;
    std::uint64_t limit_ = 0;  // bytes
    bool followChain_ = false;
    bool checkContent_ = false;
    std::vector<std::uint8_t> cluster_;
    std::uint32_t current_ = 0;  // cluster held in cluster_ (0: none yet)
    std::uint64_t loaded_ = 0;   // clusters read so far
    std::size_t offset_ = 0;     // next entry's offset in cluster_
    std::uint64_t index_ = 0;
    bool ended_ = false;
    bool unreadable_ = false;
    std::unordered_set<std::uint32_t>* record_ = nullptr;
};

}  // namespace rekkon
