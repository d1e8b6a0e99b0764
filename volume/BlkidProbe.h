#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rekkon {

// What libblkid tells of the file system in a byte range of a device or image.
struct FileSystemName {
    std::string name;   // as the platform names it: "FAT12", "FAT16", "FAT32", "NTFS", "exFAT", ...
    std::string label;  // the volume label; empty when there is none
};

// The platform's name for libblkid's TYPE and VERSION values: "vfat" with its version gives
// "FAT12", "FAT16" or "FAT32" ("FAT" without one), "ntfs" gives "NTFS", "exfat" "exFAT"; any
// other type is given upper-cased.
std::string platformFileSystemName(const std::string& type, const std::string& version);

// Probes the file system that starts `offset` bytes into the open descriptor `fd` and spans
// `length` bytes (0: to the end). nullopt when libblkid finds none. Where it finds the signatures
// of several, the FAT or NTFS one among them is named; nullopt when there is none (or several).
std::optional<FileSystemName> probeFileSystem(int fd, std::uint64_t offset = 0,
                                              std::uint64_t length = 0);

}  // namespace rekkon
