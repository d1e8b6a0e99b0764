#include "fat/FatMount.h"

#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "fat/FatLabel.h"
#include "volume/LeReader.h"

namespace rekkon {

namespace {

// The cluster counts that tell the table formats apart: below the first a volume has 12-bit
// entries, below the second 16-bit ones. The type text in the boot sector is not needed (and
// not trusted): the layout and the cluster count decide.
constexpr std::uint32_t kFat12ClusterLimit = 4085;
// Where a FAT32 volume keeps the copy of its boot sector, in its own sectors, when the boot
// sector cannot tell.
constexpr std::uint64_t kBackupBootSector = 6;
constexpr int kBootReadAttempts = 5;
// Where the extended boot signature lies (FAT12/16, FAT32); the 11-byte label field begins 5
// bytes after it, past the volume serial number.
constexpr std::size_t kFatExtendedBoot = 0x26;
constexpr std::size_t kFat32ExtendedBoot = 0x42;
constexpr std::uint8_t kExtendedBootSignature = 0x29;
constexpr std::size_t kLabelAfterSignature = 5;
constexpr std::size_t kLabelBytes = 11;

bool typeIs(const LeReader& r, std::size_t offset, const char* text) {
    auto bytes = r.slice(offset, 4);
    return bytes && std::memcmp(bytes->data(), text, 4) == 0;
}

bool validSectorSize(std::uint16_t bytes) {
    return bytes == 512 || bytes == 1024 || bytes == 2048 || bytes == 4096;
}

}  // namespace

std::optional<FatBootInfo> parseFatBootSector(std::span<const std::uint8_t> sector) {
    const LeReader r(sector);
    if (r.u16(0x1FE).value_or(0) != 0xAA55) return std::nullopt;

    const std::uint16_t bytesPerSector = r.u16(0x0B).value_or(0);
    if (!validSectorSize(bytesPerSector)) return std::nullopt;
    const std::uint32_t scale = bytesPerSector / kSectorSize;  // volume sectors -> 512-byte units
    const std::uint8_t secPerClus = r.u8(0x0D).value_or(0);
    if (secPerClus == 0 || !std::has_single_bit(secPerClus)) return std::nullopt;
    const std::uint16_t reserved = r.u16(0x0E).value_or(0);
    const std::uint8_t fatCount = r.u8(0x10).value_or(0);
    if (reserved == 0 || fatCount == 0) return std::nullopt;

    const std::uint16_t rootEntries = r.u16(0x11).value_or(0);
    const std::uint16_t total16 = r.u16(0x13).value_or(0);
    const std::uint32_t total32 = r.u32(0x20).value_or(0);
    const std::uint16_t fatSize16 = r.u16(0x16).value_or(0);
    // FAT32 has no 16-bit table size and no fixed root area; a FAT32 type text vouches for a
    // damaged root entry count.
    const bool fat32 = fatSize16 == 0 && (rootEntries == 0 || typeIs(r, 0x52, "FAT3"));

    FatBootInfo info;
    FatGeometry& g = info.geometry;
    g.bytesPerSector = bytesPerSector;
    g.sectorsPerCluster = std::uint32_t{secPerClus} * scale;
    g.reservedSectors = std::uint64_t{reserved} * scale;
    g.fatCount = fatCount;
    if (fat32) {
        info.kind = FileSystemKind::Fat32;
        g.totalSectors = std::uint64_t{total32 != 0 ? total32 : total16} * scale;
        g.sectorsPerFat = std::uint64_t{r.u32(0x24).value_or(0)} * scale;
        g.rootCluster = r.u32(0x2C).value_or(0);
        g.fatBits = 32;
    } else {
        info.kind = FileSystemKind::Fat12Or16;
        g.totalSectors = std::uint64_t{total16 != 0 ? total16 : total32} * scale;
        g.rootEntryCount = rootEntries;
        // The fixed root area holds 32-byte entries; count it in 512-byte sectors.
        const std::uint64_t rootBytes = std::uint64_t{g.rootEntryCount} * 32;
        const std::uint64_t rootVolumeSectors = (rootBytes + bytesPerSector - 1) / bytesPerSector;
        g.rootDirSectors = static_cast<std::uint32_t>(rootVolumeSectors * scale);
        g.sectorsPerFat = std::uint64_t{fatSize16} * scale;
        g.rootCluster = 1;
    }
    if (g.sectorsPerFat == 0) return std::nullopt;
    // The label field follows the extended boot signature 0x29; without it those bytes are code.
    const std::size_t extended = fat32 ? kFat32ExtendedBoot : kFatExtendedBoot;
    if (r.u8(extended).value_or(0) == kExtendedBootSignature)
        if (const auto field = r.slice(extended + kLabelAfterSignature, kLabelBytes))
            g.bootLabel = fatLabelText(*field);
    g.firstDataSector = g.fatCount * g.sectorsPerFat + g.rootDirSectors + g.reservedSectors;
    // A data area that starts past the volume's end leaves no cluster at all.
    if (g.clusterCount() == 0) return std::nullopt;
    if (!fat32) g.fatBits = g.clusterCount() < kFat12ClusterLimit ? 12 : 16;
    return info;
}

namespace {

std::optional<FatBootInfo> readBootSector(VolumeContext& volume, std::uint64_t byteOffset,
                                          int attempts,
                                          std::array<std::uint8_t, kSectorSize>& boot) {
    for (int attempt = 0; attempt < attempts; ++attempt)
        if (volume.reader.readAt(0, byteOffset, boot) == boot.size())
            return parseFatBootSector(boot);
    return std::nullopt;
}

// The FAT32 copy of the boot sector: where the damaged boot sector says it is, when it still
// tells the sector size and the copy's sector, else at sector 6 of each sector size.
std::optional<FatBootInfo> readBackupBootSector(VolumeContext& volume,
                                                std::span<const std::uint8_t> primary) {
    struct Place {
        std::uint64_t byteOffset;
        bool named;  // named by the damaged boot sector itself
    };
    std::vector<Place> places;
    const LeReader r(primary);
    const std::uint16_t primarySize = r.u16(0x0B).value_or(0);
    const std::uint16_t namedSector = r.u16(0x32).value_or(0);
    if (validSectorSize(primarySize) && namedSector != 0 && namedSector != 0xFFFF)
        places.push_back({std::uint64_t{namedSector} * primarySize, true});
    for (std::uint64_t size = 512; size <= 4096; size *= 2)
        places.push_back({kBackupBootSector * size, false});
    std::array<std::uint8_t, kSectorSize> copy{};
    for (const Place& place : places) {
        auto info = readBootSector(volume, place.byteOffset, 1, copy);
        if (!info || info->kind != FileSystemKind::Fat32) continue;
        // A copy found at sector 6 must be sector 6 in its own sector size.
        if (!place.named && place.byteOffset != kBackupBootSector * info->geometry.bytesPerSector)
            continue;
        return info;
    }
    return std::nullopt;
}

}  // namespace

int mountFatOnOpenDevice(VolumeContext& volume, FatGeometry& geometry) {
    geometry = FatGeometry{};
    volume.kind = FileSystemKind::None;
    std::array<std::uint8_t, kSectorSize> boot{};
    std::optional<FatBootInfo> info = readBootSector(volume, 0, kBootReadAttempts, boot);
    if (!info) info = readBackupBootSector(volume, boot);
    if (!info) {
        closeDevice(volume);
        return 0;
    }
    volume.kind = info->kind;
    volume.bytesPerCluster = info->geometry.clusterBytes();
    geometry = info->geometry;
    return 1;
}

int mountFat(VolumeContext& volume, FatGeometry& geometry, const std::string& path) {
    geometry = FatGeometry{};
    if (openDevice(volume, path) != 0) return 0;
    return mountFatOnOpenDevice(volume, geometry);
}

}  // namespace rekkon
