#include "volume/BulkReader.h"

#include <algorithm>
#include <new>

namespace rekkon {

namespace {

constexpr std::align_val_t kPage{AlignedBuffer::kAlignment};

std::size_t roundUp(std::size_t bytes, std::size_t unit) {
    return (bytes + unit - 1) / unit * unit;
}

}  // namespace

void AlignedBuffer::Delete::operator()(std::uint8_t* p) const {
    ::operator delete[](p, kPage);
}

std::span<std::uint8_t> AlignedBuffer::reserve(std::size_t bytes, std::size_t growLimit) {
    if (bytes > capacity_) {
        const std::size_t grown = std::min(capacity_ * 2, growLimit);
        const std::size_t size = roundUp(std::max(bytes, grown), kAlignment);
        data_.reset();  // the old block goes before the new one is taken
        capacity_ = 0;
        data_.reset(static_cast<std::uint8_t*>(::operator new[](size, kPage)));
        capacity_ = size;
    }
    return {data_.get(), capacity_};
}

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
