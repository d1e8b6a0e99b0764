#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace rekkon {

// How volume/ names the file systems it finds, without knowing any: these are answered by the
// file-system table (fs/FileSystemTable.cpp), which lists every file system rekkon reads.

// The name of the file system whose boot sector is `boot` ("FAT32", "NTFS"); empty when no file
// system rekkon reads recognises it.
std::string bootSectorFileSystemName(std::span<const std::uint8_t> boot);
// Whether `sector0`, a source's first sector, is a volume's own boot sector carrying its file
// system's mark, rather than a partition table's sector.
bool isVolumeBootSector(std::span<const std::uint8_t> sector0);
// Whether a platform's file-system name ("FAT32", "NTFS", "vfat") names one rekkon reads.
bool isVolumeFileSystemName(const std::string& fileSystemName);

}  // namespace rekkon
