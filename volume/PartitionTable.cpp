#include "volume/PartitionTable.h"

namespace rekkon {

bool isVolumeFileSystemName(const std::string& fileSystemName) {
    return fileSystemName.find("FAT") != std::string::npos ||
           fileSystemName.find("NTFS") != std::string::npos;
}

}  // namespace rekkon

namespace rekkon {

std::optional<PartitionTable> findPartitions(SectorDevice& /*device*/) {
    return std::nullopt;
}

}  // namespace rekkon
