#include "fat/LongName.h"

#include <algorithm>

#include "volume/LeReader.h"
#include "volume/TextEncoding.h"

namespace rekkon {

namespace {
// Byte offsets of the 13 UTF-16 units of a piece: 1-5, 6-11, 12-13.
constexpr std::size_t kUnitOffsets[kUnitsPerPiece] = {0x01, 0x03, 0x05, 0x07, 0x09, 0x0E, 0x10,
                                                      0x12, 0x14, 0x16, 0x18, 0x1C, 0x1E};
}  // namespace

std::array<std::uint16_t, kUnitsPerPiece> pieceUnits(
    std::span<const std::uint8_t, kDirEntrySize> piece) {
    const LeReader r(piece);
    std::array<std::uint16_t, kUnitsPerPiece> units{};
    for (std::size_t i = 0; i < kUnitsPerPiece; ++i)
        units[i] = *r.u16(kUnitOffsets[i]);
    return units;
}

void LongNameCollector::collect(std::span<const std::uint8_t, kDirEntrySize> piece) {
    const std::uint8_t sequence = piece[0];
    if (sequence == kDeletedMarker) {  // a deleted name's pieces lost their numbers
        drop();
        return;
    }
    const std::uint8_t number = sequence & 0x3F;
    if (sequence & 0x40) {
        if (pending_ || number == 0) return;  // a second opening piece is ignored
        pending_ = true;
        openingNumber_ = number;
        units_.assign(std::size_t{number} * kUnitsPerPiece, 0);
    }
    if (!pending_) return;
    // A piece numbered 0 or above the opening piece would land outside the name: ignore it.
    if (number == 0 || number > openingNumber_) return;
    std::size_t at = (std::size_t{number} - 1) * kUnitsPerPiece;
    for (const std::uint16_t unit : pieceUnits(piece)) {
        if (unit == 0x0000 || unit == 0xFFFF) break;
        units_[at++] = unit;
    }
}

std::optional<std::string> LongNameCollector::name() const {
    if (!pending_) return std::nullopt;
    const auto end = std::find(units_.begin(), units_.end(), std::uint16_t{0});
    return utf16ToUtf8(std::span(units_.begin(), end));
}

}  // namespace rekkon
