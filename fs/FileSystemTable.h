#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fs/FileSystem.h"
#include "volume/VolumeContext.h"

namespace rekkon {

// What a look at a volume's first sector says about one file system.
struct BootSectorProbe {
    // The volume's file system as users know it ("FAT32"), empty when the sector is not this
    // file system's boot sector.
    std::string name;
    // The sector carries the file system's own mark (a signature, or a jump instruction with a
    // sound parameter block), so it cannot be a partition table's sector instead.
    bool certain = false;
};

// One file system rekkon reads: how to recognise it and how to mount it.
struct FileSystemType {
    std::string_view name;  // the family ("FAT", "NTFS")
    BootSectorProbe (*probe)(std::span<const std::uint8_t> bootSector) = nullptr;
    // Whether a platform's name for a file system (libblkid's "FAT32", "NTFS", "vfat", ...) is
    // one this type reads.
    bool (*namesIt)(const std::string& platformName) = nullptr;
    // Mounts the volume whose source is attached to `volume`; null when it is not this file
    // system (the source may then have been closed: the caller attaches it again).
    std::unique_ptr<FileSystem> (*mount)(VolumeContext& volume) = nullptr;
};

// The file systems in the order they are tried when nothing says which one a volume holds.
const std::vector<FileSystemType>& fileSystemTypes();

// Adds a file system to the end of the table (a test's own format); replaces one of the same
// name. `unregisterFileSystem` takes it out again.
void registerFileSystem(const FileSystemType& type);
void unregisterFileSystem(std::string_view name);

// The order to try mounts in: the type a platform's file-system name names first (when given),
// then those whose probe accepts `bootSector`, then the rest, each in table order.
std::vector<const FileSystemType*> mountOrder(std::span<const std::uint8_t> bootSector,
                                              const std::string& platformName = {});

}  // namespace rekkon
