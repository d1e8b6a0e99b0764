#include "ntfs/NtfsScan.h"

#include <algorithm>
#include <vector>

#include "ntfs/AttributeLookup.h"
#include "ntfs/DeletedRecord.h"
#include "ntfs/FolderPaths.h"
#include "ntfs/MftRecordWindow.h"
#include "ntfs/NtfsVolume.h"
#include "volume/LeReader.h"

namespace rekkon {

namespace {

// Bytes of the MFT bitmap read at a time (65536 records).
constexpr std::size_t kRecordBitmapChunk = 8192;

// Which records of [first, first + count) are free, one flag each.
class FreeRecords {
  public:
    explicit FreeRecords(NtfsVolume& volume) : volume_(volume) {
        hasBitmap_ = volume.mftFile != nullptr &&
                     findAttribute(*volume.mftFile, volume.typeBitmap) != nullptr;
    }

    // Reads the MFT bitmap for the records; false where it cannot, leaving the records to be
    // judged by their own in-use flag.
    bool read(std::uint64_t first, std::uint64_t count, std::vector<std::uint8_t>& free) {
        free.assign(count, 0);
        if (!hasBitmap_) return false;
        chunk_.assign((count + 7) / 8, 0);
        TransferRequest request{true, chunk_.data(), chunk_.size()};
        if (readAttributeZeroFilled(*volume_.mftFile, volume_.typeBitmap, {}, first / 8, request) !=
                kNtfsOk ||
            request.count < chunk_.size())
            return false;
        for (std::uint64_t n = 0; n < count; ++n)
            free[n] = ((chunk_[n / 8] >> (n % 8)) & 1u) == 0;
        return true;
    }

  private:
    NtfsVolume& volume_;
    bool hasBitmap_ = false;
    std::vector<std::uint8_t> chunk_;
};

bool headerSaysFree(std::span<const std::uint8_t> stored) {
    const LeReader r(stored);
    const auto flags = r.u16(kRecordFlagsOffset);
    return flags && (*flags & kRecordInUse) == 0;
}

}  // namespace

bool scanNtfsRecords(NtfsVolume& volume, std::span<const std::uint64_t> records,
                     const NtfsFoundSink& found, NtfsScanStats* stats) {
    MftRecordWindow window(volume);
    NtfsScanStats local;
    NtfsScanStats& s = stats != nullptr ? *stats : local;
    s = NtfsScanStats{};
    s.recordsInMft = window.records();
    if (window.records() == 0) return false;
    DeletedRecordReader reader(volume);
    FreeRecords freeRecords(volume);
    std::vector<std::uint8_t> free;
    std::vector<std::uint64_t> wanted(records.begin(), records.end());
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    NtfsFoundFile file;
    for (const std::uint64_t number : wanted) {
        if (number >= window.records()) break;
        // The bitmap byte that holds the record's bit, read alone.
        const std::uint64_t first = number / 8 * 8;
        const bool fromBitmap =
            freeRecords.read(first, std::min<std::uint64_t>(8, window.records() - first), free);
        if (!fromBitmap) s.usedRecordFlags = true;
        if (fromBitmap && !free[number - first]) continue;
        window.load(number, number);
        const std::span<const std::uint8_t> stored = window.record(number);
        if (!fromBitmap && !headerSaysFree(stored)) continue;
        ++s.freeRecords;
        const RecordVerdict verdict = reader.examine(number, stored, file);
        if (verdict == RecordVerdict::Extension) ++s.extensionRecords;
        if (verdict != RecordVerdict::Listed) continue;
        ++s.filesFound;
        found(file);
    }
    s.bitmapPagesRead = reader.clusters().pagesRead();
    s.foldersRead = reader.folders().foldersRead();
    return true;
}

bool scanNtfs(NtfsVolume& volume, const NtfsFoundSink& found, NtfsScanStats* stats) {
    MftRecordWindow window(volume);
    NtfsScanStats local;
    NtfsScanStats& s = stats != nullptr ? *stats : local;
    s = NtfsScanStats{};
    s.recordsInMft = window.records();
    if (window.records() == 0) return false;

    DeletedRecordReader reader(volume);
    FreeRecords freeRecords(volume);
    std::vector<std::uint8_t> free;
    NtfsFoundFile file;
    constexpr std::uint64_t kChunkRecords = kRecordBitmapChunk * 8;
    // Chunks, windows and records each move on by at least one record: the walk ends after
    // records() records whatever the volume holds.
    for (std::uint64_t first = 0; first < window.records(); first += kChunkRecords) {
        const std::uint64_t count = std::min(kChunkRecords, window.records() - first);
        const bool fromBitmap = freeRecords.read(first, count, free);
        if (!fromBitmap) s.usedRecordFlags = true;
        for (std::uint64_t w = 0; w < count; w += MftRecordWindow::kWindowRecords) {
            const std::uint64_t end = std::min(count, w + MftRecordWindow::kWindowRecords);
            // Without the bitmap every record is read and judged by its header.
            std::uint64_t lo = w, hi = end;
            if (fromBitmap) {
                while (lo < end && !free[lo])
                    ++lo;
                while (hi > lo && !free[hi - 1])
                    --hi;
            }
            if (lo == hi) continue;
            window.load(first + lo, first + hi - 1);
            for (std::uint64_t n = lo; n < hi; ++n) {
                if (fromBitmap && !free[n]) continue;
                const std::uint64_t number = first + n;
                const std::span<const std::uint8_t> stored = window.record(number);
                if (!fromBitmap && !headerSaysFree(stored)) continue;
                ++s.freeRecords;
                const RecordVerdict verdict = reader.examine(number, stored, file);
                if (verdict == RecordVerdict::Extension) ++s.extensionRecords;
                if (verdict != RecordVerdict::Listed) continue;
                ++s.filesFound;
                found(file);
            }
        }
    }
    s.bitmapPagesRead = reader.clusters().pagesRead();
    s.foldersRead = reader.folders().foldersRead();
    return true;
}

}  // namespace rekkon
