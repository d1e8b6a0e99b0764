#include "volume/SectorPartitionTable.h"

#include <algorithm>
#include <vector>

#include "fat/FatMount.h"
#include "ntfs/NtfsMount.h"
#include "volume/DiskTables.h"
#include "volume/LeReader.h"
#include "volume/SectorBytes.h"

namespace rekkon {

bool isVolumeBootSector(std::span<const std::uint8_t> sector0) {
    if (hasNtfsSignature(sector0)) return true;
    const LeReader r(sector0);
    const std::uint8_t jump = r.u8(0).value_or(0);
    const bool jumps = (jump == 0xEB && r.u8(2).value_or(0) == 0x90) || jump == 0xE9;
    return jumps && parseFatBootSector(sector0).has_value();
}

namespace {

// The platform's name of the file system whose boot sector is `boot`; empty when it is
// neither FAT nor NTFS.
std::string fileSystemName(std::span<const std::uint8_t> boot) {
    if (hasNtfsSignature(boot)) return "NTFS";
    const auto fat = parseFatBootSector(boot);
    if (!fat) return {};
    switch (fat->geometry.fatBits) {
        case 12:
            return "FAT12";
        case 16:
            return "FAT16";
        case 32:
            return "FAT32";
        default:
            return "FAT";
    }
}

// Leaves out the partitions that start past the end of a source of known size, cuts those that
// run past it, and names what each holds.
PartitionTable finish(SectorDevice& device, PartitionTable table) {
    const std::optional<std::uint64_t> size = device.sizeBytes();
    if (size) {
        std::erase_if(table.partitions, [&](const PartitionInfo& p) { return p.offset >= *size; });
        for (PartitionInfo& p : table.partitions)
            p.length = std::min(p.length, *size - p.offset);
    }
    for (PartitionInfo& p : table.partitions) {
        if (p.length < kSectorSize) continue;
        if (const auto boot = readDeviceBytes(device, p.offset, kSectorSize))
            p.fileSystem = fileSystemName(*boot);
    }
    return table;
}

}  // namespace

std::optional<PartitionTable> readPartitionTable(SectorDevice& device) {
    std::vector<std::uint32_t> sectorSizes = {512, 4096};
    if (const auto own = device.logicalSectorSize()) sectorSizes = {*own};
    const auto sector0 = readDeviceBytes(device, 0, kSectorSize);
    if (!sector0 || LeReader(*sector0).u16(510).value_or(0) != 0xAA55) return std::nullopt;
    if (isVolumeBootSector(*sector0)) return std::nullopt;
    if (hasProtectiveMbr(*sector0)) {
        for (const std::uint32_t sectorSize : sectorSizes)
            if (auto gpt = readGpt(device, sectorSize)) return finish(device, std::move(*gpt));
        return std::nullopt;
    }
    if (auto mbr = readMbr(device, *sector0, sectorSizes.front()))
        return finish(device, std::move(*mbr));
    return std::nullopt;
}

}  // namespace rekkon
