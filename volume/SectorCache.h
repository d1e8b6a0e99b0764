#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "volume/SectorDevice.h"

namespace rekkon {

// 256 recently read sectors of the open volume, replaced least-recently-used first.
// Never-used slots are always taken (lowest number first) before a used one is replaced.
// Lookups and inserts are O(1): a hash index by sector number plus a doubly linked recency list.
// Slots are made as sectors arrive, so a cache that holds few sectors costs little to set up.
class SectorCache {
  public:
    static constexpr std::size_t kSlots = 256;
    using SectorBytes = std::array<std::uint8_t, kSectorSize>;

    SectorCache();

    // Copies sector `sector` into `out` and marks it most recently used; false on a miss.
    bool lookup(std::uint64_t sector, std::span<std::uint8_t, kSectorSize> out);
    bool contains(std::uint64_t sector) const { return index_.count(sector) != 0; }
    // Stores a sector that just missed. Storing a sector that is already present refreshes it.
    void insert(std::uint64_t sector, std::span<const std::uint8_t, kSectorSize> data);
    // Forgets every sector (a new volume was opened).
    void clear();

  private:
    static constexpr std::uint16_t kNone = 0xFFFF;
    struct Slot {
        std::uint64_t sector = 0;
        std::uint16_t newer = kNone;
        std::uint16_t older = kNone;
        SectorBytes data{};
    };

    void unlink(std::uint16_t slot);
    void pushNewest(std::uint16_t slot);

    std::vector<Slot> slots_;  // the slots made so far; never more than kSlots
    std::unordered_map<std::uint64_t, std::uint16_t> index_;
    std::size_t used_ = 0;  // slots 0..used_-1 have held a sector since the last clear
    std::uint16_t newest_ = kNone;
    std::uint16_t oldest_ = kNone;
};

}  // namespace rekkon
