#include "volume/SectorReader.h"

#include <algorithm>
#include <array>

namespace rekkon {

namespace {
// Consecutive missing sectors are fetched from the device in one call of at most this many.
constexpr std::size_t kMaxRunSectors = 2048;
}  // namespace

void SectorReader::attach(std::unique_ptr<SectorDevice> device) {
    device_ = std::move(device);
    cache_.clear();
    failures_.clear();
    current_ = 0;
    const auto bytes = device_ ? device_->sizeBytes() : std::nullopt;
    endSector_ = bytes ? *bytes / kSectorSize : UINT64_MAX;
}

void SectorReader::close() {
    device_.reset();
    cache_.clear();
    failures_.clear();
    current_ = 0;
    endSector_ = UINT64_MAX;
}

bool SectorReader::knownUnreadable(std::uint64_t sector) const {
    if (sector >= endSector_) return true;
    if (failures_.empty()) return false;
    const auto it = failures_.find(sector);
    return it != failures_.end() && it->second >= kDeviceAttemptsPerSector;
}

void SectorReader::noteFailure(std::uint64_t sector) {
    auto [it, added] = failures_.try_emplace(sector, 0);
    if (it->second < kDeviceAttemptsPerSector) ++it->second;
    if (added && failures_.size() > kMaxFailedSectors) failures_.erase(failures_.begin());
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
        if (knownUnreadable(current_)) break;
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

std::size_t SectorReader::readMissRun(std::span<std::uint8_t> dest, std::uint64_t firstSector,
                                      std::size_t sectors) {
    // The device is repositioned before every real read, so an earlier cache hit never leaves
    // its position stale.
    device_->seekSector(firstSector);
    const std::size_t bytes = device_->readSectors(dest.first(sectors * kSectorSize));
    const std::size_t got = std::min(bytes / kSectorSize, sectors);
    if (got < sectors) noteFailure(firstSector + got);
    if (!failures_.empty() && got > 0)  // sectors that read after all are forgiven
        failures_.erase(failures_.lower_bound(firstSector),
                        failures_.lower_bound(firstSector + got));
    // Every sector of the run is new to the cache, so of a run longer than the cache only the
    // last kSlots sectors would remain: inserting just those leaves the very same cache.
    const std::size_t skip = got > SectorCache::kSlots ? got - SectorCache::kSlots : 0;
    for (std::size_t i = skip; i < got; ++i)
        cache_.insert(firstSector + i, dest.subspan(i * kSectorSize).first<kSectorSize>());
    return got;
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
    if (whole > 0) {
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
