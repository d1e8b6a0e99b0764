#pragma once

#include <cstdint>
#include <vector>

#include "volume/SectorDevice.h"

namespace rekkon {

// A source held in memory: a volume image handed over as bytes (fuzzing, tests, a source that
// was read whole). A partial sector at the end reads as unreadable, as on an image file.
class MemorySectorDevice final : public SectorDevice {
  public:
    explicit MemorySectorDevice(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    void seekSector(std::uint64_t sector) override { sector_ = sector; }
    std::size_t readSectors(std::span<std::uint8_t> buffer) override;
    std::optional<std::uint64_t> sizeBytes() const override { return bytes_.size(); }

  private:
    std::vector<std::uint8_t> bytes_;
    std::uint64_t sector_ = 0;
};

}  // namespace rekkon
