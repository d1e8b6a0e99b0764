#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "volume/FileSystemNames.h"
#include "volume/PartitionTable.h"
#include "volume/SectorDevice.h"

namespace rekkon {

// Links of an extended partition's chain followed at most (each link names one logical
// partition); a chain that loops back is cut where it does.
inline constexpr int kMaxExtendedLinks = 256;
// GPT partition entries read at most, and the largest entry size accepted.
inline constexpr std::uint32_t kMaxGptEntries = 1024;
inline constexpr std::uint32_t kMaxGptEntryBytes = 4096;

// The partition table of the whole-disk source `device`, read sector by sector (for sources
// without a descriptor, which libblkid cannot read): an MBR with its primary partitions and the
// logical ones of its extended partition (numbered 5, 6, ... as Linux numbers them), or a GPT
// with 512- or 4096-byte logical sectors (numbered by entry + 1) whose header and entries pass
// their CRC32s. Tries the device's own logical sector size, else 512 then 4096. nullopt when it
// holds none: a FAT or NTFS boot sector at sector 0 is a bare volume. A partition that starts
// past the end of a source of known size is left out; one that runs past it is cut to it. Each
// partition's file system is named from its first sector ("FAT12", "FAT16", "FAT32", "NTFS").
std::optional<PartitionTable> readPartitionTable(SectorDevice& device);

}  // namespace rekkon
