#include "ntfs/ClusterBitmap.h"

#include <algorithm>
#include <bit>

#include "ntfs/AttributeData.h"
#include "ntfs/AttributeLookup.h"
#include "ntfs/NtfsEstimate.h"
#include "ntfs/NtfsVolume.h"

namespace rekkon {

std::uint64_t countSetBits(std::span<const std::uint8_t> bitmap, std::uint64_t first,
                           std::uint64_t count) {
    std::uint64_t set = 0;
    std::uint64_t k = first;
    const std::uint64_t end = first + count;
    for (; k < end && k % 8 != 0; ++k)
        set += (bitmap[k / 8] >> (k % 8)) & 1u;
    for (; end - k >= 64; k += 64) {
        std::uint64_t word = 0;
        for (int b = 7; b >= 0; --b)
            word = (word << 8) | bitmap[k / 8 + static_cast<std::uint64_t>(b)];
        set += static_cast<std::uint64_t>(std::popcount(word));
    }
    for (; end - k >= 8; k += 8)
        set += static_cast<std::uint64_t>(std::popcount(bitmap[k / 8]));
    for (; k < end; ++k)
        set += (bitmap[k / 8] >> (k % 8)) & 1u;
    return set;
}

ClusterBitmap::ClusterBitmap(NtfsVolume& volume) {
    if (volume.volumeBitmapFile == nullptr) return;
    file_ = volume.volumeBitmapFile;
    data_ = findAttribute(*file_, volume.typeData);
    if (data_ == nullptr) return;
    std::uint64_t bytes = std::min(data_->dataSize, kMaxClusterBitmapBytes);
    // No more clusters than the source holds, when its size is known.
    if (volume.context != nullptr && volume.bytesPerCluster != 0) {
        if (const auto source = volume.context->reader.sourceBytes()) {
            const std::uint64_t clusters = *source / volume.bytesPerCluster;
            bytes = std::min(bytes, (clusters + 7) / 8);
        }
    }
    bytes_ = bytes;
}

const std::vector<std::uint8_t>& ClusterBitmap::page(std::uint64_t index) {
    // Neighbouring files mostly ask for the page asked for last, which is the most recent.
    if (last_ != nullptr && lastIndex_ == index) return *last_;
    last_ = &pageLookup(index);
    lastIndex_ = index;
    return *last_;
}

const std::vector<std::uint8_t>& ClusterBitmap::pageLookup(std::uint64_t index) {
    if (const auto it = pages_.find(index); it != pages_.end()) {
        recency_.splice(recency_.begin(), recency_, it->second.recency);
        return it->second.bytes;
    }
    if (pages_.size() >= kMaxPages) {
        pages_.erase(recency_.back());
        recency_.pop_back();
    }
    const std::uint64_t position = index * kPageBytes;
    const auto length =
        static_cast<std::size_t>(std::min<std::uint64_t>(kPageBytes, bytes_ - position));
    std::vector<std::uint8_t> bytes(length, 0xFF);
    TransferRequest request{true, bytes.data(), length};
    // What cannot be read keeps its 0xFF.
    readAttributeData(*file_, *data_, position, request);
    ++pagesRead_;
    recency_.push_front(index);
    Page& held = pages_[index];
    held.bytes = std::move(bytes);
    held.recency = recency_.begin();
    return held.bytes;
}

std::uint64_t ClusterBitmap::countUsed(std::uint64_t first, std::uint64_t count) {
    constexpr std::uint64_t kPageClusters = kPageBytes * 8;
    std::uint64_t used = 0;
    // Each step ends at a page boundary or at the range's end, so the walk moves on every time.
    while (count > 0) {
        const std::uint64_t index = first / kPageClusters;
        const std::uint64_t offset = first % kPageClusters;
        const std::uint64_t n = std::min(count, kPageClusters - offset);
        used += countSetBits(page(index), offset, n);
        first += n;
        count -= n;
    }
    return used;
}

}  // namespace rekkon
