#include "recovery/SourceSelect.h"

#include <algorithm>
#include <string_view>

#include "volume/PartitionSectorDevice.h"
#include "volume/SectorBytes.h"
#include "volume/SectorPartitionTable.h"

namespace rekkon {

namespace {

const PartitionInfo* partitionNumbered(const PartitionTable& table, int number) {
    for (const PartitionInfo& p : table.partitions)
        if (p.number == number && !p.extended) return &p;
    return nullptr;
}

bool isVolumePartition(const PartitionInfo& p) {
    return !p.extended && isVolumeFileSystemName(p.fileSystem);
}

// A bare FAT, exFAT or NTFS volume whose boot sector libblkid does not accept (one damaged field is
// enough) is taken by it for a DOS table with nothing readable in it: when the table offers no
// FAT, exFAT or NTFS partition and sector 0 is a boot sector rekkon reads, the source is the volume
// (as it is when sector 0 names a file system rekkon knows but does not read, to say so).
bool isBareVolumeTakenForTable(SectorDevice& device, const PartitionTable& table) {
    if (std::any_of(table.partitions.begin(), table.partitions.end(), isVolumePartition))
        return false;
    const auto sector0 = readDeviceBytes(device, 0, kSectorSize);
    return sector0 && (isVolumeBootSector(*sector0) || !unreadFileSystemName(*sector0).empty());
}

void usePartition(SelectedSource& selected, const PartitionInfo& partition) {
    selected.device = std::make_unique<PartitionSectorDevice>(std::move(selected.device),
                                                              partition.offset, partition.length);
    selected.partition = partition.number;
    selected.fileSystemName = partition.fileSystem;
    selected.volumeOffset = partition.offset;
    selected.status = SourceStatus::Opened;
}

// selectSource without the look at what the chosen volume's boot sector names.
SelectedSource selectVolume(const std::string& path, const SourceChoice& choice,
                            const SourceOpener& open) {
    SelectedSource selected;
    selected.device = open(path, selected.error);
    if (!selected.device) {
        selected.status = SourceStatus::CannotOpen;
        return selected;
    }
    if (choice.offset) {
        // A volume at a known offset: no table is read, and a partition cannot be asked for too.
        const std::uint64_t offset = *choice.offset;
        const std::optional<std::uint64_t> size = selected.device->sizeBytes();
        if (choice.partition || offset % kSectorSize != 0 || (size && offset >= *size)) {
            selected.device.reset();
            selected.status = SourceStatus::BadOffset;
            return selected;
        }
        const std::uint64_t length = size ? *size - offset : UINT64_MAX - offset;
        selected.device =
            std::make_unique<PartitionSectorDevice>(std::move(selected.device), offset, length);
        selected.volumeOffset = offset;
        selected.status = SourceStatus::Opened;
        return selected;
    }
    selected.table = findPartitions(*selected.device);
    if (selected.table && isBareVolumeTakenForTable(*selected.device, *selected.table))
        selected.table.reset();
    if (!selected.table) {
        // No table: the source is the volume (or holds none, which the mount then tells).
        selected.status = choice.partition ? SourceStatus::NoSuchPartition : SourceStatus::Opened;
        if (choice.partition) selected.device.reset();
        return selected;
    }
    const PartitionTable& table = *selected.table;
    if (choice.partition) {
        // Whatever libblkid found in it, the partition asked for is tried: the mount decides.
        if (const PartitionInfo* p = partitionNumbered(table, *choice.partition)) {
            usePartition(selected, *p);
            return selected;
        }
        selected.device.reset();
        selected.status = SourceStatus::NoSuchPartition;
        return selected;
    }
    const auto volumes =
        std::count_if(table.partitions.begin(), table.partitions.end(), isVolumePartition);
    if (volumes == 1) {
        for (const PartitionInfo& p : table.partitions)
            if (isVolumePartition(p)) usePartition(selected, p);
        return selected;
    }
    selected.device.reset();
    selected.status =
        volumes == 0 ? SourceStatus::NoVolumePartition : SourceStatus::PartitionNeeded;
    return selected;
}

}  // namespace

std::string unreadFileSystemName(std::span<const std::uint8_t> boot) {
    // exFAT keeps its name where FAT and NTFS keep their OEM name.
    static constexpr std::string_view kExfat = "EXFAT   ";
    if (boot.size() >= 3 + kExfat.size() &&
        std::equal(kExfat.begin(), kExfat.end(), boot.begin() + 3))
        return "exFAT";
    return {};
}

SelectedSource selectSource(const std::string& path, const SourceChoice& choice,
                            const SourceOpener& open) {
    SelectedSource selected = selectVolume(path, choice, open);
    if (selected.status == SourceStatus::Opened && selected.device)
        if (const auto boot = readDeviceBytes(*selected.device, 0, kSectorSize))
            selected.unreadFileSystem = unreadFileSystemName(*boot);
    return selected;
}

}  // namespace rekkon
