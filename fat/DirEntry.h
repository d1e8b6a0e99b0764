#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "volume/VolumeContext.h"

namespace rekkon {

inline constexpr std::size_t kDirEntrySize = 32;
inline constexpr std::uint8_t kAttrFolder = 0x10;
inline constexpr std::uint8_t kAttrLongNamePiece = 0x0F;
inline constexpr std::uint8_t kDeletedMarker = 0xE5;
inline constexpr std::uint8_t kKanjiE5Marker = 0x05;  // a name that really begins with 0xE5
inline constexpr std::uint8_t kMaxLongNamePieces = 20;
// Bits of byte 0x0C of a short entry: the base, or the extension, is shown in lower case (the
// name is stored upper-cased; Windows and mtools set them for names such as "src" or
// "readme.txt").
inline constexpr std::uint8_t kLowerCaseBase = 0x08;
inline constexpr std::uint8_t kLowerCaseExtension = 0x10;

// One 32-byte folder entry in its short form.
struct DirEntry {
    std::array<std::uint8_t, 11>
        name{};  // 8 base + 3 extension bytes, blank padded (OEM code page)
    std::uint8_t attributes = 0;
    std::uint8_t caseFlags = 0;     // byte 0x0C: kLowerCaseBase, kLowerCaseExtension
    std::uint8_t createTenths = 0;  // byte 0x0D: 10 ms units (0..199) added to createTime
    std::uint16_t createTime = 0;
    std::uint16_t createDate = 0;
    std::uint16_t accessDate = 0;  // the last-access date (no time is stored)
    std::uint16_t clusterHigh = 0;
    std::uint16_t writeTime = 0;
    std::uint16_t writeDate = 0;
    std::uint16_t clusterLow = 0;
    std::uint32_t size = 0;

    bool isFolder() const { return (attributes & kAttrFolder) != 0; }
    // The high word counts on FAT32 only.
    std::uint32_t firstCluster(FileSystemKind kind) const {
        return kind == FileSystemKind::Fat32 ? (std::uint32_t{clusterHigh} << 16) | clusterLow
                                             : clusterLow;
    }
    bool lowerCaseBase() const { return (caseFlags & kLowerCaseBase) != 0; }
    // "NAME.EXT" as stored: base up to the first blank, then '.' and the extension when there is
    // one, each part with its ASCII letters in lower case where caseFlags says so. Bytes are
    // returned unconverted otherwise (OEM code page).
    std::string displayBytes() const;
};

// Decodes the short form of an entry; nullopt when fewer than 32 bytes are given.
std::optional<DirEntry> parseDirEntry(std::span<const std::uint8_t> bytes);

// Byte 0 is 0, or bytes 1-2 are 0: the folder ends here.
bool isEndOfFolder(std::span<const std::uint8_t, kDirEntrySize> bytes);

// Whether the entry is a long-name piece: the 0x0F attribute (in the low six bits) and a
// plausible sequence byte (piece 1..20, with or without the opening bit 0x40, or 0xE5 for a
// piece of a deleted name), whatever text the piece holds.
bool isLongNamePiece(std::span<const std::uint8_t, kDirEntrySize> bytes);

// A DOS date and time as a FILETIME (100 ns units since 1601-01-01), read as local time without
// any zone conversion; 0 when the date or time is impossible.
std::uint64_t dosDateTimeToFileTime(std::uint16_t date, std::uint16_t time);
// The entry's creation date and time as a FILETIME with its 10 ms units (0 when the date is not
// a date; units past 199 are not counted).
std::uint64_t createdFileTime(const DirEntry& entry);

}  // namespace rekkon
