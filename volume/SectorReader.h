#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>

#include "volume/SectorCache.h"
#include "volume/SectorDevice.h"

namespace rekkon {

// The cached sector reader in front of the open source. Every read of the volume goes through
// it: `readSectors` serves sectors from the cache or the device, `readAt` any byte range.
class SectorReader {
  public:
    // Takes over `device` as the open source and empties the cache, so sectors of a previously
    // opened source are never served again; what was known unreadable and the count of
    // unreadable sectors start over.
    void attach(std::unique_ptr<SectorDevice> device);
    void close();
    bool isOpen() const { return device_ != nullptr; }
    // The open source's length in bytes, when known.
    std::optional<std::uint64_t> sourceBytes() const {
        return device_ ? device_->sizeBytes() : std::nullopt;
    }
    // The open descriptor behind the source (SectorDevice::descriptor), when it has one.
    std::optional<int> sourceDescriptor() const {
        return device_ ? device_->descriptor() : std::nullopt;
    }

    void seekSector(std::uint64_t sector) { current_ = sector; }
    std::uint64_t currentSector() const { return current_; }

    // Reads buffer.size() / 512 whole sectors from the current sector on (the remainder is
    // ignored); returns the bytes delivered, a multiple of 512. Stops at the first unreadable
    // sector. Advances the current sector by the sectors delivered. A sector the device fails
    // is asked for again at once, up to kDeviceAttemptsPerSector times in all (once in a dead
    // stretch, see kDeadStretchSectors); then it is unreadable and counted. A read the device
    // fails as a whole is asked for in halves until the failing sector is found. Sectors past
    // the end of a source of known size, and sectors already found unreadable, are unreadable at
    // once: the device is not asked again; a sector past the end that a read asks for is counted
    // as unreadable (the structure that named it lies beyond what the source holds).
    std::size_t readSectors(std::span<std::uint8_t> buffer);

    // Reads buffer.size() / 512 whole sectors from `firstSector` on, as readSectors does, but
    // past the cache: for bulk reads of data read once (a search of free space), which would
    // only churn through the cache. Sectors already known unreadable are asked for through
    // readSectors. Returns the bytes delivered; stops at the first unreadable sector.
    std::size_t readSectorsUncached(std::uint64_t firstSector, std::span<std::uint8_t> buffer);

    // SectorDevice::willNeed for the sectors inside the source.
    void willNeed(std::uint64_t firstSector, std::uint64_t sectors) {
        if (device_ && firstSector < endSector_)
            device_->willNeed(firstSector, std::min(sectors, endSector_ - firstSector));
    }

    // Delivers dest.size() bytes starting `byteOffset` bytes after the start of `baseSector`.
    // Returns dest.size() on success and 0 when any part cannot be read. A read of
    // kUncachedReadBytes or more goes past the cache (readSectorsUncached).
    std::size_t readAt(std::uint64_t baseSector, std::uint64_t byteOffset,
                       std::span<std::uint8_t> dest);

    static constexpr std::size_t kUncachedReadBytes = 64 * 1024;
    // Device reads of one sector before it counts as unreadable; it is then not asked for
    // again while the source stays attached (so the retries of readWithRetry cost nothing).
    static constexpr std::uint8_t kDeviceAttemptsPerSector = 5;
    // After this many sectors in a row were given up on with nothing read between them, the
    // device is taken to be in a dead stretch (a failing card's worn-out area, where each read
    // may take seconds): a failing sector then gets one attempt, until a read delivers again.
    static constexpr std::uint32_t kDeadStretchSectors = 8;
    // At most this many separate stretches of unreadable sectors are remembered; past it the
    // lowest stretch is forgotten (and would be asked for, and counted, again).
    static constexpr std::size_t kMaxUnreadableStretches = 4096;

    // Whether `sector` is known to be unreadable without asking the device.
    bool knownUnreadable(std::uint64_t sector) const;
    // How many distinct sectors could not be read since the source was attached, those past the
    // end of the source that a read asked for included (a cut-short image). Exact while no more
    // than kMaxUnreadableStretches separate stretches are unreadable.
    std::uint64_t unreadableSectors() const { return unreadableCount_; }
    // Of unreadableSectors(), those that lie past the end of the source.
    std::uint64_t pastEndSectors() const { return pastEndCount_; }

  private:
    void markUnreadable(std::uint64_t sector);
    void markPastEnd(std::uint64_t sector);
    void cacheRun(std::span<const std::uint8_t> data, std::uint64_t firstSector,
                  std::size_t sectors);
    std::size_t readMissRun(std::span<std::uint8_t> dest, std::uint64_t firstSector,
                            std::size_t sectors, bool cache = true);

    std::unique_ptr<SectorDevice> device_;
    SectorCache cache_;
    std::uint64_t current_ = 0;
    std::uint64_t endSector_ = UINT64_MAX;  // first sector not wholly inside the source
    // Stretches of sectors found unreadable: first sector -> one past the last. They neither
    // overlap nor touch.
    std::map<std::uint64_t, std::uint64_t> unreadable_;
    std::uint64_t unreadableCount_ = 0;
    // Stretches of sectors past the end that reads asked for, kept as unreadable_ is.
    std::map<std::uint64_t, std::uint64_t> pastEnd_;
    std::uint64_t pastEndCount_ = 0;
    std::uint32_t givenUpInARow_ = 0;  // sectors given up on since the device last delivered
};

}  // namespace rekkon
