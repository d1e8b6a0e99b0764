#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "fat/DeletedLongName.h"
#include "fat/DirEntry.h"
#include "fat/LongName.h"

namespace rekkon {

// Follows the slots of one folder in the order they are read and tells, for the slot handed in
// last, the long name that the slots before it give: a live one assembled by LongNameCollector,
// or a deleted one rebuilt from its unnumbered pieces (recoverDeletedLongName). Pieces may lie
// across a block or cluster boundary; only the last kMaxLongNamePieces slots are kept.
class SlotNames {
  public:
    // The next slot of the folder, whatever it holds.
    void advance(std::span<const std::uint8_t, kDirEntrySize> slot);
    // The live long name before the last slot; nullopt when none is there or the slot is a piece.
    const std::optional<std::string>& liveName() const { return liveBefore_; }
    // The deleted long name before the last slot, checked against the short name that slot
    // holds (its first byte is not looked at); nullopt when none verifies.
    std::optional<DeletedLongName> deletedName() const;

  private:
    LongNameCollector live_;
    std::optional<std::string> liveBefore_;
    std::array<std::uint8_t, kDirEntrySize> last_{};
    bool hasLast_ = false;
    // The slots before the last one, a ring: oldest at oldest_, newest at (oldest_ + kept_ - 1).
    std::array<std::array<std::uint8_t, kDirEntrySize>, kMaxLongNamePieces> earlier_{};
    std::size_t oldest_ = 0;
    std::size_t kept_ = 0;
};

}  // namespace rekkon
