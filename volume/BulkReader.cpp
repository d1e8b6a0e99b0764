#include "volume/BulkReader.h"

#include <algorithm>

namespace rekkon {

namespace {

std::size_t roundUp(std::size_t bytes, std::size_t unit) {
    return (bytes + unit - 1) / unit * unit;
}

}  // namespace

std::uint64_t BulkReader::windowUnits(std::uint64_t unitBytes) const {
    if (unitBytes == 0) return 1;
    return std::max<std::uint64_t>(1, windowBytes_ / unitBytes);
}

BulkReader::Result BulkReader::read(SectorReader& reader, std::uint64_t firstSector,
                                    std::uint64_t units, std::uint64_t unitBytes,
                                    const UnitSink& sink) {
    Result result;
    if (unitBytes == 0 || units == 0) return result;
    result.units = std::min(units, windowUnits(unitBytes));
    const auto bytes = static_cast<std::size_t>(result.units * unitBytes);
    const std::span<std::uint8_t> window =
        buffer_.reserve(roundUp(bytes, kSectorSize), windowBytes_)
            .first(roundUp(bytes, kSectorSize));
    const bool whole = reader.readSectorsUncached(firstSector, window) == window.size();
    for (std::uint64_t i = 0; i < result.units; ++i) {
        const auto unit = window.subspan(static_cast<std::size_t>(i * unitBytes),
                                         static_cast<std::size_t>(unitBytes));
        // Part of the window is unreadable: each unit on its own, through the cache.
        if (!whole && reader.readAt(firstSector, i * unitBytes, unit) != unit.size()) {
            ++result.lost;
            if (sink) sink(i, {});
            continue;
        }
        if (sink) sink(i, unit);
    }
    return result;
}

}  // namespace rekkon
