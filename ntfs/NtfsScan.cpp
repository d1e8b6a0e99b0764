#include "ntfs/NtfsScan.h"

#include <algorithm>
#include <vector>

#include "fs/FileSystem.h"
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

namespace {

// One walk over free MFT records: where they are read from, how they are judged, what was seen.
class FreeRecordWalk {
  public:
    FreeRecordWalk(NtfsVolume& volume, const NtfsFoundSink& found, NtfsScanStats& stats,
                   const ScanCancel* cancel)
        : window_(volume),
          reader_(volume),
          freeRecords_(volume),
          found_(found),
          stats_(stats),
          cancel_(cancel) {
        stats_ = NtfsScanStats{};
        stats_.recordsInMft = window_.records();
    }
    ~FreeRecordWalk() {
        stats_.bitmapPagesRead = reader_.clusters().pagesRead();
        stats_.foldersRead = reader_.folders().foldersRead();
    }
    FreeRecordWalk(const FreeRecordWalk&) = delete;
    FreeRecordWalk& operator=(const FreeRecordWalk&) = delete;

    std::uint64_t records() const { return window_.records(); }
    // See MftRecordWindow::askBeyondSource.
    void askBeyondSource(std::uint64_t number) { window_.askBeyondSource(number); }
    std::uint64_t recordsBeyondSource() const { return window_.recordsBeyondSource(); }

    // Which records of [first, first + count) are free, into free(): false when the MFT bitmap
    // cannot tell, and each record's header must.
    bool readBitmap(std::uint64_t first, std::uint64_t count) {
        const bool fromBitmap = freeRecords_.read(first, count, free_);
        if (!fromBitmap) stats_.usedRecordFlags = true;
        return fromBitmap;
    }
    bool isFree(std::uint64_t index) const { return free_[index] != 0; }
    // Whether the walk was asked to stop; noted in the stats once it is.
    bool cancelled() {
        if (cancel_ != nullptr && cancel_->requested()) stats_.cancelled = true;
        return stats_.cancelled;
    }

    void load(std::uint64_t first, std::uint64_t last) { window_.load(first, last); }
    void readAhead(std::uint64_t next) { window_.readAhead(next); }

    // Examines record `number` of the last load, free by the bitmap or, without it, when its
    // header says so; hands a deleted file to the sink.
    void visit(std::uint64_t number, bool fromBitmap) {
        const std::span<const std::uint8_t> stored = window_.record(number);
        if (!fromBitmap && !headerSaysFree(stored)) return;
        ++stats_.freeRecords;
        const RecordVerdict verdict = reader_.examine(number, stored, file_);
        if (verdict == RecordVerdict::Extension) ++stats_.extensionRecords;
        if (verdict != RecordVerdict::Listed) return;
        ++stats_.filesFound;
        found_(file_);
    }

  private:
    MftRecordWindow window_;
    DeletedRecordReader reader_;
    FreeRecords freeRecords_;
    std::vector<std::uint8_t> free_;
    NtfsFoundFile file_;
    const NtfsFoundSink& found_;
    NtfsScanStats& stats_;
    const ScanCancel* cancel_;
};

}  // namespace

std::uint64_t mftRecordCount(NtfsVolume& volume) {
    return MftRecordWindow(volume).records();
}

bool scanNtfsRecords(NtfsVolume& volume, std::span<const std::uint64_t> records,
                     const NtfsFoundSink& found, NtfsScanStats* stats, const ScanCancel* cancel) {
    NtfsScanStats local;
    FreeRecordWalk walk(volume, found, stats != nullptr ? *stats : local, cancel);
    if (walk.records() == 0) return false;
    std::vector<std::uint64_t> wanted(records.begin(), records.end());
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    for (const std::uint64_t number : wanted) {
        if (walk.cancelled()) break;
        if (number >= walk.records()) {
            walk.askBeyondSource(number);
            continue;
        }
        // The bitmap byte that holds the record's bit, read alone.
        const std::uint64_t first = number / 8 * 8;
        const bool fromBitmap =
            walk.readBitmap(first, std::min<std::uint64_t>(8, walk.records() - first));
        if (fromBitmap && !walk.isFree(number - first)) continue;
        walk.load(number, number);
        walk.visit(number, fromBitmap);
    }
    return true;
}

bool scanNtfs(NtfsVolume& volume, const NtfsFoundSink& found, NtfsScanStats* stats,
              const ScanCancel* cancel) {
    NtfsScanStats local;
    FreeRecordWalk walk(volume, found, stats != nullptr ? *stats : local, cancel);
    if (walk.records() == 0) return false;
    constexpr std::uint64_t kChunkRecords = kRecordBitmapChunk * 8;
    // Chunks, windows and records each move on by at least one record: the walk ends after
    // records() records whatever the volume holds.
    for (std::uint64_t first = 0; first < walk.records() && !walk.cancelled();
         first += kChunkRecords) {
        const std::uint64_t count = std::min(kChunkRecords, walk.records() - first);
        const bool fromBitmap = walk.readBitmap(first, count);
        for (std::uint64_t w = 0; w < count && !walk.cancelled();
             w += MftRecordWindow::kWindowRecords) {
            const std::uint64_t end = std::min(count, w + MftRecordWindow::kWindowRecords);
            // A window is read from its first free record to its last; without the bitmap
            // every record is read and judged by its header.
            std::uint64_t lo = w, hi = end;
            if (fromBitmap) {
                while (lo < end && !walk.isFree(lo))
                    ++lo;
                while (hi > lo && !walk.isFree(hi - 1))
                    --hi;
            }
            if (lo == hi) continue;
            walk.load(first + lo, first + hi - 1);
            walk.readAhead(first + hi);
            for (std::uint64_t n = lo; n < hi && !walk.cancelled(); ++n)
                if (!fromBitmap || walk.isFree(n)) walk.visit(first + n, fromBitmap);
        }
    }
    // Records the source cannot hold are not walked; asking for the first of them has the
    // source's reader count the MFT's part past its end.
    if (walk.recordsBeyondSource() != 0 && !walk.cancelled()) walk.askBeyondSource(walk.records());
    return true;
}

}  // namespace rekkon
