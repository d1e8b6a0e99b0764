#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rekkon::test {

// A whole-disk image the build made around the volume fixtures (tools/make-disk-fixtures.sh):
// "dos.img", "gpt.img" or "gpt-4k.img"; empty when it was not made (sfdisk or sgdisk missing).
std::string diskImage(const std::string& name);

// Writes "one.img" into `folder`: a DOS disk with one primary partition of `type` at sector 2048
// holding `volume`, and 1 MiB after it. Returns its path.
std::string writeOnePartitionDisk(const std::string& folder, std::uint8_t type,
                                  const std::vector<std::uint8_t>& volume);

// First sectors (512-byte) of the partitions of the sparse 3 TiB disk.
inline constexpr std::uint64_t kHugeFirstStart = 2048;
inline constexpr std::uint64_t kHugeSecondStart = 5368711168;  // past 2.5 TiB and 2^32

// Makes the sparse 3 TiB GPT disk (fat16.img as partition 1, ntfs-512-4k.img as partition 2
// past 2.5 TiB) in the build tree. nullopt with `why` set when the build tree's file system
// cannot hold such a file, or the tools are missing.
std::optional<std::string> makeHugeDisk(std::string& why);
void removeHugeDisk();

}  // namespace rekkon::test
