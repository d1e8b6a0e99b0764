#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace rekkon::test {

// The Basic data partition type GUID as a GPT entry stores it (first three fields
// little-endian).
inline constexpr std::array<std::uint8_t, 16> kBasicDataGuid = {
    0xa2, 0xa0, 0xd0, 0xeb, 0xe5, 0xb9, 0x33, 0x44, 0x87, 0xc0, 0x68, 0xb6, 0xb7, 0x26, 0x99, 0xc7};

// Stores `value` little-endian in `width` bytes at `at`.
void putLe(std::vector<std::uint8_t>& bytes, std::uint64_t at, std::uint64_t value, int width);

// An MBR or EBR entry in the 512-byte sector `sector` of `disk` (and that sector's 0xAA55);
// `start` and `sectors` in the table's logical sectors.
void putMbrEntry(std::vector<std::uint8_t>& disk, std::uint64_t sector, int index,
                 std::uint8_t type, std::uint64_t start, std::uint64_t sectors,
                 std::uint8_t flag = 0);

// One used GPT entry: its index and its first and last LBA.
struct GptPart {
    std::uint32_t index;
    std::uint64_t first;
    std::uint64_t last;
};

// A GPT disk of `sectors` logical sectors of `sectorSize` bytes: protective MBR, the header at
// LBA 1 and its copy at the last LBA, 128 entries of 128 bytes at LBA 2 (and before the copy),
// usable LBAs 34 .. sectors - 34; each used entry is a Basic data partition.
class GptDisk {
  public:
    GptDisk(std::uint32_t sectorSize, std::uint64_t sectors, const std::vector<GptPart>& used);

    std::vector<std::uint8_t>& bytes() { return bytes_; }
    // Byte offsets of the primary header, the primary entry array and the copy's header.
    std::uint64_t header() const { return size_; }
    std::uint64_t entries() const { return 2 * size_; }
    std::uint64_t backupHeader() const { return (sectors_ - 1) * size_; }

  private:
    void writeCopy(std::uint64_t headerLba, std::uint64_t entriesLba,
                   const std::vector<std::uint8_t>& entries, std::uint64_t otherLba);

    std::uint32_t size_;
    std::uint64_t sectors_;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace rekkon::test
