#include "fat/SlotNames.h"

#include <algorithm>
#include <vector>

namespace rekkon {

void SlotNames::advance(std::span<const std::uint8_t, kDirEntrySize> slot) {
    if (hasLast_) {
        if (kept_ < earlier_.size()) {
            earlier_[(oldest_ + kept_) % earlier_.size()] = last_;
            ++kept_;
        } else {
            earlier_[oldest_] = last_;
            oldest_ = (oldest_ + 1) % earlier_.size();
        }
    }
    std::copy(slot.begin(), slot.end(), last_.begin());
    hasLast_ = true;
    if (isLongNamePiece(slot)) {
        live_.collect(slot);
        liveBefore_.reset();
    } else {
        liveBefore_ = live_.name();
        live_.drop();
    }
}

std::optional<DeletedLongName> SlotNames::deletedName() const {
    if (!hasLast_ || kept_ == 0) return std::nullopt;
    std::vector<std::array<std::uint8_t, kDirEntrySize>> closestFirst;
    closestFirst.reserve(kept_);
    for (std::size_t i = kept_; i-- > 0;)
        closestFirst.push_back(earlier_[(oldest_ + i) % earlier_.size()]);
    return recoverDeletedLongName(closestFirst,
                                  std::span<const std::uint8_t, 11>(last_.data(), 11));
}

}  // namespace rekkon
