#include "fat/FatMount.h"

#include <array>
#include <bit>
#include <cstring>

#include "volume/LeReader.h"

namespace rekkon {

namespace {

bool typeIs(const LeReader& r, std::size_t offset, const char* text) {
    auto bytes = r.slice(offset, 4);
    return bytes && std::memcmp(bytes->data(), text, 4) == 0;
}

// Below this many clusters a FAT12/16 volume's table holds packed 12-bit entries.
constexpr std::uint32_t kFat12ClusterLimit = 4085;

}  // namespace

std::optional<FatBootInfo> parseFatBootSector(std::span<const std::uint8_t> sector) {
    const LeReader r(sector);
    if (r.u16(0x1FE).value_or(0) != 0xAA55) return std::nullopt;

    const std::uint16_t bytesPerSector = r.u16(0x0B).value_or(0);
    if (bytesPerSector != 512 && bytesPerSector != 1024 && bytesPerSector != 2048 &&
        bytesPerSector != 4096)
        return std::nullopt;
    const std::uint32_t scale = bytesPerSector / kSectorSize;  // volume sectors -> 512-byte units
    const std::uint8_t secPerClus = r.u8(0x0D).value_or(0);
    if (secPerClus == 0 || !std::has_single_bit(secPerClus)) return std::nullopt;

    FatBootInfo info;
    FatGeometry& g = info.geometry;
    g.bytesPerSector = bytesPerSector;
    g.sectorsPerCluster = std::uint32_t{secPerClus} * scale;
    g.reservedSectors = std::uint64_t{r.u16(0x0E).value_or(0)} * scale;
    g.fatCount = r.u8(0x10).value_or(0);

    if (typeIs(r, 0x36, "FAT1")) {
        info.kind = FileSystemKind::Fat12Or16;
        const std::uint16_t total16 = r.u16(0x13).value_or(0);
        g.totalSectors = (total16 != 0 ? total16 : r.u32(0x20).value_or(0)) * std::uint64_t{scale};
        g.rootEntryCount = r.u16(0x11).value_or(0);
        // The fixed root area holds 32-byte entries; count it in 512-byte sectors.
        const std::uint64_t rootBytes = std::uint64_t{g.rootEntryCount} * 32;
        const std::uint64_t rootVolumeSectors = (rootBytes + bytesPerSector - 1) / bytesPerSector;
        g.rootDirSectors = static_cast<std::uint32_t>(rootVolumeSectors * scale);
        g.sectorsPerFat = std::uint64_t{r.u16(0x16).value_or(0)} * scale;
        g.rootCluster = 1;
        g.firstDataSector = g.fatCount * g.sectorsPerFat + g.rootDirSectors + g.reservedSectors;
        g.fatBits = 16;
        if (g.clusterCount() < kFat12ClusterLimit) g.fatBits = 12;
    } else if (typeIs(r, 0x52, "FAT3")) {
        info.kind = FileSystemKind::Fat32;
        g.totalSectors = std::uint64_t{r.u32(0x20).value_or(0)} * scale;
        g.sectorsPerFat = std::uint64_t{r.u32(0x24).value_or(0)} * scale;
        g.firstDataSector = g.fatCount * g.sectorsPerFat + g.reservedSectors;
        g.rootCluster = r.u32(0x2C).value_or(0);
        g.fatBits = 32;
    } else {
        return std::nullopt;
    }
    return info;
}

int mountFatOnOpenDevice(VolumeContext& volume, FatGeometry& geometry) {
    geometry = FatGeometry{};
    volume.kind = FileSystemKind::None;
    std::array<std::uint8_t, kSectorSize> boot{};
    bool read = false;
    for (int attempt = 0; attempt < 5 && !read; ++attempt)
        read = volume.reader.readAt(0, 0, boot) == boot.size();
    std::optional<FatBootInfo> info;
    if (read) info = parseFatBootSector(boot);
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
