#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "volume/FileSystemNames.h"
#include "volume/SectorDevice.h"

namespace rekkon {

// One partition of a disk's table.
struct PartitionInfo {
    int number = 0;            // as Linux numbers it: 1-4 primary, 5 on logical; GPT entry + 1
    std::uint64_t offset = 0;  // bytes from the start of the disk
    std::uint64_t length = 0;  // bytes
    std::string type;          // MBR type ("0x0c") or GPT type GUID (lower case)
    std::string fileSystem;    // the platform's name of what it holds ("FAT32", "NTFS"); or empty
    std::string label;         // that file system's label; or empty
    bool extended = false;     // a DOS extended partition: the container of the logical ones
};

// A disk's partition table.
struct PartitionTable {
    std::string scheme;                     // "dos" or "gpt"
    std::uint32_t sectorSize = 512;         // the logical sector size the table was found with
    std::vector<PartitionInfo> partitions;  // in table order
};

// The partition table of the whole-disk source `device`; nullopt when it holds none (a bare
// volume, or nothing known). Tries the device's own logical sector size, else 512 then 4096.
std::optional<PartitionTable> findPartitions(SectorDevice& device);

}  // namespace rekkon
