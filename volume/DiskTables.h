#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "volume/PartitionTable.h"
#include "volume/SectorDevice.h"

namespace rekkon {

// The pieces of readPartitionTable, one per scheme. Partitions come back as the table has them
// (offsets and lengths in bytes, neither checked against the device's size nor named).

// The GPT of a disk with `sectorSize`-byte logical sectors: the header at LBA 1 and its entry
// array, each passing its CRC32; nullopt when either is missing or fails a check.
std::optional<PartitionTable> readGpt(SectorDevice& device, std::uint32_t sectorSize);

// Whether the MBR `sector0` holds a GPT's protective partition (type 0xEE).
bool hasProtectiveMbr(std::span<const std::uint8_t> sector0);

// The MBR partitions of `sector0` (which carries the 0x55AA signature), with the logical
// partitions of each extended one; nullopt when a boot flag is other than 0x00 or 0x80.
std::optional<PartitionTable> readMbr(SectorDevice& device, std::span<const std::uint8_t> sector0,
                                      std::uint32_t sectorSize);

}  // namespace rekkon
