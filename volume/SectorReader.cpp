#include "volume/SectorReader.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace rekkon {

namespace {
// Consecutive missing sectors are fetched from the device in one call of at most this many.
constexpr std::size_t kMaxRunSectors = 2048;

using Stretches = std::map<std::uint64_t, std::uint64_t>;

bool inStretches(const Stretches& stretches, std::uint64_t sector) {
    auto it = stretches.upper_bound(sector);
    if (it == stretches.begin()) return false;
    --it;
    return sector < it->second;
}

// Adds `sector` to `stretches` (first sector -> one past the last; they neither overlap nor
// touch), joining the stretch that ends just before it and the one that starts just after it.
// False when it was there already. Past `limit` stretches the lowest is forgotten.
bool addToStretches(Stretches& stretches, std::uint64_t sector, std::size_t limit) {
    if (inStretches(stretches, sector)) return false;
    std::uint64_t first = sector;
    std::uint64_t end = sector + 1;
    auto next = stretches.find(end);
    if (next != stretches.end()) {
        end = next->second;
        stretches.erase(next);
    }
    auto it = stretches.lower_bound(sector);
    if (it != stretches.begin() && std::prev(it)->second == sector) {
        --it;
        first = it->first;
        stretches.erase(it);
    }
    stretches.emplace(first, end);
    if (stretches.size() > limit) stretches.erase(stretches.begin());
    return true;
}

}  // namespace

void SectorReader::attach(std::unique_ptr<SectorDevice> device) {
    device_ = std::move(device);
    cache_.clear();
    unreadable_.clear();
    unreadableCount_ = 0;
    pastEnd_.clear();
    pastEndCount_ = 0;
    givenUpInARow_ = 0;
    current_ = 0;
    const auto bytes = device_ ? device_->sizeBytes() : std::nullopt;
    endSector_ = bytes ? *bytes / kSectorSize : UINT64_MAX;
}

void SectorReader::close() {
    // The count stays, so that it can still be told once the source is closed.
    device_.reset();
    cache_.clear();
    unreadable_.clear();
    pastEnd_.clear();
    givenUpInARow_ = 0;
    current_ = 0;
    endSector_ = UINT64_MAX;
}

bool SectorReader::knownUnreadable(std::uint64_t sector) const {
    return sector >= endSector_ || inStretches(unreadable_, sector);
}

void SectorReader::markUnreadable(std::uint64_t sector) {
    if (sector < endSector_ && addToStretches(unreadable_, sector, kMaxUnreadableStretches))
        ++unreadableCount_;
}

void SectorReader::markPastEnd(std::uint64_t sector) {
    if (sector < endSector_ || !addToStretches(pastEnd_, sector, kMaxUnreadableStretches)) return;
    ++unreadableCount_;
    ++pastEndCount_;
}

std::size_t SectorReader::readSectors(std::span<std::uint8_t> buffer) {
    if (!device_) return 0;
    const std::size_t count = buffer.size() / kSectorSize;
    std::size_t delivered = 0;
    while (delivered < count) {
        auto slot = buffer.subspan(delivered * kSectorSize).first<kSectorSize>();
        if (cache_.lookup(current_, slot)) {
            ++delivered;
            ++current_;
            continue;
        }
        if (knownUnreadable(current_)) {
            markPastEnd(current_);
            break;
        }
        // Gather the run of consecutive misses that starts here and read it in one call.
        std::size_t run = 1;
        while (delivered + run < count && run < kMaxRunSectors &&
               !cache_.contains(current_ + run) && !knownUnreadable(current_ + run))
            ++run;
        const std::size_t got =
            readMissRun(buffer.subspan(delivered * kSectorSize, run * kSectorSize), current_, run);
        delivered += got;
        current_ += got;
        if (got < run) break;
    }
    return delivered * kSectorSize;
}

void SectorReader::cacheRun(std::span<const std::uint8_t> data, std::uint64_t firstSector,
                            std::size_t sectors) {
    // Every sector of the run is new to the cache, so of a run longer than the cache only the
    // last kSlots sectors would remain: inserting just those leaves the very same cache.
    const std::size_t skip = sectors > SectorCache::kSlots ? sectors - SectorCache::kSlots : 0;
    for (std::size_t i = skip; i < sectors; ++i)
        cache_.insert(firstSector + i, data.subspan(i * kSectorSize).first<kSectorSize>());
}

