#include "volume/SectorCache.h"

#include <algorithm>

namespace rekkon {

SectorCache::SectorCache() = default;

bool SectorCache::lookup(std::uint64_t sector, std::span<std::uint8_t, kSectorSize> out) {
    auto it = index_.find(sector);
    if (it == index_.end()) return false;
    const std::uint16_t slot = it->second;
    unlink(slot);
    pushNewest(slot);
    std::copy(slots_[slot].data.begin(), slots_[slot].data.end(), out.begin());
    return true;
}

void SectorCache::insert(std::uint64_t sector, std::span<const std::uint8_t, kSectorSize> data) {
    std::uint16_t slot;
    if (auto it = index_.find(sector); it != index_.end()) {
        slot = it->second;
        unlink(slot);
    } else if (used_ < kSlots) {
        if (used_ == slots_.size()) {
            if (slots_.empty()) {
                slots_.reserve(kSlots);
                index_.reserve(kSlots * 2);
            }
            slots_.emplace_back();
        }
        slot = static_cast<std::uint16_t>(used_++);
        index_.emplace(sector, slot);
    } else {
        slot = oldest_;
        unlink(slot);
        // Re-key the evicted sector's index node instead of freeing and allocating one.
        auto node = index_.extract(slots_[slot].sector);
        node.key() = sector;
        index_.insert(std::move(node));
    }
    slots_[slot].sector = sector;
    std::copy(data.begin(), data.end(), slots_[slot].data.begin());
    pushNewest(slot);
}

void SectorCache::clear() {
    index_.clear();
    used_ = 0;
    newest_ = oldest_ = kNone;
    for (auto& s : slots_)
        s.newer = s.older = kNone;
}

void SectorCache::unlink(std::uint16_t slot) {
    Slot& s = slots_[slot];
    if (s.newer != kNone)
        slots_[s.newer].older = s.older;
    else
        newest_ = s.older;
    if (s.older != kNone)
        slots_[s.older].newer = s.newer;
    else
        oldest_ = s.newer;
    s.newer = s.older = kNone;
}

void SectorCache::pushNewest(std::uint16_t slot) {
    Slot& s = slots_[slot];
    s.older = newest_;
    s.newer = kNone;
    if (newest_ != kNone) slots_[newest_].newer = slot;
    newest_ = slot;
    if (oldest_ == kNone) oldest_ = slot;
}

}  // namespace rekkon
