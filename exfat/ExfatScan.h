#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>

#include "exfat/ExfatEntries.h"
#include "exfat/ExfatFolder.h"
#include "exfat/ExfatVolume.h"

namespace rekkon {

// Folder levels below the root a scan enters at most.
inline constexpr int kMaxExfatDepth = 1024;

// One deleted file an exFAT scan found.
struct ExfatFoundFile {
    ExfatEntrySet set;
    std::string name;    // UTF-8
    std::string folder;  // UTF-8 path of its folder ("\" the root)
    // Where its entry set lies: its folder's first cluster << 23 | the file entry's index there.
    std::uint64_t slot = 0;
    std::uint8_t status = 0;  // 0 "Poor", 255 "Good", else a percentage
};
using ExfatFoundSink = std::function<void(ExfatFoundFile)>;

// The start of an entry set that a deleted folder's readable clusters end in the middle of: the
// rest may lie in a free cluster the lost-folder search finds.
struct ExfatCutSet {
    std::vector<std::uint8_t> start;  // the set's entries read so far
    std::string folder;               // its folder's path
    std::uint32_t folderCluster = 0;
    std::uint64_t index = 0;  // of its file entry in the folder
};

struct ExfatScanStats {
    std::uint64_t foldersNotEntered = 0;  // deeper than the limit
    bool cancelled = false;
    std::vector<ExfatCutSet> cutSets;  // at most kMaxExfatCutSets
};
inline constexpr std::size_t kMaxExfatCutSets = 4096;

// Walks every folder reachable from the root, deleted folders included, handing each deleted
// file whose entry set is plausible to `found` (those whose set checksum fails with the estimate
// "Poor": their names may be damaged). `cancelled`, when given, is asked between entries.
// `folderClusters`, when given, receives every folder cluster the walk read; `entered`, when
// given, the path of every folder as the walk enters it.
ExfatScanStats scanExfat(ExfatVolume& volume, const ExfatFoundSink& found,
                         const std::function<bool()>& cancelled = {},
                         std::unordered_set<std::uint32_t>* folderClusters = nullptr,
                         const std::function<void(const std::string&)>& entered = {});

// One live subfolder of a folder.
struct ExfatLiveFolder {
    std::string name;  // UTF-8
    ExfatFolderPlace place;
};
// The live subfolders of the folder at `place`, in the order of their entries (at most
// kMaxExfatListedFolders).
inline constexpr std::size_t kMaxExfatListedFolders = 65536;
std::vector<ExfatLiveFolder> listExfatFolders(ExfatVolume& volume, const ExfatFolderPlace& place);

// The estimate of a deleted file's data: the share of the clusters it would take (contiguous
// from its first, or its chain where the FAT still holds one of free clusters) that the bitmap
// shows free; 255 when all are, 0 when none are or the clusters leave the heap.
std::uint8_t estimateExfatFile(ExfatVolume& volume, const ExfatEntrySet& set);

// Where a deleted file's data lies: its run when it had no chain; its chain when the FAT still
// holds one for its size through free clusters; else the clusters from its first on. Empty when
// it has no data or its first cluster is not in the heap; cut at the heap's end.
std::vector<ExfatRun> exfatDataRuns(ExfatVolume& volume, std::uint32_t firstCluster,
                                    std::uint64_t dataLength, bool noFatChain);

}  // namespace rekkon