std::size_t SectorReader::readSectorsUncached(std::uint64_t firstSector,
                                              std::span<std::uint8_t> buffer) {
    if (!device_) return 0;
    const std::size_t count = buffer.size() / kSectorSize;
    std::size_t delivered = 0;
    while (delivered < count) {
        const std::size_t run = std::min(count - delivered, kMaxRunSectors);
        const std::uint64_t at = firstSector + delivered;
        const auto part = buffer.subspan(delivered * kSectorSize, run * kSectorSize);
        // A known unreadable sector in the run, or a run past the end: readSectors knows them.
        const auto next = unreadable_.lower_bound(at);
        const bool known = at + run > endSector_ || knownUnreadable(at) ||
                           (next != unreadable_.end() && next->first < at + run);
        std::size_t got = 0;
        if (known) {
            seekSector(at);
            got = readSectors(part) / kSectorSize;
        } else {
            got = readMissRun(part, at, run, false);
        }
        delivered += got;
        if (got < run) break;
    }
    current_ = firstSector + delivered;
    return delivered * kSectorSize;
}

std::size_t SectorReader::readMissRun(std::span<std::uint8_t> dest, std::uint64_t firstSector,
                                      std::size_t sectors, bool cache) {
    std::size_t done = 0;
    std::size_t span = sectors;  // sectors asked for in the next device read
    std::uint32_t failed = 0;    // failed device reads of the sector firstSector + done
    // A read that failed as a whole ended here: a bad sector lies below it (none when past
    // `sectors`).
    std::size_t failEnd = SIZE_MAX;
    // Each pass delivers sectors, halves the span below a failed read or counts a failure of
    // one sector, so the loop ends after at most about 2 × log2(sectors) +
    // kDeviceAttemptsPerSector device reads per sector delivered or given up on.
    while (done < sectors) {
        span = std::min(span, sectors - done);
        const std::uint64_t at = firstSector + done;
        const auto part = dest.subspan(done * kSectorSize, span * kSectorSize);
        // The device is repositioned before every real read, so an earlier cache hit never
        // leaves its position stale.
        device_->seekSector(at);
        const std::size_t got = std::min(device_->readSectors(part) / kSectorSize, span);
        if (cache) cacheRun(part, at, got);
        done += got;
        if (got > 0) {
            failed = 0;
            givenUpInARow_ = 0;
        }
        if (got == span) {
            // Below a read that failed as a whole, halves are asked for until the bad sector
            // is the one left.
            if (failEnd <= done) failEnd = SIZE_MAX;  // it read after all
            span = failEnd == SIZE_MAX ? sectors - done
                                       : std::max<std::size_t>(1, (failEnd - done) / 2);
            continue;
        }
        const bool deadStretch = givenUpInARow_ >= kDeadStretchSectors;
        if (got == 0 && span > 1) {
            // Some sources fail a whole read for one bad sector in it (an evidence file's
            // chunk, a device without partial reads): ask for less until the one that fails
            // is found. In a dead stretch the first sector is tried alone at once.
            failEnd = done + span;
            span = deadStretch ? 1 : span / 2;
            continue;
        }
        // The device stopped at sector firstSector + done: it is tried alone from now on.
        span = 1;
        if (++failed >= (deadStretch ? 1u : kDeviceAttemptsPerSector)) {
            markUnreadable(firstSector + done);
            if (givenUpInARow_ < kDeadStretchSectors) ++givenUpInARow_;
            break;
        }
    }
    return done;
}

std::size_t SectorReader::readAt(std::uint64_t baseSector, std::uint64_t byteOffset,
                                 std::span<std::uint8_t> dest) {
    const std::size_t count = dest.size();
    if (count == 0) return 0;
    const std::uint64_t firstSector = baseSector + byteOffset / kSectorSize;
    if (firstSector < baseSector) return 0;  // wrapped: no such position
    seekSector(firstSector);
    std::size_t p = static_cast<std::size_t>(byteOffset % kSectorSize);
    std::size_t done = 0;
    std::array<std::uint8_t, kSectorSize> bounce;

    if (p != 0) {
        if (readSectors(bounce) != kSectorSize) return 0;
        const std::size_t n = std::min(kSectorSize - p, count);
        std::copy_n(bounce.begin() + static_cast<std::ptrdiff_t>(p), n, dest.begin());
        done = n;
    }
    const std::size_t whole = (count - done) / kSectorSize * kSectorSize;
    if (whole >= kUncachedReadBytes) {
        // File data read in bulk is read once: through the cache it would only be copied
        // twice and push out the structures read around it.
        if (readSectorsUncached(current_, dest.subspan(done, whole)) != whole) return 0;
        done += whole;
    } else if (whole > 0) {
        if (readSectors(dest.subspan(done, whole)) != whole) return 0;
        done += whole;
    }
    if (done < count) {
        if (readSectors(bounce) != kSectorSize) return 0;
        std::copy_n(bounce.begin(), count - done, dest.begin() + static_cast<std::ptrdiff_t>(done));
    }
    return count;
}

}  // namespace rekkon
