#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "ntfs/MftFile.h"

namespace rekkon {

// A file holds at most this many attribute table entries, whatever its records claim.
inline constexpr std::size_t kMaxAttributesPerFile = std::size_t{1} << 16;

// Attribute record header, common part.
inline constexpr std::size_t kAttributeHeaderBytes = 0x10;
inline constexpr std::size_t kResidentHeaderBytes = 0x18;
inline constexpr std::size_t kNonResidentHeaderBytes = 0x40;

struct InsertResult {
    int index = -1;  // -1: the table is full
    bool existed = false;
};

// Finds or makes the table entry for (typeCode, name). With `checkExisting`, an entry of the same
// type code and the same name (case folded through the upcase table) is returned as existing.
// A new entry goes before the first entry of a greater type code, or of the same type code whose
// name compares greater over the two names' common length; entries that compare equal over that
// length keep their order of arrival.
InsertResult insertDescriptor(MftFile& file, std::uint32_t typeCode,
                              std::vector<std::uint16_t> name, bool checkExisting);

// Adds one attribute record (`attribute` spans exactly the record's length) to the file's table:
// a new entry, a further $FILE_NAME entry, or a further fragment of a non-resident attribute.
// Returns 0, or -1 when the record's name, value or mapping pairs reach outside it, the header is
// too short for its kind, or the table is full; the table is then unchanged.
int parseAttribute(MftFile& file, std::span<const std::uint8_t> attribute);

}  // namespace rekkon
