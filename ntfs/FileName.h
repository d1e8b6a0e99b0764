#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "ntfs/MftFile.h"

namespace rekkon {

// $FILE_NAME value fields.
inline constexpr std::size_t kFileNameParentOffset = 0x00;
inline constexpr std::size_t kFileNameCreateTimeOffset = 0x08;
inline constexpr std::size_t kFileNameWriteTimeOffset = 0x10;
inline constexpr std::size_t kFileNameAccessTimeOffset = 0x20;
inline constexpr std::size_t kFileNameFlagsOffset = 0x38;
inline constexpr std::size_t kFileNameLengthOffset = 0x40;
inline constexpr std::size_t kFileNameSpaceOffset = 0x41;
inline constexpr std::size_t kFileNameUnitsOffset = 0x42;
// A value shorter than this holds no name to speak of.
inline constexpr std::size_t kMinFileNameValue = 67;
// $FILE_NAME flag of a folder.
inline constexpr std::uint32_t kFileNameFolderFlag = 0x10000000;
// Name space of a name that is only the 8.3 form of another.
inline constexpr std::uint8_t kDosNameSpace = 2;

// One $FILE_NAME value as read from a record.
struct FileNameValue {
    std::uint64_t parentReference = 0;  // record number (low 48 bits) and sequence (high 16)
    std::uint64_t createTime = 0;
    std::uint64_t accessTime = 0;
    std::uint64_t writeTime = 0;  // the data's last modification
    std::uint32_t flags = 0;
    std::uint8_t nameLength = 0;  // in UTF-16 units, as the value claims
    std::uint8_t nameSpace = 0;
    std::string name;  // UTF-8: the units that lie inside the value, up to a unit 0

    bool isFolder() const { return (flags & kFileNameFolderFlag) != 0; }
    std::uint64_t parentRecord() const;
    std::uint16_t parentSequence() const;
};

// Reads a $FILE_NAME value; nullopt when it is too short.
std::optional<FileNameValue> readFileName(std::span<const std::uint8_t> value);
// The same into `out`, whose name keeps its memory (a walk reads one name after another); false
// when the value is too short.
bool readFileName(std::span<const std::uint8_t> value, FileNameValue& out);

// The name a file is shown under: of its resident $FILE_NAME values, the one with the longest
// name (so a long name wins over its 8.3 form); between names of one length, one that is not the
// 8.3 form, then the first in table order. nullopt when the file has none.
std::optional<FileNameValue> chooseFileName(const MftFile& file);
// The same into `out` (see readFileName); false when the file has none.
bool chooseFileName(const MftFile& file, FileNameValue& out);

// The parent reference of the first resident $FILE_NAME value that still holds one (8 bytes),
// however short the rest: where no name can be read, the folder may still be known.
std::optional<std::uint64_t> anyParentReference(const MftFile& file);

}  // namespace rekkon
