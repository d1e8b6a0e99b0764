#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fat/DirEntry.h"

namespace rekkon {

inline constexpr std::size_t kUnitsPerPiece = 13;

// The 13 UTF-16 units a long-name piece holds, in name order, as stored (0x0000 ends a name,
// 0xFFFF pads the piece after it).
std::array<std::uint16_t, kUnitsPerPiece> pieceUnits(
    std::span<const std::uint8_t, kDirEntrySize> piece);

// Assembles a long name from its 32-byte pieces. Pieces come highest number first (that one has
// bit 0x40 set and opens the name); piece n holds UTF-16 units (n - 1) * 13 .. (n - 1) * 13 + 12.
// The name belongs to the short entry that follows, by position.
class LongNameCollector {
  public:
    void collect(std::span<const std::uint8_t, kDirEntrySize> piece);
    void drop() {
        units_.clear();
        pending_ = false;
    }
    bool pending() const { return pending_; }
    // The assembled name in UTF-8, up to its first zero unit; nullopt when none is pending.
    std::optional<std::string> name() const;

  private:
    std::vector<std::uint16_t> units_;
    std::uint8_t openingNumber_ = 0;
    bool pending_ = false;
};

}  // namespace rekkon
