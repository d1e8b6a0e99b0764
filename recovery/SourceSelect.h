#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "recovery/ScanContext.h"
#include "volume/PartitionTable.h"

namespace rekkon {

// Which volume of a source the user asked for.
struct SourceChoice {
    std::optional<int> partition;         // --partition N
    std::optional<std::uint64_t> offset;  // --offset BYTES: a volume there, no table needed
};

enum class SourceStatus {
    Opened,             // `device` is the volume's source
    CannotOpen,         // `error` holds errno
    BadOffset,          // the offset is not a multiple of 512, lies past the end, or was
                        // given together with a partition
    NoSuchPartition,    // the table has no partition with that number
    PartitionNeeded,    // several FAT, exFAT or NTFS partitions: the user must choose
    NoVolumePartition,  // a table without a FAT, exFAT or NTFS partition
};

struct SelectedSource {
    SourceStatus status = SourceStatus::CannotOpen;
    std::unique_ptr<SectorDevice> device;  // Opened: bounded to the partition when there is one
    int error = 0;
    std::optional<PartitionTable> table;  // the disk's table, when it has one
    std::optional<int> partition;         // Opened: the partition used (chosen or the only one)
    std::string fileSystemName;           // Opened: the platform's name of the volume, if known
    std::uint64_t volumeOffset = 0;       // Opened: the byte offset of the volume in the source
    std::string unreadFileSystem;         // Opened: a file system its boot sector names that rekkon
                                          // does not read ("exFAT"); empty otherwise
};

// The name of a file system that `boot`, a volume's first sector, belongs to and that this
// version does not read: "exFAT" (its name at offset 3); empty for anything else.
std::string unreadFileSystemName(std::span<const std::uint8_t> boot);

// Opens `path` through `open` and picks the volume to mount: the partition asked for, the
// volume at the offset asked for, the one FAT, exFAT or NTFS partition of a disk, or the source
// itself when it has no table. A source whose first sector is a FAT, exFAT or NTFS boot sector and
// whose table (as libblkid reads it) offers no FAT, exFAT or NTFS partition is a bare volume: it
// has no table. A partition (or offset) source never reads past the partition's end (the source's
// end). `device` is null unless the status is Opened; `table` is filled whenever the source has one
// (PartitionNeeded lists the candidates from it).
SelectedSource selectSource(const std::string& path, const SourceChoice& choice,
                            const SourceOpener& open = openFileSource);

}  // namespace rekkon
