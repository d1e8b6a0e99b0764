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

// Decodes a FAT boot sector. Refuses (nullopt) a sector without the 0xAA55 signature, without a
// "FAT1" type string at 0x36 or "FAT3" at 0x52, with a sector size other than 512, 1024, 2048
// or 4096, or with a sectors-per-cluster byte that is 0 or not a power of two.
std::optional<FatBootInfo> parseFatBootSector(std::span<const std::uint8_t> sector);

// Opens `path` read-only and mounts it as FAT: on success returns 1 with `volume.kind` and
// `geometry` filled; on failure returns 0 with the device closed.
int mountFat(VolumeContext& volume, FatGeometry& geometry, const std::string& path);
// The same on a source that is already attached to `volume`.
int mountFatOnOpenDevice(VolumeContext& volume, FatGeometry& geometry);

}  // namespace rekkon
