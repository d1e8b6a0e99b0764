#pragma once

#include <memory>

#include "volume/SectorDevice.h"

namespace rekkon {

// Lends one opened source to several users in turn: each mount attempt gets one of these, and a
// failed mount closes (destroys) only what it was given, not the source.
class SharedSectorDevice final : public SectorDevice {
  public:
    explicit SharedSectorDevice(std::shared_ptr<SectorDevice> source)
        : source_(std::move(source)) {}
    void seekSector(std::uint64_t sector) override { source_->seekSector(sector); }
    std::size_t readSectors(std::span<std::uint8_t> buffer) override {
        return source_->readSectors(buffer);
    }
    std::optional<std::uint64_t> sizeBytes() const override { return source_->sizeBytes(); }
    std::optional<int> descriptor() const override { return source_->descriptor(); }
    void willNeed(std::uint64_t firstSector, std::uint64_t sectors) override {
        source_->willNeed(firstSector, sectors);
    }
    std::optional<std::uint32_t> logicalSectorSize() const override {
        return source_->logicalSectorSize();
    }

  private:
    std::shared_ptr<SectorDevice> source_;
};

}  // namespace rekkon
