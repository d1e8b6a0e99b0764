#include "volume/SectorPartitionTable.h"

#include <algorithm>
#include <vector>

#include "volume/DiskTables.h"
#include "volume/LeReader.h"
#include "volume/SectorBytes.h"

namespace rekkon {

namespace {

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
            p.fileSystem = bootSectorFileSystemName(*boot);
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
