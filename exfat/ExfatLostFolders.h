#pragma once

#include <cstdint>
#include <functional>
#include <unordered_set>

#include "exfat/ExfatScan.h"

namespace rekkon {

inline constexpr std::string_view kExfatLostFolderOrigin = "exfat-lost-folder";
// Files the search keeps at most: a hostile volume can make every free cluster read as a folder.
inline constexpr std::size_t kMaxExfatLostFiles = std::size_t{1} << 18;

struct ExfatLostStats {
    std::uint64_t clustersExamined = 0;
    std::uint64_t folderClusters = 0;
    std::uint64_t filesLeftOut = 0;  // past kMaxExfatLostFiles
    bool cancelled = false;
    bool searched = false;  // every free cluster was read (a bitmap to tell them, not cancelled)
};

// Searches every free cluster the walk did not read (`walked`: the folder clusters it read) for
// folder content, and hands each file entry set found there whose set checksum and name hash
// verify to `found`, its folder "<lost folder CLUSTER>", or the path a folder entry set found in
// another lost cluster gives that cluster (the folder's name under its parent's path), after the
// whole search. A cluster that starts with the rest of one of `cutSets` (the set's checksum and
// name hash verify across the two) continues that set's folder: its sets get that folder's path.
// `progress` gets (clusters done, total). Each free cluster read is handed to `visit` too, where
// given, with its byte offset on the volume (no bytes: it could not be read).
ExfatLostStats findExfatLostFolders(
    ExfatVolume& volume, const std::unordered_set<std::uint32_t>& walked,
    std::vector<ExfatCutSet> cutSets, const ExfatFoundSink& found,
    const std::function<void(std::uint64_t, std::uint64_t)>& progress,
    const std::function<bool()>& cancelled,
    const std::function<void(std::uint64_t, std::span<const std::uint8_t>)>* visit = nullptr);

}  // namespace rekkon
