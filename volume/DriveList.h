#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "volume/BlkidProbe.h"

namespace rekkon {

// A block device that may hold a volume to scan.
struct DriveInfo {
    std::string name;        // the kernel's name: "sdb1", "mmcblk0p1", "loop3"
    std::string devicePath;  // "/dev/sdb1"
    std::string fileSystem;  // the platform's name: "FAT32", "NTFS", "exFAT", ...
    std::string label;       // the volume label; empty when there is none
    std::uint64_t sizeBytes = 0;
    bool removable = false;
    bool partition = false;
};

// Names the file system on a device; nullopt when the device cannot be read or holds none.
using FileSystemProber = std::function<std::optional<FileSystemName>(const std::string& path)>;
// The real one: opens the device read-only and asks libblkid.
std::optional<FileSystemName> probeDeviceFileSystem(const std::string& devicePath);

// The disks and partitions under `sysfsRoot`/class/block (fixed and removable disks, their
// partitions and attached loop devices; never optical, RAM or zram devices) whose file system
// `probe` names with "FAT" or "NTFS" in the name, ordered by name.
std::vector<DriveInfo> listDrives(const std::string& sysfsRoot = "/sys",
                                  const FileSystemProber& probe = probeDeviceFileSystem);

}  // namespace rekkon
