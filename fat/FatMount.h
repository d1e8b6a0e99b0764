#pragma once

#include <optional>
#include <span>
#include <string>

#include "fat/FatGeometry.h"

namespace rekkon {

struct FatBootInfo {
    FileSystemKind kind = FileSystemKind::None;
    FatGeometry geometry;
};

// Decodes a FAT boot sector. The layout decides FAT32 (no 16-bit table size, no fixed root
// area) against FAT12/16, and the cluster count FAT12 against FAT16; the type text is not
// needed. Refuses (nullopt) a sector without the 0xAA55 signature, with a sector size other
// than 512, 1024, 2048 or 4096, a sectors-per-cluster byte that is 0 or not a power of two,
// no reserved sector, no table copy, a table size of 0, or a data area that starts at or past
// the volume's end.
std::optional<FatBootInfo> parseFatBootSector(std::span<const std::uint8_t> sector);

// Opens `path` read-only and mounts it as FAT: on success returns 1 with `volume.kind` and
// `geometry` filled; on failure returns 0 with the device closed. A FAT32 volume whose boot
// sector is unreadable or damaged is mounted from the boot sector's copy (sector 6).
int mountFat(VolumeContext& volume, FatGeometry& geometry, const std::string& path);
// The same on a source that is already attached to `volume`.
int mountFatOnOpenDevice(VolumeContext& volume, FatGeometry& geometry);

}  // namespace rekkon
