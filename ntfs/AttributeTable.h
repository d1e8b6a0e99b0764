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

// Adds one attribute record (`attribute` spans exactly the record's length) to the file's table:
// a new entry, a further $FILE_NAME entry, or a further fragment of a non-resident attribute
// (found through the file's index by type code and case-folded name). Returns 0, or -1 when the
// record's name, value or mapping pairs reach outside it, the header is too short for its kind,
// or the table is full; the table is then unchanged.
// A new entry is appended and placed in the table order (AttributeOrder); when it belongs before
// an entry already held, the table is out of order until finishAttributeTable.
int parseAttribute(MftFile& file, std::span<const std::uint8_t> attribute);

// Puts the entries in the table order: by type code, then by name without regard to case, a
// name comparing with another over their common length only, entries that compare equal in
// their order of arrival (each entry as if inserted, in turn, before the first entry held that
// compares greater).
void finishAttributeTable(MftFile& file);

// Once every fragment is merged: cuts each non-resident attribute's sizes to what its runs
// describe. The allocated size and the data size are kept within the runs' VCN span (sparse and
// compression-unit clusters included), the data size also within an allocated size that is a
// whole number of clusters, and the initialized size within the data size. The data size the
// record claimed stays in claimedDataSize; sizeBeyondRuns is set when it was cut.
void clampAttributeSizes(MftFile& file);

}  // namespace rekkon
