#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "fat/FatGeometry.h"
#include "fat/FatScan.h"
#include "fat/FatScanRecord.h"
#include "volume/BulkReader.h"

namespace rekkon {

// One file found in a lost folder cluster.
struct LostFatFile {
    FatFoundFile file;  // folder: as far as known, "<lost folder CLUSTER>" where not
    std::optional<std::string> longName;  // where its long-name pieces survived and verify
};
using LostFatSink = std::function<void(LostFatFile)>;
// Clusters of the data area looked at so far, of `total`.
using LostFolderProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;
// Each free cluster read, with its byte offset on the volume (no bytes: it could not be read).
using FreeClusterVisitor =
    std::function<void(std::uint64_t offset, std::span<const std::uint8_t> bytes)>;

// The search keeps what each file found needs (its entry, its folder's cluster), and for each
// folder cluster found only what its path needs, never whole clusters: memory grows with what is
// found. A hostile volume can make every free cluster look like a folder; past this many files
// and as many folder names and parents, what is found is counted (entriesLeftOut), not kept.
inline constexpr std::size_t kMaxLostFolderEntries = std::size_t{1} << 18;

struct LostFolderStats {
    std::uint64_t freeClusters = 0;        // free clusters examined
    std::uint64_t folderClusters = 0;      // of them, those that hold folder entries
    std::uint64_t unreadableClusters = 0;  // free clusters that could not be read
    std::uint64_t entriesLeftOut = 0;      // files (and folder names) past the limit, not kept
    bool cancelled = false;  // stopped through its ScanCancel before the last read window
};

// The text of a folder path component that is not known: "<lost folder CLUSTER>".
std::string lostFolderName(std::uint32_t cluster);

// Searches every free cluster of the data area once, in disk order, for folder content the scan
// that made `record` did not reach, and hands each file found there that has a free first
// cluster and that the scan did not list (same first cluster and name) to `found`, once. A
// cluster that holds "." and ".." is a folder's first cluster and ".." names its parent; the
// folder is shown under its parent's path when that is known (a folder the scan walked, or
// another lost folder whose path is known) and named by a folder entry pointing at it, where one
// was found. Other parts of a path are "<lost folder CLUSTER>". No more than `maxEntries` files
// are kept (and as many folder names and parents); the rest are counted in entriesLeftOut.
// Free space is read through `bulk`, whose buffer a caller that searches again can keep; without
// one the search uses its own. Once `cancel` is requested no further window is read; what was
// found so far is handed out. Each free cluster read is handed to `visit` too, where given.
LostFolderStats findLostFolders(FatVolume& fat, const FatScanRecord& record,
                                const LostFatSink& found, const LostFolderProgress& progress = {},
                                std::size_t maxEntries = kMaxLostFolderEntries,
                                BulkReader* bulk = nullptr, const ScanCancel* cancel = nullptr,
                                const FreeClusterVisitor* visit = nullptr);

}  // namespace rekkon
