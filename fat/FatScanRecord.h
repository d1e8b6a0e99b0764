#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace rekkon {

// One folder a FAT scan walked.
struct ScannedFolder {
    std::uint32_t cluster = 0;        // its first cluster (1: the FAT12/16 fixed root area)
    bool deleted = false;             // read from free clusters (FreeClusterWalk), not a live chain
    std::uint64_t examinedBytes = 0;  // how far the walk read its entries
    std::string path;                 // as the scan shows it ("\" the root)
};

// What a FAT scan leaves for a search of free space that follows it: the folders it walked and
// every file it handed out, by first cluster and name.
struct FatScanRecord {
    std::vector<ScannedFolder> folders;
    std::set<std::pair<std::uint32_t, std::string>> listed;
};

}  // namespace rekkon
