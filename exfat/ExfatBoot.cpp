#include "exfat/ExfatBoot.h"

#include <algorithm>
#include <string_view>

#include "volume/LeReader.h"

namespace rekkon {

bool hasExfatSignature(std::span<const std::uint8_t> sector) {
    static constexpr std::string_view kName = "EXFAT   ";
    return sector.size() >= 3 + kName.size() &&
           std::equal(kName.begin(), kName.end(), sector.begin() + 3);
}

std::optional<ExfatGeometry> parseExfatBootSector(std::span<const std::uint8_t> sector) {
    if (sector.size() < 512 || !hasExfatSignature(sector)) return std::nullopt;
    const LeReader r(sector);
    if (r.u16(510).value_or(0) != 0xAA55) return std::nullopt;
    // Where FAT keeps its parameter block, exFAT must hold zeros.
    if (std::any_of(sector.begin() + 11, sector.begin() + 64, [](std::uint8_t b) { return b; }))
        return std::nullopt;
    const int sectorShift = r.u8(108).value_or(0);
    const int clusterShift = r.u8(109).value_or(0);
    if (sectorShift < kMinSectorShift || sectorShift > kMaxSectorShift ||
        sectorShift + clusterShift > kMaxClusterShift)
        return std::nullopt;
    ExfatGeometry g;
    g.bytesPerSector = 1u << sectorShift;
    g.bytesPerCluster = std::uint64_t{1} << (sectorShift + clusterShift);
    const std::uint64_t volumeSectors = r.u64(72).value_or(0);
    const std::uint64_t fatSectors = r.u32(80).value_or(0);
    const std::uint64_t fatLength = r.u32(84).value_or(0);
    const std::uint64_t heapSector = r.u32(88).value_or(0);
    g.clusterCount = r.u32(92).value_or(0);
    g.rootCluster = r.u32(96).value_or(0);
    g.serialNumber = r.u32(100).value_or(0);
    g.revision = r.u16(104).value_or(0);
    g.volumeFlags = r.u16(106).value_or(0);
    g.fatCount = r.u8(110).value_or(0);
    if (g.fatCount != 1 && g.fatCount != 2) return std::nullopt;
    // Sector counts below 2^57 keep every byte offset below 2^64.
    if (volumeSectors == 0 || volumeSectors >> (64 - kMaxSectorShift - 1) != 0) return std::nullopt;
    g.volumeBytes = volumeSectors << sectorShift;
    g.fatOffset = fatSectors << sectorShift;
    g.fatBytes = fatLength << sectorShift;
    g.heapOffset = heapSector << sectorShift;
    if (fatSectors < 24 || fatLength == 0 || g.clusterCount == 0 || g.clusterCount > 0xFFFFFFF5u)
        return std::nullopt;
    // The FATs, then the cluster heap, inside the volume; each FAT holds an entry per cluster.
    if (fatSectors + fatLength * g.fatCount > heapSector || heapSector >= volumeSectors)
        return std::nullopt;
    if (g.fatBytes / 4 < std::uint64_t{g.clusterCount} + 2) return std::nullopt;
    if ((g.volumeBytes - g.heapOffset) / g.bytesPerCluster < g.clusterCount) return std::nullopt;
    if (!g.isCluster(g.rootCluster)) return std::nullopt;
    return g;
}

std::uint32_t exfatBootChecksum(std::span<const std::uint8_t> region) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < region.size(); ++i) {
        if (i == 106 || i == 107 || i == 112) continue;
        sum = ((sum & 1) != 0 ? 0x80000000u : 0) + (sum >> 1) + region[i];
    }
    return sum;
}

}  // namespace rekkon
