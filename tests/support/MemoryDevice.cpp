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
        if (badSectors.count(sector_) || at + kSectorSize > bytes_.size()) break;
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at), kSectorSize,
                    buffer.begin() + static_cast<std::ptrdiff_t>(done));
        stats_->sectorsRead.push_back(sector_);
        ++sector_;
        done += kSectorSize;
    }
    return done;
}

}  // namespace rekkon::test
