#pragma once

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
    // opened source are never served again.
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
    // sector. Advances the current sector by the sectors delivered. Sectors past the end of a
    // source of known size, and sectors the device has failed kDeviceAttemptsPerSector times,
    // are unreadable at once: the device is not asked again.
    std::size_t readSectors(std::span<std::uint8_t> buffer);

    // Delivers dest.size() bytes starting `byteOffset` bytes after the start of `baseSector`.
    // Returns dest.size() on success and 0 when any part cannot be read.
    std::size_t readAt(std::uint64_t baseSector, std::uint64_t byteOffset,
                       std::span<std::uint8_t> dest);

    // A sector the device failed this many times (the retries of readWithRetry and the mount
    // included) is not asked for again while the source stays attached.
    static constexpr std::uint8_t kDeviceAttemptsPerSector = 5;
    // At most this many failing sectors are remembered; past it the lowest are forgotten.
    static constexpr std::size_t kMaxFailedSectors = 4096;

    // Whether `sector` is known to be unreadable without asking the device.
    bool knownUnreadable(std::uint64_t sector) const;

  private:
    void noteFailure(std::uint64_t sector);
    std::size_t readMissRun(std::span<std::uint8_t> dest, std::uint64_t firstSector,
                            std::size_t sectors);

    std::unique_ptr<SectorDevice> device_;
    SectorCache cache_;
    std::uint64_t current_ = 0;
    std::uint64_t endSector_ = UINT64_MAX;            // first sector not wholly inside the source
    std::map<std::uint64_t, std::uint8_t> failures_;  // sector -> failed device reads
};

}  // namespace rekkon
