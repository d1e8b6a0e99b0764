#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "volume/SectorDevice.h"

namespace rekkon {

// A source held in memory: a volume image handed over as bytes (fuzzing, tests, a source that
// was read whole). A partial sector at the end reads as unreadable, as on an image file.
class MemorySectorDevice final : public SectorDevice {
  public:
    // Takes over `bytes`.
    explicit MemorySectorDevice(std::vector<std::uint8_t> bytes)
        : bytes_(std::move(bytes)), view_(bytes_) {}
    // Reads `bytes` in place, without a copy; they must outlive the device.
    struct Borrow {};
    MemorySectorDevice(Borrow, std::span<const std::uint8_t> bytes) : view_(bytes) {}
    MemorySectorDevice(const MemorySectorDevice&) = delete;
    MemorySectorDevice& operator=(const MemorySectorDevice&) = delete;

    void seekSector(std::uint64_t sector) override { sector_ = sector; }
    std::size_t readSectors(std::span<std::uint8_t> buffer) override;
    std::optional<std::uint64_t> sizeBytes() const override { return view_.size(); }

  private:
    std::vector<std::uint8_t> bytes_;     // the bytes taken over; empty when borrowing
    std::span<const std::uint8_t> view_;  // the bytes read: bytes_, or the borrowed ones
    std::uint64_t sector_ = 0;
};

}  // namespace rekkon
