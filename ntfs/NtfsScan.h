#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace rekkon {

struct NtfsVolume;
class ScanCancel;

// One named data stream of a deleted file.
struct NtfsFoundStream {
    std::string name;  // UTF-8, the stream's own name
    std::uint64_t size = 0;
    std::uint8_t status = 0;
};

// One deleted file the scan found: a record that is free in the MFT bitmap and still describes
// an ordinary file with an unnamed data attribute and a name, or (from record 24 on) with data
// but no name left, listed as "<record N>" (DeletedRecord.h).
struct NtfsFoundFile {
    std::uint64_t record = 0;
    std::uint32_t attributes = 0;  // flags of the $FILE_NAME it is shown under
    std::uint64_t size = 0;        // the unnamed data attribute's data size
    std::uint64_t createTime = 0;  // FILETIME
    std::uint64_t accessTime = 0;
    // The data's last modification and the last access as stored (no stand-in for an access
    // time that was never set), for the recovered file.
    std::uint64_t writeTime = 0;
    std::uint64_t lastAccessTime = 0;
    std::uint64_t changeTime = 0;  // the record's last change ($STANDARD_INFORMATION only)
    std::string name;              // UTF-8
    // "\" the root; "<unknown N>\..." where its folders could not be followed; "<unknown>\"
    // when no $FILE_NAME names one.
    std::string folder;
    std::uint8_t status = 0;
    std::vector<NtfsFoundStream> streams;  // in the attribute table's order
};

using NtfsFoundSink = std::function<void(const NtfsFoundFile&)>;

// What a scan went through, for tests and benchmarks.
struct NtfsScanStats {
    std::uint64_t recordsInMft = 0;      // records the $MFT's data holds
    std::uint64_t freeRecords = 0;       // of them, free in the MFT bitmap (or marked so)
    std::uint64_t extensionRecords = 0;  // free records that belong to another file
    std::uint64_t filesFound = 0;
    std::uint64_t bitmapPagesRead = 0;  // pages of the cluster bitmap read for the estimates
    std::uint64_t foldersRead = 0;
    bool usedRecordFlags = false;  // the MFT bitmap could not be read for some records
    bool cancelled = false;        // stopped through its ScanCancel before the last record
};

// Walks the MFT for deleted files in increasing record order and hands each to `found`. Free
// records are those whose bit in the $MFT's $BITMAP is clear; where that bitmap cannot be read,
// records whose header no longer carries the in-use flag. Never writes to the volume. Returns
// false when the volume has no readable $MFT data to walk. Once `cancel` is requested the walk
// stops before the next record (stats->cancelled); the files handed out so far stay handed out.
bool scanNtfs(NtfsVolume& volume, const NtfsFoundSink& found, NtfsScanStats* stats = nullptr,
              const ScanCancel* cancel = nullptr);

// Records the volume's $MFT holds (0 when it cannot be walked).
std::uint64_t mftRecordCount(NtfsVolume& volume);

// The same for the records `records` only (in increasing order, each once), for a front end
// that wants a few known records: the rest of the MFT is not read.
bool scanNtfsRecords(NtfsVolume& volume, std::span<const std::uint64_t> records,
                     const NtfsFoundSink& found, NtfsScanStats* stats = nullptr,
                     const ScanCancel* cancel = nullptr);

}  // namespace rekkon
