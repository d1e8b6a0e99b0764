#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "volume/AlignedBuffer.h"
#include "volume/SectorReader.h"

namespace rekkon {

// Bytes a bulk pass reads from the source at once.
inline constexpr std::size_t kBulkReadBytes = std::size_t{2} << 20;

// Reads stretches of the source in large windows past the sector cache (data read once, which
// would only churn through it), unit by unit for the caller: a unit is a cluster, say. The
// window's buffer is kept and reused by every read, so a pass over free space, or a searcher kept
// between passes, allocates it once.
class BulkReader {
  public:
    explicit BulkReader(std::size_t windowBytes = kBulkReadBytes) : windowBytes_(windowBytes) {}

    // How many units of `unitBytes` one window holds (at least 1).
    std::uint64_t windowUnits(std::uint64_t unitBytes) const;

    // A unit's bytes, or an empty span when a sector of it cannot be read.
    using UnitSink = std::function<void(std::uint64_t index, std::span<const std::uint8_t> bytes)>;
    struct Result {
        std::uint64_t units = 0;  // units handed on: min(units asked for, windowUnits)
        std::uint64_t lost = 0;   // of them, those that could not be read
    };
    // Reads `units` units of `unitBytes` bytes each from `firstSector` on (no more than one
    // window holds) as one read, and hands each to `sink` in order with its index. When part of
    // the window cannot be read, each unit is read again on its own, so only the units that hold
    // an unreadable sector are lost; `reader` remembers and counts those sectors.
    Result read(SectorReader& reader, std::uint64_t firstSector, std::uint64_t units,
                std::uint64_t unitBytes, const UnitSink& sink);

    std::size_t bufferBytes() const { return buffer_.capacity(); }

  private:
    std::size_t windowBytes_;
    AlignedBuffer buffer_;
};

}  // namespace rekkon
