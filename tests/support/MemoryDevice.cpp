#include "support/MemoryDevice.h"

#include <algorithm>

namespace rekkon::test {

std::size_t MemoryDevice::readSectors(std::span<std::uint8_t> buffer) {
    ++stats_->readCalls;
    if (failNextReads > 0) {
        --failNextReads;
        return 0;
    }
    std::size_t done = 0;
    while (done + kSectorSize <= buffer.size()) {
        const std::uint64_t at = sector_ * kSectorSize;
        if (badSectors.count(sector_) || (sector_ >= badFrom && sector_ < badTo) ||
            at + kSectorSize > bytes_.size())
            break;
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at), kSectorSize,
                    buffer.begin() + static_cast<std::ptrdiff_t>(done));
        stats_->sectorsRead.push_back(sector_);
        ++sector_;
        done += kSectorSize;
    }
    if (failWholeReads && done < buffer.size() / kSectorSize * kSectorSize) {
        sector_ -= done / kSectorSize;
        stats_->sectorsRead.resize(stats_->sectorsRead.size() - done / kSectorSize);
        return 0;
    }
    return done;
}

void SparseDevice::put(std::uint64_t first, const std::vector<std::uint8_t>& bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += kSectorSize) {
        auto& sector = sectors_[first + at / kSectorSize];
        sector.fill(0);
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                    std::min(kSectorSize, bytes.size() - at), sector.begin());
    }
}

std::size_t SparseDevice::readSectors(std::span<std::uint8_t> buffer) {
    ++stats_->readCalls;
    std::size_t done = 0;
    while (done + kSectorSize <= buffer.size()) {
        const auto it = sectors_.find(sector_);
        if (it == sectors_.end() || (sector_ + 1) * kSectorSize > size_) break;
        std::copy(it->second.begin(), it->second.end(),
                  buffer.begin() + static_cast<std::ptrdiff_t>(done));
        stats_->sectorsRead.push_back(sector_);
        ++sector_;
        done += kSectorSize;
    }
    return done;
}

}  // namespace rekkon::test
