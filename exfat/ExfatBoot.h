#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace rekkon {

// What an exFAT boot sector says about its volume; all offsets in bytes from the volume's start.
struct ExfatGeometry {
    std::uint32_t bytesPerSector = 0;   // 512 to 4096
    std::uint64_t bytesPerCluster = 0;  // up to 32 MiB
    std::uint64_t volumeBytes = 0;
    std::uint64_t fatOffset = 0;
    std::uint64_t fatBytes = 0;
    std::uint64_t heapOffset = 0;    // cluster 2 starts here
    std::uint32_t clusterCount = 0;  // clusters 2 .. clusterCount + 1
    std::uint32_t rootCluster = 0;
    std::uint32_t serialNumber = 0;
    std::uint16_t revision = 0;
    std::uint8_t fatCount = 0;
    std::uint16_t volumeFlags = 0;
    bool usedBackupBootRegion = false;  // the main boot region was damaged

    std::uint32_t lastCluster() const { return clusterCount + 1; }
    bool isCluster(std::uint64_t cluster) const { return cluster >= 2 && cluster <= lastCluster(); }
    std::uint64_t clusterOffset(std::uint64_t cluster) const {
        return heapOffset + (cluster - 2) * bytesPerCluster;
    }
};

// The shifts exFAT allows: sectors of 2^9 to 2^12 bytes, clusters of at most 2^25 bytes.
inline constexpr int kMinSectorShift = 9;
inline constexpr int kMaxSectorShift = 12;
inline constexpr int kMaxClusterShift = 25;

// Whether `sector` carries exFAT's name ("EXFAT   " at offset 3).
bool hasExfatSignature(std::span<const std::uint8_t> sector);

// Decodes a main (or backup) boot sector: nullopt unless it carries the name, the 0xAA55
// signature, zeros where FAT keeps its parameter block, shifts in range, one or two FATs, and a
// FAT and cluster heap that lie inside the volume in that order with the root cluster among the
// clusters.
std::optional<ExfatGeometry> parseExfatBootSector(std::span<const std::uint8_t> sector);

// The boot checksum of a boot region's first 11 sectors (`region`, 11 × bytesPerSector bytes):
// every byte except the volume flags (106, 107) and the percent in use (112).
std::uint32_t exfatBootChecksum(std::span<const std::uint8_t> region);

}  // namespace rekkon
