#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "volume/SectorDevice.h"

namespace rekkon::test {

// An in-memory source that counts the sectors it delivers and fails on demand.
class MemoryDevice final : public SectorDevice {
  public:
    struct Stats {
        std::vector<std::uint64_t> sectorsRead;  // every sector delivered, in order
        int readCalls = 0;
    };

    explicit MemoryDevice(std::vector<std::uint8_t> bytes, std::shared_ptr<Stats> stats = nullptr)
        : bytes_(std::move(bytes)), stats_(stats ? std::move(stats) : std::make_shared<Stats>()) {}

    void seekSector(std::uint64_t sector) override { sector_ = sector; }
    std::size_t readSectors(std::span<std::uint8_t> buffer) override;
    std::optional<std::uint64_t> sizeBytes() const override { return bytes_.size(); }

    std::shared_ptr<Stats> stats() const { return stats_; }
    std::set<std::uint64_t> badSectors;  // reading any of these fails
    int failNextReads = 0;               // this many read calls fail outright

  private:
    std::vector<std::uint8_t> bytes_;
    std::shared_ptr<Stats> stats_;
    std::uint64_t sector_ = 0;
};

}  // namespace rekkon::test
