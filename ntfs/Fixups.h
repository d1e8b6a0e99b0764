#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace rekkon {

struct NtfsVolume;

// NTFS protects multi-sector structures (MFT records, index blocks) with an update sequence:
// the last word of every 512-byte block is replaced on disk by the update sequence number and
// the original words are kept in the update sequence array. The header gives the array's offset
// (u16 at 0x04) and its entry count (u16 at 0x06), the sequence number included.
inline constexpr std::size_t kFixupStride = 512;

// Checks the signature and the update sequence of `record` and restores the protected words in
// place. The structure is `expectedSize` bytes long (the whole buffer when 0) and must be covered
// exactly by the array: its blocks are 512 bytes, or the volume's sector size when the array has
// one entry per sector. Returns 1 when valid, 0 when not; an invalid record may be partly
// restored.
int applyFixups(const NtfsVolume& volume, std::span<std::uint8_t> record,
                std::string_view signature, std::size_t expectedSize);

// applyFixups with the "FILE" signature and the volume's MFT record size.
bool checkFileRecord(const NtfsVolume& volume, std::span<std::uint8_t> record);

}  // namespace rekkon
