#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace rekkon::fuzz {

// What one fuzz input drives through the library. Each libFuzzer target calls one of these, and
// the regression test replays every saved input through the same function. A body returns
// normally on any input; a sanitizer report or a broken invariant (fuzzCheck) is a finding.

// A whole FAT image: mount, scan every folder and the free clusters for lost folders, read the
// data of every entry found.
void fuzzFatImage(std::span<const std::uint8_t> data);
// exFAT structures from raw bytes: the first sector as a boot sector, the whole input as folder
// content (every entry set at every entry) and as an up-case table.
void fuzzExfatEntries(std::span<const std::uint8_t> data);
// A whole NTFS image: mount, open the records $MFT holds, read every $DATA stream.
void fuzzNtfsImage(std::span<const std::uint8_t> data);
// One MFT record as stored (fixups not applied), read as a file of a volume with 512-byte
// sectors and 4 KiB clusters; the record size follows from the input's length (512..4096).
void fuzzMftRecord(std::span<const std::uint8_t> data);
// Mapping pairs: byte 0 chooses the cluster size and the fragment layout, the rest is pairs.
void fuzzRunList(std::span<const std::uint8_t> data);
// One LZNT1 stream decompressed into 64 KiB.
void fuzzLznt1(std::span<const std::uint8_t> data);
// FAT folder entries with long names: byte 0 is the length of a path component that follows;
// the rest is 32-byte entries, matched against the component, each short one also tried against
// the unnumbered pieces of a deleted long name before it.
void fuzzFatDir(std::span<const std::uint8_t> data);
// One cluster judged as lost folder content: bytes 0-3 give the cluster number (top bit: FAT32),
// the rest is the cluster's bytes.
void fuzzFolderCluster(std::span<const std::uint8_t> data);
// A whole disk's first bytes: its partition table read sector by sector (MBR with the chain of
// its extended partition, or GPT at 512 or 4096 bytes per sector).
void fuzzPartitionTable(std::span<const std::uint8_t> data);

// A whole volume through the mount the commands use (FAT and NTFS tried in the probe order),
// then a scan and the data of every entry found. The last byte chooses the scan: bit 0 deep,
// bits 1-2 the folder (the root, "\SUB", a found entry's folder, a found entry as a folder), bit
// 3 only some records, bits 4-7 which found entry. Only the first kFuzzImageBytes are the image.
void fuzzVolume(std::span<const std::uint8_t> data);
// A whole disk: its partition table, the partition chosen from it (bits 4-6 of the last byte: a
// number, 0 the one volume partition), then the volume in it as fuzzVolume takes it (bits 0-3).
// Bit 7 makes the GPT CRC32s right first, so that a table's contents count.
void fuzzDisk(std::span<const std::uint8_t> data);
// The recovery writer: a few found entries (names, folders, long names, first characters from
// the input) written out of a small FAT12 volume into a fresh temporary folder, and the report.
// Nothing may be written outside the destination, nor any file replaced.
void fuzzWriter(std::span<const std::uint8_t> data);

// One carving format's check over a candidate file: the whole input is the file's bytes from its
// first on, as far as the source reaches. The format is the target's (carve_<type>).
void fuzzCarveFormat(std::string_view type, std::span<const std::uint8_t> data);
// A source searched by content for every format: the volume in it, if one mounts, has its free
// space searched, else every sector is (a broken file tried as two fragments), then scanned and
// read as fuzzVolume does (the last byte chooses how).
void fuzzCarveScan(std::span<const std::uint8_t> data);

// Budgets that keep one input's work small whatever the image claims.
inline constexpr std::uint64_t kFuzzReadBudget = 1024 * 1024;       // data bytes per input
inline constexpr std::uint64_t kFuzzStreamBudget = 256 * 1024;      // data bytes per stream
inline constexpr std::uint64_t kFuzzMaxRecords = 512;               // MFT records per image
inline constexpr std::uint64_t kFuzzRecordReadBudget = 256 * 1024;  // per lone MFT record
inline constexpr std::size_t kFuzzImageBytes = 1024 * 1024;         // whole-volume input read

}  // namespace rekkon::fuzz
