#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "ntfs/MftFile.h"

namespace rekkon {

struct NtfsVolume;

// What one open file may gather, whatever its attribute list claims: NTFS keeps an attribute
// list below 256 KiB. With records of at most 4096 bytes this also bounds the runs of a file
// (at most 2048 mapping pairs per record).
inline constexpr std::size_t kMaxLoadedRecords = 4096;
inline constexpr std::uint64_t kMaxAttributeListBytes = 256 * 1024;
// A non-resident attribute list is read through a window of this size.
inline constexpr std::size_t kAttributeListWindow = 1024;

// Record numbers are the low 48 bits of a file reference; the high 16 are a sequence number.
inline constexpr std::uint64_t kRecordNumberMask = 0x0000FFFFFFFFFFFFull;

// Fills `buffer` (at least mftRecordSize bytes) with MFT record `recordNumber`, fixups applied.
// Record 0 is copied from the record read at mount; every other record is read through the
// $MFT's unnamed $DATA. Returns 0, or -1 (or the read's failure code) when the record lies past
// the $MFT's data or fails the "FILE" / update sequence check.
int readMftRecord(NtfsVolume& volume, std::uint64_t recordNumber, std::span<std::uint8_t> buffer);

// Merges the attributes of one record into the file's table unless that record was merged
// before. The attribute walk starts at the offset in the record header (u16 at 0x14) and stops at
// the end marker 0xFFFFFFFF, at a length too short for an attribute header, or at a record that
// would reach past the record's end.
void loadAttributes(MftFile& file, std::span<const std::uint8_t> record,
                    std::uint64_t recordNumber);

// Reads and merges the records named by the whole entries of `entries`, a piece of an
// $ATTRIBUTE_LIST. An extension record is merged only when its base reference (u64 at 0x20 of
// the record header) names the file. Sets `incompleteTail` to the bytes of an entry cut off at
// the end. Returns 0, -1 when an entry is damaged (its length cannot hold a file reference), or
// the failure code of a record that cannot be read.
int mergeAttributeListEntries(MftFile& file, std::span<const std::uint8_t> entries,
                              std::size_t& incompleteTail);

// Merges the base record and every record the file's unnamed $ATTRIBUTE_LIST names. A list that
// cannot be read to its end leaves the file with what was merged.
void loadAttributeList(MftFile& file);

// Opens one MFT record held in memory (as stored: fixups not yet applied) as a file of a volume
// of which only the geometry is needed (sector, cluster and record sizes): checks the record and
// its fixups and builds the attribute table. Attribute-list entries are not followed, since no
// other record can be read. Returns 0, or -1 when the record is not a valid file record.
int openMftRecordFromBuffer(MftFile& file, NtfsVolume& volume, std::span<const std::uint8_t> record,
                            std::uint64_t recordNumber);

// Opens MFT record `recordNumber` of `volume` into `file`, whether the record is in use or not.
// Returns 0 when the file is open, -1 (the file then holds nothing) when the record cannot be
// read. An open file is given back with closeMftFile.
int openMftFile(MftFile& file, NtfsVolume& volume, std::uint64_t recordNumber);

}  // namespace rekkon
