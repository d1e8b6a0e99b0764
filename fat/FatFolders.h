#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fat/FatGeometry.h"

namespace rekkon {

// One live subfolder of a FAT folder.
struct FatFolder {
    std::string shortName;  // the 8.3 name, UTF-8: what a scan target names the folder by
    std::string longName;   // the long name when there is one, else the 8.3 name
    std::uint32_t cluster = 0;
};

// The live subfolders ("." and ".." left out) of the folder at `folderCluster` (1: the FAT12/16
// root area), in the order of their entries; empty when the folder cannot be read.
std::vector<FatFolder> listLiveFolders(FatVolume& fat, std::uint32_t folderCluster);

}  // namespace rekkon
