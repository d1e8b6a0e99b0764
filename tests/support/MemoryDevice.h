#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
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
    // Reading any sector of [badFrom, badTo) fails too, as in a worn-out stretch of a card.
    std::uint64_t badFrom = 0;
    std::uint64_t badTo = 0;
    // A read that meets a bad sector delivers nothing at all, as some sources fail a whole
    // request (an evidence file's chunk) rather than deliver up to the bad sector.
    bool failWholeReads = false;
    int failNextReads = 0;  // this many read calls fail outright

  private:
    std::vector<std::uint8_t> bytes_;
    std::shared_ptr<Stats> stats_;
    std::uint64_t sector_ = 0;
};

// A source of `sizeBytes` bytes of which only the sectors put there hold data; every other
// sector fails to read, as on a damaged disk. Counts its reads like MemoryDevice.
class SparseDevice final : public SectorDevice {
  public:
    explicit SparseDevice(std::uint64_t sizeBytes)
        : size_(sizeBytes), stats_(std::make_shared<MemoryDevice::Stats>()) {}

    // Puts `bytes` (padded to whole sectors) at sector `first`.
    void put(std::uint64_t first, const std::vector<std::uint8_t>& bytes);

    void seekSector(std::uint64_t sector) override { sector_ = sector; }
    std::size_t readSectors(std::span<std::uint8_t> buffer) override;
    std::optional<std::uint64_t> sizeBytes() const override { return size_; }
    std::shared_ptr<MemoryDevice::Stats> stats() const { return stats_; }

  private:
    std::uint64_t size_;
    std::map<std::uint64_t, std::array<std::uint8_t, kSectorSize>> sectors_;
    std::shared_ptr<MemoryDevice::Stats> stats_;
    std::uint64_t sector_ = 0;
};

}  // namespace rekkon::test
