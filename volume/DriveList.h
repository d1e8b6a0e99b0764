#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
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
// The real one: opens the device read-only and asks libblkid. A device the user may not read
// is looked up in udev's database instead, so that it can still be listed (and then opened
// through UDisks2).
std::optional<FileSystemName> probeDeviceFileSystem(const std::string& devicePath);

// Where udev keeps what it learnt of each device: one file per device, "b8:17" for block
// device 8:17.
inline constexpr const char* kUdevDataRoot = "/run/udev/data";
// probeDeviceFileSystem with udev's database looked for under `udevDataRoot`.
std::optional<FileSystemName> probeDeviceFileSystemWithUdev(const std::string& devicePath,
                                                            const std::string& udevDataRoot);
// What udev's database under `udevDataRoot` says of the file system on block device `device`;
// nullopt when it names none.
std::optional<FileSystemName> udevFileSystem(dev_t device,
                                             const std::string& udevDataRoot = kUdevDataRoot);
// The file system named by the "E:ID_FS_TYPE=", "E:ID_FS_VERSION=" and "E:ID_FS_LABEL_ENC="
// (else "E:ID_FS_LABEL=") lines of one udev data file; reads at most kMaxUdevDataBytes.
std::optional<FileSystemName> parseUdevFileSystem(std::istream& in);
inline constexpr std::size_t kMaxUdevDataBytes = 64 * 1024;

// At most this many entries of /sys/class/block are looked at.
inline constexpr std::size_t kMaxBlockEntries = 4096;

// The disks and partitions under `sysfsRoot`/class/block (fixed and removable disks, their
// partitions and attached loop devices; never optical, RAM or zram devices, nor empty ones)
// whose file system `probe` names with "FAT" or "NTFS" in the name, ordered by name.
std::vector<DriveInfo> listDrives(const std::string& sysfsRoot = "/sys",
                                  const FileSystemProber& probe = probeDeviceFileSystem);

}  // namespace rekkon
