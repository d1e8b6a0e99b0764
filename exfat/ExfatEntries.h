#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace rekkon {

inline constexpr std::size_t kExfatEntrySize = 32;
// Entry types with the in-use bit (0x80) set; a deleted entry has it clear.
inline constexpr std::uint8_t kExfatInUse = 0x80;
inline constexpr std::uint8_t kExfatEndOfFolder = 0x00;
inline constexpr std::uint8_t kExfatBitmapEntry = 0x81;
inline constexpr std::uint8_t kExfatUpcaseEntry = 0x82;
inline constexpr std::uint8_t kExfatLabelEntry = 0x83;
inline constexpr std::uint8_t kExfatFileEntry = 0x85;
inline constexpr std::uint8_t kExfatStreamEntry = 0xC0;
inline constexpr std::uint8_t kExfatNameEntry = 0xC1;
// A file's set holds its file entry and 2 to 18 secondary entries (a stream entry and up to 17
// name entries of 15 characters: names of up to 255).
inline constexpr int kExfatMaxSecondaries = 18;
inline constexpr std::size_t kExfatMaxSetBytes = (kExfatMaxSecondaries + 1) * kExfatEntrySize;
inline constexpr std::uint16_t kExfatDirectoryAttribute = 0x10;

// One timestamp of a file entry, as stored.
struct ExfatTime {
    std::uint32_t stamp = 0;     // DOS date (high 16 bits) and time (low 16, 2 s units)
    std::uint8_t tenMs = 0;      // 10 ms units to add (0..199)
    std::uint8_t utcOffset = 0;  // bit 7: valid; bits 0..6: signed 15-minute units
    // The time as a FILETIME: UTC when the offset is valid (`utc` then set), else the local time
    // as stored. 0 when the stamp is not a valid date.
    std::uint64_t fileTime(bool& utc) const;
};

// A file's entry set, deleted or not, decoded from its bytes.
struct ExfatEntrySet {
    bool deleted = false;     // the file entry's in-use bit is clear
    bool checksumOk = false;  // the set checksum verifies once the in-use bits are put back
    std::uint16_t attributes = 0;
    ExfatTime created, modified, accessed;
    bool noFatChain = false;  // the data is one contiguous run from firstCluster
    bool allocationPossible = false;
    std::uint8_t nameLength = 0;  // UTF-16 units
    std::uint16_t nameHash = 0;
    std::uint64_t validDataLength = 0;
    std::uint32_t firstCluster = 0;
    std::uint64_t dataLength = 0;
    std::u16string name;  // nameLength units, as far as the name entries hold them
    int entries = 0;      // entries the set takes, the file entry included

    bool isFolder() const { return (attributes & kExfatDirectoryAttribute) != 0; }
};

// The set checksum of `set` (whole entries), with the in-use bit of each entry's type set as a
// live set has it, and the checksum field itself (bytes 2 and 3) left out.
std::uint16_t exfatSetChecksum(std::span<const std::uint8_t> set);

// How many entries the set starting at `first` (a file entry, live or deleted) says it takes:
// its secondary count + 1; 0 when `first` is not a file entry or the count is out of range.
int exfatSetLength(std::span<const std::uint8_t, kExfatEntrySize> first);

// Decodes the set in `set` (exfatSetLength entries). nullopt when it is not a plausible file:
// its secondaries not a stream entry then name entries of the file entry's state (in use or
// not), a name length of 0 or more than its name entries hold, a name with a NUL in it.
std::optional<ExfatEntrySet> parseExfatEntrySet(std::span<const std::uint8_t> set);

}  // namespace rekkon
